#pragma once
// The five window colour schemes: a base colour and a frame step, from which
// every colour of the main window's displays and the editor's view derives.
#include <array>
#include <cstdint>

#include <QColor>

namespace orv {

struct SchemeEntry {
    uint8_t Red;
    uint8_t Green;
    uint8_t Blue;
    uint8_t FrameStep;
};

inline constexpr int SchemeCount = 5;
// Entry n-1 is scheme n.
extern const std::array<SchemeEntry, SchemeCount> SchemeTable;

// A scheme number outside 1 … 5 (an edited settings file) is scheme 1.
int ValidScheme(int scheme);

// The current values copied out of the table; all drawing reads these.
struct ColourSchemeState {
    uint8_t Red = 120;
    uint8_t Green = 140;
    uint8_t Blue = 180;
    uint8_t FrameStep = 6;
    // Chosen by the main window's paint handler and kept between paints.
    QColor TextColour{240, 240, 240};
    QColor MarkColour{192, 192, 192};
    QColor LeftTraceColour{255, 255, 0};
    QColor RightTraceColour{235, 235, 235};
    // The editor view's fixed colours; the unselected background is replaced
    // by LightColour each time the editor is shown.
    QColor WaveColour{0, 0, 150};
    QColor SelectedWaveColour{80, 200, 80};
    QColor SelectedBackColour{80, 80, 110};
    QColor UnselectedBackColour{150, 150, 150};
};

// Copies scheme n (made valid) into the current values.
void SelectScheme(ColourSchemeState& s, int scheme);
// The paint handler's choice of text, mark and trace colours by brightness.
void ChooseTextColours(ColourSchemeState& s);

// Derived colours; component arithmetic is modulo 256.
QColor BaseColour(const ColourSchemeState& s);
QColor PanelColour(const ColourSchemeState& s);  // base − 50
QColor ChartColour(const ColourSchemeState& s);  // base − 40
QColor LightColour(const ColourSchemeState& s);  // base + 70
// Line k (1 = innermost) of a sunken frame of n lines: base + FrameStep × (k − n).
QColor FrameColour(const ColourSchemeState& s, int k, int n);
inline constexpr int MainFrameLines = 14;
inline constexpr int EditorFrameLines = 10;

}  // namespace orv
