// The recording device seen from the main window: its name in the caption,
// the volume knob, a device that fails or goes, a change of device and the
// restart, the recording mode kept across it, termination by signal.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLayout>
#include <QStatusBar>

#include <QMouseEvent>
#include <array>
#include <cstring>
#include <QTest>
#include <fstream>
#include <memory>

#include "display/widget_displays.h"
#include "platform/raw_file.h"
#include "shell/form_main.h"
#include "shell/ini_file.h"
#include "support/fake_system.h"
#include "support/fake_wave_in.h"
#include "support/temp_dir.h"
#include "support/main_window_rig.h"

namespace orv {
namespace {

class DeviceWatchTest : public ::testing::Test, protected test::MainWindowRig {
protected:
    void SetUp() override {
        ASSERT_TRUE(platform::makeDir(exeDir.file("bin")));
        ASSERT_TRUE(platform::makeDir(dataDir.file("Orvane Recorder")));
        state.Shell.SettingsFileName = exeDir.file("bin/orvane-recorder.INI");
    }

    std::string Raw() const { return dataDir.file("Orvane Recorder/Orvane.raw"); }

    TFormMain& Open() {
        window = std::make_unique<TFormMain>(seams, state);
        window->TimerRec->stop();
        window->TimerStatus->stop();
        return *window;
    }

    // 100 ms of sound and a recording tick; the status timer every second tick.
    void Run(int ticks) {
        for (int t = 0; t < ticks; ++t) {
            device.FeedBlocks(1);
            window->TimerRecTimer();
            if (++tickCount % 2 == 0) window->TimerStatusTimer();
        }
    }

    // The name is looked up once a second: the next second's status tick sees it.
    void Rename(const char* name) {
        std::memset(device.caps.name, 0, sizeof device.caps.name);
        std::strncpy(device.caps.name, name, sizeof device.caps.name - 1);
        clock.time += 1;
    }

    AppState state;
    std::unique_ptr<TFormMain> window;
    int tickCount = 0;
};

TEST_F(DeviceWatchTest, KnobShowsAndSetsTheVolumeOfTheInputInUse) {
    mixer.inputs = {{"Mic", true, 10}, {"Line", true, 20}, {"Monitor", false, 50}};
    TFormMain& w = Open();
    Run(2);
    EXPECT_EQ(state.Input.InputIndex, 2);
    EXPECT_EQ(w.windowTitle().toStdString(), "Orvane Recorder - Test Capture Device");
    EXPECT_EQ(w.ImageVol->x(), 72);  // volume 50 of input 2, not input 0's 10

    // Dragged with the mouse, as far right as it goes, and a little back.
    QTest::mousePress(w.ImageVol, Qt::LeftButton, {}, QPoint(5, 10));
    QMouseEvent far(QEvent::MouseMove, QPointF(400, 10), QPointF(400, 10), Qt::NoButton, Qt::LeftButton, {});
    QApplication::sendEvent(w.ImageVol, &far);
    EXPECT_EQ(w.ImageVol->x(), KnobMaxLeft);
    EXPECT_EQ(mixer.setCalls.back(), std::make_pair(2, 99u | platform::INPUT_VOLUME));
    EXPECT_EQ(mixer.inputs[2].volume, 99u);
    QMouseEvent back(QEvent::MouseMove, QPointF(5 - 300, 10), QPointF(0, 10), Qt::NoButton, Qt::LeftButton, {});
    QApplication::sendEvent(w.ImageVol, &back);
    EXPECT_EQ(w.ImageVol->x(), KnobMinLeft);
    EXPECT_EQ(mixer.inputs[2].volume, 0u);
    QTest::mouseRelease(w.ImageVol, Qt::LeftButton, {}, QPoint(0, 10));
    const size_t calls = mixer.setCalls.size();
    QMouseEvent after(QEvent::MouseMove, QPointF(60, 10), QPointF(60, 10), Qt::NoButton, Qt::NoButton, {});
    QApplication::sendEvent(w.ImageVol, &after);
    EXPECT_EQ(mixer.setCalls.size(), calls) << "the knob moved without a button down";
    // Another program sets the volume: the mixer is asked once a second, and
    // the knob follows at the first status tick of the next second.
    mixer.inputs[2].volume = 100;
    Run(2);
    EXPECT_EQ(w.ImageVol->x(), KnobMinLeft);
    clock.time += 1;
    Run(2);
    EXPECT_EQ(w.ImageVol->x(), KnobMaxLeft);
    // A right button does not drag.
    QTest::mousePress(w.ImageVol, Qt::RightButton, {}, QPoint(5, 10));
    QMouseEvent right(QEvent::MouseMove, QPointF(-50, 10), QPointF(-50, 10), Qt::NoButton, Qt::RightButton, {});
    QApplication::sendEvent(w.ImageVol, &right);
    EXPECT_EQ(w.ImageVol->x(), KnobMaxLeft);
    EXPECT_EQ(w.Shape1->toolTip().toStdString(), "Recording Volume");
    EXPECT_EQ(w.Shape1->geometry(), QRect(18, 79, 118, 17));
}

TEST_F(DeviceWatchTest, DeviceChangeRestartsOnlyWhenNothingIsInTheWay) {
    device.staysOnSource = true;  // as the sound server's stream does
    TFormMain& w = Open();
    w.BtnRecordClick();
    Run(30);
    Rename("Another Source");
    launcher.running = {"pavucontrol"};
    Run(4);
    EXPECT_TRUE(launcher.started.empty()) << "restarted during a recording";
    EXPECT_EQ(w.windowTitle().toStdString(),
              "Orvane Recorder - Test Capture Device (new default: Another Source after Stop)");
    w.BtnStopClick();
    const int64_t recorded = platform::fileSize(Raw());
    ASSERT_GT(recorded, 0);
    Run(4);
    EXPECT_TRUE(launcher.started.empty()) << "restarted while the sound settings are open";
    state.Busy.Depth = 1;  // a save or an editing operation runs
    launcher.running.clear();
    Run(4);
    EXPECT_TRUE(launcher.started.empty()) << "restarted during an operation";
    state.Busy.Depth = 0;
    Run(4);
    EXPECT_TRUE(launcher.started.empty()) << "restarted before the recording could be saved";
    MarkRecordingSaved(state.RecordingSaved);  // as Save As of the whole recording does
    w.CmbBoxTime->setCurrentIndex(5);
    w.CmbBoxTimeChange();
    Run(2);
    ASSERT_EQ(launcher.started.size(), 1u);
    EXPECT_EQ(launcher.started[0][0], seams.ExecutablePath);
    EXPECT_EQ(dialogs.messages.back(),
              "The recording source is now Another Source.\nThe program will be restarted.");
    // The saved recording is not left to be offered as an interrupted one; the mode is kept.
    EXPECT_FALSE(platform::fileExists(Raw()));
    EXPECT_EQ(ReadSettingsFile(state.Shell.SettingsFileName).RecordingModeIndex, 5);
}

// A muted source stays muted for every other program: Record asks, and the
// recording's end (Stop, a signal) gives the mute back; a signal beneath the
// question starts nothing.
TEST_F(DeviceWatchTest, AMutedSourceIsSwitchedOnOnlyForARecordingTheUserAgreedTo) {
    mixer.inputs = {{"Capture", true, 40}};
    TFormMain& w = Open();
    Run(2);
    EXPECT_EQ(w.windowTitle().toStdString(), "Orvane Recorder - Test Capture Device (muted)");
    struct Ending { const char* how; bool yes; };
    for (const Ending end : {Ending{"Stop", true}, Ending{"Stop", false}, Ending{"signal", true}, Ending{"asked", false}}) {
        const std::string how = end.how;
        SCOPED_TRACE(how + (end.yes ? ", Yes" : ", No"));
        state.Shell.Terminating = false;  // each row its own ending
        dialogs.confirmAnswers = {end.yes};
        dialogs.whileQuestionOpen = [&] { if (how == "asked") w.TerminateBySignal(); };
        w.BtnRecordClick();
        EXPECT_EQ(dialogs.questions.back().rfind("Test Capture Device is muted.", 0), 0u) << dialogs.questions.back();
        ASSERT_EQ(state.Capture.Recording, how != "asked") << "No records anyway; an ending program records nothing";
        Run(4);
        EXPECT_EQ(mixer.inputs[0].off, !end.yes);
        EXPECT_EQ(w.windowTitle().endsWith(" (muted)"), !end.yes);
        if (how == "signal") w.TerminateBySignal();
        if (how == "Stop") w.BtnStopClick();
        EXPECT_TRUE(mixer.inputs[0].off) << "the mute was not given back";
        MarkRecordingSaved(state.RecordingSaved);
    }
}

TEST_F(DeviceWatchTest, ARestartThatFailsFollowsTheDeviceInPlace) {
    TFormMain& w = Open();
    w.TimerStatus->start();
    launcher.startFails = true;
    Rename("Another Source");
    Run(2);
    ASSERT_EQ(launcher.started.size(), 1u);
    EXPECT_TRUE(w.TimerStatus->isActive()) << "the automatic stops need the status timer";
    Run(4);
    EXPECT_EQ(launcher.started.size(), 1u) << "no restart loop";
    EXPECT_EQ(state.Input.KnownDeviceName, "Another Source");
    EXPECT_TRUE(state.Capture.CaptureOpen);
}

TEST_F(DeviceWatchTest, AFailingDeviceEndsTheRecordingKeepingEveryBlock) {
    TFormMain& w = Open();
    w.BtnRecordClick();
    Run(45);
    // The driver reports a failure and frames stop: one poll may pass, the next ends it.
    device.failure = "The sound device reported an error. (default: Input/output error)";
    w.TimerRecTimer();
    EXPECT_TRUE(state.Capture.Recording);
    w.TimerRecTimer();
    EXPECT_FALSE(state.Capture.Recording);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_NE(dialogs.messages[0].find(device.failure), std::string::npos) << dialogs.messages[0];
    EXPECT_EQ(platform::fileSize(Raw()), 45 * int64_t(BlockBytes));
    EXPECT_EQ(w.LabTime->text().toStdString(), "00:00:04");
    EXPECT_EQ(w.StatusPanels[2]->text().toStdString(), "End - " + FormatTimeOfDay(clock.time));
    // Refused while the device is down: no second box; monitoring comes back with it.
    device.openResult = platform::MMSYSERR_NODRIVER;
    Run(10);
    EXPECT_FALSE(state.Capture.CaptureOpen);
    EXPECT_EQ(dialogs.messages.size(), 1u);
    device.failure.clear();
    device.openResult = platform::MMSYSERR_NOERROR;
    Run(2);
    EXPECT_TRUE(state.Capture.CaptureOpen);
    EXPECT_TRUE(state.Input.MixerReady) << "the inputs are set up again";
    EXPECT_EQ(dialogs.messages.size(), 1u);
}

// The message about a failed device may stay open for long; the source is
// named as not answering, and monitoring returns with the device beneath it.
TEST_F(DeviceWatchTest, MonitoringReturnsWhileTheFailureMessageIsStillOpen) {
    TFormMain& w = Open();
    w.BtnRecordClick();
    Run(20);
    std::string lostTitle;
    bool backBeneathTheBox = false;
    dialogs.whileMessageOpen = [&](const std::string&) {
        Run(4);
        lostTitle = w.windowTitle().toStdString();
        device.failure.clear();
        device.openResult = platform::MMSYSERR_NOERROR;
        Run(4);
        backBeneathTheBox = state.Capture.CaptureOpen;
    };
    device.failure = "The sound device reported an error. (default: Input/output error)";
    device.openResult = platform::MMSYSERR_NODRIVER;
    w.TimerRecTimer();
    w.TimerRecTimer();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(lostTitle, "Orvane Recorder - Test Capture Device (not answering)");
    EXPECT_TRUE(backBeneathTheBox);
    EXPECT_EQ(platform::fileSize(Raw()), 20 * int64_t(BlockBytes));
    EXPECT_EQ(w.windowTitle().toStdString(), "Orvane Recorder - Test Capture Device");
}

TEST_F(DeviceWatchTest, AVanishedDeviceEndsTheRecordingAndReturnsUnderItsName) {
    TFormMain& w = Open();
    w.BtnRecordClick();
    Run(25);
    const QImage live = w.PanelMain->Snapshot();
    device.numDevs = 0;
    w.TimerStatusTimer();
    // The meters fall to rest with the device gone.
    const QImage gone = w.PanelMain->Snapshot();
    w.PanelMain->ClearLevelMeter();
    w.PanelMain->ClearDcMeter();
    EXPECT_EQ(gone, w.PanelMain->Snapshot());
    EXPECT_NE(gone, live);
    EXPECT_FALSE(state.Capture.Recording);
    EXPECT_FALSE(state.Capture.CaptureOpen);
    EXPECT_EQ(w.windowTitle().toStdString(), "Orvane Recorder - No recording source");
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(platform::fileSize(Raw()), 25 * int64_t(BlockBytes));
    EXPECT_FALSE(mixer.recordInitialised);
    device.numDevs = 1;
    Run(2);
    EXPECT_TRUE(state.Capture.CaptureOpen);
    EXPECT_TRUE(mixer.recordInitialised);
    EXPECT_EQ(w.windowTitle().toStdString(), "Orvane Recorder - Test Capture Device");
    EXPECT_TRUE(launcher.started.empty());
}

TEST_F(DeviceWatchTest, ADeviceThatAppearsAfterTheStartIsSetUpAsAtTheStart) {
    device.numDevs = 0;
    TFormMain& w = Open();
    Run(2);
    EXPECT_FALSE(state.Capture.CaptureOpen);
    EXPECT_EQ(w.windowTitle().toStdString(), "Orvane Recorder - No recording source");
    device.numDevs = 1;
    Run(2);
    EXPECT_TRUE(state.Capture.CaptureOpen);
    EXPECT_TRUE(mixer.recordInitialised);
    EXPECT_EQ(state.Input.KnownDeviceName, "Test Capture Device");
    EXPECT_EQ(w.windowTitle().toStdString(), "Orvane Recorder - Test Capture Device");
    Run(4);
    EXPECT_TRUE(launcher.started.empty()) << "a first device is no change of device";
    EXPECT_FALSE(state.Shell.Restarting);
}

TEST_F(DeviceWatchTest, ARefusedOpenIsToldOncePerDeviceAndFailure) {
    TFormMain& w = Open();
    device.openResult = platform::MMSYSERR_ALLOCATED;
    w.BtnRecordClick();
    EXPECT_EQ(dialogs.messages.back(), device.openErrorText);
    const size_t shown = dialogs.messages.size();
    Run(10);
    EXPECT_EQ(dialogs.messages.size(), shown);
    device.openErrorText = "The sound device does not take this recording format.";
    Run(2);
    EXPECT_EQ(dialogs.messages.size(), shown + 1) << "another failure is told";
    Run(10);
    EXPECT_EQ(dialogs.messages.size(), shown + 1);
}

TEST_F(DeviceWatchTest, TheModeListNeverShowsAnotherModeThanTheOneUsed) {
    state.Settings.RecordingModeIndex = 3;
    TFormMain& w = Open();
    EXPECT_EQ(w.CmbBoxTime->currentIndex(), 3);
    w.BtnRecordClick();
    EXPECT_FALSE(w.CmbBoxTime->isEnabled()) << "disabled at once, not at the next tick";
    w.CmbBoxTime->setCurrentIndex(6);
    w.CmbBoxTimeChange();
    EXPECT_EQ(w.CmbBoxTime->currentIndex(), 3);
    EXPECT_TRUE(state.Capture.LoopMode);
    Run(4);
    EXPECT_TRUE(w.FormCloseQuery());
    const Settings written = ReadSettingsFile(state.Shell.SettingsFileName);
    EXPECT_EQ(written.RecordingModeIndex, 3);
    EXPECT_EQ(written.OutputFolder, "/home/user");
}

TEST_F(DeviceWatchTest, AnUnwritableSettingsFileIsToldOnceAndTheCloseGoesOn) {
    state.Shell.SettingsFileName = exeDir.file("bin/orvane-recorder/not-a-folder/x.INI");
    std::ofstream(exeDir.file("bin/orvane-recorder")) << "an executable";
    TFormMain& w = Open();
    w.BtnRecordClick();
    Run(21);
    w.BtnStopClick();
    EXPECT_TRUE(w.FormCloseQuery());
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].rfind("无法写入到 " + state.Shell.SettingsFileName, 0), 0u);
    EXPECT_FALSE(platform::fileExists(Raw()));
}

TEST_F(DeviceWatchTest, ASignalEndsWithoutQuestionsAndLeavesTheRecording) {
    TFormMain& w = Open();
    w.CmbBoxTime->setCurrentIndex(2);
    w.CmbBoxTimeChange();
    w.BtnRecordClick();
    Run(25);
    device.FeedBlocks(3);  // captured, not yet polled
    w.TerminateBySignal();
    EXPECT_FALSE(state.Capture.CaptureOpen);
    EXPECT_TRUE(dialogs.questions.empty());
    EXPECT_EQ(platform::fileSize(Raw()), 28 * int64_t(BlockBytes));
    EXPECT_EQ(ReadSettingsFile(state.Shell.SettingsFileName).RecordingModeIndex, 2);
    // The window closes without asking and without deleting the recording.
    EXPECT_TRUE(w.close());
    EXPECT_TRUE(dialogs.questions.empty());
    EXPECT_TRUE(platform::fileExists(Raw()));
}

}  // namespace
// The status panels keep a fixed size between texts, yet a long device name
// still shows whole and a short one gives the designed width back.
TEST_F(DeviceWatchTest, AStatusPanelFitsItsTextAndKeepsItsDesignedWidth) {
    TFormMain& w = Open();
    Run(2);
    QLabel& panel = *w.StatusPanels[0];
    const int designed = panel.width();
    Rename("A Very Long Capture Device Name");
    Run(4);
    w.statusBar()->layout()->activate();
    EXPECT_EQ(panel.text().toStdString(), "A Very Long Capture Device Name");
    EXPECT_GE(panel.contentsRect().width(), panel.fontMetrics().horizontalAdvance(panel.text()));
    EXPECT_GT(panel.width(), designed);
    Rename("Mic");
    Run(4);
    w.statusBar()->layout()->activate();
    EXPECT_EQ(panel.width(), designed);
}

// The marker count takes its room from the source panel: a long name is
// shortened (whole in its tip) and no panel runs into the next.
TEST_F(DeviceWatchTest, TheMarkerCountFitsBesideALongSourceName) {
    TFormMain& w = Open();
    w.show();
    QApplication::setActiveWindow(&w);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    Rename("A Very Long Capture Device Name");
    Run(2);
    w.BtnRecordClick();
    Run(2);
    QTest::keyClick(w.windowHandle(), Qt::Key_M);
    Run(2);
    w.statusBar()->layout()->activate();
    ASSERT_TRUE(w.MarkerPanel->isVisible());
    const std::array<QLabel*, 5> panels{w.StatusPanels[0], w.StatusPanels[1], w.StatusPanels[2], w.StatusPanels[3],
                                        w.MarkerPanel};
    for (size_t i = 0; i + 1 < panels.size(); ++i)
        EXPECT_LE(panels[i]->geometry().right(), panels[i + 1]->geometry().left()) << "panel " << i;
    EXPECT_LE(w.MarkerPanel->geometry().right(), w.statusBar()->contentsRect().right());
    EXPECT_EQ(w.StatusPanels[0]->toolTip().toStdString(), "A Very Long Capture Device Name");
    // A new recording has no marker: the whole name comes back.
    w.BtnStopClick();
    w.BtnRecordClick();
    Run(2);
    EXPECT_FALSE(w.MarkerPanel->isVisibleTo(&w));
    EXPECT_EQ(w.StatusPanels[0]->text().toStdString(), "A Very Long Capture Device Name");
}

}  // namespace orv
