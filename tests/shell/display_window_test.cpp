// The main window's displays and the colour chooser, offscreen, with a
// hand-fed capture device; pixels are read from the pictures on the screen.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QLabel>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <memory>

#include "display/widget_displays.h"
#include "shell/form_main.h"
#include "shell/forms.h"
#include "support/fake_system.h"
#include "support/fake_wave_in.h"
#include "support/temp_dir.h"
#include "support/main_window_rig.h"

namespace orv {
namespace {

class DisplayWindowTest : public ::testing::Test, protected test::MainWindowRig {
protected:
    void SetUp() override {
        ASSERT_EQ(::mkdir(exeDir.file("bin").c_str(), 0755), 0);
        ASSERT_EQ(::mkdir(dataDir.file("Orvane Recorder").c_str(), 0755), 0);
    }
    TFormMain& Open() {
        window = std::make_unique<TFormMain>(seams, state);
        window->TimerRec->stop();
        window->TimerStatus->stop();
        knob = window->ImageVol;
        colors = std::make_unique<TFormColors>(window.get());
        window->SetForms(nullptr, nullptr, nullptr, colors.get(), nullptr);
        return *window;
    }
    // A square wave: left at ±level, right at half of it.
    void Tone(int16_t level) {
        device.source = [level](uint64_t frame, int16_t& l, int16_t& r) {
            l = (frame & 1) ? level : int16_t(-level);
            r = int16_t(l / 2);
        };
    }
    void Tick(int blocks = 1) {
        device.FeedBlocks(blocks);
        window->TimerRecTimer();
    }
    // Runs the Options item, clicking inside the modal chooser once it shows.
    void ChooseScheme(const std::function<void()>& click) {
        QTimer::singleShot(0, colors.get(), click);
        window->menuSkinClick();
    }
    bool PanelHasColour(const QRect& area, QRgb c) {
        const QImage shot = window->PanelMain->Snapshot();
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x)
                if (shot.pixel(x, y) == c) return true;
        return false;
    }
    static QRgb LabelColour(QWidget* w) { return w->palette().color(QPalette::WindowText).rgb(); }

    AppState state;
    std::unique_ptr<TFormMain> window;
    std::unique_ptr<TFormColors> colors;
    QLabel* knob = nullptr;
};

TEST_F(DisplayWindowTest, SchemeFiveTurnsTextAndTracesDarkAndSchemeFourTurnsThemBack) {
    TFormMain& w = Open();
    const QRect title(178, 17, 120, 12);
    struct Step {
        int scheme;
        bool byLabel;
        QRgb text, mark, left, right;
        QSize knobSize;
    };
    const Step steps[] = {
        {5, true, qRgb(0, 0, 0), qRgb(48, 48, 80), qRgb(150, 0, 0), qRgb(0, 0, 150), QSize(11, 20)},
        {4, false, qRgb(240, 240, 240), qRgb(192, 192, 192), qRgb(255, 255, 0), qRgb(235, 235, 235), QSize(11, 20)},
        {3, true, qRgb(240, 240, 240), qRgb(192, 192, 192), qRgb(255, 255, 0), qRgb(235, 235, 235), QSize(11, 21)},
    };
    w.BtnRecordClick();
    ASSERT_TRUE(state.Capture.Recording);
    Tone(13107);  // 30 of the chart's 75
    for (const Step& s : steps) {
        SCOPED_TRACE(s.scheme);
        // A click on the caption's text picks the scheme just as a click on its rectangle.
        ChooseScheme([&] {
            QWidget* target = s.byLabel ? static_cast<QWidget*>(colors->Labs[size_t(s.scheme - 1)])
                                        : colors->Shapes[size_t(s.scheme - 1)];
            QTest::mouseClick(target, Qt::LeftButton, {}, QPoint(20, 12));
        });
        EXPECT_EQ(state.Settings.ColourScheme, s.scheme);
        EXPECT_EQ(BaseColour(state.Colours), QColor(SchemeTable[size_t(s.scheme - 1)].Red,
                                                     SchemeTable[size_t(s.scheme - 1)].Green,
                                                     SchemeTable[size_t(s.scheme - 1)].Blue));
        EXPECT_TRUE(PanelHasColour(title, s.text));
        EXPECT_EQ(LabelColour(w.LabReduce), s.text);
        EXPECT_EQ(LabelColour(w.LabAudioDeviceControl), s.text);
        Tick();
        // The 10 % line inside the level meter and both traces of the live waveform.
        EXPECT_EQ(state.Displays.LevelPicture.pixel(424, 1), s.mark);
        const QRect chart(18, 134, 425, 75);
        EXPECT_TRUE(PanelHasColour(chart, s.left));
        EXPECT_TRUE(PanelHasColour(chart, s.right));
        ASSERT_FALSE(knob->pixmap().isNull());
        EXPECT_EQ(knob->pixmap().size(), s.knobSize);
    }
    // Closing the chooser without a click keeps the scheme.
    ChooseScheme([&] { colors->reject(); });
    EXPECT_EQ(state.Settings.ColourScheme, 3);
}

TEST_F(DisplayWindowTest, ChooserHighlightFollowsTheMouse) {
    state.Settings.ColourScheme = 9;  // an edited settings file: scheme 1 everywhere
    Open();
    EXPECT_EQ(state.Colours.Red, 120);
    colors->show();
    const QRgb green = qRgb(150, 255, 150), black = qRgb(0, 0, 0);
    EXPECT_EQ(LabelColour(colors->Labs[0]), green);
    EXPECT_EQ(LabelColour(colors->Labs[1]), black);
    QTest::mouseMove(colors->Shapes[3], QPoint(140, 5));
    for (int n = 0; n < 5; ++n) EXPECT_EQ(LabelColour(colors->Labs[size_t(n)]), n == 3 ? green : black) << n;
    // The highlight stays on the last rectangle passed.
    QTest::mouseMove(colors.get(), QPoint(2, 145));
    EXPECT_EQ(LabelColour(colors->Labs[3]), green);
    colors->hide();
    // The shapes wear the table's colours, outlined 30 darker.
    const QImage shape = colors->Shapes[1]->grab().toImage();
    EXPECT_EQ(shape.pixel(75, 12), qRgb(110, 160, 130));
    // Closed without a choice: the odd value stays, drawn as scheme 1 with its knob.
    ChooseScheme([&] { colors->reject(); });
    EXPECT_EQ(state.Settings.ColourScheme, 9);
    EXPECT_EQ(state.Colours.Blue, 180);
    EXPECT_EQ(knob->pixmap().size(), QSize(11, 20));
}

TEST_F(DisplayWindowTest, MeterMovesWithCaptureAndNothingIsDrawnWhileMinimized) {
    Open();
    const QRect level(18, 30, 425, 16);
    EXPECT_FALSE(PanelHasColour(level, qRgb(0, 255, 0)));
    Tone(16000);
    Tick();
    EXPECT_TRUE(PanelHasColour(level, qRgb(0, 255, 0)));  // monitoring: the meter moves
    window->BtnRecordClick();
    for (int i = 0; i < 3; ++i) Tick();
    const QImage before = state.Displays.ChartPicture.copy();
    state.Shell.Minimized = true;
    for (int i = 0; i < 3; ++i) Tick();
    EXPECT_EQ(state.Displays.ChartPicture, before);
    // History and time bar keep counting while minimized.
    EXPECT_GT(state.Displays.History.LeftValue[6], 0);
    state.Shell.Minimized = false;
    Tick();
    EXPECT_NE(state.Displays.ChartPicture, before);
}

// Each block paints only the meter columns that changed and the chart's new
// columns; the rest of the chart is moved in place on the screen. The screen
// must still show the pictures exactly.
TEST_F(DisplayWindowTest, TheScreenShowsThePicturesAfterEveryBlock) {
    TFormMain& w = Open();
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    w.BtnRecordClick();
    ASSERT_TRUE(state.Capture.Recording);
    const QPoint panel = w.PanelMain->mapTo(&w, QPoint());
    for (int block = 0; block < 30; ++block) {
        Tone(int16_t(1000 + block * 7919 % 30000));
        Tick();
        const QImage screen = w.screen()->grabWindow(w.winId()).toImage().convertToFormat(QImage::Format_RGB32);
        const QImage drawn = w.PanelMain->Snapshot();
        for (const QRect area : {QRect(18, 30, 425, 16), QRect(18, 134, 425, 75)})
            ASSERT_EQ(screen.copy(area.translated(panel)), drawn.copy(area)) << "block " << block << " " << area.y();
    }
}

}  // namespace
}  // namespace orv
