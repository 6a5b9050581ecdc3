// The main window while a save runs, and a recording that has not been saved:
// nothing a user presses during a save can reach the recording, and nothing
// discards an unsaved recording without asking.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QTest>
#include <QTimer>
#include <algorithm>
#include <filesystem>
#include <memory>

#include "export/form_progress.h"
#include "export/form_save_flow.h"
#include "platform/raw_file.h"
#include "shell/form_main.h"
#include "support/fake_system.h"
#include "support/fake_wave_in.h"
#include "support/temp_dir.h"
#include "support/main_window_rig.h"

namespace orv {
namespace {

class SaveGuardTest : public ::testing::Test, protected test::MainWindowRig {
protected:
    void SetUp() override {
        ASSERT_EQ(::mkdir(exeDir.file("bin").c_str(), 0755), 0);
        ASSERT_EQ(::mkdir(dataDir.file("Orvane Recorder").c_str(), 0755), 0);
        window = std::make_unique<TFormMain>(seams, state);
        window->TimerRec->stop();
        window->TimerStatus->stop();
        state.Settings.SaveAsWav = true;
        state.Settings.SaveAsMp3 = false;
    }

    std::string Raw() const { return dataDir.file("Orvane Recorder/Orvane.raw"); }

    void Record(int blocks) {
        window->BtnRecordClick();
        ASSERT_TRUE(state.Capture.Recording);
        for (int i = 0; i < blocks; ++i) {
            device.FeedBlocks(1);
            window->TimerRecTimer();
        }
        window->BtnStopClick();
    }

    // The WAV file holds exactly the recording's bytes.
    void ExpectWavOfTheRecording(const std::string& wav, uint32_t blocks) {
        platform::RawFile w, r;
        ASSERT_TRUE(w.open(wav, platform::RawFile::Mode::Read));
        ASSERT_TRUE(r.open(Raw(), platform::RawFile::Mode::Read));
        ASSERT_EQ(w.size(), int64_t{44} + int64_t{blocks} * 17640);
        std::vector<uint8_t> a(size_t{blocks} * 17640), b(a.size());
        ASSERT_EQ(w.readAt(44, a.data(), a.size()), a.size());
        ASSERT_EQ(r.readAt(0, b.data(), b.size()), b.size());
        EXPECT_TRUE(a == b);
    }

    AppState state;
    std::unique_ptr<TFormMain> window;
};

TEST_F(SaveGuardTest, CommandsDuringASaveAreIgnoredAndCloseWaitsForIt) {
    TFormMain& w = *window;
    Record(30);
    const std::string target = dataDir.file("take.wav");
    dialogs.saveAnswers = {target, dataDir.file("second.wav")};
    bool ranInsideTheSave = false;
    // Runs from the save's first event pump, as a click would.
    QTimer::singleShot(0, &w, [&] {
        ranInsideTheSave = state.Busy.Busy();
        w.BtnRecordClick();
        w.BtnEditClick();
        w.CmbBoxTime->setCurrentIndex(3);
        w.CmbBoxTimeChange();
        w.menuSaveAsClick();
        w.menuFileClick();
        EXPECT_FALSE(w.menuSaveAs->isEnabled());
        EXPECT_FALSE(w.FormCloseQuery());
        EXPECT_FALSE(w.close());
    });
    w.menuSaveAsClick();
    ASSERT_TRUE(ranInsideTheSave);
    EXPECT_FALSE(state.Capture.Recording);
    EXPECT_EQ(w.CmbBoxTime->currentIndex(), 0);
    EXPECT_FALSE(state.Capture.LoopMode);
    EXPECT_EQ(dialogs.saveFilters.size(), 1u);  // the second Save As asked nothing
    EXPECT_TRUE(dialogs.questions.empty());     // nor did the close
    EXPECT_TRUE(dialogs.messages.empty());
    ExpectWavOfTheRecording(target, 30);

    // The close goes through once the save has ended; the recording was saved.
    EXPECT_TRUE(w.ClosePending());
    EXPECT_TRUE(platform::fileExists(Raw()));
    w.TimerStatusTimer();
    EXPECT_FALSE(w.ClosePending());
    EXPECT_TRUE(dialogs.questions.empty());
    EXPECT_FALSE(platform::fileExists(Raw()));
}

TEST_F(SaveGuardTest, UnsavedRecordingIsDiscardedOnlyOnYes) {
    TFormMain& w = *window;
    Record(25);
    const int64_t size = platform::fileSize(Raw());
    ASSERT_EQ(size, 25 * 17640);
    const std::string question = "The recording has not been saved. Discard it?";

    dialogs.confirmAnswers = {false, false};
    w.BtnRecordClick();
    EXPECT_FALSE(state.Capture.Recording);
    EXPECT_FALSE(w.FormCloseQuery());
    EXPECT_EQ(dialogs.defaultNoQuestions, (std::vector<std::string>{question, question}));
    EXPECT_EQ(platform::fileSize(Raw()), size);
    EXPECT_TRUE(state.Capture.CaptureOpen);

    // After a save of the whole recording neither asks.
    dialogs.saveAnswers = {dataDir.file("kept.wav")};
    w.menuSaveAsClick();
    ExpectWavOfTheRecording(dataDir.file("kept.wav"), 25);
    dialogs.questions.clear();
    w.BtnRecordClick();
    EXPECT_TRUE(state.Capture.Recording);
    EXPECT_TRUE(dialogs.questions.empty());

    // The interrupt question keeps the recording on Enter; the new one is unsaved.
    for (int i = 0; i < 21; ++i) {
        device.FeedBlocks(1);
        w.TimerRecTimer();
    }
    dialogs.confirmAnswers = {false};
    EXPECT_FALSE(w.FormCloseQuery());
    EXPECT_EQ(dialogs.defaultNoQuestions.back(), "Are you sure you want to interrupt recording?");
    w.BtnStopClick();
    dialogs.confirmAnswers = {true};
    EXPECT_TRUE(w.FormCloseQuery());
    EXPECT_EQ(dialogs.defaultNoQuestions.back(), question);
    EXPECT_FALSE(platform::fileExists(Raw()));
}

TEST_F(SaveGuardTest, EditMarkedAfterASaveAsksAgain) {
    Record(25);
    dialogs.saveAnswers = {dataDir.file("kept.wav")};
    window->menuSaveAsClick();
    MarkRecordingEdited(state.RecordingSaved);
    dialogs.confirmAnswers = {false};
    EXPECT_FALSE(window->FormCloseQuery());
    EXPECT_EQ(dialogs.questions.size(), 1u);
}

TEST_F(SaveGuardTest, RefusedDeviceKeepsTheOldRecording) {
    Record(25);
    auto firstFrame = [&] {
        uint32_t frame = 0;
        platform::RawFile raw;
        EXPECT_TRUE(raw.open(Raw(), platform::RawFile::Mode::Read));
        EXPECT_EQ(raw.readAt(0, &frame, 4), 4u);
        return frame;
    };
    const uint32_t before = firstFrame();
    device.openResult = 4;  // the device is taken
    dialogs.confirmAnswers = {true};
    window->BtnRecordClick();
    EXPECT_FALSE(state.Capture.Recording);
    EXPECT_EQ(dialogs.messages.back(), device.openErrorText);
    EXPECT_EQ(state.Capture.TotalBlocks, 25u);
    EXPECT_EQ(firstFrame(), before);
    dialogs.saveAnswers = {dataDir.file("rescued.wav")};
    window->menuSaveAsClick();
    ExpectWavOfTheRecording(dataDir.file("rescued.wav"), 25);
}

TEST_F(SaveGuardTest, SaveAsRefusesAWavPastFourGigabytes) {
    Record(25);
    state.Capture.TotalBlocks = 360000;  // ten hours, as the stop would count them
    window->menuSaveAsClick();
    EXPECT_EQ(dialogs.messages, std::vector<std::string>{"File size is more 4GB!"});
    EXPECT_TRUE(dialogs.saveFilters.empty());
    state.Settings.SaveAsWav = false;  // an MP3 of it has no such limit
    window->menuSaveAsClick();
    EXPECT_EQ(dialogs.saveFilters.size(), 1u);
}

// The editor calls the main window's save with its own busy guard held.
TEST_F(SaveGuardTest, EditorSavesGoThroughTheSameRoutine) {
    Record(25);
    const std::vector<Piece> level{{1, 25, 1, true}};
    const PieceSources sources{&state.Capture.RawStream, nullptr};
    BusyGuard editorBusy(state.Busy);
    dialogs.saveAnswers = {dataDir.file("Orvane Recorder/Clp.raw"), dataDir.file("part.wav"),
                           dataDir.file("all.wav")};
    window->SaveEditedRange(3, 7, level, sources);  // the format's extension keeps it off the working file
    EXPECT_EQ(platform::fileSize(dataDir.file("Orvane Recorder/Clp.raw.wav")), 44 + 5 * 17640);
    EXPECT_FALSE(platform::fileExists(dataDir.file("Orvane Recorder/Clp.raw")));
    window->SaveEditedRange(3, 7, level, sources);
    EXPECT_EQ(platform::fileSize(dataDir.file("part.wav")), 44 + 5 * 17640);
    EXPECT_FALSE(state.RecordingSaved.Saved);  // a selection is not the recording
    window->SaveEditedRange(1, 25, level, sources);
    ExpectWavOfTheRecording(dataDir.file("all.wav"), 25);
    EXPECT_TRUE(state.RecordingSaved.Saved);
    EXPECT_TRUE(state.Busy.Busy());  // the editor's guard is still its own
}

// Ctrl+K in a loop past its wrap: the ring goes on overwriting its oldest
// blocks during the save, every other command waits, and Stop ends the
// recording half way through; the file is the ring of the moment, and the
// recording keeps every block.
TEST_F(SaveGuardTest, RecentSaveTakesTheMomentWhileTheRecordingGoesOnAndStops) {
    TFormMain& w = *window;
    TFormProgress progress(&w);
    w.SetForms(nullptr, nullptr, nullptr, nullptr, &progress);
    w.CmbBoxTime->setCurrentIndex(1);  // Loop 3 min
    w.CmbBoxTimeChange();
    w.show();
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    w.BtnRecordClick();
    const uint32_t ring = 1800;
    auto feed = [&](uint32_t blocks) {
        for (uint32_t i = 0; i < blocks; ++i) {
            device.FeedBlocks(1);
            w.TimerRecTimer();
        }
    };
    feed(ring + 30);
    // The ring in time order as it lies on disk now.
    std::vector<uint8_t> moment(size_t{ring} * BlockBytes);
    platform::RawFile raw;
    ASSERT_TRUE(raw.open(Raw(), platform::RawFile::Mode::Read));
    raw.readAt(0, moment.data(), moment.size());
    std::rotate(moment.begin(), moment.begin() + state.Capture.RawStream.position() % moment.size(), moment.end());

    const std::string target = dataDir.file("recent.wav");
    dialogs.saveAnswers = {target};
    int pumps = 0;
    QTimer during;  // a user and the device, once per event pump of the save
    QObject::connect(&during, &QTimer::timeout, [&] {
        if (!state.Busy.Busy()) return;
        ++pumps;
        if (pumps == 5) {
            w.BtnRecordClick();
            w.BtnEditClick();
            w.CmbBoxTime->setCurrentIndex(0);
            w.CmbBoxTimeChange();
            EXPECT_FALSE(w.close());
        }
        // Two thirds of a half, then one more half, over the save's first
        // five pumps; Stop two pumps after the other commands.
        if (pumps <= 5) feed(20);
        if (pumps == 7)
            QTest::mouseClick(w.windowHandle(), Qt::LeftButton, {}, w.BtnStop->mapTo(&w, w.BtnStop->rect().center()));
    });
    during.start(0);
    QTest::keyClick(w.windowHandle(), Qt::Key_K, Qt::ControlModifier);
    during.stop();

    EXPECT_GT(pumps, 7);
    EXPECT_TRUE(dialogs.messages.empty()) << dialogs.messages.front();
    EXPECT_FALSE(state.Capture.Recording) << "Stop did not reach the recording during the save";
    EXPECT_TRUE(state.Capture.LoopMode) << "the mode changed during the save";
    EXPECT_TRUE(w.ClosePending());
    EXPECT_FALSE(state.RecordingSaved.Saved);
    EXPECT_FALSE(platform::fileExists(dataDir.file("Orvane Recorder/Recent.raw")));
    platform::RawFile saved;
    ASSERT_TRUE(saved.open(target, platform::RawFile::Mode::Read));
    ASSERT_EQ(saved.size(), int64_t{44} + int64_t(moment.size()));
    std::vector<uint8_t> bytes(moment.size());
    saved.readAt(44, bytes.data(), bytes.size());
    EXPECT_TRUE(bytes == moment) << "the file is not the ring of the moment";
    EXPECT_EQ(state.Capture.BlocksWritten, uint64_t{ring} + 30 + 100) << "blocks fed were not all written";
}

// Ctrl+K in Loop 3 min on its first pass: the file may not take the room the
// recording keeps and still grows into (counted on its disk only); a save that
// finds that disk running low keeps nothing, and the recording goes on.
struct RoomCase {
    const char* name;
    int64_t spare;  // free bytes beyond those and the ring's copy
    bool sameDisk, runsLow;
    const char* message;
};
class RecentRoom : public SaveGuardTest, public ::testing::WithParamInterface<RoomCase> {};

TEST_P(RecentRoom, TheRecordingKeepsItsRoom) {
    const RoomCase& c = GetParam();
    window->CmbBoxTime->setCurrentIndex(1);
    window->CmbBoxTimeChange();
    window->BtnRecordClick();
    auto feed = [&](int n) { for (int i = 0; i < n; ++i, window->TimerRecTimer()) device.FeedBlocks(1); };
    feed(600);
    auto keep = [&] { return MinFreeSeconds * BytesPerSecond + 1800 * int64_t{BlockBytes} - state.Capture.RawStream.size(); };
    std::tie(freeSpace.bytes, freeSpace.same) = std::tuple(keep() + state.Capture.RawStream.size() + c.spare, c.sameDisk);
    dialogs.saveAnswers = {dataDir.file("recent.wav")};
    QTimer low;  // from the save's first event pump the disk holds 3 MB beyond what the recording keeps
    QObject::connect(&low, &QTimer::timeout, [&] {
        if (c.runsLow && state.Busy.Busy()) freeSpace.bytes = keep() + (3 << 20);
    });
    low.start(0);
    window->menuSaveRecentClick();
    EXPECT_EQ(dialogs.messages, std::vector<std::string>(*c.message ? 1 : 0, c.message));
    // The working folder, and the file when saved: nothing partial is left.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dataDir.path()), {}), *c.message ? 1 : 2);
    feed(2 * HalfBlocks);
    EXPECT_TRUE(state.Capture.Recording && state.Capture.BlocksWritten >= 640) << "the recording did not go on";
}

INSTANTIATE_TEST_SUITE_P(
    Rows, RecentRoom,
    ::testing::Values(RoomCase{"FileOnTheRecordingsDiskIsRefused", 0, true, false, RecordingRoomMessage},
                      RoomCase{"FileOnAnotherDiskIsNotCounted", 0, false, false, ""},
                      RoomCase{"RoomForTheFileToo", WavHeaderBytes, true, false, ""},
                      RoomCase{"DiskRunsLowDuringTheSave", int64_t{1} << 30, true, true, RecordingLowSpaceMessage}),
    [](const ::testing::TestParamInfo<RoomCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace orv
