#pragma once
// Sample arithmetic of the editor's effects, one block at a time. Each block
// routine reads the block in the first block of CaptureMemory and leaves the
// result in LeftSamples/RightSamples and, as frames, in BlockScratch.
#include <cmath>
#include <cstdint>

#include "record/format.h"

namespace orv {

// round(x * gain), halves to even, limited to the 16-bit range. The product
// is formed in extended precision where the platform has it.
inline int16_t ScaleSample(int16_t x, long double gain) {
    const long double v = static_cast<long double>(x) * gain;
    // Anything beyond the limits rounds to them or further, so limit first.
    if (v >= 32767.0L) return 32767;
    if (v <= -32768.0L) return -32768;
    // rint rounds in the default mode (nearest, halves to even) in one
    // instruction; the whole number then passes exactly through double, which
    // avoids switching the x87 rounding mode for the conversion.
    return static_cast<int16_t>(static_cast<double>(std::rint(v)));
}

void AmplifyBlock(RecordBuffers& b, double amplifyFactor);
void NormalizeBlock(RecordBuffers& b, float gain);
// The gain is stepped once per frame before the frame's two samples.
void FadeInBlock(RecordBuffers& b, double& fadeGain, double fadeStep);
void FadeOutBlock(RecordBuffers& b, double& fadeGain, double fadeStep);
void SilenceBlock(RecordBuffers& b);

// 32767 / the largest absolute extreme, single precision; never below 1.
float GainForPeaks(int16_t maxLeft, int16_t minLeft, int16_t maxRight, int16_t minRight);

}  // namespace orv
