// The capture engine driven by a hand-fed device: what reaches the raw file,
// in which order, and what the peak tables say about it.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <string>
#include <vector>

#include "record/capture_engine.h"
#include "record/marker_file.h"
#include "record/ring_position.h"
#include "support/fake_wave_in.h"
#include "support/temp_dir.h"

namespace orv {
namespace {

using test::CountingFrame;
using test::FakeWaveIn;

class CaptureEngineTest : public ::testing::Test {
protected:
    CaptureEngineTest() : engine(state, buffers, processing, device, hooks) {
        AllocateCaptureBuffers(buffers);
        hooks.ShowMessage = [this](const std::string& m) { messages.push_back(m); };
        hooks.DrawLiveDisplays = [this] { ++liveDraws; };
        device.getDevCaps(0, state.DeviceCaps[0]);
        state.CurrentDeviceName = CapsName(state.DeviceCaps[0]);
        state.RawFileName = dir.file("Orvane.raw");
    }

    void StartRecording(int loopMinutes = 0) {
        state.LoopMode = loopMinutes > 0;
        state.LoopMinutes = loopMinutes;
        state.LoopHalves = loopMinutes * 30;
        state.LastWrittenBlock = 0;
        state.RingFilled = false;
        ASSERT_TRUE(state.RawStream.open(state.RawFileName, platform::RawFile::Mode::Create));
        engine.OpenCapture();
        ASSERT_TRUE(state.CaptureOpen);
        state.Recording = true;
    }

    // One recording-timer tick after 100 ms of sound.
    void Tick(uint64_t frames = BlockFrames) {
        device.FeedFrames(frames);
        engine.PollCapture();
    }

    // File blocks of a ring of n blocks in time order: p+1 .. n, then 1 .. p.
    static std::vector<uint64_t> RingOrder(uint64_t p, uint64_t n) {
        std::vector<uint64_t> order;
        for (uint64_t b = p + 1; b <= n; ++b) order.push_back(b);
        for (uint64_t b = 1; b <= p; ++b) order.push_back(b);
        return order;
    }

    int64_t RawSize() const { return platform::fileSize(state.RawFileName); }

    // Frame number of the counting signal stored at the given file block.
    uint32_t CountAtBlock(uint64_t block) const {
        uint8_t frame[4];
        EXPECT_EQ(state.RawStream.readAt(BlockOffset(block), frame, 4), 4u);
        return uint16_t(SampleAt(frame));
    }

    // True when the file's blocks hold the counting signal without a break,
    // starting at frame firstFrame, reading blocks in the given order.
    ::testing::AssertionResult UnbrokenCount(const std::vector<uint64_t>& blocks, uint64_t firstFrame) const {
        std::vector<uint8_t> data(BlockBytes);
        uint64_t frame = firstFrame;
        for (uint64_t b : blocks) {
            if (state.RawStream.readAt(BlockOffset(b), data.data(), BlockBytes) != BlockBytes)
                return ::testing::AssertionFailure() << "short read at block " << b;
            for (uint32_t i = 0; i < BlockFrames; ++i, ++frame) {
                int16_t l, r;
                CountingFrame(frame, l, r);
                if (SampleAt(&data[4 * i]) != l || SampleAt(&data[4 * i + 2]) != r)
                    return ::testing::AssertionFailure() << "block " << b << " frame " << i << " expected count "
                                                         << uint16_t(l) << " found " << uint16_t(SampleAt(&data[4 * i]));
            }
        }
        return ::testing::AssertionSuccess();
    }

    test::TempDir dir;
    FakeWaveIn device;
    RecordBuffers buffers;
    ProcessingState processing;
    CaptureState state;
    CaptureHooks hooks;
    CaptureEngine engine;
    std::vector<std::string> messages;
    int liveDraws = 0;
};

TEST_F(CaptureEngineTest, StopAfterTwoPointNineFiveSecondsKeepsTwentyNineWholeBlocks) {
    StartRecording();
    for (int t = 0; t < 29; ++t) Tick();
    device.FeedFrames(BlockFrames / 2);  // the 30th block is only half full
    engine.FinishRecording();

    EXPECT_FALSE(state.CaptureOpen);
    EXPECT_FALSE(state.Recording);
    EXPECT_EQ(RawSize(), 29 * int64_t{BlockBytes});
    EXPECT_EQ(state.TotalBlocks, 29u);
    EXPECT_EQ(state.LastWrittenBlock, 29u);
    EXPECT_TRUE(UnbrokenCount(RingOrder(0, 29), 0));
}

TEST_F(CaptureEngineTest, PollMeasuresOnlyTheNewestFullBlock) {
    StartRecording();
    device.FeedBlocks(3);
    engine.PollCapture();
    EXPECT_EQ(state.LastBlockSeen, 3u);
    EXPECT_EQ(state.CaptureHeaders[2].user, 0u);   // processed
    EXPECT_EQ(state.CaptureHeaders[0].user, 1u);   // left for the half flush
    EXPECT_EQ(state.CaptureHeaders[1].user, 2u);
    EXPECT_EQ(liveDraws, 1);
    // Block 3's peaks are stored, the skipped ones not yet.
    EXPECT_NE(buffers.Peaks.PeakMaxLeft[3], 0);
    EXPECT_EQ(buffers.Peaks.PeakMaxLeft[1], 0);
}

TEST_F(CaptureEngineTest, EveryBlockIsProcessedExactlyOnceBeforeItIsWritten) {
    // A DC offset makes a second pass visible: the sample would move twice.
    processing.DcOffsetLeft = 1;
    processing.DcOffsetRight = -1;
    StartRecording();
    // Irregular ticks: several blocks per poll, polls with nothing new.
    const uint64_t pattern[] = {BlockFrames * 3, 0, BlockFrames / 3, BlockFrames, BlockFrames * 5 + 7, 0};
    for (int round = 0; round < 12; ++round)
        for (uint64_t frames : pattern) Tick(frames);
    engine.FinishRecording();
    ASSERT_GT(state.TotalBlocks, 20u);

    std::vector<uint8_t> data(BlockBytes);
    uint64_t frame = 0;
    for (uint64_t b = 1; b <= state.TotalBlocks; ++b) {
        ASSERT_EQ(state.RawStream.readAt(BlockOffset(b), data.data(), BlockBytes), BlockBytes);
        for (uint32_t i = 0; i < BlockFrames; ++i, ++frame) {
            int16_t l, r;
            CountingFrame(frame, l, r);
            const int32_t wantL = std::max<int32_t>(-32768, int32_t{l} - 1);
            const int32_t wantR = std::min<int32_t>(32767, int32_t{r} + 1);
            ASSERT_EQ(SampleAt(&data[4 * i]), wantL) << "block " << b << " frame " << i;
            ASSERT_EQ(SampleAt(&data[4 * i + 2]), wantR) << "block " << b << " frame " << i;
        }
    }
}

TEST_F(CaptureEngineTest, LoopRingStaysWithinItsLengthAndWrapsToByteZero) {
    StartRecording(3);
    ASSERT_EQ(state.LoopHalves, 90);
    const int64_t ringBytes = 31'752'000;
    // 90 halves fill the ring.
    for (int t = 0; t < 90 * 20; ++t) {
        Tick();
        ASSERT_LE(RawSize(), ringBytes);
    }
    EXPECT_EQ(RawSize(), ringBytes);
    EXPECT_TRUE(state.RingFilled);
    const int16_t oldPeak = buffers.Peaks.PeakMaxLeft[1];
    const uint32_t oldFirst = CountAtBlock(1);

    // The 91st half goes to byte 0 and renews the peaks of blocks 1..20.
    for (int t = 0; t < 20; ++t) Tick();
    EXPECT_EQ(RawSize(), ringBytes);
    EXPECT_EQ(CountAtBlock(1), uint32_t((1800ull * BlockFrames) & 0xFFFF));
    EXPECT_NE(CountAtBlock(1), oldFirst);
    std::vector<uint64_t> half;
    for (uint64_t b = 1; b <= 20; ++b) half.push_back(b);
    EXPECT_TRUE(UnbrokenCount(half, 1800ull * BlockFrames));
    int16_t expectMax = -32767;
    for (uint64_t f = 1800ull * BlockFrames; f < 1801ull * BlockFrames; ++f) {
        int16_t l, r;
        CountingFrame(f, l, r);
        expectMax = std::max(expectMax, l);
    }
    EXPECT_EQ(buffers.Peaks.PeakMaxLeft[1], expectMax);
    EXPECT_NE(buffers.Peaks.PeakMaxLeft[1], oldPeak);
}

TEST_F(CaptureEngineTest, LoopStopPlaysTheLastMinutesInTimeOrder) {
    StartRecording(3);
    const int ticks = 1800 + 20 * 7 + 9;  // a pass, seven more halves, nine blocks
    for (int t = 0; t < ticks; ++t) Tick();
    engine.FinishRecording();
    ASSERT_EQ(state.TotalBlocks, 1800u);
    const uint32_t p = state.LastWrittenBlock;
    EXPECT_EQ(p, 149u);
    // Time order: p+1 .. n, then 1 .. p; it must end with the last block captured.
    EXPECT_TRUE(UnbrokenCount(RingOrder(p, 1800), uint64_t(ticks - 1800) * BlockFrames));
}

TEST_F(CaptureEngineTest, StopJustAfterTheRingFilledKeepsTimeOrder) {
    StartRecording(3);
    for (int t = 0; t < 1800 + 5; ++t) Tick();  // ring full, five blocks of the next pass
    ASSERT_EQ(state.HalvesWritten, state.LoopHalves);
    engine.FinishRecording();
    // The new pass begins at the front of the ring, not behind its end.
    EXPECT_EQ(RawSize(), 31'752'000);
    EXPECT_EQ(state.LastWrittenBlock, 5u);
    EXPECT_TRUE(UnbrokenCount(RingOrder(5, 1800), 5ull * BlockFrames));
}

TEST_F(CaptureEngineTest, StopWithTheFirstPassEndingUnpolledWrapsToTheFront) {
    StartRecording(3);
    for (int t = 0; t < 1780; ++t) Tick();
    // Two seconds without a poll: the ring's last half and the next one fill.
    device.FeedBlocks(40);
    engine.FinishRecording();
    EXPECT_EQ(RawSize(), 31'752'000);
    EXPECT_EQ(state.LastWrittenBlock, 20u);
    EXPECT_TRUE(UnbrokenCount(RingOrder(20, 1800), 20ull * BlockFrames));
}

TEST_F(CaptureEngineTest, MonitoringLeavesTheRecordingsPeaksAlone) {
    StartRecording();
    for (int t = 0; t < 25; ++t) Tick();
    engine.FinishRecording();
    const std::vector<int16_t> kept(buffers.Peaks.PeakMaxLeft.begin(), buffers.Peaks.PeakMaxLeft.begin() + 30);
    engine.OpenCapture();  // monitoring resumes, numbering from 1
    for (int t = 0; t < 45; ++t) Tick();
    EXPECT_FALSE(state.Recording);
    EXPECT_EQ(std::vector<int16_t>(buffers.Peaks.PeakMaxLeft.begin(), buffers.Peaks.PeakMaxLeft.begin() + 30), kept);
    EXPECT_EQ(RawSize(), 25 * int64_t{BlockBytes});
}

TEST_F(CaptureEngineTest, SequenceNumbersBeyondThePeakTablesAreNeverUsedAsIndex) {
    StartRecording();
    // Pretend ten hours have passed: the queued blocks carry the last numbers
    // the tables hold, and every block after them a number past the end.
    for (uint32_t i = 0; i < CaptureBlockCount; ++i) {
        state.CaptureHeaders[i].user = state.QueuedSequence[i] = PeakTableSize - CaptureBlockCount + i;
    }
    state.BlockSequence = PeakTableSize - 1;
    for (int t = 0; t < 80; ++t) Tick();
    // Nothing may land anywhere in the tables, wrapped or not.
    const auto untouched = [](const std::vector<int16_t>& v) {
        return std::all_of(v.begin(), v.end() - CaptureBlockCount, [](int16_t x) { return x == 0; });
    };
    EXPECT_TRUE(untouched(buffers.Peaks.PeakMaxLeft));
    EXPECT_TRUE(untouched(buffers.Peaks.PeakMinRight));
    EXPECT_GT(state.LastBlockSeen, PeakTableSize);
}

struct MaskCase {
    uint32_t mask;
    bool accepted;
};
class CaptureFormatMask : public CaptureEngineTest, public ::testing::WithParamInterface<MaskCase> {};

TEST_P(CaptureFormatMask, OpensOnlyDevicesThatTakeTheRecordingFormat) {
    state.DeviceCaps[0].formats = GetParam().mask;
    engine.OpenCapture();
    EXPECT_EQ(state.CaptureOpen, GetParam().accepted);
    if (GetParam().accepted) {
        EXPECT_TRUE(messages.empty());
        EXPECT_EQ(device.QueuedCount(), 40u);
    } else {
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0], "The audio recording device:\nTest Capture Device\ncan not be used!\n"
                               "Please install another device.");
        EXPECT_EQ(device.openCount, 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Masks, CaptureFormatMask,
                         ::testing::Values(MaskCase{0x7FF, false}, MaskCase{0x1000, true}, MaskCase{0x800, true},
                                           MaskCase{0, false}, MaskCase{0xFFFFF, true}));

TEST_F(CaptureEngineTest, RefusedOpenShowsTheDeviceTextAndStaysClosed) {
    device.openResult = platform::MMSYSERR_ALLOCATED;
    device.openErrorText = "Device or resource busy";
    engine.OpenCapture();
    EXPECT_FALSE(state.CaptureOpen);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "Device or resource busy");
    // The next attempt, once the device is free, opens it.
    device.openResult = platform::MMSYSERR_NOERROR;
    engine.OpenCapture();
    EXPECT_TRUE(state.CaptureOpen);
}

TEST_F(CaptureEngineTest, FailedWriteStopsTheRecordingWithWholeBlocks) {
    StartRecording();
    for (int t = 0; t < 20; ++t) Tick();
    ASSERT_EQ(RawSize(), int64_t{HalfBytes});
    // Swap the file for one that refuses writes, as a full disk would.
    ASSERT_TRUE(state.RawStream.open(state.RawFileName, platform::RawFile::Mode::Read));
    state.RawStream.seek(HalfBytes);
    for (int t = 0; t < 20; ++t) Tick();
    EXPECT_FALSE(state.Recording);
    EXPECT_TRUE(state.WriteFailed);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find("Recording was stopped"), std::string::npos);
    engine.FinishRecording();
    EXPECT_EQ(state.TotalBlocks, 20u);
    EXPECT_EQ(state.LastWrittenBlock, 20u);
    EXPECT_EQ(RawSize() % BlockBytes, 0);
}

// M pressed after some ticks of one block each; the markers that hold are
// found again, at the stop and from the working files a kill leaves, at the
// blocks whose counting signal says they were recorded then.
struct MarkerCase {
    int loopMinutes;
    int ticks;
    std::vector<int> pressedAfter;  // ticks before each press
    bool killed;                    // no stop: what the files on disk say
    std::vector<uint32_t> keptCounts;
};
class RecordingMarkers : public CaptureEngineTest, public ::testing::WithParamInterface<MarkerCase> {
protected:
    // The count (from 1) of the block at time position pos, from its signal.
    uint32_t CountAt(const RawTimeOrder& order, uint32_t pos) const {
        uint32_t fileBlock = pos + order.Skip;
        if (order.Split) fileBlock = (*order.Split + fileBlock - 1) % order.Blocks + 1;
        const uint32_t frame = CountAtBlock(fileBlock);
        for (uint32_t c = 1; c <= uint32_t(GetParam().ticks); ++c)
            if (uint32_t(((c - 1) * uint64_t{BlockFrames}) & 0xFFFF) == frame) return c;
        return 0;
    }
    std::vector<uint32_t> Counts(const RawTimeOrder& order, const MarkerList& markers) const {
        std::vector<uint32_t> counts;
        for (uint32_t p : markers) counts.push_back(CountAt(order, p));
        return counts;
    }
};

TEST_P(RecordingMarkers, HoldAtTheBlocksMarkedInTimeOrder) {
    const MarkerCase& c = GetParam();
    state.MarkerFileName = dir.file("Orvane.mrk");
    state.RingFileName = dir.file("Orvane.pos");
    StartRecording(c.loopMinutes);
    state.RecordedLoopMode = state.LoopMode;
    size_t press = 0;
    for (int t = 0; t <= c.ticks; ++t) {
        for (; press < c.pressedAfter.size() && c.pressedAfter[press] == t; ++press) engine.AddMarkerNow();
        if (t < c.ticks) Tick();
    }
    if (!c.killed) {
        engine.FinishRecording();
        const RawTimeOrder stopped{state.TotalBlocks,
                                   state.LastWrittenBlock < state.TotalBlocks && state.RecordedLoopMode
                                       ? std::optional<uint32_t>(state.LastWrittenBlock)
                                       : std::nullopt,
                                   0};
        EXPECT_EQ(Counts(stopped, state.Markers), c.keptCounts);
    }
    // As a start after a crash reads them.
    RawTimeOrder found{uint32_t(RawSize() / BlockBytes), std::nullopt, 0};
    if (const auto ring = ReadRingPositionFile(state.RingFileName))
        found.Split = RingSplitOfFile(*ring, state.RawFileName, &found.Skip);
    const MarkerList recovered = ReadRecordingMarkers(state.MarkerFileName, state.RawFileName, found);
    EXPECT_EQ(Counts(found, recovered), c.keptCounts);
    if (!c.killed) {
        EXPECT_EQ(recovered, state.Markers);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RecordingMarkers,
    ::testing::Values(
        // Continuous; the last press falls on the block filling at the stop: the last one kept.
        MarkerCase{0, 100, {0, 29, 29, 59, 100}, false, {1, 30, 60, 100}},
        // A kill keeps those whose half reached the disk.
        MarkerCase{0, 95, {0, 29, 59, 89}, true, {1, 30, 60}},
        // A wrapped ring: the first marker was overwritten, the one on the
        // newest blocks is kept at the stop and lost with them at a kill.
        MarkerCase{3, 1949, {10, 500, 1900, 1945}, false, {501, 1901, 1946}},
        MarkerCase{3, 1949, {10, 500, 1900, 1945}, true, {501, 1901}},
        // The stop's blocks begin the ring's next pass over the first marker only.
        MarkerCase{3, 1810, {3, 14, 1805}, false, {15, 1806}}));

TEST_F(CaptureEngineTest, DeviceListAndLookupByName) {
    engine.ListCaptureDevices();
    ASSERT_EQ(state.DeviceNames.size(), 1u);
    EXPECT_EQ(state.DeviceNames[0], "Test Capture Device");
    EXPECT_EQ(engine.FindCaptureDevice("Test Capture Device"), 0);
    EXPECT_EQ(engine.FindCaptureDevice("test capture device"), 0);  // unknown: device 0
    device.numDevs = 0;
    engine.ListCaptureDevices();
    EXPECT_TRUE(state.DeviceNames.empty());
}

}  // namespace
}  // namespace orv
