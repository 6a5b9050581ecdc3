// The main window driven offscreen with a hand-fed capture device, scripted
// dialogs and a launcher that only records what it was asked to start.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QApplication>
#include <QTest>
#include <QWindow>
#include <QLabel>
#include <QTest>
#include <fstream>
#include <sstream>
#include <memory>
#include <vector>

#include "display/widget_displays.h"
#include "platform/raw_file.h"
#include "shell/form_main.h"
#include "shell/forms.h"
#include "shell/program.h"
#include "shell/qt_dialogs.h"
#include "support/fake_system.h"
#include "support/fake_wave_in.h"
#include "support/temp_dir.h"
#include "support/main_window_rig.h"

namespace orv {
namespace {

class MainWindowTest : public ::testing::Test, protected test::MainWindowRig {
protected:
    void SetUp() override {
        ASSERT_EQ(::mkdir(exeDir.file("bin").c_str(), 0755), 0);
        ASSERT_EQ(::mkdir(dataDir.file("Orvane Recorder").c_str(), 0755), 0);
    }

    std::string Folder() const { return dataDir.file("Orvane Recorder"); }

    TFormMain& Open() {
        window = std::make_unique<TFormMain>(seams, state);
        // The tests tick the timers themselves.
        window->TimerRec->stop();
        window->TimerStatus->stop();
        return *window;
    }

    void Tick(int blocks = 1) {
        device.FeedBlocks(blocks);
        window->TimerRecTimer();
    }

    AppState state;
    std::unique_ptr<TFormMain> window;
};

TEST_F(MainWindowTest, MonitorsDeviceZeroFromTheFirstTick) {
    TFormMain& w = Open();
    EXPECT_EQ(state.Shell.Files.WorkingFolder, Folder());
    EXPECT_TRUE(state.Capture.CaptureOpen);
    EXPECT_EQ(state.Capture.CurrentDeviceName, "Test Capture Device");
    EXPECT_TRUE(mixer.initialised);
    EXPECT_TRUE(mixer.recordInitialised);
    EXPECT_EQ(state.Settings.OutputFolder, "/home/user");
    Tick();
    EXPECT_EQ(state.Capture.LastBlockSeen, 1u);
    EXPECT_FALSE(state.Capture.Recording);
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_TRUE(w.TimerRec != nullptr && w.TimerRec->interval() == 100);
    EXPECT_EQ(w.TimerStatus->interval(), 200);
}

TEST_F(MainWindowTest, UsesTheFirstActiveInputAndSwitchesNothing) {
    mixer.inputs = {{"Mic", true, 10}, {"Line", true, 20}, {"Monitor", false, 70}};
    Open();
    EXPECT_EQ(state.Input.InputIndex, 2);
    // The inputs' switches are the user's, for every program on the desktop.
    EXPECT_TRUE(mixer.setCalls.empty());
    EXPECT_TRUE(mixer.inputs[0].off && mixer.inputs[1].off);
}

TEST_F(MainWindowTest, AllInputsOffStillStartsOnInputZero) {
    mixer.inputs = {{"Mic", true, 10}, {"Line", true, 20}};
    Open();
    EXPECT_EQ(state.Input.InputIndex, 0);
    EXPECT_TRUE(state.Capture.CaptureOpen);
}

TEST_F(MainWindowTest, CrashLeftoverIsKeptAsTheFoundRecording) {
    std::ofstream(Folder() + "/Orvane.raw", std::ios::binary) << std::string(17640 * 2, 'x');
    std::ofstream(Folder() + "/Edit.raw", std::ios::binary) << "e";
    Open();
    EXPECT_EQ(platform::fileSize(Folder() + "/test"), 17640 * 2);
    EXPECT_FALSE(platform::fileExists(Folder() + "/Edit.raw"));
}

TEST_F(MainWindowTest, WithoutWorkingFolderRecordingIsRefusedWithTheReason) {
    // No data subfolder and an executable folder that does not exist.
    seams.DataFolder = "";
    seams.ExecutablePath = exeDir.file("gone/bin/orvane-recorder");
    TFormMain& w = Open();
    const std::string reason = "Can not create " + exeDir.file("gone/bin/Temp");
    ASSERT_FALSE(dialogs.messages.empty());
    EXPECT_EQ(dialogs.messages[0], reason);
    EXPECT_FALSE(state.Capture.CaptureOpen);
    dialogs.messages.clear();
    w.BtnRecordClick();
    EXPECT_FALSE(state.Capture.Recording);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0], reason);
}

TEST_F(MainWindowTest, NoDeviceAsksForASourceAndOpensTheSoundSettings) {
    device.numDevs = 0;
    launcher.available = {"pavucontrol"};
    Open();
    ASSERT_FALSE(dialogs.messages.empty());
    EXPECT_EQ(dialogs.messages[0], "Please, select and enable an audio source!");
    ASSERT_EQ(launcher.started.size(), 1u);
    EXPECT_EQ(launcher.started[0][0], "pavucontrol");
    EXPECT_FALSE(state.Capture.CaptureOpen);
}

TEST_F(MainWindowTest, CloseDuringRecordingAsksAndNoKeepsRecording) {
    TFormMain& w = Open();
    w.BtnRecordClick();
    ASSERT_TRUE(state.Capture.Recording);
    for (int i = 0; i < 25; ++i) Tick();
    dialogs.confirmAnswers = {false};
    EXPECT_FALSE(w.FormCloseQuery());
    EXPECT_EQ(dialogs.questions.back(), "Are you sure you want to interrupt recording?");
    EXPECT_TRUE(state.Capture.Recording);
    EXPECT_TRUE(state.Capture.CaptureOpen);
    Tick();
    EXPECT_EQ(state.Capture.LastWrittenBlock, 26u);
    EXPECT_EQ(platform::fileSize(Folder() + "/Orvane.raw"), 20 * 17640);
}

TEST_F(MainWindowTest, CloseAfterRecordingRemovesTheWorkingFiles) {
    TFormMain& w = Open();
    w.BtnRecordClick();
    for (int i = 0; i < 21; ++i) Tick();
    w.BtnStopClick();
    std::ofstream(Folder() + "/Clp.raw") << "c";
    dialogs.questions.clear();
    dialogs.confirmAnswers = {true};
    EXPECT_TRUE(w.FormCloseQuery());
    // Nothing running, but the recording was never saved: Yes discards it.
    EXPECT_EQ(dialogs.questions, std::vector<std::string>{"The recording has not been saved. Discard it?"});
    EXPECT_FALSE(state.Capture.CaptureOpen);
    EXPECT_FALSE(platform::fileExists(Folder() + "/Orvane.raw"));
    EXPECT_FALSE(platform::fileExists(Folder() + "/Clp.raw"));
    EXPECT_EQ(device.closeCount, device.openCount);
}

// The close box while a loop recording runs, Yes to both questions; a Record
// click already queued lands in the close's own event pumps and must not start
// a file that the close then deletes.
TEST_F(MainWindowTest, CloseWhileRecordingStopsThenAsksAndLeavesNoWorkingFile) {
    state.Settings.RecordingModeIndex = 1;  // a loop: once its ring fills, the ring position file is written too
    TFormMain& w = Open();
    w.show();
    w.BtnRecordClick();
    for (int i = 0; i < 45; ++i) Tick();
    EXPECT_FALSE(platform::fileExists(Folder() + "/Orvane.pos"));
    for (int i = 0; i < 90; ++i) Tick(20);
    ASSERT_TRUE(platform::fileExists(Folder() + "/Orvane.pos"));
    dialogs.confirmAnswers = {true, true};
    const QPoint record = w.BtnRecord->mapTo(&w, w.BtnRecord->rect().center());
    QMetaObject::invokeMethod(
        &w, [&] { QTest::mouseClick(w.windowHandle(), Qt::LeftButton, {}, record); }, Qt::QueuedConnection);
    w.windowHandle()->close();
    EXPECT_EQ(dialogs.defaultNoQuestions, (std::vector<std::string>{"Are you sure you want to interrupt recording?",
                                                                    "The recording has not been saved. Discard it?"}));
    EXPECT_FALSE(w.isVisible());
    EXPECT_FALSE(state.Capture.Recording);
    for (const char* f : {"/Orvane.raw", "/Orvane.pos"}) EXPECT_FALSE(platform::fileExists(Folder() + f)) << f;
}

// A saved loop mode draws its own time bar from the start, as choosing it does.
TEST_F(MainWindowTest, StartsWithTheSavedModesTimeBar) {
    state.Settings.RecordingModeIndex = 5;
    TFormMain& w = Open();
    w.show();
    QApplication::setActiveWindow(&w);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    const QImage atStart = w.PanelMain->Snapshot();
    w.CmbBoxTime->setFocus();
    for (int i = 0; i < 5; ++i) QTest::keyClick(w.windowHandle(), Qt::Key_Up);
    ASSERT_EQ(w.CmbBoxTime->currentIndex(), 0);
    const QImage continuous = w.PanelMain->Snapshot();
    for (int i = 0; i < 5; ++i) QTest::keyClick(w.windowHandle(), Qt::Key_Down);
    EXPECT_NE(atStart, continuous);
    EXPECT_EQ(atStart, w.PanelMain->Snapshot());
}

TEST_F(MainWindowTest, RestartStartsItselfAndStopsTheStatusTimer) {
    TFormMain& w = Open();
    w.TimerStatus->start();
    w.RestartProgram();
    EXPECT_FALSE(w.TimerStatus->isActive());
    ASSERT_EQ(launcher.started.size(), 1u);
    EXPECT_EQ(launcher.started[0][0], seams.ExecutablePath);
    // The user is told why: the new source, then the fixed sentence.
    EXPECT_EQ(dialogs.messages.back(), "The recording source is now Test Capture Device.\nThe program will be restarted.");
    EXPECT_FALSE(state.Capture.CaptureOpen);
}

TEST_F(MainWindowTest, HelpAndOutputFolderOpenWithTheDesktop) {
    TFormMain& w = Open();
    w.OrvaneRecorderHelpClick();
    w.menuExplorerClick();
    ASSERT_EQ(launcher.opened.size(), 2u);
    EXPECT_EQ(launcher.opened[0], exeDir.file("bin/orvane-recorder.html"));
    EXPECT_EQ(launcher.opened[1], "/home/user");
}

TEST_F(MainWindowTest, SaveAsWritesTheRecordingInTheChosenFormat) {
    TFormMain& w = Open();
    w.BtnRecordClick();
    for (int i = 0; i < 30; ++i) Tick();
    w.BtnStopClick();
    ASSERT_EQ(state.Capture.TotalBlocks, 30u);
    w.menuFileClick();
    EXPECT_TRUE(w.menuSaveAs->isEnabled());

    state.Settings.SaveAsWav = true;
    const std::string target = dataDir.file("take.wav");
    dialogs.saveAnswers = {target};
    w.menuSaveAsClick();
    ASSERT_EQ(dialogs.saveFilters.size(), 1u);
    EXPECT_EQ(dialogs.saveFilters[0], "44100Hz 16bit stereo (*.wav)|*.WAV");
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_EQ(platform::fileSize(target), 44 + 30 * 17640);
    EXPECT_EQ(state.Settings.OutputFolder, dataDir.path());

    // The data are the recording as captured.
    platform::RawFile wav, raw;
    ASSERT_TRUE(wav.open(target, platform::RawFile::Mode::Read));
    ASSERT_TRUE(raw.open(Folder() + "/Orvane.raw", platform::RawFile::Mode::Read));
    std::vector<uint8_t> a(30 * 17640), b(30 * 17640);
    ASSERT_EQ(wav.readAt(44, a.data(), a.size()), a.size());
    ASSERT_EQ(raw.readAt(0, b.data(), b.size()), b.size());
    EXPECT_TRUE(a == b);
}

TEST_F(MainWindowTest, SaveAsIsOfferedOnlyForAStoppedRecording) {
    TFormMain& w = Open();
    w.menuFileClick();
    EXPECT_FALSE(w.menuSaveAs->isEnabled());  // nothing recorded yet
    w.BtnRecordClick();
    for (int i = 0; i < 5; ++i) Tick();
    w.menuFileClick();
    EXPECT_FALSE(w.menuSaveAs->isEnabled());  // still recording
    w.menuSaveAsClick();
    EXPECT_TRUE(dialogs.saveFilters.empty());
}

TEST_F(MainWindowTest, MinimizedWindowShowsTheRecordedTimeAndRestoresItsCaption) {
    TFormMain& w = Open();
    w.TimerStatusTimer();
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Orvane Recorder - Test Capture Device"));
    w.BtnRecordClick();
    w.show();
    w.setWindowState(Qt::WindowMinimized);
    QApplication::processEvents();
    ASSERT_TRUE(state.Shell.Minimized);
    for (int i = 0; i < 35; ++i) Tick();
    w.TimerStatusTimer();
    EXPECT_EQ(w.windowTitle(), QStringLiteral("00:00:03"));
    w.setWindowState(Qt::WindowNoState);
    QApplication::processEvents();
    EXPECT_FALSE(state.Shell.Minimized);
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Orvane Recorder - Test Capture Device"));
}

TEST(AboutBox, ShowsTheTitleInABoldTwentySixPixelFont) {
    TFormAbout about;
    EXPECT_EQ(about.windowTitle(), QStringLiteral("关于 Orvane Recorder"));
    auto* title = about.findChild<QLabel*>("LabTitle");
    ASSERT_NE(title, nullptr);
    EXPECT_EQ(title->text(), QStringLiteral("Orvane Recorder 2.5.1"));
    EXPECT_TRUE(title->font().bold());
    EXPECT_EQ(title->font().pixelSize(), 26);
}

// Started programs see the window-system setting the program makes for itself only
// when the user had set it. Rows: (the user set it, through OpenPath: a stand-in xdg-open).
class LauncherEnvironment : public ::testing::TestWithParam<std::tuple<bool, bool>> {};

TEST_P(LauncherEnvironment, StartedProgramsGetTheUsersEnvironment) {
    const auto [userSetIt, openPath] = GetParam();
    const QByteArray path = qgetenv("PATH");
    test::TempDir dir;
    const std::string out = dir.file("env"), script = dir.file("xdg-open");
    std::ofstream(script) << "#!/bin/sh\nenv > \"$1.part\" && mv \"$1.part\" \"$1\"\n";
    ASSERT_EQ(::chmod(script.c_str(), 0755), 0);
    qputenv("PATH", QByteArray::fromStdString(dir.path()) + ":" + path);
    if (userSetIt) qputenv("QT_XCB_NO_MITSHM", "0");
    DesktopLauncher launcher(PrepareWindowSystem());
    const bool started = openPath ? launcher.OpenPath(out) : launcher.Start(script, {out});
    qunsetenv("QT_XCB_NO_MITSHM");
    qputenv("PATH", path);
    ASSERT_TRUE(started);
    std::ifstream in;
    for (int i = 0; i < 500 && !in.is_open(); ++i, QTest::qWait(20)) in.open(out);
    std::stringstream text;
    text << in.rdbuf();
    ASSERT_NE(text.str().find("PATH="), std::string::npos) << "the child did not run";
    EXPECT_EQ(text.str().find("QT_XCB_NO_MITSHM=0") != std::string::npos, userSetIt) << text.str();
    EXPECT_EQ(text.str().find("QT_XCB_NO_MITSHM=1"), std::string::npos) << text.str();
}

INSTANTIATE_TEST_SUITE_P(Rows, LauncherEnvironment, ::testing::Combine(::testing::Bool(), ::testing::Bool()));

}  // namespace
}  // namespace orv
