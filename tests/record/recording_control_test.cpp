// The recording control driven as the main window's timers drive it: a
// hand-fed device, a fixed time of day and a given amount of free space.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <ostream>
#include <string>
#include <vector>

#include "record/recording_control.h"
#include "record/time_text.h"
#include "support/fake_system.h"
#include "support/fake_wave_in.h"
#include "support/scripted_recording_view.h"
#include "support/temp_dir.h"

namespace orv {
namespace {

using test::CountingFrame;

constexpr std::time_t TwelveThirtyFour = 12 * 3600 + 34 * 60 + 56;  // 12:34:56 UTC

class RecordingControlTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        setenv("TZ", "UTC0", 1);
        tzset();
    }

    RecordingControlTest()
        : engine(cap, buffers, processing, device, hooks),
          control(state, engine, hooks, processing, view, clock, space, dir.path()) {
        AllocateCaptureBuffers(buffers);
        clock.time = TwelveThirtyFour;
        space.mount = "/media/recordings";
        device.getDevCaps(0, cap.DeviceCaps[0]);
        cap.CurrentDeviceName = CapsName(cap.DeviceCaps[0]);
        cap.RawFileName = dir.file("Orvane.raw");
        control.ApplyRecordingMode(0);
        control.TimerStatusTimer();  // the device is known: monitoring starts
    }

    // 100 ms of sound, then the recording-timer tick; the status timer ticks every second time.
    void Run(int ticks, uint64_t frames = BlockFrames) {
        for (int t = 0; t < ticks; ++t) {
            device.FeedFrames(frames);
            control.TimerRecTimer();
            if (++tickCount % 2 == 0) control.TimerStatusTimer();
        }
    }

    void Record(int mode = 0) {
        control.CmbBoxTimeChange(mode);
        control.BtnRecordClick();
        ASSERT_TRUE(cap.Recording);
        firstFrame = device.framesProduced;
    }

    int64_t RawBlocks() const { return platform::fileSize(cap.RawFileName) / BlockBytes; }

    // The pieces cover positions 1.. without a gap and, read from the raw
    // file, play the counting signal from firstFrame on, less the DC offsets.
    ::testing::AssertionResult PlaysCounting(const std::vector<Piece>& pieces, uint64_t from, uint64_t blocks,
                                             int dcLeft = 0, int dcRight = 0) const {
        std::vector<uint8_t> data(BlockBytes);
        uint64_t frame = from, position = 1;
        for (const Piece& p : pieces) {
            if (p.PieceStart != position || !p.PieceFromRecording)
                return ::testing::AssertionFailure() << "piece at " << p.PieceStart << ", expected " << position;
            for (uint32_t k = 0; k < p.PieceLength; ++k, ++position) {
                const uint64_t fileBlock = p.PieceOffset + k;
                if (cap.RawStream.readAt(BlockOffset(fileBlock), data.data(), BlockBytes) != BlockBytes)
                    return ::testing::AssertionFailure() << "short read at file block " << fileBlock;
                for (uint32_t i = 0; i < BlockFrames; ++i, ++frame) {
                    int16_t l, r;
                    CountingFrame(frame, l, r);
                    const int16_t wantL = int16_t(std::clamp(l - dcLeft, -32768, 32767));
                    const int16_t wantR = int16_t(std::clamp(r - dcRight, -32768, 32767));
                    if (SampleAt(&data[4 * i]) != wantL || SampleAt(&data[4 * i + 2]) != wantR)
                        return ::testing::AssertionFailure()
                               << "file block " << fileBlock << " frame " << i << ": left " << SampleAt(&data[4 * i])
                               << ", expected " << wantL;
                }
            }
        }
        if (position - 1 != blocks)
            return ::testing::AssertionFailure() << position - 1 << " blocks played, expected " << blocks;
        return ::testing::AssertionSuccess();
    }

    // Peak entry k describes file block k, as the editor's view expects.
    ::testing::AssertionResult PeaksDescribeFile(uint32_t blocks) const {
        std::vector<uint8_t> data(BlockBytes);
        for (uint32_t k = 1; k <= blocks; ++k) {
            cap.RawStream.readAt(BlockOffset(k), data.data(), BlockBytes);
            int16_t maxL = -32767, minR = 32767;
            for (uint32_t i = 0; i < BlockFrames; ++i) {
                maxL = std::max(maxL, SampleAt(&data[4 * i]));
                minR = std::min(minR, SampleAt(&data[4 * i + 2]));
            }
            if (buffers.Peaks.PeakMaxLeft[k] != maxL || buffers.Peaks.PeakMinRight[k] != minR)
                return ::testing::AssertionFailure() << "peaks of block " << k << " do not match the file";
        }
        return ::testing::AssertionSuccess();
    }

    test::TempDir dir;
    test::FakeWaveIn device;
    RecordBuffers buffers;
    ProcessingState processing;
    CaptureState cap;
    CaptureHooks hooks;
    CaptureEngine engine;
    RecordingControlState state;
    test::ScriptedRecordingView view;
    test::FixedClock clock;
    test::GivenFreeSpace space;
    RecordingControl control;
    int tickCount = 0;
    uint64_t firstFrame = 0;
};

TEST_F(RecordingControlTest, StatusShowsDeviceTimesAndFreeSpaceWhileRecording) {
    space.bytes = 999'999 * int64_t{1024};
    Record();
    EXPECT_EQ(view.panels[1], "Start-12:34:56");
    clock.time += 124;
    Run(1234);
    EXPECT_EQ(view.recordedTime, "00:02:03");
    EXPECT_EQ(view.panels[2], "Current-12:37:00");
    EXPECT_EQ(view.panels[3], "Free-977 MB");
    EXPECT_EQ(view.panels[0], "Test Capture Device");
    EXPECT_EQ(view.caption, "Orvane Recorder - Test Capture Device");
    EXPECT_FALSE(view.modeListEnabled);

    control.BtnStopClick();
    EXPECT_EQ(view.panels[2], "End - 12:37:00");
    Run(2);
    EXPECT_TRUE(view.modeListEnabled);
    EXPECT_TRUE(cap.CaptureOpen);  // monitoring again
}

TEST_F(RecordingControlTest, LoopShowsItsLengthAndTheStartOfTheKeptWindow) {
    Record(2);  // "Loop 5 min"
    Run(7 * 600);
    EXPECT_TRUE(cap.RingFilled);
    EXPECT_EQ(view.recordedTime, "00:05:00");
    EXPECT_EQ(view.panels[1], "Start-12:29:56");
    EXPECT_EQ(RawBlocks(), 3000);
}

TEST_F(RecordingControlTest, ContinuousRecordingWidensTheTimeBarAsItGrows) {
    Record();
    EXPECT_EQ(state.TimeBarMinutes, 3);
    Run(1619);
    control.TimerStatusTimer();
    EXPECT_EQ(state.TimeBarMinutes, 3);
    const int frames = view.timeBarFrames;
    Run(1);  // 1620 blocks: 2 min 42 s
    control.TimerStatusTimer();
    EXPECT_EQ(state.TimeBarMinutes, 5);
    EXPECT_EQ(view.timeBarFrames, frames + 1);
    Run(2700 - 1620);  // 4 min 30 s
    EXPECT_EQ(state.TimeBarMinutes, 10);

    // The next recording starts on the short bar again.
    control.BtnStopClick();
    Record();
    EXPECT_EQ(state.TimeBarMinutes, 3);
}

TEST_F(RecordingControlTest, StopThenEditHandsTheEditorTheWholeFile) {
    Record();
    Run(57);
    device.FeedFrames(2000);  // a part block is not kept
    control.BtnStopClick();
    EXPECT_EQ(view.recordedTime, "00:00:05");

    uint32_t totalSeen = 0;
    int64_t fileBlocks = -1;
    view.onEditor = [&] {
        totalSeen = cap.TotalBlocks;
        fileBlocks = RawBlocks();
        // The timers keep running while the editor is shown; capture stays closed.
        Run(4);
        EXPECT_FALSE(cap.CaptureOpen);
        EXPECT_TRUE(state.EditorOpen);
    };
    control.BtnEditClick();
    ASSERT_EQ(view.editorShown, 1);
    EXPECT_EQ(totalSeen, 57u);
    EXPECT_EQ(fileBlocks, 57);
    EXPECT_TRUE(PlaysCounting(TimeOrderedPieces(cap.TotalBlocks, cap.LastWrittenBlock, false), firstFrame, 57));
    EXPECT_TRUE(cap.CaptureOpen);
    EXPECT_EQ(view.recordedTime, "00:00:00");
    EXPECT_EQ(view.panels[1], "");
    EXPECT_EQ(view.panels[2], "");
}

// Fed far past its wrap, a loop keeps exactly its last minutes, and Save As
// plays them in order; a tick that finds two new blocks at the wrap must not
// correct a block twice.
struct LoopCase {
    const char* name;
    int wholeBlocks;
    int dcLeft, dcRight;
};
void PrintTo(const LoopCase& c, std::ostream* os) { *os << c.name; }
class LoopRecording : public RecordingControlTest, public ::testing::WithParamInterface<LoopCase> {};

TEST_P(LoopRecording, KeepsTheLastThreeMinutesInPlayingOrder) {
    const LoopCase& c = GetParam();
    processing.DcOffsetLeft = c.dcLeft;
    processing.DcOffsetRight = c.dcRight;
    Record(1);  // "Loop 3 min"
    for (int b = 0; b < c.wholeBlocks;) {
        // A late tick right when the ring fills finds two new blocks.
        const int n = (b + 1) % 1800 == 0 ? 2 : 1;
        Run(1, n * uint64_t{BlockFrames});
        b += n;
    }
    device.FeedFrames(2000);
    control.BtnStopClick();
    EXPECT_EQ(device.framesDropped, 0u);
    EXPECT_EQ(cap.TotalBlocks, 1800u);
    EXPECT_EQ(RawBlocks(), 1800);

    const auto pieces = control.RecordingToSave();
    ASSERT_TRUE(pieces.has_value());
    EXPECT_TRUE(PlaysCounting(*pieces, firstFrame + uint64_t(c.wholeBlocks - 1800) * BlockFrames, 1800,
                              c.dcLeft, c.dcRight));
    EXPECT_TRUE(PeaksDescribeFile(1800));
}

INSTANTIATE_TEST_SUITE_P(Loops, LoopRecording,
                         ::testing::Values(LoopCase{"SevenMinutesAndSevenBlocks", 7 * 600 + 7, 0, 0},
                                           LoopCase{"SevenMinutesExactly", 7 * 600, 0, 0},
                                           LoopCase{"WithDcRemoval", 1861, 3, -2}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(RecordingControlTest, ModeChangedAfterALoopRecordingKeepsItsTimeOrder) {
    Record(1);  // "Loop 3 min"
    Run(1800 + 300);
    control.BtnStopClick();
    control.CmbBoxTimeChange(0);  // continuous chosen for the next recording
    const auto pieces = control.RecordingToSave();
    ASSERT_TRUE(pieces.has_value());
    ASSERT_EQ(pieces->size(), 2u);
    EXPECT_TRUE(PlaysCounting(*pieces, firstFrame + 300ull * BlockFrames, 1800));
}

struct StopCase {
    const char* name;
    void (*trigger)(test::GivenFreeSpace&, CaptureState&);
    const char* message;  // nullptr: the recording goes on
};
void PrintTo(const StopCase& c, std::ostream* os) { *os << c.name; }
class AutomaticStop : public RecordingControlTest, public ::testing::WithParamInterface<StopCase> {};

TEST_P(AutomaticStop, KeepsEveryBlockAndResumesMonitoring) {
    Record();
    Run(45);  // two halves written, five blocks still in memory
    GetParam().trigger(space, cap);
    clock.time += 1;  // the free space is read once a second
    control.TimerStatusTimer();
    if (!GetParam().message) {
        EXPECT_TRUE(cap.Recording);
        EXPECT_TRUE(view.messages.empty());
        return;
    }
    EXPECT_FALSE(cap.Recording);
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0], GetParam().message);
    EXPECT_EQ(RawBlocks(), 45);
    EXPECT_EQ(cap.TotalBlocks, 45u);
    EXPECT_EQ(cap.LastWrittenBlock, 45u);
    EXPECT_TRUE(cap.CaptureOpen);
    EXPECT_EQ(view.panels[2], "End - 12:34:57");
    EXPECT_TRUE(PlaysCounting(TimeOrderedPieces(cap.TotalBlocks, cap.LastWrittenBlock, false), firstFrame, 45));
    EXPECT_TRUE(control.SaveAsEnabled());
}

INSTANTIATE_TEST_SUITE_P(
    Limits, AutomaticStop,
    ::testing::Values(
        StopCase{"JustUnder100Seconds",
                 [](test::GivenFreeSpace& s, CaptureState&) { s.bytes = 100 * 176400 - 1; },
                 "There is no space on drive /media/recordings"},
        StopCase{"Exactly100Seconds",
                 [](test::GivenFreeSpace& s, CaptureState&) { s.bytes = 100 * 176400; },
                 nullptr},
        StopCase{"TenHoursOfBlocks",
                 [](test::GivenFreeSpace&, CaptureState& c) { c.BlockSequence = 360000; },
                 "Recording was stopped"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(RecordingControlTest, FailedWriteIsStoppedLikeAnAutomaticStop) {
    Record();
    Run(20);
    // A file that refuses writes, as a failing disk would.
    ASSERT_TRUE(cap.RawStream.open(cap.RawFileName, platform::RawFile::Mode::Read));
    cap.RawStream.seek(HalfBytes);
    // The timers keep running while the message is shown.
    view.onMessage = [this] { Run(3); };
    Run(20);  // the second half fails
    view.onMessage = nullptr;
    EXPECT_LE(device.QueuedCount(), CaptureBlockCount);  // no block queued twice
    control.TimerStatusTimer();
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0].rfind("Recording was stopped", 0), 0u);
    EXPECT_FALSE(cap.Recording);
    EXPECT_TRUE(cap.CaptureOpen);
    EXPECT_EQ(cap.TotalBlocks, 20u);
    EXPECT_EQ(RawBlocks(), 20);
    EXPECT_TRUE(PlaysCounting(TimeOrderedPieces(cap.TotalBlocks, cap.LastWrittenBlock, false), firstFrame, 20));
    EXPECT_TRUE(view.modeListEnabled);

    // The next recording starts clean.
    Record();
    EXPECT_FALSE(cap.WriteFailed);
    Run(25);
    control.BtnStopClick();
    EXPECT_EQ(cap.TotalBlocks, 25u);
    EXPECT_TRUE(PlaysCounting(TimeOrderedPieces(cap.TotalBlocks, cap.LastWrittenBlock, false), firstFrame, 25));
}

TEST_F(RecordingControlTest, RefusedDeviceStartsNothingAndRetriesQuietly) {
    device.openResult = platform::MMSYSERR_ALLOCATED;
    // Timers run inside the message box; they must not open another one.
    view.onMessage = [this] { Run(3); };
    control.BtnRecordClick();
    view.onMessage = nullptr;
    EXPECT_FALSE(cap.Recording);
    EXPECT_FALSE(platform::fileExists(cap.RawFileName));
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0], "The specified device is already in use.");
    Run(6);
    EXPECT_EQ(view.messages.size(), 1u);

    device.openResult = platform::MMSYSERR_NOERROR;
    Run(2);
    EXPECT_TRUE(cap.CaptureOpen);
    control.BtnEditClick();
    EXPECT_EQ(view.editorShown, 0);
    EXPECT_EQ(view.messages.back(), "No sound recorded.");
}

TEST_F(RecordingControlTest, RecordNeedsADeviceAndAFile) {
    cap.RawFileName = dir.file("gone/Orvane.raw");
    control.BtnRecordClick();
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0].rfind("Can not create " + cap.RawFileName, 0), 0u);
    EXPECT_FALSE(cap.Recording);
    EXPECT_TRUE(cap.CaptureOpen);

    cap.CurrentDeviceName.clear();
    control.BtnRecordClick();
    EXPECT_EQ(view.messages.back(), "No Audio Device Selected");
    EXPECT_FALSE(cap.Recording);
}

TEST_F(RecordingControlTest, MinimizedWindowShowsLevelAndTimeInTheTaskbar) {
    device.source = [](uint64_t, int16_t& l, int16_t& r) {
        l = 700;
        r = 500;
    };
    view.minimized = true;
    Record();
    Run(30);
    EXPECT_EQ(view.liveDraws, 0);
    ASSERT_FALSE(view.taskbarIcons.empty());
    EXPECT_EQ(view.taskbarIcons.back(), 1);
    ASSERT_FALSE(view.taskbarTitles.empty());
    EXPECT_EQ(view.taskbarTitles.back(), "00:00:03");

    view.minimized = false;
    const size_t icons = view.taskbarIcons.size(), titles = view.taskbarTitles.size();
    Run(4);
    EXPECT_EQ(view.taskbarIcons.size(), icons);
    EXPECT_EQ(view.taskbarTitles.size(), titles);
    EXPECT_GT(view.liveDraws, 0);
}

TEST_F(RecordingControlTest, ReduceDcOffsetCorrectsTheRecordedAudio) {
    device.source = [](uint64_t f, int16_t& l, int16_t& r) {
        l = int16_t(300 + (f % 2 ? 50 : -50));
        r = -120;
    };
    Run(50);  // five seconds of monitoring fill the history
    control.ChBoxDCClick(true);
    EXPECT_EQ(processing.DcOffsetLeft, 300);
    EXPECT_EQ(processing.DcOffsetRight, -120);
    Record();
    Run(22);
    // The meter shows what is left after correction, not the old offset.
    EXPECT_DOUBLE_EQ(processing.ResidualDcLeft, 0.0);
    control.BtnStopClick();
    uint8_t frame[8];
    ASSERT_EQ(cap.RawStream.readAt(BlockOffset(21), frame, 8), 8u);
    EXPECT_EQ(SampleAt(frame) + SampleAt(frame + 4), 0);
    EXPECT_EQ(SampleAt(frame + 2), 0);

    control.ChBoxDCClick(false);
    EXPECT_EQ(processing.DcOffsetLeft, 0);
    EXPECT_EQ(processing.DcOffsetRight, 0);
}

struct TimeCase {
    uint32_t blocks;
    const char* text;
};
void PrintTo(const TimeCase& c, std::ostream* os) { *os << c.blocks << " blocks"; }
class RecordedTimeText : public ::testing::TestWithParam<TimeCase> {};
TEST_P(RecordedTimeText, IsHoursMinutesSeconds) {
    EXPECT_EQ(FormatBlockTime(GetParam().blocks), GetParam().text);
}
INSTANTIATE_TEST_SUITE_P(Blocks, RecordedTimeText,
                         ::testing::Values(TimeCase{0, "00:00:00"}, TimeCase{37'234, "01:02:03"},
                                           TimeCase{599, "00:00:59"}, TimeCase{600, "00:01:00"},
                                           TimeCase{359'999, "09:59:59"},
                                           TimeCase{3'600'000, "10:00:00"}));  // 100 h cut to two digits

struct FreeCase {
    int64_t bytes;
    const char* separator;
    const char* text;
};
void PrintTo(const FreeCase& c, std::ostream* os) { *os << c.bytes << " bytes, '" << c.separator << "'"; }
class FreeSpaceText : public ::testing::TestWithParam<FreeCase> {};
TEST_P(FreeSpaceText, IsMegabytesOrGigabytes) {
    EXPECT_EQ(FormatFreeSpace(GetParam().bytes, GetParam().separator), GetParam().text);
}
INSTANTIATE_TEST_SUITE_P(Bytes, FreeSpaceText,
                         ::testing::Values(FreeCase{999'999LL * 1024, ".", "Free-977 MB"},
                                           FreeCase{1'000'000LL * 1024, ".", "Free-0.95 GB"},
                                           FreeCase{1'000'000LL * 1024, ",", "Free-0,95 GB"},
                                           FreeCase{1536LL * 1024 + 1023, ".", "Free-2 MB"},  // 1.5 to even
                                           FreeCase{2560LL * 1024, ".", "Free-2 MB"},         // 2.5 to even
                                           FreeCase{3LL << 40, ".", "Free-3072.00 GB"},       // beyond 32 bits
                                           FreeCase{-1, ".", ""}));

TEST(TimeOrder, WrappedRingPlaysFromTheOldestBlock) {
    EXPECT_EQ(TimeOrderedPieces(1800, 300, true),
              (std::vector<Piece>{{1, 1500, 301, true}, {1501, 300, 1, true}}));
    // A ring that has just filled, or never wrapped, is in order already.
    EXPECT_EQ(TimeOrderedPieces(1800, 0, true), (std::vector<Piece>{{1, 1800, 1, true}}));
    EXPECT_EQ(TimeOrderedPieces(1200, 1200, true), (std::vector<Piece>{{1, 1200, 1, true}}));
    EXPECT_EQ(TimeOrderedPieces(1800, 300, false), (std::vector<Piece>{{1, 1800, 1, true}}));
}

}  // namespace
}  // namespace orv

namespace orv {
namespace {

// The user reads the message a while later: the end time and the recorded
// time say when the recording stopped and what the file holds.
TEST_F(RecordingControlTest, AutomaticStopsShowTheirOwnMomentAndTheFileLength) {
    for (const bool writeFails : {true, false}) {
        SCOPED_TRACE(writeFails ? "failed write" : "disk full");
        view.messages.clear();
        clock.time = TwelveThirtyFour;
        Record();
        Run(20);
        if (writeFails) {
            ASSERT_TRUE(cap.RawStream.open(cap.RawFileName, platform::RawFile::Mode::Read));
            cap.RawStream.seek(HalfBytes);
        } else {
            space.bytes = 1000;
            clock.time += 1;  // seen at the next second's reading
        }
        view.onMessage = [this] {
            clock.time += 30;
            Run(4);
        };
        Run(21);  // the second half fails, or the status tick finds the disk full
        control.TimerStatusTimer();
        view.onMessage = nullptr;
        ASSERT_EQ(view.messages.size(), 1u);
        EXPECT_EQ(view.panels[2], writeFails ? "End - 12:34:56" : "End - 12:34:57") << view.messages[0];
        EXPECT_EQ(view.recordedTime, FormatBlockTime(uint32_t(RawBlocks())));
        if (writeFails) {
            EXPECT_EQ(RawBlocks(), 20);
        }
        space.bytes = 500'000'000'000;
    }
}

}  // namespace
}  // namespace orv
