#pragma once
// The main window's displays: level and DC-offset meters, the live waveform
// and the recording-time bar, each drawn into its own off-screen picture that
// the window copies to the screen in one step; and the frames, scales and
// titles around them, drawn onto a picture of the whole window.
//
// Pictures are allocated by LayoutDisplays (once, unless the size changes);
// drawing a block never allocates. Every routine clamps to its picture: a bar,
// mark or column that would fall outside is not drawn.
#include <array>
#include <cstdint>
#include <utility>
#include <vector>

#include <QFont>
#include <QImage>
#include <QRect>
#include <QString>

#include "display/colour_scheme.h"
#include "record/processing.h"

namespace orv {

// Stored coordinates; the drawing rules say which pixels a rectangle covers.
struct DisplayRect {
    int Left = 0;
    int Top = 0;
    int Right = 0;
    int Bottom = 0;
};

struct DisplayLayout {
    int ClientWidth = 464;
    DisplayRect LevelMeterRect;
    float LevelScale = 0;
    DisplayRect DcMeterRect;
    float DcScale = 0;
    int VolumeTrackLeft = 18;
    int VolumeTrackRight = 135;
    int VolumeTrackRow = 88;
    float VolumePerPixel = 0;
    int ChartLeft = 18;
    int ChartTop = 134;
    int ChartWidth = 425;
    int ChartHeight = 75;
    int WavePointCount = 425;
    float WaveScale = 0;
    DisplayRect TimeBarRect;
};

inline constexpr int WaveHistoryPlaces = 600;  // places 1 … 600; place 0 is unused

struct WaveHistory {
    std::array<int32_t, WaveHistoryPlaces + 1> LeftValue{};
    std::array<int32_t, WaveHistoryPlaces + 1> RightValue{};
    std::array<int32_t, WaveHistoryPlaces + 1> LeftClipHold{};
    std::array<int32_t, WaveHistoryPlaces + 1> RightClipHold{};
};

// The time bar's scale for a span: N major divisions, S the value step
// between labels, D the pixels a label stands left of its tick.
struct TimeBarScale {
    int Minutes;
    int N;
    int S;
    int D;
    bool Hours;  // " hr" and "Time Recorded, hour"
};
// The row for a span; a span between rows takes the next larger one.
const TimeBarScale& TimeBarScaleFor(int minutes);

struct DisplayState {
    DisplayLayout Layout;
    QImage LevelPicture;  // 425 × 16
    QImage DcPicture;     // 91 × 16
    QImage ChartPicture;  // ChartWidth × ChartHeight: the live waveform
    QImage TimePicture;   // ImageTime, 425 × 17
    // The empty meters with their ticks, for the panel and mark colours named.
    QImage LevelBlank;
    QImage DcBlank;
    std::pair<QRgb, QRgb> LevelBlankColours{};
    std::pair<QRgb, QRgb> DcBlankColours{};
    // The meters are drawn here, then swapped with the pictures: what changed
    // is told by comparing the two.
    QImage LevelNext;
    QImage DcNext;
    // The meter pictures show a drawn meter (not cleared since).
    bool LevelShown = false;
    bool DcShown = false;
    int32_t PeakHoldLeft = 0;
    int32_t PeakHoldRight = 0;
    orv::WaveHistory History;
    // Places pushed since the chart was plotted; -1: the chart does not show
    // the history (cleared, new picture), so the next plot draws it whole.
    int ChartPushes = -1;
    std::array<QRgb, 3> ChartColours{};  // background and traces of the plotted chart
    int32_t TimeBarMinutes = 3;
    float TimeBarPixelsPerSecond = 0;
    QString TimeBarTitle;
    QString TimeBarUnit;
    QFont Font;  // the main window's 12-pixel font, made once by LayoutDisplays
};

// Computes the geometry for the client width and sizes the four pictures.
void LayoutDisplays(DisplayState& d, int clientWidth, int knobWidth = 11);

// Frames, volume track, titles and meter scales, onto the window's picture.
void DrawPanelFrames(QImage& window, const DisplayState& d, const ColourSchemeState& c);

// Both return the columns (full height) where the picture differs from the
// one drawn before; empty when it is the same.
QRect DrawLevelMeter(DisplayState& d, const ProcessingState& p, const ColourSchemeState& c);
// reduceDc: the "Reduce DC Offset" box is ticked (shows the residual offset).
QRect DrawDcMeter(DisplayState& d, const ProcessingState& p, const ColourSchemeState& c, bool reduceDc);
void ClearLevelMeter(DisplayState& d, const ColourSchemeState& c);
void ClearDcMeter(DisplayState& d, const ColourSchemeState& c);

void ClearWaveHistory(DisplayState& d);
void PushWaveHistory(DisplayState& d, const ProcessingState& p);
// Redraws the live waveform from the history: two traces and the clip marks
// (a block where either channel clipped gets one red mark at the top, one
// unit right of its point). Returns how many columns on the left were drawn
// after the picture moved one column right, or 0 when it was drawn whole.
int PlotWaveHistory(DisplayState& d, const ColourSchemeState& c);
// The empty chart.
void ClearLiveChart(DisplayState& d, const ColourSchemeState& c);

// The time bar's scale labels for the current span and unit: left edge of
// each text in window columns (the text's row is TimeBarRect bottom + 5).
struct TimeBarLabel {
    int X;
    QString Text;
};
std::vector<TimeBarLabel> TimeBarLabels(const DisplayState& d);

// Scale, title and frame of the time bar on the window's picture; sets
// TimeBarMinutes, TimeBarPixelsPerSecond, TimeBarTitle and TimeBarUnit.
void DrawTimeBarFrame(QImage& window, DisplayState& d, const ColourSchemeState& c, int minutes,
                      const QString& modeText);
void DrawTimeBarBackground(DisplayState& d, const ColourSchemeState& c, bool ringFilled);
// Returns the column drawn.
int DrawTimeBarColumn(DisplayState& d, uint32_t lastWrittenBlock);
void RedrawTimeBar(DisplayState& d, const ColourSchemeState& c, uint32_t lastWrittenBlock, bool ringFilled);
// A tick (a line with a cap at the top) at each block of blocks, over what
// the bar shows; returns the columns touched, left and right included, or
// {1, 0} for none.
std::pair<int, int> DrawTimeBarMarkers(DisplayState& d, const std::vector<uint32_t>& blocks);
// The bar's column of a block.
int TimeBarColumnOf(const DisplayState& d, uint32_t block);

}  // namespace orv
