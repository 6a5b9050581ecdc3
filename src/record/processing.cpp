#include "record/processing.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <cstdlib>

namespace orv {

int64_t RoundEven(double v) { return static_cast<int64_t>(std::nearbyint(v)); }

void AllocateCaptureBuffers(RecordBuffers& b) {
    b.CaptureMemory.assign(size_t{BlockBytes} * CaptureBlockCount, 0);
    b.PlaybackMemory.assign(size_t{BlockBytes} * CaptureBlockCount, 0);
    b.BlockScratch.assign(BlockBytes, 0);
    b.LeftSamples.assign(size_t{BlockFrames} * 2, 0);
    b.RightSamples.assign(size_t{BlockFrames} * 2, 0);
    b.Peaks.Allocate(PeakTableSize);
}

static int16_t Saturate(int32_t v) { return static_cast<int16_t>(std::clamp(v, -32768, 32767)); }

namespace {

// Branch-free loops over plain arrays: the compiler turns them into vector
// code, which matters at ten blocks a second for as long as the program runs.
struct Extremes {
    int16_t Max, Min;
};

Extremes ExtremesOf(const int16_t* v, int16_t max, int16_t min) {
    for (uint32_t i = 0; i < BlockFrames; ++i) {
        max = std::max(max, v[i]);
        min = std::min(min, v[i]);
    }
    return {max, min};
}

void Deinterleave(const uint8_t* block, int16_t* left, int16_t* right) {
    if constexpr (std::endian::native == std::endian::little) {
        int16_t frame[2];
        for (uint32_t i = 0; i < BlockFrames; ++i) {
            std::memcpy(frame, block + 4 * i, 4);
            left[i] = frame[0];
            right[i] = frame[1];
        }
    } else {
        for (uint32_t i = 0; i < BlockFrames; ++i) {
            left[i] = SampleAt(block + 4 * i);
            right[i] = SampleAt(block + 4 * i + 2);
        }
    }
}

void RemoveOffset(int16_t* v, int32_t offset) {
    for (uint32_t i = 0; i < BlockFrames; ++i) v[i] = Saturate(int32_t{v[i]} - offset);
}

}  // namespace

void ProcessBlock(ProcessingState& s, uint8_t* block, int16_t* left, int16_t* right) {
    if (s.ClipHoldLeft > 0) --s.ClipHoldLeft;
    if (s.ClipHoldRight > 0) --s.ClipHoldRight;
    Deinterleave(block, left, right);
    // Clipping is judged on the samples as they came, before any correction.
    const Extremes l = ExtremesOf(left, -32767, 32767);
    const Extremes r = ExtremesOf(right, -32768, 32767);
    if (l.Max == 32767 || l.Min == -32768) s.ClipHoldLeft = ClipHoldBlocks;
    if (r.Max == 32767 || r.Min == -32768) s.ClipHoldRight = ClipHoldBlocks;
    if (s.DcOffsetLeft == 0 && s.DcOffsetRight == 0) return;
    RemoveOffset(left, s.DcOffsetLeft);
    RemoveOffset(right, s.DcOffsetRight);
    for (uint32_t i = 0; i < BlockFrames; ++i) {
        PutSample(block + 4 * i, left[i]);
        PutSample(block + 4 * i + 2, right[i]);
    }
}

void MeasureBlockPeaks(ProcessingState& s, const int16_t* left, const int16_t* right) {
    const Extremes l = ExtremesOf(left, -32767, 32767);
    const Extremes r = ExtremesOf(right, -32768, 32767);
    s.BlockMaxLeft = l.Max;
    s.BlockMinLeft = l.Min;
    s.BlockMaxRight = r.Max;
    s.BlockMinRight = r.Min;
}

void StoreBlockPeaks(ProcessingState& s, const int16_t* left, const int16_t* right,
                     PeakTables& peaks, uint64_t seq) {
    MeasureBlockPeaks(s, left, right);
    if (seq == 0 || seq >= peaks.Size()) return;
    peaks.PeakMaxLeft[seq] = s.BlockMaxLeft;
    peaks.PeakMinLeft[seq] = s.BlockMinLeft;
    peaks.PeakMaxRight[seq] = s.BlockMaxRight;
    peaks.PeakMinRight[seq] = s.BlockMinRight;
}

void MeasureBlockMeans(ProcessingState& s, const int16_t* left, const int16_t* right) {
    // A block's sum fits 32 bits (4410 x 32768 < 2^31), and 32-bit sums of
    // 16-bit samples vectorise without widening every sample to 64 bits.
    static_assert(int64_t{BlockFrames} * 32768 < (int64_t{1} << 31));
    int32_t sumL = 0, sumR = 0;
    for (uint32_t i = 0; i < BlockFrames; ++i) {
        sumL += left[i];
        sumR += right[i];
    }
    s.BlockMeanLeft = static_cast<double>(sumL) / BlockFrames;
    s.BlockMeanRight = static_cast<double>(sumR) / BlockFrames;
}

void UpdateMeanHistory(ProcessingState& s) {
    if (++s.MeanHistorySlot > 50) s.MeanHistorySlot = 1;
    s.MeanHistoryLeft[s.MeanHistorySlot] = static_cast<int32_t>(RoundEven(s.BlockMeanLeft));
    s.MeanHistoryRight[s.MeanHistorySlot] = static_cast<int32_t>(RoundEven(s.BlockMeanRight));
}

// Sum and count of the non-empty slots.
static bool HistoryAverage(const std::array<int32_t, 51>& h, double& avg) {
    int64_t sum = 0;
    int count = 0;
    for (int k = 1; k <= 50; ++k) {
        if (h[k] != 0) {
            sum += h[k];
            ++count;
        }
    }
    if (count == 0) return false;
    avg = static_cast<double>(sum) / count;
    return true;
}

void ComputeDcOffset(ProcessingState& s) {
    double avg = 0;
    if (HistoryAverage(s.MeanHistoryLeft, avg)) s.DcOffsetLeft = static_cast<int32_t>(RoundEven(avg));
    if (HistoryAverage(s.MeanHistoryRight, avg)) s.DcOffsetRight = static_cast<int32_t>(RoundEven(avg));
    s.MeanHistoryLeft.fill(0);
    s.MeanHistoryRight.fill(0);
}

void AverageResidualDc(ProcessingState& s) {
    double avg = 0;
    if (HistoryAverage(s.MeanHistoryLeft, avg)) s.ResidualDcLeft = avg;
    if (HistoryAverage(s.MeanHistoryRight, avg)) s.ResidualDcRight = avg;
}

void ComputeTaskbarLevel(ProcessingState& s) {
    const int16_t m = s.BlockMaxLeft > s.BlockMaxRight ? s.BlockMaxLeft : s.BlockMaxRight;
    int64_t level = std::llabs(RoundEven(m / 2048.0));
    if (level == 0 && s.BlockMaxLeft > 600) level = 1;
    if (level > 16) level = 16;
    s.TaskbarLevel = static_cast<int32_t>(level);
}

}  // namespace orv
