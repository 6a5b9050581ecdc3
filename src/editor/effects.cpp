#include "editor/effects.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace orv {

namespace {

// The block's frames go through f(frame, left, right) -> {left, right}.
template <typename PerFrame>
void TransformBlock(RecordBuffers& b, PerFrame&& f) {
    const uint8_t* in = b.CaptureMemory.data();
    uint8_t* out = b.BlockScratch.data();
    int16_t* left = b.LeftSamples.data();
    int16_t* right = b.RightSamples.data();
    for (uint32_t i = 0; i < BlockFrames; ++i) {
        f(SampleAt(in + 4 * i), SampleAt(in + 4 * i + 2), left[i], right[i]);
        PutSample(out + 4 * i, left[i]);
        PutSample(out + 4 * i + 2, right[i]);
    }
}

}  // namespace

void AmplifyBlock(RecordBuffers& b, double amplifyFactor) {
    const long double g = amplifyFactor;
    TransformBlock(b, [g](int16_t l, int16_t r, int16_t& ol, int16_t& orr) {
        ol = ScaleSample(l, g);
        orr = ScaleSample(r, g);
    });
}

void NormalizeBlock(RecordBuffers& b, float gain) {
    // A 16-bit sample times a single-precision gain is exact in double, so
    // double gives the same result as extended precision, faster.
    const double g = gain;
    TransformBlock(b, [g](int16_t l, int16_t r, int16_t& ol, int16_t& orr) {
        ol = static_cast<int16_t>(std::clamp(std::rint(l * g), -32768.0, 32767.0));
        orr = static_cast<int16_t>(std::clamp(std::rint(r * g), -32768.0, 32767.0));
    });
}

void FadeInBlock(RecordBuffers& b, double& fadeGain, double fadeStep) {
    TransformBlock(b, [&](int16_t l, int16_t r, int16_t& ol, int16_t& orr) {
        fadeGain = fadeGain + fadeStep;
        ol = ScaleSample(l, fadeGain);
        orr = ScaleSample(r, fadeGain);
    });
}

void FadeOutBlock(RecordBuffers& b, double& fadeGain, double fadeStep) {
    TransformBlock(b, [&](int16_t l, int16_t r, int16_t& ol, int16_t& orr) {
        fadeGain = fadeGain - fadeStep;
        ol = ScaleSample(l, fadeGain);
        orr = ScaleSample(r, fadeGain);
    });
}

void SilenceBlock(RecordBuffers& b) {
    std::fill_n(b.LeftSamples.begin(), BlockFrames, int16_t{0});
    std::fill_n(b.RightSamples.begin(), BlockFrames, int16_t{0});
    std::fill_n(b.BlockScratch.begin(), BlockBytes, uint8_t{0});
}

float GainForPeaks(int16_t maxLeft, int16_t minLeft, int16_t maxRight, int16_t minRight) {
    float peak = 0;
    for (int v : {int{maxLeft}, int{maxRight}, std::abs(int{minLeft}), std::abs(int{minRight})})
        if (static_cast<float>(v) > peak) peak = static_cast<float>(v);
    if (peak >= 32768.0f) peak = 32767.0f;
    if (peak == 0.0f) peak = 1.0f;
    return static_cast<float>(32767.0L / peak);
}

}  // namespace orv
