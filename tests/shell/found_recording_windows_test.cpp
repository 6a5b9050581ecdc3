// A recording found in the working folder, from the crash that left it to
// the editor loading it: the ring put back in the order it was heard, the
// start-up note, the dialog and the recording just made surviving it all.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <fstream>
#include <memory>
#include <vector>

#include "platform/raw_file.h"
#include "record/capture_engine.h"
#include "record/ring_position.h"
#include "shell/form_main.h"
#include "shell/forms.h"
#include "support/fake_system.h"
#include "support/fake_wave_in.h"
#include "support/temp_dir.h"
#include "support/main_window_rig.h"

namespace orv {
namespace {

// Frame f of the source: left its low 16 bits, right its high 16 bits, so
// that every frame of a long recording is told apart.
void WideCount(uint64_t f, int16_t& l, int16_t& r) {
    l = static_cast<int16_t>(static_cast<uint16_t>(f & 0xFFFF));
    r = static_cast<int16_t>(static_cast<uint16_t>((f >> 16) & 0xFFFF));
}

// The count runs forward by one frame from its first frame to the last.
::testing::AssertionResult RunsForward(const std::string& path, uint64_t firstFrame, uint64_t frames,
                                       uint64_t headerBytes = 0) {
    platform::RawFile f;
    if (!f.open(path, platform::RawFile::Mode::Read)) return ::testing::AssertionFailure() << "no " << path;
    if (f.size() != int64_t(headerBytes + frames * 4)) return ::testing::AssertionFailure() << "size " << f.size();
    std::vector<uint8_t> data(BlockBytes);
    for (uint64_t at = 0; at < frames * 4; at += BlockBytes) {
        f.readAt(headerBytes + at, data.data(), BlockBytes);
        for (uint32_t i = 0; i < BlockFrames; ++i) {
            const uint64_t want = firstFrame + at / 4 + i;
            const uint64_t got = uint16_t(SampleAt(&data[4 * i])) | uint64_t(uint16_t(SampleAt(&data[4 * i + 2]))) << 16;
            if (got != want)
                return ::testing::AssertionFailure() << "block " << at / BlockBytes + 1 << " frame " << i << ": count "
                                                     << got << ", expected " << want;
        }
    }
    return ::testing::AssertionSuccess();
}

// The engine of a running program, abandoned as a kill leaves it: nothing
// more reaches the disk after the last write it made.
struct Recorder {
    test::FakeWaveIn device;
    RecordBuffers buffers;
    ProcessingState processing;
    CaptureState state;
    CaptureHooks hooks;
    CaptureEngine engine{state, buffers, processing, device, hooks};

    Recorder(const WorkingFiles& files, int loopMinutes) {
        AllocateCaptureBuffers(buffers);
        device.source = WideCount;
        device.getDevCaps(0, state.DeviceCaps[0]);
        state.RawFileName = files.RawFileName;
        state.RingFileName = files.RingFileName;
        state.LoopMode = loopMinutes > 0;
        state.LoopMinutes = loopMinutes;
        state.LoopHalves = loopMinutes * 30;
        EXPECT_TRUE(state.RawStream.open(state.RawFileName, platform::RawFile::Mode::Create));
        engine.OpenCapture();
        state.Recording = true;
    }
    void Run(uint64_t blocks) {
        for (uint64_t b = 0; b < blocks; ++b) {
            device.FeedBlocks(1);
            engine.PollCapture();
        }
    }
};

class FoundWindowTest : public ::testing::Test, protected test::MainWindowRig {
protected:
    void SetUp() override {
        ASSERT_EQ(::mkdir(exeDir.file("bin").c_str(), 0755), 0);
        ASSERT_EQ(::mkdir(dataDir.file("Orvane Recorder").c_str(), 0755), 0);
    }

    TFormMain& Start() {
        window = std::make_unique<TFormMain>(seams, state);
        window->TimerRec->stop();
        window->TimerStatus->stop();
        return *window;
    }

    // Clicks a button of the dialog once it shows; records what it saw.
    void WhenShown(const char* button) {
        QTimer::singleShot(0, &form, [this, button] {
            shown = form.isVisible();
            form.findChild<QPushButton*>(button)->click();
        });
    }

    WorkingFiles files = NameWorkingFiles(dataDir.file("Orvane Recorder"));
    AppState state;
    std::unique_ptr<TFormMain> window;
    TFormInfo form;
    bool shown = false;
};

struct KillCase {
    const char* name;
    uint64_t blocksHeard;   // before the kill
    uint64_t firstKept;     // block (from 0) the kept recording starts with
    uint64_t blocksKept;
    const char* length;
    bool stopped = false;  // Stop was pressed, then the program died before closing
    bool positionLate = false;  // killed after the last half's write, before its position's
};

class CrashRecovery : public FoundWindowTest, public ::testing::WithParamInterface<KillCase> {};

TEST_P(CrashRecovery, LoopRecordingComesBackInTheOrderItWasHeard) {
    const KillCase c = GetParam();
    std::ofstream(files.PeakFileName, std::ios::binary) << std::string(14400, '\x01');  // an old "test"'s
    {
        Recorder r(files, 3);
        r.Run(c.blocksHeard - (c.positionLate ? HalfBlocks : 0));
        const auto before = ReadRingPositionFile(files.RingFileName);
        if (c.positionLate) r.Run(HalfBlocks);
        if (c.stopped) r.engine.FinishRecording();
        std::string error;
        if (c.positionLate) {
            ASSERT_TRUE(before && WriteRingPositionFile(files.RingFileName, *before, error));
        }
    }  // killed: no close
    TFormMain& w = Start();
    EXPECT_EQ(state.Capture.RingFileName, files.RingFileName);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_NE(dialogs.messages[0].find(std::string("(") + c.length + " long)"), std::string::npos) << dialogs.messages[0];
    EXPECT_NE(dialogs.messages[0].find("载入"), std::string::npos);
    EXPECT_FALSE(platform::fileExists(files.RawFileName));
    EXPECT_FALSE(platform::fileExists(files.RingFileName));
    EXPECT_FALSE(platform::fileExists(files.PeakFileName));  // it described the old "test"
    EXPECT_TRUE(RunsForward(files.FoundRecordingName, c.firstKept * BlockFrames, c.blocksKept * BlockFrames));

    // The editor, after a continuous recording of 3 blocks, loads it.
    w.BtnRecordClick();
    for (int t = 0; t < 3; ++t) {
        device.FeedBlocks(1);
        w.TimerRecTimer();
    }
    w.BtnStopClick();
    const uint32_t madeBlocks = state.Capture.TotalBlocks;
    ASSERT_GT(madeBlocks, 0u);
    WhenShown("BtnLoad");
    OfferFoundRecording(form, state, dialogs);
    EXPECT_TRUE(shown);
    EXPECT_EQ(state.Capture.TotalBlocks, c.blocksKept);
    EXPECT_EQ(state.Capture.RawFileName, files.FoundRecordingName);
    // Block 1's extremes are those of the first counts kept.
    int maxL = -32768, minL = 32767, maxR = -32768, minR = 32767;
    for (uint64_t f = c.firstKept * BlockFrames; f < (c.firstKept + 1) * BlockFrames; ++f) {
        int16_t l, r;
        WideCount(f, l, r);
        maxL = std::max<int>(maxL, l), minL = std::min<int>(minL, l);
        maxR = std::max<int>(maxR, r), minR = std::min<int>(minR, r);
    }
    const PeakTables& p = state.Buffers.Peaks;
    EXPECT_EQ((std::vector<int>{p.PeakMaxLeft[1], p.PeakMinLeft[1], p.PeakMaxRight[1], p.PeakMinRight[1]}),
              (std::vector<int>{maxL, minL, maxR, minR}));
    EXPECT_EQ(platform::fileSize(files.PeakFileName), int64_t(c.blocksKept) * 8);
    RestoreAfterEditor(state, dialogs);
    EXPECT_EQ(state.Capture.RawFileName, files.RawFileName);
    EXPECT_EQ(state.Capture.TotalBlocks, madeBlocks);
    EXPECT_EQ(platform::fileSize(files.RawFileName), int64_t{madeBlocks} * BlockBytes);
}

INSTANTIATE_TEST_SUITE_P(
    Kills, CrashRecovery,
    ::testing::Values(
        // 3 minutes are 1800 blocks; 600 blocks into the second pass.
        KillCase{"AtAHalfBoundary", 2400, 600, 1800, "00:03:00.0"},
        // The 10 blocks of the half not yet written are lost.
        KillCase{"InTheMiddleOfAHalf", 2410, 600, 1800, "00:03:00.0"},
        KillCase{"RightAfterTheWrap", 1820, 20, 1800, "00:03:00.0"},
        KillCase{"AsTheRingFilled", 1800, 0, 1800, "00:03:00.0"},
        KillCase{"InTheFirstPass", 1010, 0, 1000, "00:01:40.0"},
        // The stop wrote the blocks still in memory at their ring places.
        KillCase{"AfterAStopMidHalf", 2410, 610, 1800, "00:03:00.0", true},
        KillCase{"BetweenAHalfAndItsPosition", 2400, 600, 1800, "00:03:00.0", false, true},
        KillCase{"BetweenTheWrapAndItsPosition", 1820, 20, 1800, "00:03:00.0", false, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(FoundWindowTest, WithoutAFittingRingPositionTheRecordingIsKeptAsItLies) {
    {
        Recorder r(files, 3);
        r.Run(2400);
    }
    std::ifstream before(files.RawFileName, std::ios::binary);
    const std::string raw((std::istreambuf_iterator<char>(before)), std::istreambuf_iterator<char>());
    std::string error;
    // A position of another ring: not this file's.
    ASSERT_TRUE(WriteRingPositionFile(files.RingFileName, {3000, 600, true}, error));
    // A stale position with nothing to describe goes too.
    EXPECT_NE(ClearStaleWorkingFiles(files), "");
    std::ifstream after(files.FoundRecordingName, std::ios::binary);
    EXPECT_TRUE(raw == std::string((std::istreambuf_iterator<char>(after)), std::istreambuf_iterator<char>()));
    EXPECT_FALSE(platform::fileExists(files.RingFileName));
    ASSERT_TRUE(WriteRingPositionFile(files.RingFileName, {1800, 600, true}, error));
    EXPECT_EQ(ClearStaleWorkingFiles(files), "");
    EXPECT_FALSE(platform::fileExists(files.RingFileName));
}

// A continuous recording started over a stopped loop's position, killed at that ring's length.
TEST_F(FoundWindowTest, ANewRecordingIsNeverDescribedByAnOldRingPosition) {
    TFormMain& w = Start();
    std::string error;
    ASSERT_TRUE(WriteRingPositionFile(files.RingFileName, {1800, 600, true}, error));
    device.source = WideCount;
    w.BtnRecordClick();
    const uint64_t first = device.framesProduced;
    for (int t = 0; t < 90; ++t) device.FeedBlocks(20), w.TimerRecTimer();
    EXPECT_FALSE(platform::fileExists(files.RingFileName));
    ClearStaleWorkingFiles(files);
    EXPECT_TRUE(RunsForward(files.FoundRecordingName, first, 1800 * BlockFrames));
}

TEST_F(FoundWindowTest, BesideAnEarlierFoundRecordingItIsKeptInOrderUnderItsDate) {
    std::ofstream(files.FoundRecordingName, std::ios::binary) << std::string(BlockBytes, '\x02');
    std::ofstream(files.PeakFileName, std::ios::binary) << std::string(8, '\x03');
    {
        Recorder r(files, 3);
        r.Run(2410);
    }
    const std::string note = ClearStaleWorkingFiles(files);
    const std::string kept = note.substr(note.find('\n') + 1);
    EXPECT_EQ(kept.rfind(files.WorkingFolder + "/Orvane ", 0), 0u) << note;
    EXPECT_TRUE(RunsForward(kept, 600 * BlockFrames, 1800 * BlockFrames, 44));
    // The earlier "test" and its summary are left as they were.
    EXPECT_EQ(platform::fileSize(files.FoundRecordingName), BlockBytes);
    EXPECT_EQ(platform::fileSize(files.PeakFileName), 8);
}

TEST_F(FoundWindowTest, DialogShowsProgressAndIgnoresEverythingButTheLoadWhileItRuns) {
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Orvane Recorder"));
    EXPECT_EQ(form.LabMessage->text(), QStringLiteral("Orvane Recorder找到已录波形文件:"));
    EXPECT_EQ(form.LabQuestion->text(), QStringLiteral("你要如何处理已录波形文件?"));
    EXPECT_EQ(form.BtnLoad->text(), QStringLiteral("载入"));
    EXPECT_EQ(form.BtnDiscard->text(), QStringLiteral("忽略"));
    EXPECT_FALSE(form.ProgressBar1->isVisibleTo(&form));
    EXPECT_TRUE(form.Timer1->isActive());
    EXPECT_EQ(form.Timer1->interval(), 100);

    float percent = 45.26f;
    form.SetProgressSource(&percent);
    form.Timer1Timer();
    EXPECT_EQ(form.LabProgress->text(), QStringLiteral("Loading...45.3%"));
    percent = 62.5f;  // halves to even
    form.Timer1Timer();
    EXPECT_EQ(form.ProgressBar1->value(), 62);
    EXPECT_EQ(form.LabProgress->text(), QStringLiteral("Loading...62.5%"));

    int loads = 0;
    std::vector<bool> enabled;
    form.SetLoader([&](const FoundProgress& progress) {
        ++loads;
        for (int n = 1; n <= 3; ++n) {
            percent = float(n * 100) / 3;
            enabled.push_back(form.BtnLoad->isEnabled() || form.BtnDiscard->isEnabled());
            // Every way out, and a second Load, while the load runs.
            form.BtnLoadClick();
            form.BtnDiscardClick();
            form.close();
            form.reject();
            progress(percent);
            enabled.push_back(form.isVisible());
        }
    });
    QTimer::singleShot(0, &form, [&] { form.BtnLoad->click(); });
    const int outcome = form.exec();
    EXPECT_EQ(loads, 1);
    EXPECT_EQ(enabled, (std::vector<bool>{false, true, false, true, false, true}));
    EXPECT_EQ(outcome, QDialog::Accepted);
    EXPECT_FALSE(form.isVisible());
    EXPECT_TRUE(form.ProgressBar1->isVisibleTo(&form));  // stays for later showings
    EXPECT_EQ(form.LabProgress->text(), QStringLiteral("Loading...100.0%"));
    EXPECT_TRUE(form.BtnLoad->isEnabled());
}

TEST_F(FoundWindowTest, OfferedOnlyOutsideLoopModeAndEveryRefusalKeepsTheRecordingJustMade) {
    TFormMain& w = Start();
    w.BtnRecordClick();
    for (int t = 0; t < 25; ++t) {
        device.FeedBlocks(1);
        w.TimerRecTimer();
    }
    w.BtnStopClick();
    const uint32_t made = state.Capture.TotalBlocks;
    const int16_t peak = state.Buffers.Peaks.PeakMaxLeft[made];
    ASSERT_GT(made, 20u);
    {
        platform::RawFile sparse;
        ASSERT_TRUE(sparse.open(files.FoundRecordingName, platform::RawFile::Mode::Create));
        ASSERT_TRUE(sparse.truncate(uint64_t{360000} * BlockBytes));
    }
    auto expectMade = [&] {
        EXPECT_EQ(state.Capture.RawFileName, files.RawFileName);
        EXPECT_EQ(state.Capture.RawStream.path(), files.RawFileName);
        EXPECT_EQ(state.Capture.TotalBlocks, made);
        EXPECT_EQ(state.Buffers.Peaks.PeakMaxLeft[made], peak);
        EXPECT_EQ(platform::fileSize(files.RawFileName), int64_t{made} * BlockBytes);
    };

    // "Loop 3 min": never shown, whatever the folder holds.
    w.CmbBoxTime->setCurrentIndex(1);
    w.CmbBoxTimeChange();
    ASSERT_TRUE(state.Capture.LoopMode);
    WhenShown("BtnLoad");
    OfferFoundRecording(form, state, dialogs);
    QApplication::processEvents();
    EXPECT_FALSE(shown);

    // Continuous: shown; Load is refused with its length and the limit.
    w.CmbBoxTime->setCurrentIndex(0);
    w.CmbBoxTimeChange();
    const size_t before = dialogs.messages.size();
    WhenShown("BtnLoad");
    OfferFoundRecording(form, state, dialogs);
    EXPECT_TRUE(shown);
    ASSERT_EQ(dialogs.messages.size(), before + 1);
    EXPECT_NE(dialogs.messages.back().find("10:00:00.0 long (360000 blocks)"), std::string::npos);
    RestoreAfterEditor(state, dialogs);
    expectMade();

    // Discard, then the editor's close.
    shown = false;
    WhenShown("BtnDiscard");
    OfferFoundRecording(form, state, dialogs);
    EXPECT_TRUE(shown);
    RestoreAfterEditor(state, dialogs);
    expectMade();
    EXPECT_EQ(dialogs.messages.size(), before + 1);
}

}  // namespace
}  // namespace orv
