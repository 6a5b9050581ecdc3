// Per-block processing of captured audio: clip marks, DC removal and the
// numbers the meters and the taskbar icon are drawn from.
#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <vector>

#include "record/processing.h"

namespace orv {
namespace {

class ProcessingTest : public ::testing::Test {
protected:
    ProcessingTest() : block(BlockBytes), left(BlockFrames), right(BlockFrames) {}

    void Fill(int16_t l, int16_t r) {
        for (uint32_t i = 0; i < BlockFrames; ++i) SetFrame(i, l, r);
    }
    void SetFrame(uint32_t i, int16_t l, int16_t r) {
        PutSample(&block[4 * i], l);
        PutSample(&block[4 * i + 2], r);
    }
    int16_t StoredLeft(uint32_t i) const { return SampleAt(&block[4 * i]); }
    int16_t StoredRight(uint32_t i) const { return SampleAt(&block[4 * i + 2]); }
    void Process() {
        ProcessBlock(s, block.data(), left.data(), right.data());
        MeasureBlockPeaks(s, left.data(), right.data());
    }

    ProcessingState s;
    std::vector<uint8_t> block;
    std::vector<int16_t> left, right;
};

TEST_F(ProcessingTest, FullScaleNegativeLeftClipsAndKeepsTheStartMaximum) {
    Fill(-32768, 0);
    Process();
    EXPECT_EQ(s.ClipHoldLeft, 30);
    EXPECT_EQ(s.ClipHoldRight, 0);
    EXPECT_EQ(s.BlockMaxLeft, -32767);  // left starts one above the right channel
    EXPECT_EQ(s.BlockMinLeft, -32768);

    Fill(0, -32768);
    Process();
    EXPECT_EQ(s.ClipHoldLeft, 29);
    EXPECT_EQ(s.ClipHoldRight, 30);
    EXPECT_EQ(s.BlockMaxRight, -32768);
}

TEST_F(ProcessingTest, ClipIsJudgedBeforeTheOffsetIsRemoved) {
    s.DcOffsetLeft = 40;
    Fill(1000, 1000);
    SetFrame(17, 32767, 1000);
    Process();
    EXPECT_EQ(s.ClipHoldLeft, 30);
    EXPECT_EQ(s.ClipHoldRight, 0);
    EXPECT_EQ(StoredLeft(17), 32727);
    EXPECT_EQ(left[17], 32727);
    EXPECT_EQ(StoredLeft(0), 960);
    EXPECT_EQ(StoredRight(0), 1000);
}

TEST_F(ProcessingTest, CorrectedSamplesSaturateInsteadOfWrapping) {
    s.DcOffsetLeft = 100;
    s.DcOffsetRight = -100;
    Fill(-32700, 32700);
    SetFrame(1, -32668, 32668);  // exactly at the limits after correction
    Process();
    EXPECT_EQ(StoredLeft(0), -32768);
    EXPECT_EQ(StoredRight(0), 32767);
    EXPECT_EQ(left[0], -32768);
    EXPECT_EQ(right[0], 32767);
    EXPECT_EQ(StoredLeft(1), -32768);
    EXPECT_EQ(StoredRight(1), 32767);
    // The raw samples were inside the range: no clip mark.
    EXPECT_EQ(s.ClipHoldLeft, 0);
    EXPECT_EQ(s.ClipHoldRight, 0);
}

class DcHistoryTest : public ::testing::Test {
protected:
    // One recording-timer tick with the given block means.
    void Tick(double l, double r) {
        s.BlockMeanLeft = l;
        s.BlockMeanRight = r;
        UpdateMeanHistory(s);
    }
    ProcessingState s;
};

TEST_F(DcHistoryTest, OffsetIsTheEvenRoundedAverageOfTheNonEmptySlots) {
    Tick(2.0, 3.0);
    Tick(3.0, 4.0);
    Tick(0.4, -0.5);  // both round to 0: empty slots, not part of the average
    ComputeDcOffset(s);
    EXPECT_EQ(s.DcOffsetLeft, 2);   // 2.5 rounds to even
    EXPECT_EQ(s.DcOffsetRight, 4);  // 3.5 rounds to even
    for (int k = 1; k <= 50; ++k) {
        EXPECT_EQ(s.MeanHistoryLeft[k], 0);
        EXPECT_EQ(s.MeanHistoryRight[k], 0);
    }
    // Ticking again with the history just cleared keeps the offsets.
    ComputeDcOffset(s);
    EXPECT_EQ(s.DcOffsetLeft, 2);
    EXPECT_EQ(s.DcOffsetRight, 4);
}

TEST_F(DcHistoryTest, HistoryKeepsOnlyTheLastFiftyTicks) {
    Tick(-1000, 7);
    for (int t = 0; t < 50; ++t) Tick(-20, 7);
    EXPECT_EQ(s.MeanHistorySlot, 1);
    ComputeDcOffset(s);
    EXPECT_EQ(s.DcOffsetLeft, -20);
    EXPECT_EQ(s.DcOffsetRight, 7);
}

TEST_F(DcHistoryTest, ResidualKeepsItsValueWhileTheHistoryIsEmpty) {
    Tick(1.0, -2.0);
    Tick(2.0, 0.0);
    AverageResidualDc(s);
    EXPECT_DOUBLE_EQ(s.ResidualDcLeft, 1.5);
    EXPECT_DOUBLE_EQ(s.ResidualDcRight, -2.0);
    ComputeDcOffset(s);
    AverageResidualDc(s);
    EXPECT_DOUBLE_EQ(s.ResidualDcLeft, 1.5);
}

struct LevelCase {
    int16_t maxLeft, maxRight;
    int level;
};
void PrintTo(const LevelCase& c, std::ostream* os) { *os << "max " << c.maxLeft << "/" << c.maxRight; }
class TaskbarLevel : public ::testing::TestWithParam<LevelCase> {};

TEST_P(TaskbarLevel, FollowsTheLouderChannel) {
    ProcessingState s;
    s.BlockMaxLeft = GetParam().maxLeft;
    s.BlockMaxRight = GetParam().maxRight;
    ComputeTaskbarLevel(s);
    EXPECT_EQ(s.TaskbarLevel, GetParam().level);
}

INSTANTIATE_TEST_SUITE_P(Maxima, TaskbarLevel,
                         ::testing::Values(LevelCase{700, 500, 1},       // rounds to 0, raised to 1
                                           LevelCase{32767, 32767, 16},  // 15.9995 rounds up to the top
                                           LevelCase{500, 700, 0},       // only the left channel is raised
                                           LevelCase{601, 0, 1}, LevelCase{600, 0, 0},
                                           LevelCase{3072, 0, 2},        // 1.5 to even
                                           LevelCase{0, 5120, 2},        // 2.5 to even
                                           LevelCase{6144, 2048, 3}));

}  // namespace
}  // namespace orv
