#pragma once
// The editor's waveform view, drawn into QImages without a window: the
// geometry of the editor window, the min/max columns read from the display
// peaks (never from samples), the ruler, the selection, the insertion line,
// the overview marks, the scroll and zoom rules and the playback meter.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include <QImage>
#include <QPainter>

#include "display/colour_scheme.h"
#include "record/format.h"
#include "record/markers.h"
#include "record/piece.h"
#include "record/time_text.h"

namespace orv {

inline constexpr int32_t MaxZoomLevel = 10;
inline constexpr int32_t ScrollMax = 10000;

// 2 to the power zoomLevel − 1 blocks per pixel column; zoomLevel 1 … 10.
inline uint32_t BlocksPerPixel(int32_t zoomLevel) { return uint32_t{1} << (zoomLevel - 1); }

// What LayoutEditor computes from the window's client size and the heights
// of its bars. All in client pixels unless said otherwise.
struct EditorGeometry {
    int W = 0, Ht = 0;
    int StatusTop = 0;
    int ScrollLeft = 14, ScrollTop = 0, ScrollWidth = 0, ScrollHeight = 0;
    int IncLeft = 0, IncTop = 0, DecLeft = 0, DecTop = 0;
    int L = 30, R = 0, T = 0, B = 0;
    int BitmapBottom = 0;
    int H = 0;                                    // wave area height
    int LeftCentre = 0, RightCentre = 0, Divider = 0;  // bitmap rows
    float S = 0;                                  // rows per sample unit
    int MeterLeft = 0, MeterRight = 0;
    float MeterScale = 0;
    int MeterDecay = 0;
    int PointTop = 0, PlayMarkTop = 0, SelectedTop = 0;

    int Columns() const { return R - L - 1; }  // view columns 1 … Columns() show blocks
    int BitmapWidth() const { return R - L; }
    int BitmapHeight() const { return H + 25; }
};

EditorGeometry LayoutEditorGeometry(int clientWidth, int clientHeight, int toolBarHeight, int statusBarHeight,
                                    int scrollBarHeight, int incButtonWidth);

// The edited recording as the view reads it.
struct ViewTimeline {
    std::span<const Piece> Pieces;
    const PeakTables* RecordingPeaks = nullptr;
    const PeakTables* EditPeaks = nullptr;
    uint32_t TotalBlocks = 0;
    uint32_t SelStart = 1;
    uint32_t SelEnd = 1;
    uint32_t InsertPoint = 1;
    std::span<const uint32_t> Markers;  // ascending block positions

    bool Selected() const { return SelStart != SelEnd; }
};

struct ColumnPeaks {
    int16_t MaxLeft = -32767, MinLeft = 32767, MaxRight = -32768, MinRight = 32767;
    bool Known = false;  // false: the source has no display peaks for these blocks
};

// The z blocks ending at timeline block b, in the source of the piece holding b.
ColumnPeaks BlockPeaks(const ViewTimeline& t, uint32_t b, uint32_t z);

// View colours derived from the scheme when the editor is shown.
struct ViewColours {
    QColor Background, UnselectedBack, SelectedBack, Wave, SelectedWave, Text;
    QColor Band[11];  // bevel and ruler band, step 1 … 10
    QColor MeterBack;
    QColor Marker;  // apart from every background and wave colour of the scheme
};
ViewColours MakeViewColours(const ColourSchemeState& s);

struct EditorView {
    uint32_t ViewFirstBlock = 0;
    int32_t ZoomLevel = 1;
    // Per column: drawn as selected. Grows with the view.
    std::vector<uint8_t> ColumnMemo;
    QImage View;
    QImage Meter;
    int PeakHoldLeft = 0;
    int PeakHoldRight = 0;

    uint32_t Z() const { return BlocksPerPixel(ZoomLevel); }
};

// Sizes the two pictures for the geometry (kept when already that size).
void PrepareViewImages(EditorView& v, const EditorGeometry& g);

// The whole view picture; the memo follows what is drawn.
void DrawView(EditorView& v, const EditorGeometry& g, const ViewTimeline& t, const ViewColours& c);
// The markers, numbered from 1: a line across the wave area and a tick on the
// ruler, each with its number. Part of DrawView; withRuler false leaves the
// ruler alone (after wave columns were redrawn).
void DrawMarkers(EditorView& v, const EditorGeometry& g, const ViewTimeline& t, const ViewColours& c,
                 bool withRuler = true);
// Whether block p's column is inside the view.
bool BlockInView(const EditorView& v, const EditorGeometry& g, uint32_t p);
// Only the columns whose selection differs from the memo; returns how many.
int DrawSelectionChange(EditorView& v, const EditorGeometry& g, const ViewTimeline& t, const ViewColours& c);
void ClearColumnMemo(EditorView& v);

// The 10-line bevel around the area from (left, top) to (right, bottom).
void DrawBevel(QPainter& p, const ViewColours& c, int left, int top, int right, int bottom);
// Window background below the tool bars, and the bevel round the view.
void DrawViewFrame(QPainter& p, const EditorGeometry& g, const ViewColours& c, int toolBarBottom);
void DrawMeterFrame(QPainter& p, const EditorGeometry& g, const ViewColours& c);
// Levels 0 … 32767; peak holds fall by 2 × decay per call.
void DrawPlaybackMeter(EditorView& v, const EditorGeometry& g, const ViewColours& c, int levelLeft, int levelRight);

// Overview marks, in client pixels.
struct OverviewMarks {
    int SelectedLeft = 0, SelectedWidth = 0;
    int PointLeft = 0;
};
float OverviewScale(const EditorGeometry& g, uint32_t totalBlocks);
OverviewMarks PlaceOverviewMarks(const EditorGeometry& g, const ViewTimeline& t);

// Scroll bar of range 0 … 10000.
struct ScrollSetting {
    int PageStep = ScrollMax;
    int Position = 0;
    int SingleStep = 1;
    int LargeStep = 10;
};
ScrollSetting ScrollFor(const EditorView& v, const EditorGeometry& g, uint32_t totalBlocks);
uint32_t ViewFirstForScroll(int position, uint32_t totalBlocks, uint32_t z);

// Zoom rules.
int32_t ZoomToFit(uint32_t totalBlocks, int columns);
bool ZoomIn(EditorView& v);                                 // +
// −, while the recording does not fit; a view that then reaches past the end
// moves back so that the end stays at its right edge.
bool ZoomOut(EditorView& v, uint32_t totalBlocks, int columns);
void ZoomAfterResize(EditorView& v, uint32_t totalBlocks, int columns);
// The first block of the view whose last column shows the recording's end (a
// multiple of z; 0 when everything fits).
uint32_t EndViewFirst(const EditorView& v, uint32_t totalBlocks, int columns);
// No view starts later than that: after an edit or a zoom the view shows what is there.
void KeepViewInRecording(EditorView& v, uint32_t totalBlocks, int columns);

// Block under client column x: z × (x − L) + ViewFirstBlock (signed).
int64_t BlockAtColumn(const EditorView& v, const EditorGeometry& g, int x);
// Client column of a block's edge: L + round((block − ViewFirstBlock) ÷ z).
int EdgeColumn(const EditorView& v, const EditorGeometry& g, uint32_t block);

}  // namespace orv
