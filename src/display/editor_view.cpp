#include "display/editor_view.h"

#include <algorithm>
#include <cmath>

#include <QFont>

#include "display/pixels.h"
#include "record/processing.h"

namespace orv {

namespace {

int Round(double v) { return static_cast<int>(RoundEven(v)); }

// Extremes of n display peaks. The zoomed-out view folds up to 512 entries
// per column and array; written so that the compiler folds them 8 at a time.
__attribute__((optimize("tree-vectorize"))) int16_t MaxOf(const int16_t* p, size_t n, int16_t m) {
    for (size_t i = 0; i < n; ++i) m = p[i] > m ? p[i] : m;
    return m;
}
__attribute__((optimize("tree-vectorize"))) int16_t MinOf(const int16_t* p, size_t n, int16_t m) {
    for (size_t i = 0; i < n; ++i) m = p[i] < m ? p[i] : m;
    return m;
}

const QRgb CentreDot = qRgb(130, 130, 130);
const QRgb DividerDot = qRgb(170, 170, 170);
const QRgb InsertLine = qRgb(100, 100, 255);

// One waveform column (step 4 of the full redraw); rows from 'backTop' to
// 'backEnd' (exclusive) take the column background first.
void DrawColumn(const Pixels& px, const EditorGeometry& g, const ViewTimeline& t, const ViewColours& c, int v,
                uint32_t b, uint32_t z, bool selected, int backTop, int backEnd) {
    const ColumnPeaks p = BlockPeaks(t, b, z);
    if (!p.Known) return;  // no display peaks for its source: background
    px.VLine(v, backTop, backEnd, (selected ? c.SelectedBack : c.UnselectedBack).rgb());
    const QRgb wave = (selected ? c.SelectedWave : c.Wave).rgb();
    auto channel = [&](int centre, int16_t max, int16_t min) {
        const int y1 = centre - Round(max * static_cast<double>(g.S));
        const int y2 = centre - Round(min * static_cast<double>(g.S));
        if (y1 == y2)
            px.Set(v, y1, wave);
        else if (y1 < y2)
            px.VLine(v, y1, y2, wave);
        else
            px.VLine(v, y2 + 1, y1 + 1, wave);  // from y1 up towards y2
    };
    channel(g.LeftCentre, p.MaxLeft, p.MinLeft);
    channel(g.RightCentre, p.MaxRight, p.MinRight);
    px.Set(v, g.LeftCentre, CentreDot);
    px.Set(v, g.RightCentre, CentreDot);
    px.Set(v, g.Divider, DividerDot);
    px.Set(v, g.Divider - 1, CentreDot);
    px.Set(v, g.Divider + 1, CentreDot);
}

bool ColumnSelected(const ViewTimeline& t, uint32_t b) { return t.Selected() && b >= t.SelStart && b <= t.SelEnd; }

void GrowMemo(EditorView& v, const EditorGeometry& g) {
    const size_t need = static_cast<size_t>(std::max(g.BitmapWidth(), 1));
    if (v.ColumnMemo.size() < need) v.ColumnMemo.resize(need, 0);
}

}  // namespace

EditorGeometry LayoutEditorGeometry(int clientWidth, int clientHeight, int toolBarHeight, int statusBarHeight,
                                    int scrollBarHeight, int incButtonWidth) {
    EditorGeometry g;
    g.W = clientWidth;
    g.Ht = clientHeight;
    g.StatusTop = clientHeight - statusBarHeight;
    g.ScrollLeft = 14;
    g.ScrollWidth = clientWidth - 60;
    g.ScrollHeight = scrollBarHeight;
    g.ScrollTop = g.StatusTop - scrollBarHeight - 12;
    g.IncLeft = g.ScrollLeft + g.ScrollWidth + 2;
    g.IncTop = g.ScrollTop - 2;
    g.DecLeft = g.IncLeft + incButtonWidth;
    g.DecTop = g.ScrollTop - 2;
    g.L = 30;
    g.R = clientWidth - 65;
    g.T = toolBarHeight + 15;
    g.B = g.ScrollTop - 35;
    g.BitmapBottom = g.ScrollTop - 10;
    g.H = g.B - g.T;
    g.LeftCentre = g.H / 4;
    g.RightCentre = 3 * g.H / 4;
    g.Divider = g.H / 2;
    g.S = static_cast<float>(g.H - 8) / 131068.0f;
    g.MeterLeft = clientWidth - 30;
    g.MeterRight = clientWidth - 10;
    g.MeterScale = static_cast<float>(g.H) / 32767.0f;
    g.MeterDecay = Round(g.H / 200.0);
    g.PointTop = g.ScrollTop - 16;
    g.PlayMarkTop = g.ScrollTop + g.ScrollHeight;
    g.SelectedTop = g.ScrollTop - 10;
    return g;
}

ColumnPeaks BlockPeaks(const ViewTimeline& t, uint32_t b, uint32_t z) {
    ColumnPeaks r;
    const auto it = std::upper_bound(t.Pieces.begin(), t.Pieces.end(), b,
                                     [](uint32_t pos, const Piece& p) { return pos < p.PieceStart; });
    if (it == t.Pieces.begin()) return r;
    const Piece& piece = *(it - 1);
    if (b > piece.LastPosition()) return r;
    const PeakTables* peaks = piece.PieceFromRecording ? t.RecordingPeaks : t.EditPeaks;
    if (!peaks) return r;
    const uint64_t sb = uint64_t{piece.PieceOffset} + (b - piece.PieceStart);
    const uint64_t first = sb >= z ? sb - z + 1 : 1;
    const uint64_t last = std::min<uint64_t>(sb, peaks->Size() == 0 ? 0 : peaks->Size() - 1);
    if (first > last) return r;
    const size_t n = static_cast<size_t>(last - first + 1);
    r.MaxLeft = MaxOf(peaks->PeakMaxLeft.data() + first, n, r.MaxLeft);
    r.MinLeft = MinOf(peaks->PeakMinLeft.data() + first, n, r.MinLeft);
    r.MaxRight = MaxOf(peaks->PeakMaxRight.data() + first, n, r.MaxRight);
    r.MinRight = MinOf(peaks->PeakMinRight.data() + first, n, r.MinRight);
    r.Known = true;
    return r;
}

ViewColours MakeViewColours(const ColourSchemeState& s) {
    ViewColours c;
    c.Background = BaseColour(s);
    c.UnselectedBack = LightColour(s);
    c.SelectedBack = s.SelectedBackColour;
    c.Wave = s.WaveColour;
    c.SelectedWave = s.SelectedWaveColour;
    c.Text = s.TextColour;
    for (int i = 1; i <= EditorFrameLines; ++i) c.Band[i] = FrameColour(s, i, EditorFrameLines);
    c.Band[0] = c.Band[1];
    c.MeterBack = PanelColour(s);
    // The candidate farthest from the nearest colour it is drawn over or beside.
    const QColor under[] = {c.Background, c.UnselectedBack, c.SelectedBack, c.Wave, c.SelectedWave, c.Band[1],
                            c.Band[EditorFrameLines]};
    const QColor candidates[] = {QColor(255, 110, 0), QColor(255, 0, 200), QColor(255, 230, 0),
                                 QColor(0, 230, 230), QColor(200, 0, 0),   QColor(255, 255, 255),
                                 QColor(0, 0, 0)};
    int best = -1;
    for (const QColor& m : candidates) {
        int nearest = 1 << 30;
        for (const QColor& u : under) {
            const int dr = m.red() - u.red(), dg = m.green() - u.green(), db = m.blue() - u.blue();
            nearest = std::min(nearest, 2 * dr * dr + 4 * dg * dg + 3 * db * db);
        }
        if (nearest > best) {
            best = nearest;
            c.Marker = m;
        }
    }
    return c;
}

void PrepareViewImages(EditorView& v, const EditorGeometry& g) {
    const QSize view(std::max(g.BitmapWidth(), 1), std::max(g.BitmapHeight(), 1));
    if (v.View.size() != view) v.View = QImage(view, QImage::Format_RGB32);
    const QSize meter(g.MeterRight - g.MeterLeft + 1, std::max(g.H, 1));
    if (v.Meter.size() != meter) v.Meter = QImage(meter, QImage::Format_RGB32);
    GrowMemo(v, g);
}

void DrawView(EditorView& v, const EditorGeometry& g, const ViewTimeline& t, const ViewColours& c) {
    PrepareViewImages(v, g);
    QImage& img = v.View;
    img.fill(c.Background);
    Pixels px(img);
    const int H = g.H;
    const int width = g.BitmapWidth();
    const uint32_t z = v.Z();
    for (int i = 1; i <= EditorFrameLines; ++i) px.HLine(0, width, H + i, c.Band[i].rgb());

    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setRenderHint(QPainter::TextAntialiasing, false);
    QFont f = p.font();
    f.setPixelSize(10);
    f.setStyleStrategy(QFont::NoAntialias);
    p.setFont(f);
    p.setPen(c.Text);
    const int ascent = QFontMetrics(f).ascent();
    const int64_t firstUnit = RoundEven(static_cast<double>(v.ViewFirstBlock) / z);
    for (int i = 0; i < width; ++i) {
        const int64_t unit = firstUnit + i;
        if (unit % 10 != 0) continue;
        const bool label = unit % 100 == 0;
        px.VLine(i, H + 1, label ? H + 11 : H + 5, c.Text.rgb());
        if (label) p.drawText(i, H + 10 + ascent, QString::fromStdString(FormatBlockTime(uint32_t(unit * z))));
    }
    p.end();

    for (int col = 1; col <= g.Columns(); ++col) {
        const uint64_t b = v.ViewFirstBlock + uint64_t(col) * z;
        v.ColumnMemo[size_t(col)] = 0;
        if (b > t.TotalBlocks) continue;
        const bool selected = ColumnSelected(t, uint32_t(b));
        v.ColumnMemo[size_t(col)] = selected ? 1 : 0;
        if (selected)
            DrawColumn(px, g, t, c, col, uint32_t(b), z, true, 0, H + 1);
        else
            DrawColumn(px, g, t, c, col, uint32_t(b), z, false, 1, H);
    }

    DrawMarkers(v, g, t, c);

    // Dotted insertion line, white between the dots; over a marker's line too.
    const int64_t ix = RoundEven((int64_t(t.InsertPoint) - int64_t(v.ViewFirstBlock)) / static_cast<double>(z));
    if (ix >= 0 && ix < width)
        for (int y = 1; y < H + 1; ++y) px.Set(int(ix), y, (y - 1) % 2 == 0 ? InsertLine : qRgb(255, 255, 255));
}

bool BlockInView(const EditorView& v, const EditorGeometry& g, uint32_t p) {
    const int x = EdgeColumn(v, g, p) - g.L;
    return x >= 1 && x <= g.Columns();
}

void DrawMarkers(EditorView& v, const EditorGeometry& g, const ViewTimeline& t, const ViewColours& c,
                 bool withRuler) {
    if (t.Markers.empty()) return;
    Pixels px(v.View);
    QPainter p(&v.View);
    p.setRenderHint(QPainter::TextAntialiasing, false);
    QFont f = p.font();
    f.setPixelSize(10);
    f.setStyleStrategy(QFont::NoAntialias);
    p.setFont(f);
    p.setPen(c.Marker);
    const QFontMetrics fm(f);
    const int H = g.H;
    // Numbers closer than a label's width would overwrite each other: the
    // later one is left out (its line stays).
    int labelEnd = -1;
    for (size_t i = 0; i < t.Markers.size(); ++i) {
        const uint32_t m = t.Markers[i];
        if (m > t.TotalBlocks || !BlockInView(v, g, m)) continue;
        const int x = EdgeColumn(v, g, m) - g.L;
        px.VLine(x, 1, H + 1, c.Marker.rgb());
        if (withRuler) px.VLine(x, H + 1, H + 12, c.Marker.rgb());
        const QString number = QString::number(i + 1);
        if (x + 2 <= labelEnd) continue;
        p.drawText(x + 2, 1 + fm.ascent(), number);
        if (withRuler) p.drawText(x + 2, H + 1 + fm.ascent(), number);
        labelEnd = x + 2 + fm.horizontalAdvance(number) + 1;
    }
}

int DrawSelectionChange(EditorView& v, const EditorGeometry& g, const ViewTimeline& t, const ViewColours& c) {
    PrepareViewImages(v, g);
    Pixels px(v.View);
    const uint32_t z = v.Z();
    int changed = 0;
    for (int col = 1; col <= g.Columns(); ++col) {
        const uint64_t b = v.ViewFirstBlock + uint64_t(col) * z;
        if (b > t.TotalBlocks) break;
        const bool selected = ColumnSelected(t, uint32_t(b));
        uint8_t& memo = v.ColumnMemo[size_t(col)];
        if (selected == (memo != 0)) continue;
        memo = selected ? 1 : 0;
        DrawColumn(px, g, t, c, col, uint32_t(b), z, selected, 0, g.H + 1);
        ++changed;
    }
    // A redrawn column may have held a marker's line.
    if (changed > 0) DrawMarkers(v, g, t, c, false);
    return changed;
}

void ClearColumnMemo(EditorView& v) { std::fill(v.ColumnMemo.begin(), v.ColumnMemo.end(), 0); }

void DrawBevel(QPainter& p, const ViewColours& c, int left, int top, int right, int bottom) {
    auto h = [&](int x0, int x1, int y, const QColor& col) {
        if (x1 > x0) p.fillRect(x0, y, x1 - x0, 1, col);
    };
    auto vl = [&](int x, int y0, int y1, const QColor& col) {
        if (y1 > y0) p.fillRect(x, y0, 1, y1 - y0, col);
    };
    for (int i = 1; i <= EditorFrameLines; ++i) {
        const QColor& col = c.Band[i];
        h(left - i, right + i, top - i, col);
        h(left - i, right + i, bottom + i - 1, col);
        vl(left - i, top - i - 1, bottom + i - 1, col);
        vl(right + i, top - i, bottom + i, col);
    }
}

void DrawViewFrame(QPainter& p, const EditorGeometry& g, const ViewColours& c, int toolBarBottom) {
    p.fillRect(0, toolBarBottom, g.W, std::max(g.Ht - toolBarBottom, 0), c.Background);
    DrawBevel(p, c, g.L, g.T, g.R, g.B);
}

void DrawMeterFrame(QPainter& p, const EditorGeometry& g, const ViewColours& c) {
    DrawBevel(p, c, g.MeterLeft, g.T, g.MeterRight, g.B);
}

void DrawPlaybackMeter(EditorView& v, const EditorGeometry& g, const ViewColours& c, int levelLeft,
                       int levelRight) {
    PrepareViewImages(v, g);
    QImage& img = v.Meter;
    img.fill(c.MeterBack);
    Pixels px(img);
    const int H = g.H;
    for (int i = 1; i <= 99; ++i) {
        const int y = Round(i * H / 100.0);
        px.HLine(3, 9, y, qRgb(190, 190, 190));
        px.HLine(11, 17, y, qRgb(190, 190, 190));
    }
    for (int i = 1; i <= 9; ++i) px.HLine(1, 19, Round(i * H / 10.0), qRgb(215, 215, 215));
    const int barLeft = Round(std::clamp(levelLeft, 0, 32767) * static_cast<double>(g.MeterScale));
    const int barRight = Round(std::clamp(levelRight, 0, 32767) * static_cast<double>(g.MeterScale));
    v.PeakHoldLeft = std::max(v.PeakHoldLeft, barLeft);
    v.PeakHoldRight = std::max(v.PeakHoldRight, barRight);
    auto hold = [&](int x0, int value) {
        if (value <= 5) return;
        for (int y = H - value - 5; y < H - value; ++y) px.HLine(x0, x0 + 6, y, qRgb(60, 235, 60));
    };
    hold(3, v.PeakHoldLeft);
    hold(11, v.PeakHoldRight);
    for (int d = 1; d <= std::max(barLeft, barRight); ++d) {
        const QRgb col = d % 2 == 1 ? qRgb(0, 255, 0) : qRgb(0, 170, 0);
        if (d <= barLeft) px.HLine(3, 9, H - d, col);
        if (d <= barRight) px.HLine(11, 17, H - d, col);
    }
    if (v.PeakHoldLeft > 0) v.PeakHoldLeft = std::max(v.PeakHoldLeft - 2 * g.MeterDecay, 0);
    if (v.PeakHoldRight > 0) v.PeakHoldRight = std::max(v.PeakHoldRight - 2 * g.MeterDecay, 0);
}

float OverviewScale(const EditorGeometry& g, uint32_t totalBlocks) {
    return totalBlocks == 0 ? 1.0f : static_cast<float>(g.Columns()) / static_cast<float>(totalBlocks);
}

OverviewMarks PlaceOverviewMarks(const EditorGeometry& g, const ViewTimeline& t) {
    const double f = OverviewScale(g, t.TotalBlocks);
    OverviewMarks m;
    m.SelectedLeft = Round((double(t.SelStart) - 1) * f) + g.L;
    m.SelectedWidth = Round((double(t.SelEnd) - double(t.SelStart)) * f);
    if (t.SelStart < t.SelEnd) m.SelectedWidth = std::max(m.SelectedWidth, 1);
    m.SelectedWidth = std::max(m.SelectedWidth, 0);
    m.PointLeft = Round((double(t.InsertPoint) - 1) * f) + g.L - 8;
    return m;
}

ScrollSetting ScrollFor(const EditorView& v, const EditorGeometry& g, uint32_t totalBlocks) {
    ScrollSetting s;
    const uint32_t z = v.Z();
    const double visible = double(z) * std::max(g.Columns(), 0);
    s.PageStep = totalBlocks > visible ? Round(visible * ScrollMax / totalBlocks) : ScrollMax;
    // An empty timeline has nothing to scroll.
    s.Position = totalBlocks == 0 ? 0 : Round(double(ScrollMax) * v.ViewFirstBlock / totalBlocks);
    s.SingleStep = int(z);
    s.LargeStep = int(10 * z);
    return s;
}

uint32_t ViewFirstForScroll(int position, uint32_t totalBlocks, uint32_t z) {
    const double units = double(totalBlocks) * std::max(position, 0) / (double(z) * ScrollMax);
    return z * static_cast<uint32_t>(std::max<int64_t>(RoundEven(units), 0));
}

int32_t ZoomToFit(uint32_t totalBlocks, int columns) {
    int32_t level = 1;
    while (double(BlocksPerPixel(level)) * columns < totalBlocks && level < MaxZoomLevel) ++level;
    return level;
}

bool ZoomIn(EditorView& v) {
    if (v.ZoomLevel <= 1) return false;
    --v.ZoomLevel;
    return true;
}

bool ZoomOut(EditorView& v, uint32_t totalBlocks, int columns) {
    // Refusing whenever the view reached the end left a user scrolled there unable to zoom out.
    if (!(double(v.Z()) * columns < totalBlocks) || v.ZoomLevel >= MaxZoomLevel) return false;
    ++v.ZoomLevel;
    KeepViewInRecording(v, totalBlocks, columns);
    return true;
}

uint32_t EndViewFirst(const EditorView& v, uint32_t totalBlocks, int columns) {
    const uint64_t z = v.Z();
    const uint64_t visible = z * uint64_t(std::max(columns, 0));
    if (totalBlocks <= visible) return 0;
    return uint32_t((totalBlocks - visible + z - 1) / z * z);
}

void KeepViewInRecording(EditorView& v, uint32_t totalBlocks, int columns) {
    v.ViewFirstBlock = std::min(v.ViewFirstBlock, EndViewFirst(v, totalBlocks, columns));
}

void ZoomAfterResize(EditorView& v, uint32_t totalBlocks, int columns) {
    if (totalBlocks < double(v.Z()) * columns / 2.0 && v.ZoomLevel > 1) --v.ZoomLevel;
}

int64_t BlockAtColumn(const EditorView& v, const EditorGeometry& g, int x) {
    return int64_t(v.Z()) * (x - g.L) + v.ViewFirstBlock;
}

int EdgeColumn(const EditorView& v, const EditorGeometry& g, uint32_t block) {
    return g.L + Round((double(block) - double(v.ViewFirstBlock)) / v.Z());
}

}  // namespace orv
