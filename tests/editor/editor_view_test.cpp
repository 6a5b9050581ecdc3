// The editor view's pictures, drawn without a window; every rule is read
// back from the pixels.
#include <gtest/gtest.h>

#include <ostream>
#include <vector>

#include "display/editor_view.h"

namespace orv {
namespace {

struct TimeCase {
    uint32_t blocks;
    const char* time;
    const char* tenths;
};

void PrintTo(const TimeCase& c, std::ostream* o) { *o << c.blocks; }

class BlockTimes : public ::testing::TestWithParam<TimeCase> {};

TEST_P(BlockTimes, AreHoursMinutesSecondsAndTenths) {
    EXPECT_EQ(FormatBlockTime(GetParam().blocks), GetParam().time);
    EXPECT_EQ(FormatBlockTimeTenths(GetParam().blocks), GetParam().tenths);
}

INSTANTIATE_TEST_SUITE_P(Table, BlockTimes,
                         ::testing::Values(TimeCase{0, "00:00:00", "00:00:00.0"}, TimeCase{45, "00:00:04", "00:00:04.5"},
                                           TimeCase{100, "00:00:10", "00:00:10.0"},
                                           TimeCase{599, "00:00:59", "00:00:59.9"},
                                           TimeCase{600, "00:01:00", "00:01:00.0"},
                                           TimeCase{36000, "01:00:00", "01:00:00.0"},
                                           TimeCase{359999, "09:59:59", "09:59:59.9"},
                                           // Fields are cut to two characters.
                                           TimeCase{36000000, "10:00:00", "10:00:00.0"}));

class Geometries : public ::testing::TestWithParam<QSize> {};

TEST_P(Geometries, KeepTheWaveInsideItsAreaAndApartFromTheMeter) {
    const EditorGeometry g = LayoutEditorGeometry(GetParam().width(), GetParam().height(), 52, 22, 17, 22);
    EXPECT_EQ(g.BitmapHeight(), g.BitmapBottom - g.T);
    EXPECT_LT(g.R + EditorFrameLines, g.MeterLeft - EditorFrameLines + 1);
    EXPECT_LE(g.IncLeft + 22 + 22, g.W);
    // Full scale of each channel stays inside its half of the wave area.
    EXPECT_GE(g.LeftCentre - int(std::lround(32767 * g.S)), 0);
    EXPECT_LE(g.LeftCentre + int(std::lround(32768 * g.S)), g.Divider);
    EXPECT_GE(g.RightCentre - int(std::lround(32767 * g.S)), g.Divider);
    EXPECT_LE(g.RightCentre + int(std::lround(32768 * g.S)), g.H);
}

INSTANTIATE_TEST_SUITE_P(Sizes, Geometries, ::testing::Values(QSize(780, 450), QSize(1920, 1080), QSize(1001, 613)));

// A recording of 'blocks' blocks whose block k has left peaks ±(100 k) and
// right peaks +50 k / −25 k.
class ViewPicture : public ::testing::Test {
protected:
    void Make(uint32_t blocks) {
        peaks.Allocate(blocks + 1);
        for (uint32_t k = 1; k <= blocks; ++k) {
            peaks.PeakMaxLeft[k] = int16_t(std::min<uint32_t>(100 * k, 32767));
            peaks.PeakMinLeft[k] = int16_t(-int32_t(std::min<uint32_t>(100 * k, 32767)));
            peaks.PeakMaxRight[k] = int16_t(std::min<uint32_t>(50 * k, 32767));
            peaks.PeakMinRight[k] = int16_t(-int32_t(std::min<uint32_t>(25 * k, 32767)));
        }
        pieces = {Piece{1, blocks, 1, true}};
        t.Pieces = pieces;
        t.RecordingPeaks = &peaks;
        t.EditPeaks = &editPeaks;
        t.TotalBlocks = blocks;
    }
    QRgb At(int x, int y) const { return view.View.pixel(x, y); }
    int Row(int centre, int value) const { return centre - int(RoundEvenForTest(value * double(g.S))); }
    static long RoundEvenForTest(double v) { return std::lrint(v); }

    ColourSchemeState scheme;
    ViewColours c = MakeViewColours(scheme);
    EditorGeometry g = LayoutEditorGeometry(780, 450, 52, 22, 17, 22);
    EditorView view;
    PeakTables peaks, editPeaks;
    std::vector<Piece> pieces;
    ViewTimeline t;
};

TEST_F(ViewPicture, ColumnsSpanThePeaksAndPastTheEndStayBackground) {
    Make(100);
    t.SelStart = 20;
    t.SelEnd = 30;
    t.InsertPoint = 50;
    DrawView(view, g, t, c);
    for (int col : {10, 25, 60, 100}) {
        const bool selected = col >= 20 && col <= 30;
        const QRgb wave = (selected ? c.SelectedWave : c.Wave).rgb();
        const QRgb back = (selected ? c.SelectedBack : c.UnselectedBack).rgb();
        const int top = Row(g.LeftCentre, 100 * col), bottom = Row(g.LeftCentre, -100 * col);
        EXPECT_EQ(At(col, top), wave) << col;
        EXPECT_EQ(At(col, bottom - 1), wave) << col;
        EXPECT_EQ(At(col, bottom), back) << col;  // the end point is not drawn
        EXPECT_EQ(At(col, top - 1), back) << col;
        EXPECT_EQ(At(col, Row(g.RightCentre, 50 * col)), wave) << col;
        EXPECT_EQ(At(col, g.LeftCentre), qRgb(130, 130, 130));
        EXPECT_EQ(At(col, g.Divider), qRgb(170, 170, 170));
        EXPECT_EQ(At(col, g.Divider + 1), qRgb(130, 130, 130));
        // Selected columns reach rows 0 and H, unselected ones do not.
        EXPECT_EQ(At(col, 0), selected ? back : c.Background.rgb()) << col;
    }
    for (int col : {101, 300, g.Columns()})
        for (int y : {0, g.LeftCentre, g.Divider, g.H - 1}) EXPECT_EQ(At(col, y), c.Background.rgb()) << col;
    // The dotted insertion line at block 50, white between the dots.
    EXPECT_EQ(At(50, 1), qRgb(100, 100, 255));
    EXPECT_EQ(At(50, 2), qRgb(255, 255, 255));
    EXPECT_EQ(At(50, 3), qRgb(100, 100, 255));
}

TEST_F(ViewPicture, ColumnsWithoutDisplayPeaksAreBackground) {
    Make(100);
    // A piece pointing past the peak table (a source shorter than it claims).
    pieces = {Piece{1, 50, 1, true}, Piece{51, 50, 500, true}};
    t.Pieces = pieces;
    DrawView(view, g, t, c);
    EXPECT_EQ(At(50, 1), c.UnselectedBack.rgb());
    EXPECT_EQ(At(51, 1), c.Background.rgb());
    EXPECT_EQ(At(51, g.LeftCentre), c.Background.rgb());
}

TEST_F(ViewPicture, AColumnSummarisesTheBlocksEndingAtItsBlockInThatPiecesSource) {
    Make(100);
    editPeaks.Allocate(10);
    for (size_t k = 1; k < 10; ++k) editPeaks.PeakMaxLeft[k] = int16_t(7 * k), editPeaks.PeakMinLeft[k] = 0;
    pieces = {Piece{1, 40, 1, true}, Piece{41, 5, 3, false}, Piece{46, 55, 41, true}};
    t.Pieces = pieces;
    // Block 42 is Edit.raw block 4: with z 4, Edit.raw blocks 1 … 4.
    EXPECT_EQ(BlockPeaks(t, 42, 4).MaxLeft, 28);
    // Block 46 is recording block 41: recording blocks 38 … 41, never the edit.
    EXPECT_EQ(BlockPeaks(t, 46, 4).MaxLeft, 4100);
    EXPECT_EQ(BlockPeaks(t, 46, 4).MinLeft, -4100);
    // Never below block 1.
    EXPECT_EQ(BlockPeaks(t, 2, 8).MinRight, -50);
    EXPECT_FALSE(BlockPeaks(t, 101, 1).Known);
}

TEST_F(ViewPicture, RulerTicksFollowTheColumnUnits) {
    Make(3000);
    for (auto [zoom, first] : {std::pair{1, 0u}, std::pair{2, 0u}, std::pair{2, 20u}}) {
        view.ZoomLevel = zoom;
        view.ViewFirstBlock = first;
        DrawView(view, g, t, c);
        const int shift = int(first / BlocksPerPixel(zoom));  // columns before unit 0
        const QRgb text = c.Text.rgb();
        for (int i = 0; i < g.BitmapWidth(); ++i) {
            const int unit = i + shift;
            const bool shortTick = unit % 10 == 0, longTick = unit % 100 == 0;
            ASSERT_EQ(At(i, g.H + 1) == text, shortTick) << zoom << " column " << i;
            ASSERT_EQ(At(i, g.H + 4) == text, shortTick) << i;
            if (!longTick) ASSERT_NE(At(i, g.H + 5), text) << i;
            if (longTick) ASSERT_EQ(At(i, g.H + 10), text) << i;
        }
    }
}

TEST_F(ViewPicture, DragRedrawsOnlyTheColumnsThatChanged) {
    Make(600);
    const uint32_t markers[] = {105, 118, 122};  // their lines and numbers survive the redrawn columns
    t.Markers = markers;
    t.SelStart = 100;
    t.SelEnd = 120;
    DrawView(view, g, t, c);
    EXPECT_EQ(DrawSelectionChange(view, g, t, c), 0);
    t.SelEnd = 125;
    EXPECT_EQ(DrawSelectionChange(view, g, t, c), 5);
    t.SelStart = 110;
    EXPECT_EQ(DrawSelectionChange(view, g, t, c), 10);
    const QImage incremental = view.View.copy();
    DrawView(view, g, t, c);
    for (int col = 95; col <= 130; ++col)
        for (int y = 1; y < g.H; ++y) ASSERT_EQ(incremental.pixel(col, y), view.View.pixel(col, y)) << col << "," << y;
    // Nothing selected: every column the memo holds goes back.
    t.SelStart = t.SelEnd = 5;
    EXPECT_EQ(DrawSelectionChange(view, g, t, c), 16);
}

TEST_F(ViewPicture, TheMemoGrowsWithAWideView) {
    Make(5000);
    const EditorGeometry wide = LayoutEditorGeometry(4000, 600, 52, 22, 17, 22);
    t.SelStart = 1;
    t.SelEnd = 3500;
    EXPECT_EQ(DrawSelectionChange(view, wide, t, c), 3500);
    EXPECT_EQ(view.View.pixel(3400, 0), c.SelectedBack.rgb());
}

TEST_F(ViewPicture, MeterBarsAlternateAndThePeakHoldFalls) {
    Make(10);
    DrawPlaybackMeter(view, g, c, 32767, 0);
    const int bar = int(std::lrint(32767 * double(g.MeterScale)));
    EXPECT_EQ(view.Meter.pixel(5, g.H - 1), qRgb(0, 255, 0));
    EXPECT_EQ(view.Meter.pixel(5, g.H - 2), qRgb(0, 170, 0));
    EXPECT_EQ(view.Meter.pixel(13, g.H - 1), c.MeterBack.rgb());
    EXPECT_EQ(view.PeakHoldLeft, bar - 2 * g.MeterDecay);
    DrawPlaybackMeter(view, g, c, 0, 0);
    const int hold = bar - 2 * g.MeterDecay;
    EXPECT_EQ(view.Meter.pixel(5, g.H - hold - 1), qRgb(60, 235, 60));
    EXPECT_EQ(view.Meter.pixel(5, g.H - 1), c.MeterBack.rgb());
    EXPECT_EQ(view.PeakHoldLeft, hold - 2 * g.MeterDecay);
}

TEST(ViewRules, ZoomScrollAndMarksOnEdgeLengths) {
    const EditorGeometry g = LayoutEditorGeometry(780, 450, 52, 22, 17, 22);
    const int cols = g.Columns();
    EXPECT_EQ(ZoomToFit(0, cols), 1);
    EXPECT_EQ(ZoomToFit(uint32_t(cols), cols), 1);
    EXPECT_EQ(ZoomToFit(uint32_t(cols) + 1, cols), 2);
    EXPECT_EQ(ZoomToFit(PeakTableSize, cols), 10);
    EditorView v;
    // An empty timeline scrolls nowhere and divides by nothing.
    EXPECT_EQ(ScrollFor(v, g, 0).Position, 0);
    EXPECT_EQ(ScrollFor(v, g, 0).PageStep, ScrollMax);
    EXPECT_EQ(PlaceOverviewMarks(g, ViewTimeline{{}, nullptr, nullptr, 0, 1, 0, 1}).SelectedWidth, 0);
    v.ZoomLevel = 3;
    for (int pos : {0, 1, 777, 5000, 9999, 10000}) EXPECT_EQ(ViewFirstForScroll(pos, 3000, 4) % 4, 0u) << pos;
    EXPECT_FALSE(ZoomOut(v, 100, cols));
    EXPECT_TRUE(ZoomOut(v, 100000, cols));
    EXPECT_EQ(v.ZoomLevel, 4);
    ZoomAfterResize(v, 100, cols);
    EXPECT_EQ(v.ZoomLevel, 3);
}

}  // namespace
}  // namespace orv
