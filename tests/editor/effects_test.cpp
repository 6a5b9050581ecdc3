// Sample arithmetic of the effects and the normalize gain from display peaks.
#include <gtest/gtest.h>

#include <cstring>
#include <ostream>

#include "editor/effects.h"
#include "editor/operations.h"
#include "editor_fixture.h"

namespace orv::test {
namespace {

// One block of a constant left sample in CaptureMemory through a routine.
struct AmplifyCase {
    double Factor;
    int16_t In;
    int16_t Out;
    friend std::ostream& operator<<(std::ostream& o, const AmplifyCase& c) {
        return o << c.In << " x " << c.Factor << " -> " << c.Out;
    }
};

class AmplifySample : public ::testing::TestWithParam<AmplifyCase> {};

TEST_P(AmplifySample, RoundsHalvesToEvenAndSaturates) {
    const AmplifyCase& c = GetParam();
    RecordBuffers b;
    AllocateCaptureBuffers(b);
    for (uint32_t i = 0; i < BlockFrames; ++i) {
        PutSample(&b.CaptureMemory[4 * i], c.In);
        PutSample(&b.CaptureMemory[4 * i + 2], static_cast<int16_t>(-c.In / 2));
    }
    AmplifyBlock(b, c.Factor);
    EXPECT_EQ(b.LeftSamples[0], c.Out);
    EXPECT_EQ(b.LeftSamples[BlockFrames - 1], c.Out);
    EXPECT_EQ(SampleAt(&b.BlockScratch[4 * (BlockFrames - 1)]), c.Out);
    EXPECT_EQ(SampleAt(&b.BlockScratch[2]), b.RightSamples[0]);
    EXPECT_EQ(b.RightSamples[7], ScaleSample(static_cast<int16_t>(-c.In / 2), c.Factor));
}

INSTANTIATE_TEST_SUITE_P(EditorFactors, AmplifySample,
                         ::testing::Values(AmplifyCase{0.5, 3, 2}, AmplifyCase{0.5, 5, 2}, AmplifyCase{0.5, -3, -2},
                                           AmplifyCase{0.5, -5, -2}, AmplifyCase{0.5, 7, 4},
                                           AmplifyCase{2.0, 20000, 32767}, AmplifyCase{2.0, -20000, -32768},
                                           AmplifyCase{10.0, 32767, 32767}, AmplifyCase{-1.0, -32768, 32767},
                                           AmplifyCase{0.0, 1234, 0}, AmplifyCase{1.5, 1, 2}));

struct PeakCase {
    int16_t MaxLeft, MinLeft, MaxRight, MinRight;
    float Gain;
    friend std::ostream& operator<<(std::ostream& o, const PeakCase& c) {
        return o << "peaks " << c.MaxLeft << "/" << c.MinLeft << " " << c.MaxRight << "/" << c.MinRight;
    }
};

class GainFromPeaks : public ::testing::TestWithParam<PeakCase> {};

TEST_P(GainFromPeaks, BringsTheLoudestSampleToFullScale) {
    const PeakCase& c = GetParam();
    EXPECT_EQ(GainForPeaks(c.MaxLeft, c.MinLeft, c.MaxRight, c.MinRight), c.Gain);
}

INSTANTIATE_TEST_SUITE_P(EditorPeaks, GainFromPeaks,
                         ::testing::Values(PeakCase{16384, -3, 5, -5, 1.99993896484375f},
                                           PeakCase{5, -16384, 2, -2, 1.99993896484375f},
                                           PeakCase{0, -32768, 0, 0, 1.0f}, PeakCase{32767, 0, 0, 0, 1.0f},
                                           PeakCase{0, 0, 0, 0, 32767.0f}, PeakCase{-5, -4, -9, -3, 8191.75f},
                                           PeakCase{1, -1, 0, 0, 32767.0f}));

// Effects run through ApplyEffect on a two-block recording of chosen samples.
class EditorEffectOnTwoBlocks : public EditorFixture {
protected:
    void Load(const SampleFn& fn) {
        WriteRecording(2, fn);
        Open(2);
        Select(1, 2);
    }
    int16_t Left(uint32_t frameFrom1) {
        const uint32_t j = frameFrom1 - 1;
        return FrameAt(1 + j / BlockFrames, j % BlockFrames).first;
    }
};

TEST_F(EditorEffectOnTwoBlocks, FadeInRampsFromOneStepToFullLevel) {
    Load([](uint32_t, uint32_t) { return std::make_pair(int16_t{8820}, int16_t{-8820}); });
    PrepareFade(state, true);
    EXPECT_EQ(state.FadeStep, 1.0 / 8820);
    ASSERT_TRUE(ApplyEffect(state, context, "FadeIn").Ok);
    EXPECT_EQ(Left(1), 1);        // × 1/8820
    EXPECT_EQ(Left(4410), 4410);  // last frame of the first block
    EXPECT_EQ(Left(4411), 4411);  // continues in the second block
    EXPECT_EQ(Left(8820), 8820);  // × 1.0
    EXPECT_EQ(FrameAt(2, BlockFrames - 1).second, -8820);
}

TEST_F(EditorEffectOnTwoBlocks, FadeOutEndsInSilence) {
    Load([](uint32_t, uint32_t) { return std::make_pair(int16_t{8820}, int16_t{32767}); });
    PrepareFade(state, false);
    ASSERT_TRUE(ApplyEffect(state, context, "FadeOut").Ok);
    EXPECT_EQ(Left(1), 8819);  // × 8819/8820
    EXPECT_EQ(Left(4411), 4409);
    EXPECT_EQ(Left(8820), 0);
    EXPECT_EQ(FrameAt(2, BlockFrames - 1).second, 0);
    EXPECT_EQ(FrameAt(1, 0).second, 32763);  // round(32767 × 8819/8820)
}

TEST_F(EditorEffectOnTwoBlocks, NormalizeOf16384DoublesAlmost) {
    Load([](uint32_t block, uint32_t frame) {
        if (block == 2 && frame == 100) return std::make_pair(int16_t{16384}, int16_t{3});
        return std::make_pair(int16_t{3}, int16_t{-3});
    });
    EXPECT_EQ(NormalizeGain(state, context), 1.99993896484375f);
    ASSERT_TRUE(ApplyEffect(state, context, "Normalize").Ok);
    EXPECT_EQ(FrameAt(2, 100), std::make_pair(int16_t{32767}, int16_t{6}));
    EXPECT_EQ(FrameAt(1, 0), std::make_pair(int16_t{6}, int16_t{-6}));
    EXPECT_EQ(state.EditPeaks.PeakMaxLeft[2], 32767);
}

TEST_F(EditorEffectOnTwoBlocks, NormalizeWithFullNegativeScaleChangesNothing) {
    const SampleFn samples = [](uint32_t block, uint32_t frame) {
        if (block == 1 && frame == 9) return std::make_pair(int16_t{-32768}, int16_t{100});
        return std::make_pair(int16_t(frame % 200), int16_t(-int(frame % 300)));
    };
    Load(samples);
    EXPECT_EQ(NormalizeGain(state, context), 1.0f);
    ASSERT_TRUE(ApplyEffect(state, context, "NORMALIZE").Ok);
    EXPECT_EQ(state.CurrentLevel, 1u);
    EXPECT_FALSE(FindPiece(CurrentPieces(state), 1)->PieceFromRecording);
    for (uint32_t p = 1; p <= 2; ++p) {
        ASSERT_TRUE(ReadBlockAt(state, context, p).Ok);
        EXPECT_EQ(0, std::memcmp(buffers.CaptureMemory.data(), MakeBlock(p, samples).data(), BlockBytes)) << p;
    }
}

TEST_F(EditorEffectOnTwoBlocks, NormalizeOfSilenceStaysSilent) {
    Load([](uint32_t, uint32_t) { return std::make_pair(int16_t{0}, int16_t{0}); });
    EXPECT_EQ(NormalizeGain(state, context), 32767.0f);
    ASSERT_TRUE(ApplyEffect(state, context, "Normalize").Ok);
    EXPECT_EQ(FrameAt(1, 5), std::make_pair(int16_t{0}, int16_t{0}));
    EXPECT_EQ(state.EditPeaks.PeakMaxLeft[1], 0);
}

TEST_F(EditorEffectOnTwoBlocks, NormalizeOfUnitSamplesReachesFullScale) {
    Load([](uint32_t, uint32_t frame) { return std::make_pair(int16_t(int(frame % 3) - 1), int16_t{1}); });
    ASSERT_TRUE(ApplyEffect(state, context, "Normalize").Ok);
    EXPECT_EQ(FrameAt(1, 0), std::make_pair(int16_t{-32767}, int16_t{32767}));
    EXPECT_EQ(FrameAt(1, 1).first, 0);
    EXPECT_EQ(FrameAt(2, 2).first, 32767);
}

TEST_F(EditorEffectOnTwoBlocks, NormalizeGainReadsEditedPeaksAfterAnEffect) {
    Load([](uint32_t, uint32_t frame) { return std::make_pair(int16_t(frame % 1000), int16_t{0}); });
    state.AmplifyFactor = 4.0;
    ASSERT_TRUE(ApplyEffect(state, context, "Amplify").Ok);
    EXPECT_FLOAT_EQ(NormalizeGain(state, context), 32767.0f / 3996);
}

}  // namespace
}  // namespace orv::test
