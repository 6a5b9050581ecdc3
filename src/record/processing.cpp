#include "record/processing.h"

#include <cmath>
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

static int16_t Saturate(int32_t v) {
    if (v > 32767) return 32767;
    if (v < -32768) return -32768;
    return static_cast<int16_t>(v);
}

void ProcessBlock(ProcessingState& s, uint8_t* block, int16_t* left, int16_t* right) {
    if (s.ClipHoldLeft > 0) --s.ClipHoldLeft;
    if (s.ClipHoldRight > 0) --s.ClipHoldRight;
    int32_t maxL = -32767, minL = 32767, maxR = -32768, minR = 32767;
    const bool correct = s.DcOffsetLeft != 0 || s.DcOffsetRight != 0;
    for (uint32_t i = 0; i < BlockFrames; ++i) {
        uint8_t* o = block + 4 * i;
        const int16_t l = SampleAt(o);
        const int16_t r = SampleAt(o + 2);
        if (l > maxL) maxL = l;
        if (l < minL) minL = l;
        if (r > maxR) maxR = r;
        if (r < minR) minR = r;
        if (correct) {
            left[i] = Saturate(int32_t{l} - s.DcOffsetLeft);
            right[i] = Saturate(int32_t{r} - s.DcOffsetRight);
            PutSample(o, left[i]);
            PutSample(o + 2, right[i]);
        } else {
            left[i] = l;
            right[i] = r;
        }
    }
    if (maxL == 32767 || minL == -32768) s.ClipHoldLeft = ClipHoldBlocks;
    if (maxR == 32767 || minR == -32768) s.ClipHoldRight = ClipHoldBlocks;
}

void MeasureBlockPeaks(ProcessingState& s, const int16_t* left, const int16_t* right) {
    int16_t maxL = -32767, minL = 32767, maxR = -32768, minR = 32767;
    for (uint32_t i = 0; i < BlockFrames; ++i) {
        if (left[i] > maxL) maxL = left[i];
        if (left[i] < minL) minL = left[i];
        if (right[i] > maxR) maxR = right[i];
        if (right[i] < minR) minR = right[i];
    }
    s.BlockMaxLeft = maxL;
    s.BlockMinLeft = minL;
    s.BlockMaxRight = maxR;
    s.BlockMinRight = minR;
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
    int64_t sumL = 0, sumR = 0;
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
