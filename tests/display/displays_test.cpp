// The displays drawn into their pictures, checked pixel by pixel.
#include <gtest/gtest.h>

#include <QImage>

#include "display/colour_scheme.h"
#include "display/displays.h"

namespace orv {
namespace {

constexpr QRgb Lime = 0xff00ff00, Green = 0xff00aa00, DcLight = 0xffffb946, DcDark = 0xffcd8714;

bool IsLevelBar(QRgb c) { return c == Lime || c == Green; }
bool IsDcBar(QRgb c) { return c == DcLight || c == DcDark; }

class DisplaysTest : public ::testing::Test {
protected:
    void SetUp() override { Scheme(1); }
    void Scheme(int n) {
        SelectScheme(colours, n);
        ChooseTextColours(colours);
        LayoutDisplays(d, 464);
    }
    QRgb Level(int x, int y) const { return d.LevelPicture.pixel(x, y); }
    // Columns of a picture's row whose colour passes a test.
    template <class F>
    std::vector<int> Columns(const QImage& img, int y, F f) const {
        std::vector<int> xs;
        for (int x = 0; x < img.width(); ++x)
            if (f(img.pixel(x, y))) xs.push_back(x);
        return xs;
    }
    static std::vector<int> Range(int a, int b) {
        std::vector<int> v;
        for (int x = a; x <= b; ++x) v.push_back(x);
        return v;
    }

    ColourSchemeState colours;
    DisplayState d;
    ProcessingState p;
};

TEST_F(DisplaysTest, LayoutOfTheDesignedWindow) {
    const DisplayLayout& l = d.Layout;
    EXPECT_EQ(d.LevelPicture.size(), QSize(425, 16));
    EXPECT_EQ(d.DcPicture.size(), QSize(91, 16));
    EXPECT_EQ(d.TimePicture.size(), QSize(425, 17));
    EXPECT_EQ(d.ChartPicture.size(), QSize(425, 75));
    EXPECT_EQ(l.WavePointCount, 425);
    EXPECT_FLOAT_EQ(l.VolumePerPixel, 100.0f / 107.0f);
    // A picture is made once: laying out again keeps the same memory.
    const uchar* bits = d.LevelPicture.constBits();
    LayoutDisplays(d, 464);
    EXPECT_EQ(d.LevelPicture.constBits(), bits);
    // A wider window is clamped to the history's 600 places.
    LayoutDisplays(d, 1000);
    EXPECT_EQ(d.Layout.WavePointCount, 600);
    p.BlockMaxLeft = 1000;
    for (int i = 0; i < 700; ++i) PushWaveHistory(d, p);
    PlotWaveHistory(d, colours);
    EXPECT_EQ(d.History.LeftValue[600], 2);
}

TEST_F(DisplaysTest, LevelMeterBarPeakHoldAndClipMark) {
    // A silent block draws no bar.
    p.BlockMaxLeft = 100;
    p.BlockMeanLeft = 100.4;
    DrawLevelMeter(d, p, colours);
    EXPECT_TRUE(Columns(d.LevelPicture, 3, IsLevelBar).empty());

    // Full scale over a zero mean, clipping: bar 1 … 422 under the clip box at the last five columns.
    p.BlockMaxLeft = 32767;
    p.BlockMeanLeft = 0;
    p.ClipHoldLeft = 30;
    DrawLevelMeter(d, p, colours);
    for (int y = 1; y <= 6; ++y) {
        EXPECT_EQ(Columns(d.LevelPicture, y, IsLevelBar), Range(1, 419)) << "row " << y;
        EXPECT_EQ(Level(1, y), Lime);
        EXPECT_EQ(Level(2, y), Green);
        for (int x = 420; x <= 424; ++x) EXPECT_EQ(Level(x, y), qRgb(255, 0, 0));
    }
    EXPECT_TRUE(Columns(d.LevelPicture, 10, IsLevelBar).empty()) << "the right channel stays empty";
    // The next silent block: the hold box has fallen to 408 … 411, the clip mark dims.
    p.BlockMaxLeft = 0;
    p.ClipHoldLeft = 29;
    DrawLevelMeter(d, p, colours);
    for (int y = 1; y <= 6; ++y) {
        EXPECT_EQ(Columns(d.LevelPicture, y, IsLevelBar), Range(408, 411)) << "row " << y;
        EXPECT_EQ(Level(420, y), qRgb(253, 0, 0));
    }
    DrawLevelMeter(d, p, colours);
    EXPECT_EQ(Columns(d.LevelPicture, 1, IsLevelBar), Range(398, 401));
}

TEST_F(DisplaysTest, PeakHoldOfFifteenIsDrawnOnceThenRestsUndrawn) {
    p.BlockMaxRight = 1165;  // 15 pixels
    DrawLevelMeter(d, p, colours);
    EXPECT_EQ(Columns(d.LevelPicture, 12, IsLevelBar), Range(1, 15));
    p.BlockMaxRight = 0;
    DrawLevelMeter(d, p, colours);
    EXPECT_TRUE(Columns(d.LevelPicture, 12, IsLevelBar).empty());
    EXPECT_EQ(d.PeakHoldRight, 5);
    DrawLevelMeter(d, p, colours);
    EXPECT_TRUE(Columns(d.LevelPicture, 12, IsLevelBar).empty());
}

TEST_F(DisplaysTest, ARepeatedPictureIsToldApartFromAChangedOne) {
    // Whether a block needs a repaint: the falling hold mark, a dimming clip
    // mark and a new scheme all change the picture; a steady tone and silence
    // after the fall do not.
    p.BlockMaxLeft = 2000;
    p.BlockMeanLeft = -500;
    EXPECT_FALSE(DrawLevelMeter(d, p, colours).isEmpty());
    EXPECT_FALSE(DrawDcMeter(d, p, colours, false).isEmpty());
    EXPECT_TRUE(DrawLevelMeter(d, p, colours).isEmpty());  // bar and hold mark at 32 again
    EXPECT_TRUE(DrawDcMeter(d, p, colours, false).isEmpty());
    p.BlockMaxLeft = -500;
    EXPECT_FALSE(DrawLevelMeter(d, p, colours).isEmpty());  // bar gone, hold mark at 22
    EXPECT_FALSE(DrawLevelMeter(d, p, colours).isEmpty());  // hold mark at 12
    EXPECT_FALSE(DrawLevelMeter(d, p, colours).isEmpty());  // hold mark gone
    const QImage rest = d.LevelPicture.copy();
    EXPECT_TRUE(DrawLevelMeter(d, p, colours).isEmpty());
    EXPECT_EQ(d.LevelPicture, rest);
    p.ClipHoldRight = 3;
    EXPECT_FALSE(DrawLevelMeter(d, p, colours).isEmpty());
    p.ClipHoldRight = 2;
    EXPECT_FALSE(DrawLevelMeter(d, p, colours).isEmpty());
    EXPECT_TRUE(DrawLevelMeter(d, p, colours).isEmpty());
    Scheme(5);
    EXPECT_FALSE(DrawLevelMeter(d, p, colours).isEmpty());
    EXPECT_FALSE(DrawDcMeter(d, p, colours, false).isEmpty());
    ClearLevelMeter(d, colours);
    EXPECT_FALSE(DrawLevelMeter(d, p, colours).isEmpty());
}

TEST_F(DisplaysTest, LevelBarOfAStronglyNegativeMeanStopsAtThePicture) {
    p.BlockMaxLeft = 32767;
    p.BlockMeanLeft = -30000;
    DrawLevelMeter(d, p, colours);
    EXPECT_EQ(Columns(d.LevelPicture, 4, IsLevelBar), Range(1, 424));
    EXPECT_GT(d.PeakHoldLeft, 424);
    DrawLevelMeter(d, p, colours);  // the hold box beyond the picture is cut, not written past it
    EXPECT_EQ(Columns(d.LevelPicture, 4, IsLevelBar), Range(1, 424));
}

TEST_F(DisplaysTest, DcMeterLengthFollowsTheMeanOrTheResidual) {
    struct Case {
        double mean, residual;
        bool reduce;
        int columns;
    };
    for (const Case& c : {Case{-1000, 0, false, 27}, Case{4000, 0, false, 90}, Case{-4000, 0, false, 90},
                          Case{-1000, 300, true, 8}, Case{0, 0, false, 0}}) {
        p.BlockMeanLeft = c.mean;
        p.ResidualDcLeft = c.residual;
        p.BlockMeanRight = 2 * c.mean;
        DrawDcMeter(d, p, colours, c.reduce);
        EXPECT_EQ(Columns(d.DcPicture, 3, IsDcBar), Range(1, c.columns)) << c.mean << " " << c.reduce;
    }
    // Right channel rows 9 … 14 with its own value (−8000: the full picture).
    EXPECT_EQ(Columns(d.DcPicture, 14, IsDcBar), Range(1, 0));
    p.BlockMeanRight = -8000;
    DrawDcMeter(d, p, colours, false);
    EXPECT_EQ(Columns(d.DcPicture, 14, IsDcBar), Range(1, 90));
}

TEST_F(DisplaysTest, ClearedMetersShowThePanelColourAlone) {
    p.BlockMaxLeft = 30000;
    DrawLevelMeter(d, p, colours);
    ClearLevelMeter(d, colours);
    ClearDcMeter(d, colours);
    for (const QImage* img : {&d.LevelPicture, &d.DcPicture})
        for (int y = 0; y < img->height(); ++y)
            EXPECT_EQ(Columns(*img, y, [](QRgb c) { return c != qRgb(70, 90, 130); }).size(), 0u);
}

TEST_F(DisplaysTest, FramesAndTitlesFollowTheScheme) {
    struct Case {
        int scheme;
        QRgb frame1, text, mark, left, right;
    };
    for (const Case& c : {Case{1, qRgb(42, 62, 102), qRgb(240, 240, 240), qRgb(192, 192, 192), qRgb(255, 255, 0),
                               qRgb(235, 235, 235)},
                          Case{5, qRgb(92, 92, 102), qRgb(0, 0, 0), qRgb(48, 48, 80), qRgb(150, 0, 0), qRgb(0, 0, 150)},
                          Case{4, qRgb(92, 82, 22), qRgb(240, 240, 240), qRgb(192, 192, 192), qRgb(255, 255, 0),
                               qRgb(235, 235, 235)}}) {
        SCOPED_TRACE(c.scheme);
        Scheme(c.scheme);
        QImage window(464, 302, QImage::Format_RGB32);
        window.fill(BaseColour(colours));
        DrawPanelFrames(window, d, colours);
        // Innermost frame line left of the level meter; outermost is the window colour.
        EXPECT_EQ(window.pixel(17, 40), c.frame1);
        EXPECT_EQ(window.pixel(4, 40), BaseColour(colours).rgb());
        EXPECT_EQ(window.pixel(249, 90), c.frame1);
        // The title "Input Signal Level, %" is written in the text colour.
        bool titleDrawn = false;
        for (int y = 17; y < 30 && !titleDrawn; ++y)
            for (int x = 178; x < 300; ++x) titleDrawn |= window.pixel(x, y) == c.text;
        EXPECT_TRUE(titleDrawn);
        // Ticks inside the meter, and the live waveform's two traces.
        DrawLevelMeter(d, p, colours);
        EXPECT_EQ(Level(424, 1), c.mark);
        p.BlockMaxLeft = 13107;  // 30 of the chart's 75
        p.BlockMaxRight = 6554;  // 15
        PushWaveHistory(d, p);
        PlotWaveHistory(d, colours);
        EXPECT_EQ(d.ChartPicture.pixel(1, 74 - 30), c.left);
        EXPECT_EQ(d.ChartPicture.pixel(1, 74 - 15), c.right);
        EXPECT_EQ(d.ChartPicture.pixel(300, 30), ChartColour(colours).rgb());
    }
}

TEST_F(DisplaysTest, WaveHistoryValues) {
    p.BlockMaxLeft = 32767;
    p.BlockMeanLeft = -1000;
    p.BlockMaxRight = 500;
    p.BlockMeanRight = 500;
    PushWaveHistory(d, p);
    EXPECT_EQ(d.History.LeftValue[1], 77);
    EXPECT_EQ(d.History.RightValue[1], 0);
    p.BlockMaxLeft = 32767;
    p.BlockMeanLeft = 0;
    PushWaveHistory(d, p);
    EXPECT_EQ(d.History.LeftValue[1], 75);
    EXPECT_EQ(d.History.LeftValue[2], 77);
    ClearWaveHistory(d);
    EXPECT_EQ(d.History.LeftValue[2], 0);
}

TEST_F(DisplaysTest, OneClipGivesOneMarkThatMovesRightWithItsBlock) {
    auto markCentres = [&] {
        // The mark's centre column is the only one red three rows down.
        return Columns(d.ChartPicture, 2, [](QRgb c) { return c == qRgb(255, 0, 0); });
    };
    PushWaveHistory(d, p);
    p.ClipHoldLeft = 30;
    PushWaveHistory(d, p);
    PlotWaveHistory(d, colours);
    EXPECT_EQ(markCentres(), std::vector<int>{2});
    for (int i = 0; i < 5; ++i) {
        p.ClipHoldLeft = 29 - i;
        PushWaveHistory(d, p);
    }
    PlotWaveHistory(d, colours);
    EXPECT_EQ(markCentres(), std::vector<int>{7});
    // A right-channel clip is marked too.
    p.ClipHoldLeft = 0;
    p.ClipHoldRight = 30;
    PushWaveHistory(d, p);
    PlotWaveHistory(d, colours);
    EXPECT_EQ(markCentres(), (std::vector<int>{2, 8}));
    // After 425 blocks the mark has left the chart.
    p.ClipHoldRight = 0;
    for (int i = 0; i < 425; ++i) PushWaveHistory(d, p);
    PlotWaveHistory(d, colours);
    EXPECT_TRUE(markCentres().empty());
}

// The chart is moved and only its newest columns drawn at each block: it must
// equal the chart drawn whole from the same history, clip marks included.
TEST_F(DisplaysTest, ChartDrawnBlockByBlockEqualsTheChartDrawnWhole) {
    uint32_t seed = 7;
    for (int block = 0; block < 500; ++block) {
        seed = seed * 1664525u + 1013904223u;
        p.BlockMaxLeft = int16_t(seed >> 17);
        p.BlockMaxRight = int16_t((seed >> 3) & 0x7fff);
        p.ClipHoldLeft = (seed >> 8) % 13 == 0 ? ClipHoldBlocks : 0;
        p.ClipHoldRight = (seed >> 12) % 17 == 0 ? ClipHoldBlocks : 0;
        PushWaveHistory(d, p);
        if (block == 450) Scheme(5);
        PlotWaveHistory(d, colours);
        DisplayState whole = d;
        ClearLiveChart(whole, colours);
        PlotWaveHistory(whole, colours);
        ASSERT_EQ(d.ChartPicture, whole.ChartPicture) << "block " << block;
    }
}

class TimeBarTest : public DisplaysTest {
protected:
    void Frame(int minutes, const QString& mode = QStringLiteral("连续")) {
        DrawTimeBarFrame(window, d, colours, minutes, mode);
    }
    std::vector<int> Filled() const {
        return Columns(d.TimePicture, 8, [](QRgb c) { return c == qRgb(80, 250, 80) || c == qRgb(0, 170, 0); });
    }
    QImage window{464, 302, QImage::Format_RGB32};
};

TEST_F(TimeBarTest, ColumnsOfTheRecordedTime) {
    Frame(10, QStringLiteral("Loop10 min"));
    EXPECT_EQ(d.TimeBarTitle, QStringLiteral("Recording Mode - Loop10 min"));
    RedrawTimeBar(d, colours, 3000, false);
    EXPECT_EQ(Filled(), Range(1, 211));
    EXPECT_EQ(d.TimePicture.pixel(211, 8), qRgb(80, 250, 80));
    EXPECT_EQ(d.TimePicture.pixel(210, 8), qRgb(0, 170, 0));
    RedrawTimeBar(d, colours, 0, false);
    DrawTimeBarColumn(d, 3000);
    EXPECT_EQ(Filled(), std::vector<int>{211});
    // A full span reaches column 422; a longer recording after a mode change stops there.
    Frame(3);
    RedrawTimeBar(d, colours, 36000, false);
    EXPECT_EQ(Filled(), Range(1, 422));
    DrawTimeBarColumn(d, 36000);
    EXPECT_EQ(Filled(), Range(1, 422));
    // Continuous growth: 2.7 minutes fill 380 columns of 3 minutes, 228 of 5.
    RedrawTimeBar(d, colours, 1620, false);
    EXPECT_EQ(Filled().back(), 380);
    Frame(5);
    RedrawTimeBar(d, colours, 1620, false);
    EXPECT_EQ(Filled().back(), 228);
}

TEST_F(TimeBarTest, BackgroundAndDivisions) {
    Frame(3);
    RedrawTimeBar(d, colours, 0, false);
    EXPECT_EQ(d.TimePicture.pixel(100, 2), qRgb(70, 90, 130));
    RedrawTimeBar(d, colours, 0, true);
    EXPECT_EQ(d.TimePicture.pixel(100, 2), qRgb(50, 130, 50));
    // Major divisions at 0, 141, 283, 424 run rows 1 … 15; minor ones rows 4 … 12.
    const QRgb mark = colours.MarkColour.rgb();
    for (int x : {0, 141, 283, 424}) {
        EXPECT_EQ(d.TimePicture.pixel(x, 1), mark) << x;
        EXPECT_EQ(d.TimePicture.pixel(x, 15), mark) << x;
    }
    EXPECT_EQ(d.TimePicture.pixel(7, 4), mark);
    EXPECT_EQ(d.TimePicture.pixel(7, 12), mark);
    EXPECT_NE(d.TimePicture.pixel(7, 3), mark);
}

TEST_F(TimeBarTest, ScaleLabelsAndTitles) {
    struct Case {
        int minutes;
        std::vector<QString> texts;
        std::vector<int> xs;
        QString title;
    };
    const QString mode = QStringLiteral("Loop 3 min");
    for (const Case& c :
         {Case{3, {"0min", "1min", "2min", "3"}, {11, 152, 294, 435}, "Recording Mode - Loop 3 min"},
          Case{15, {"0min", "5min", "10min", "15"}, {9, 150, 292, 433}, "Recording Mode - Loop 3 min"},
          Case{120, {"0min", "30min", "60min", "90min", "120"}, {12, 118, 224, 330, 436},
               "Recording Mode - Loop 3 min"},
          Case{240, {"0 hr", "1 hr", "2 hr", "3 hr", "4"}, {12, 118, 224, 330, 436}, "Time Recorded, hour"},
          Case{600, {"0 hr", "1 hr", "2 hr", "3 hr", "4 hr", "5 hr", "6 hr", "7 hr", "8 hr", "9 hr", "10"},
               {12, 54, 97, 139, 182, 224, 266, 309, 351, 394, 436}, "Time Recorded, hour"}}) {
        Frame(c.minutes, mode);
        std::vector<QString> texts;
        std::vector<int> xs;
        for (const TimeBarLabel& l : TimeBarLabels(d)) {
            texts.push_back(l.Text);
            xs.push_back(l.X);
        }
        EXPECT_EQ(texts, c.texts) << c.minutes;
        EXPECT_EQ(xs, c.xs) << c.minutes;
        EXPECT_EQ(d.TimeBarTitle, c.title);
        EXPECT_FLOAT_EQ(d.TimeBarPixelsPerSecond, 422.0f / float(c.minutes * 60));
    }
    // The frame's strip under the labels is cleared to the window colour.
    Frame(3);
    for (int y = 258; y <= 261; ++y) EXPECT_EQ(window.pixel(230, y), BaseColour(colours).rgb());
}

}  // namespace
}  // namespace orv

namespace orv {
namespace {

TEST(SchemeTable, WorkedValuesOfTheDerivedColours) {
    struct Row {
        int scheme;
        QRgb panel, chart, light, frame1;
        bool dark;
    };
    const Row rows[] = {
        {1, qRgb(70, 90, 130), qRgb(80, 100, 140), qRgb(190, 210, 250), qRgb(42, 62, 102), false},
        {2, qRgb(60, 110, 80), qRgb(70, 120, 90), qRgb(180, 230, 200), qRgb(32, 82, 52), false},
        {3, qRgb(130, 75, 115), qRgb(140, 85, 125), qRgb(250, 195, 235), qRgb(102, 47, 87), false},
        {4, qRgb(120, 110, 50), qRgb(130, 120, 60), qRgb(240, 230, 170), qRgb(92, 82, 22), false},
        {5, qRgb(120, 120, 130), qRgb(130, 130, 140), qRgb(240, 240, 250), qRgb(92, 92, 102), true},
        {0, qRgb(70, 90, 130), qRgb(80, 100, 140), qRgb(190, 210, 250), qRgb(42, 62, 102), false},
        {6, qRgb(70, 90, 130), qRgb(80, 100, 140), qRgb(190, 210, 250), qRgb(42, 62, 102), false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.scheme);
        ColourSchemeState s;
        SelectScheme(s, 5);  // start elsewhere, so that each row really switches
        SelectScheme(s, r.scheme);
        ChooseTextColours(s);
        EXPECT_EQ(PanelColour(s).rgb(), r.panel);
        EXPECT_EQ(ChartColour(s).rgb(), r.chart);
        EXPECT_EQ(LightColour(s).rgb(), r.light);
        EXPECT_EQ(FrameColour(s, 1, MainFrameLines).rgb(), r.frame1);
        EXPECT_EQ(FrameColour(s, MainFrameLines, MainFrameLines), BaseColour(s));
        EXPECT_EQ(s.TextColour.rgb(), r.dark ? qRgb(0, 0, 0) : qRgb(240, 240, 240));
    }
}

}  // namespace
}  // namespace orv
