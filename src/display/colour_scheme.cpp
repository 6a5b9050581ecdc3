#include "display/colour_scheme.h"

namespace orv {

const std::array<SchemeEntry, SchemeCount> SchemeTable{{
    {120, 140, 180, 6},
    {110, 160, 130, 6},
    {180, 125, 165, 6},
    {170, 160, 100, 6},
    {170, 170, 180, 6},
}};

int ValidScheme(int scheme) { return scheme >= 1 && scheme <= SchemeCount ? scheme : 1; }

void SelectScheme(ColourSchemeState& s, int scheme) {
    const SchemeEntry& e = SchemeTable[static_cast<size_t>(ValidScheme(scheme) - 1)];
    s.Red = e.Red;
    s.Green = e.Green;
    s.Blue = e.Blue;
    s.FrameStep = e.FrameStep;
}

void ChooseTextColours(ColourSchemeState& s) {
    const bool light = s.Red + s.Green + s.Blue <= 500;
    s.TextColour = light ? QColor(240, 240, 240) : QColor(0, 0, 0);
    s.MarkColour = light ? QColor(192, 192, 192) : QColor(48, 48, 80);
    s.LeftTraceColour = light ? QColor(255, 255, 0) : QColor(150, 0, 0);
    s.RightTraceColour = light ? QColor(235, 235, 235) : QColor(0, 0, 150);
}

namespace {
// 8-bit component arithmetic, wrapping as the stored bytes do.
QColor Shifted(const ColourSchemeState& s, int delta) {
    auto c = [delta](uint8_t v) { return static_cast<int>(static_cast<uint8_t>(v + delta)); };
    return QColor(c(s.Red), c(s.Green), c(s.Blue));
}
}  // namespace

QColor BaseColour(const ColourSchemeState& s) { return Shifted(s, 0); }
QColor PanelColour(const ColourSchemeState& s) { return Shifted(s, -50); }
QColor ChartColour(const ColourSchemeState& s) { return Shifted(s, -40); }
QColor LightColour(const ColourSchemeState& s) { return Shifted(s, 70); }
QColor FrameColour(const ColourSchemeState& s, int k, int n) { return Shifted(s, s.FrameStep * (k - n)); }

}  // namespace orv
