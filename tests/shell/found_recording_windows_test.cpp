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

namespace orv {
namespace {

// Frame f of the source: left its low 16 bits, right its high 16 bits, so
// that every frame of a long recording is told apart.
void WideCount(uint64_t f, int16_t& l, int16_t& r) {
    l = static_cast<int16_t>(static_cast<uint16_t>(f & 0xFFFF));
    r = static_cast<int16_t>(static_cast<uint16_t>((f >> 16) & 0xFFFF));
}

// The frame number stored at frame i of a file, or -1 past its end.
int64_t FrameAt(const platform::RawFile& f, uint64_t i) {
    uint8_t b[4];
    if (f.readAt(i * 4, b, 4) != 4) return -1;
    return int64_t(uint16_t(SampleAt(b))) | int64_t(uint16_t(SampleAt(b + 2))) << 16;
}

// The count runs forward by one frame from its first frame to the last.
::testing::AssertionResult RunsForward(const std::string& path, uint64_t firstFrame, uint64_t frames) {
    platform::RawFile f;
    if (!f.open(path, platform::RawFile::Mode::Read)) return ::testing::AssertionFailure() << "no " << path;
    if (f.size() != int64_t(frames * 4)) return ::testing::AssertionFailure() << "size " << f.size();
    std::vector<uint8_t> data(BlockBytes);
    for (uint64_t at = 0; at < frames * 4; at += BlockBytes) {
        f.readAt(at, data.data(), BlockBytes);
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

class FoundWindowTest : public ::testing::Test {
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

    test::TempDir exeDir, dataDir;
    WorkingFiles files = NameWorkingFiles(dataDir.file("Orvane Recorder"));
    test::FakeWaveIn device;
    test::FakeMixer mixer;
    test::FixedClock clock;
    test::GivenFreeSpace freeSpace;
    test::ScriptedDialogs dialogs;
    test::RecordingLauncher launcher;
    AppSeams seams{device, mixer, clock, freeSpace, dialogs, launcher,
                   exeDir.file("bin/orvane-recorder"), dataDir.path(), "/home/user"};
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
};

class CrashRecovery : public FoundWindowTest, public ::testing::WithParamInterface<KillCase> {};

TEST_P(CrashRecovery, LoopRecordingComesBackInTheOrderItWasHeard) {
    const KillCase c = GetParam();
    std::ofstream(files.PeakFileName, std::ios::binary) << std::string(14400, '\x01');  // an old "test"'s
    {
        Recorder r(files, 3);
        r.Run(c.blocksHeard);
    }  // killed: no stop, no close
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
        KillCase{"AtAHalfBoundary", 2400, 600, 1800, "00:03:00"},
        // The 10 blocks of the half not yet written are lost.
        KillCase{"InTheMiddleOfAHalf", 2410, 600, 1800, "00:03:00"},
        KillCase{"RightAfterTheWrap", 1820, 20, 1800, "00:03:00"},
        KillCase{"AsTheRingFilled", 1800, 0, 1800, "00:03:00"},
        KillCase{"InTheFirstPass", 1010, 0, 1000, "00:01:40"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace orv
