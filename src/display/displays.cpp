#include "display/displays.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include <QPainter>

#include "display/pixels.h"

namespace orv {

namespace {

void Box(const Pixels& img, int x0, int x1, int y0, int y1, QRgb c) {
    for (int y = y0; y < y1; ++y) img.HLine(x0, x1, y, c);
}

// Columns x0 … x1 of rows y0 … y1 (ends excluded) striped: odd columns in one
// colour, even ones in the other; written row by row, as the memory lies.
void Stripes(const Pixels& img, int x0, int x1, int y0, int y1, QRgb odd, QRgb even) {
    x0 = std::max(x0, img.left);
    x1 = std::min(x1, img.right + 1);
    y0 = std::max(y0, 0);
    y1 = std::min(y1, img.h);
    if (x0 >= x1 || y0 >= y1) return;
    QRgb* first = img.row(y0);
    for (int x = x0; x < x1; ++x) first[x] = (x & 1) ? odd : even;
    for (int y = y0 + 1; y < y1; ++y) std::memcpy(img.row(y) + x0, first + x0, size_t(x1 - x0) * sizeof(QRgb));
}

bool Resize(QImage& img, int w, int h) {
    if (img.width() == w && img.height() == h) return false;
    img = QImage(w, h, QImage::Format_RGB32);
    return true;
}

void Text(QPainter& p, int x, int y, const QString& s) {
    p.drawText(QRect(x, y, 400, 16), Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip, s);
}

int Round(double v) { return static_cast<int>(RoundEven(v)); }

constexpr QRgb BarLight = 0xff00ff00;   // RGB(0,255,0)
constexpr QRgb BarDark = 0xff00aa00;    // RGB(0,170,0)
constexpr QRgb DcLight = 0xffffb946;    // RGB(255,185,70)
constexpr QRgb DcDark = 0xffcd8714;     // RGB(205,135,20)
constexpr QRgb TimeLight = 0xff50fa50;  // RGB(80,250,80)
constexpr QRgb TimeDark = 0xff00aa00;   // RGB(0,170,0)
constexpr QRgb RingFilledBack = 0xff328232;  // RGB(50,130,50)
constexpr QRgb MarkerTick = 0xffff3030;      // RGB(255,48,48): apart from both greens
constexpr QRgb ClipMark = 0xffff0000;

constexpr TimeBarScale TimeBarScales[] = {
    {3, 3, 1, 7, false},   {5, 5, 1, 7, false},   {10, 10, 1, 7, false}, {15, 3, 5, 9, false},
    {20, 4, 5, 9, false},  {30, 6, 5, 9, false},  {60, 6, 10, 9, false}, {120, 4, 30, 6, false},
    {240, 4, 1, 6, true},  {600, 10, 1, 6, true},
};

// One channel of the level meter on rows top … top + 5.
void LevelChannel(const Pixels& img, int top, int16_t max, double mean, float scale, int32_t& hold,
                                    int32_t clipHold) {
    const int w = img.width();
    const int n = Round(double(int32_t(max) - RoundEven(mean)) * double(scale));
    if (n > hold) hold = n;
    if (hold > 10) Box(img, hold - 4, hold, top, top + 6, BarLight);
    const int end = std::clamp(n, 0, w - 1);
    Stripes(img, 1, end + 1, top, top + 6, BarLight, BarDark);
    const int clip = clipHold > 0 ? std::min(195 + 2 * clipHold, 255) : 0;
    if (clip > 0) Box(img, w - 5, w, top, top + 6, qRgb(clip, 0, 0));
}

void DcChannel(const Pixels& img, int top, double value, float scale) {
    const int w = img.width();
    const int n = std::min(std::abs(Round(double(scale) * value)), w);
    Stripes(img, 1, std::min(n + 1, w), top, top + 6, DcLight, DcDark);
}

int ChartRow(int value, int height) { return (height - 1) - Round(double(value) * (height - 1) / height); }

// The segments from place j to j + 1 that reach the canvas's columns (a
// segment covers columns j and j + 1).
void Trace(const Pixels& img, const std::array<int32_t, WaveHistoryPlaces + 1>& values, int count, QRgb c) {
    const int h = img.height();
    const int last = std::min(count - 1, img.right);
    for (int j = std::max(1, img.left - 1); j <= last; ++j) {
        const int y1 = ChartRow(values[size_t(j + 1)], h);
        img.Line(j, ChartRow(values[size_t(j)], h), j + 1, y1, c);
        img.Set(j + 1, y1, c);  // the segment ends on place j + 1
    }
    if (count == 1) img.Set(1, ChartRow(values[1], h), c);
}

// The chart within the canvas's columns: background, left trace, right trace,
// then the clip marks (a mark of place j covers columns j … j + 2).
void PlotColumns(const Pixels& img, const WaveHistory& h, int count, int chartHeight,
                 const std::array<QRgb, 3>& colours) {
    for (int y = 0; y < img.h; ++y) img.HLine(img.left, img.right + 1, y, colours[0]);
    Trace(img, h.LeftValue, count, colours[1]);
    Trace(img, h.RightValue, count, colours[2]);
    const int top = ChartRow(chartHeight, img.height());
    const int last = std::min(count, img.right);
    for (int j = std::max(1, img.left - 2); j <= last; ++j) {
        if (h.LeftClipHold[size_t(j)] != ClipHoldBlocks && h.RightClipHold[size_t(j)] != ClipHoldBlocks) continue;
        // A small ellipse centred on the axis maximum, one unit right of the block.
        const int x = j + 1;
        img.VLine(x, top - 2, top + 3, ClipMark);
        img.VLine(x - 1, top - 1, top + 2, ClipMark);
        img.VLine(x + 1, top - 1, top + 2, ClipMark);
    }
}

// The empty meter copied into the picture a meter is drawn in next.
Pixels NextPicture(QImage& next, const QImage& blank) {
    if (next.size() != blank.size()) next = QImage(blank.size(), QImage::Format_RGB32);
    Pixels px(next);
    std::memcpy(px.px, blank.constBits(), size_t(blank.sizeInBytes()));
    return px;
}

// The columns where two pictures of one size differ, as a rectangle of their height.
QRect ChangedColumns(const QImage& before, const QImage& after) {
    int first = after.width(), last = -1;
    for (int y = 0; y < after.height(); ++y) {
        const auto* a = reinterpret_cast<const QRgb*>(before.constScanLine(y));
        const auto* b = reinterpret_cast<const QRgb*>(after.constScanLine(y));
        int x = 0;
        while (x < first && a[x] == b[x]) ++x;
        first = std::min(first, x);
        int z = after.width() - 1;
        while (z > last && a[z] == b[z]) --z;
        last = std::max(last, z);
    }
    return last < first ? QRect() : QRect(first, 0, last - first + 1, after.height());
}

// The meter just drawn becomes the picture; returns what changed on it.
QRect Show(QImage& picture, QImage& next, bool& shown) {
    const QRect changed = shown && picture.size() == next.size() ? ChangedColumns(picture, next) : next.rect();
    std::swap(picture, next);
    shown = true;
    return changed;
}

QRgb TimeColumnColour(int x) { return (x & 1) ? TimeLight : TimeDark; }

}  // namespace

const TimeBarScale& TimeBarScaleFor(int minutes) {
    for (const TimeBarScale& s : TimeBarScales)
        if (minutes <= s.Minutes) return s;
    return TimeBarScales[std::size(TimeBarScales) - 1];
}

void LayoutDisplays(DisplayState& d, int clientWidth, int knobWidth) {
    DisplayLayout& l = d.Layout;
    l.ClientWidth = clientWidth;
    l.LevelMeterRect = {18, 30, clientWidth - 22, 46};
    l.LevelScale = float(l.LevelMeterRect.Right - l.LevelMeterRect.Left - 2) / 32767.0f;
    l.DcMeterRect = {250, 80, 340, 96};
    l.DcScale = float(l.DcMeterRect.Right - l.DcMeterRect.Left) / 3276.7f;
    l.VolumePerPixel = 100.0f / float(l.VolumeTrackRight - knobWidth - l.VolumeTrackLeft + 1);
    l.ChartLeft = l.LevelMeterRect.Left;
    l.ChartWidth = l.LevelMeterRect.Right - l.LevelMeterRect.Left + 1;
    l.WavePointCount = std::clamp(l.ChartWidth, 1, WaveHistoryPlaces);
    l.WaveScale = float(l.ChartHeight) / 32767.0f;
    l.TimeBarRect = {18, 228, clientWidth - 22, 244};

    const DisplayRect& lv = l.LevelMeterRect;
    const DisplayRect& dc = l.DcMeterRect;
    const DisplayRect& tb = l.TimeBarRect;
    Resize(d.LevelPicture, lv.Right - lv.Left + 1, lv.Bottom - lv.Top);
    Resize(d.DcPicture, dc.Right - dc.Left + 1, dc.Bottom - dc.Top);
    if (Resize(d.ChartPicture, l.ChartWidth, l.ChartHeight)) d.ChartPushes = -1;
    Resize(d.TimePicture, tb.Right - tb.Left + 1, tb.Bottom - tb.Top + 1);
    if (d.Font.pixelSize() != 12) d.Font.setPixelSize(12);
    if (d.TimeBarMinutes <= 0) d.TimeBarMinutes = 3;
    d.TimeBarPixelsPerSecond = float(tb.Right - tb.Left - 2) / float(d.TimeBarMinutes * 60);
}

void DrawPanelFrames(QImage& window, const DisplayState& d, const ColourSchemeState& c) {
    const DisplayLayout& l = d.Layout;
    const Pixels cw(window);
    const int track = l.VolumeTrackRow;
    for (int k = 1; k <= MainFrameLines; ++k) {
        const QRgb col = FrameColour(c, k, MainFrameLines).rgb();
        for (const DisplayRect& r : {l.LevelMeterRect, l.DcMeterRect}) {
            cw.HLine(r.Left - k, r.Right + k, r.Top - k, col);
            cw.HLine(r.Left - k, r.Right + k, r.Bottom + k - 1, col);
            cw.VLine(r.Left - k, r.Top - k, r.Bottom + k - 1, col);
            cw.VLine(r.Right + k, r.Top - k, r.Bottom + k, col);
        }
        // The wedge of the volume knob's track.
        cw.Line(l.VolumeTrackLeft, track - Round(k / 3.0), 133 + k / 3, track + 1 - Round(2 * k / 3.0), col);
        cw.Line(l.VolumeTrackLeft, track + Round(k / 3.0), 133 - k / 3, track + Round(2 * k / 3.0), col);
        cw.VLine(l.ChartLeft - k, l.ChartTop, l.ChartTop + l.ChartHeight, col);
        cw.VLine(l.LevelMeterRect.Right + k, l.ChartTop, l.ChartTop + l.ChartHeight, col);
        const DisplayRect& t = l.TimeBarRect;
        cw.VLine(t.Left - k, t.Top - k, t.Bottom + k - 1, col);
        cw.VLine(t.Right + k, t.Top - k, t.Bottom + k, col);
    }

    const QRgb text = c.TextColour.rgb();
    QPainter p(&window);
    p.setFont(d.Font);
    p.setPen(c.TextColour);
    const DisplayRect& lv = l.LevelMeterRect;
    const DisplayRect& dc = l.DcMeterRect;
    Text(p, lv.Left + 160, lv.Top - 13, QStringLiteral("Input Signal Level, %"));
    Text(p, dc.Left + 20, dc.Top - 13, QStringLiteral("DC Offset, %"));
    for (int i = 0; i <= 10; ++i) {
        const int x = lv.Left + i * (lv.Right - lv.Left) / 10;
        cw.VLine(x, lv.Bottom, lv.Bottom + 3, text);
        Text(p, x - 6, lv.Bottom + 1, QString::number(10 * i));
    }
    for (int i = 0; i <= 5; ++i) {
        const int x = dc.Left + i * (dc.Right - dc.Left) / 5;
        cw.VLine(x, dc.Bottom, dc.Bottom + 3, text);
        Text(p, x - 6, dc.Bottom + 1, QString::number(2 * i));
    }
}

QRect DrawLevelMeter(DisplayState& d, const ProcessingState& p, const ColourSchemeState& c) {
    const QImage& img = d.LevelPicture;
    const int span = d.Layout.LevelMeterRect.Right - d.Layout.LevelMeterRect.Left;
    const QRgb panel = PanelColour(c).rgb(), mark = c.MarkColour.rgb();
    // The empty meter with its ticks is drawn once per scheme and copied per block.
    if (d.LevelBlank.size() != img.size() || d.LevelBlankColours != std::pair(panel, mark)) {
        d.LevelBlank = QImage(img.size(), QImage::Format_RGB32);
        d.LevelBlank.fill(panel);
        const Pixels blank(d.LevelBlank);
        for (int i = 1; i <= 99; ++i) {
            blank.VLine(i * span / 100, 2, 7, mark);
            blank.VLine(i * span / 100, 9, 14, mark);
        }
        for (int i = 0; i <= 10; ++i) blank.VLine(i * span / 10, 1, 14, mark);
        blank.HLine(0, span, 8, mark);
        d.LevelBlankColours = {panel, mark};
    }
    const Pixels cv = NextPicture(d.LevelNext, d.LevelBlank);
    const float scale = d.Layout.LevelScale;
    LevelChannel(cv, 1, p.BlockMaxLeft, p.BlockMeanLeft, scale, d.PeakHoldLeft, p.ClipHoldLeft);
    LevelChannel(cv, 9, p.BlockMaxRight, p.BlockMeanRight, scale, d.PeakHoldRight, p.ClipHoldRight);
    // The mark falls 10 pixels per drawn block and rests, undrawn, at 10 or less.
    if (d.PeakHoldLeft > 10) d.PeakHoldLeft -= 10;
    if (d.PeakHoldRight > 10) d.PeakHoldRight -= 10;
    return Show(d.LevelPicture, d.LevelNext, d.LevelShown);
}

QRect DrawDcMeter(DisplayState& d, const ProcessingState& p, const ColourSchemeState& c, bool reduceDc) {
    const QImage& img = d.DcPicture;
    const int span = d.Layout.DcMeterRect.Right - d.Layout.DcMeterRect.Left;
    const QRgb panel = PanelColour(c).rgb(), mark = c.MarkColour.rgb();
    if (d.DcBlank.size() != img.size() || d.DcBlankColours != std::pair(panel, mark)) {
        d.DcBlank = QImage(img.size(), QImage::Format_RGB32);
        d.DcBlank.fill(panel);
        const Pixels blank(d.DcBlank);
        blank.HLine(0, span, 8, mark);
        for (int i = 1; i <= 9; ++i) {
            blank.VLine(i * span / 10, 2, 7, mark);
            blank.VLine(i * span / 10, 9, 14, mark);
        }
        for (int i = 0; i <= 5; ++i) {
            blank.VLine(i * span / 5, 1, 7, mark);
            blank.VLine(i * span / 5, 9, 14, mark);
        }
        d.DcBlankColours = {panel, mark};
    }
    const Pixels cv = NextPicture(d.DcNext, d.DcBlank);
    DcChannel(cv, 1, reduceDc ? p.ResidualDcLeft : p.BlockMeanLeft, d.Layout.DcScale);
    DcChannel(cv, 9, reduceDc ? p.ResidualDcRight : p.BlockMeanRight, d.Layout.DcScale);
    return Show(d.DcPicture, d.DcNext, d.DcShown);
}

void ClearLevelMeter(DisplayState& d, const ColourSchemeState& c) {
    d.LevelPicture.fill(PanelColour(c));
    d.LevelShown = false;
}

void ClearDcMeter(DisplayState& d, const ColourSchemeState& c) {
    d.DcPicture.fill(PanelColour(c));
    d.DcShown = false;
}

void ClearWaveHistory(DisplayState& d) {
    d.History = WaveHistory{};
    d.ChartPushes = -1;
}

void PushWaveHistory(DisplayState& d, const ProcessingState& p) {
    WaveHistory& h = d.History;
    const size_t count = size_t(std::clamp(d.Layout.WavePointCount, 1, WaveHistoryPlaces));
    for (auto* a : {&h.LeftValue, &h.RightValue, &h.LeftClipHold, &h.RightClipHold})
        std::memmove(a->data() + 2, a->data() + 1, (count - 1) * sizeof(int32_t));
    const double scale = d.Layout.WaveScale;
    h.LeftValue[1] = Round((double(p.BlockMaxLeft) - p.BlockMeanLeft) * scale);
    h.RightValue[1] = Round((double(p.BlockMaxRight) - p.BlockMeanRight) * scale);
    h.LeftClipHold[1] = p.ClipHoldLeft;
    h.RightClipHold[1] = p.ClipHoldRight;
    if (d.ChartPushes >= 0) ++d.ChartPushes;
}

// One place pushed since the last plot moves every column one to the right:
// the picture is shifted and only the columns that the newest place reaches
// (its segment, the next segment's start and its clip mark) are drawn again.
// That holds while the history fills the chart's width (the oldest place's
// drawing falls off the right edge).
int PlotWaveHistory(DisplayState& d, const ColourSchemeState& c) {
    const std::array<QRgb, 3> colours{ChartColour(c).rgb(), c.LeftTraceColour.rgb(), c.RightTraceColour.rgb()};
    const int count = std::clamp(d.Layout.WavePointCount, 1, WaveHistoryPlaces);
    Pixels img(d.ChartPicture);
    constexpr int Redrawn = 4;  // columns 0 … 3
    const bool moved = d.ChartPushes == 1 && d.ChartColours == colours && count >= img.w && img.w > Redrawn;
    if (moved) {
        for (int y = 0; y < img.h; ++y) std::memmove(img.row(y) + 1, img.row(y), size_t(img.w - 1) * sizeof(QRgb));
        img.right = Redrawn - 1;
    }
    PlotColumns(img, d.History, count, d.Layout.ChartHeight, colours);
    d.ChartPushes = 0;
    d.ChartColours = colours;
    return moved ? Redrawn : 0;
}

void ClearLiveChart(DisplayState& d, const ColourSchemeState& c) {
    d.ChartPicture.fill(ChartColour(c));
    d.ChartPushes = -1;
}

std::vector<TimeBarLabel> TimeBarLabels(const DisplayState& d) {
    const DisplayRect& t = d.Layout.TimeBarRect;
    const TimeBarScale& s = TimeBarScaleFor(d.TimeBarMinutes);
    std::vector<TimeBarLabel> labels;
    labels.reserve(size_t(s.N + 1));
    for (int i = 0; i <= s.N; ++i) {
        const int x = t.Left + Round(double(t.Right - t.Left) * i / s.N) - s.D;
        labels.push_back({x, i < s.N ? QString::number(i * s.S) + d.TimeBarUnit : QString::number(s.N * s.S)});
    }
    return labels;
}

void DrawTimeBarFrame(QImage& window, DisplayState& d, const ColourSchemeState& c, int minutes,
                      const QString& modeText) {
    const DisplayRect& t = d.Layout.TimeBarRect;
    const int L = t.Left, R = t.Right, T = t.Top, B = t.Bottom;
    const Pixels cw(window);
    d.TimeBarMinutes = minutes > 0 ? minutes : 3;
    d.TimeBarPixelsPerSecond = float(R - L - 2) / float(d.TimeBarMinutes * 60);
    const TimeBarScale& s = TimeBarScaleFor(d.TimeBarMinutes);
    d.TimeBarTitle = QStringLiteral("Recording Mode - ") + modeText;
    d.TimeBarUnit = QStringLiteral("min");
    if (s.Hours) {
        d.TimeBarTitle = QStringLiteral("Time Recorded, hour");
        d.TimeBarUnit = QStringLiteral(" hr");
    }

    for (int k = 1; k <= MainFrameLines; ++k) {
        const QRgb col = FrameColour(c, k, MainFrameLines).rgb();
        cw.HLine(L - k, R + k, T - k, col);
        cw.VLine(L - k, T - k, B + k - 1, col);
        cw.VLine(R + k, T - k, B + k, col);
    }
    for (int k = 1; k <= MainFrameLines; ++k)
        cw.HLine(L - k, R + k, B + k - 1, FrameColour(c, k, MainFrameLines).rgb());
    const QRgb base = BaseColour(c).rgb();
    for (int k = 15; k <= 18; ++k) cw.HLine(L - k + 3, R + k, B + k - 1, base);

    const QRgb text = c.TextColour.rgb();
    QPainter p(&window);
    p.setFont(d.Font);
    p.setPen(c.TextColour);
    for (int i = 0; i <= s.N; ++i) cw.VLine(L + Round(double(R - L) * i / s.N), B, B + 7, text);
    for (const TimeBarLabel& label : TimeBarLabels(d)) Text(p, label.X, B + 5, label.Text);
    Text(p, L + 140, T - 13, d.TimeBarTitle);
}

void DrawTimeBarBackground(DisplayState& d, const ColourSchemeState& c, bool ringFilled) {
    d.TimePicture.fill(ringFilled ? QColor::fromRgb(RingFilledBack) : PanelColour(c));
    const Pixels img(d.TimePicture);
    const int h = img.height();
    const int span = d.Layout.TimeBarRect.Right - d.Layout.TimeBarRect.Left;
    const QRgb mark = c.MarkColour.rgb();
    for (int i = 1; i <= 60; ++i) img.VLine(Round(double(i) * span / 60), 4, h - 4, mark);
    const int n = TimeBarScaleFor(d.TimeBarMinutes).N;
    for (int j = 0; j <= n; ++j) img.VLine(Round(double(j) * span / n), 1, h - 1, mark);
}

namespace {
// The bar's length in columns; a span shorter than the recording (after a
// mode change) stops at the full bar.
int TimeBarColumns(const DisplayState& d, uint32_t lastWrittenBlock) {
    const int full = d.Layout.TimeBarRect.Right - d.Layout.TimeBarRect.Left - 2;
    return std::clamp(Round(double(lastWrittenBlock) * d.TimeBarPixelsPerSecond / 10), 0, full);
}
}  // namespace

int DrawTimeBarColumn(DisplayState& d, uint32_t lastWrittenBlock) {
    const int x = TimeBarColumns(d, lastWrittenBlock);
    const Pixels img(d.TimePicture);
    img.VLine(x, 1, img.height() - 1, TimeColumnColour(x));
    return x;
}

int TimeBarColumnOf(const DisplayState& d, uint32_t block) { return TimeBarColumns(d, block); }

std::pair<int, int> DrawTimeBarMarkers(DisplayState& d, const std::vector<uint32_t>& blocks) {
    std::pair<int, int> touched{1, 0};
    const Pixels img(d.TimePicture);
    for (const uint32_t block : blocks) {
        const int x = TimeBarColumns(d, block);
        img.VLine(x, 1, img.height() - 1, MarkerTick);
        img.HLine(x - 1, x + 2, 1, MarkerTick);
        img.HLine(x - 1, x + 2, 2, MarkerTick);
        touched = touched.first > touched.second ? std::pair{x - 1, x + 1}
                                                 : std::pair{std::min(touched.first, x - 1), std::max(touched.second, x + 1)};
    }
    return touched;
}

void RedrawTimeBar(DisplayState& d, const ColourSchemeState& c, uint32_t lastWrittenBlock, bool ringFilled) {
    DrawTimeBarBackground(d, c, ringFilled);
    if (lastWrittenBlock == 0) return;
    const int n = TimeBarColumns(d, lastWrittenBlock);
    const Pixels img(d.TimePicture);
    Stripes(img, 1, n + 1, 1, img.height() - 1, TimeLight, TimeDark);
}

}  // namespace orv
