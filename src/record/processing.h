#pragma once
// Per-block signal processing of captured audio: channel split, clip
// detection, DC-offset removal and measurement.
#include <array>
#include <cstdint>

#include "record/format.h"

namespace orv {

struct ProcessingState {
    int32_t DcOffsetLeft = 0;
    int32_t DcOffsetRight = 0;
    double BlockMeanLeft = 0;
    double BlockMeanRight = 0;
    std::array<int32_t, 51> MeanHistoryLeft{};   // slots 1..50, 0 = empty
    std::array<int32_t, 51> MeanHistoryRight{};
    int32_t MeanHistorySlot = 0;
    double ResidualDcLeft = 0;
    double ResidualDcRight = 0;
    int16_t BlockMaxLeft = 0;
    int16_t BlockMinLeft = 0;
    int16_t BlockMaxRight = 0;
    int16_t BlockMinRight = 0;
    int32_t ClipHoldLeft = 0;
    int32_t ClipHoldRight = 0;
    int32_t TaskbarLevel = 0;
};

inline constexpr int32_t ClipHoldBlocks = 30;

// Splits the block into left/right, judges clipping on the raw samples and
// subtracts the DC offsets in place (saturating at the 16-bit limits).
void ProcessBlock(ProcessingState& s, uint8_t* block, int16_t* left, int16_t* right);
// Extremes of the samples into BlockMax*/BlockMin*.
void MeasureBlockPeaks(ProcessingState& s, const int16_t* left, const int16_t* right);
// MeasureBlockPeaks, then stores them at entry seq; numbers outside the
// tables are never used as an index.
void StoreBlockPeaks(ProcessingState& s, const int16_t* left, const int16_t* right,
                     PeakTables& peaks, uint64_t seq);
void MeasureBlockMeans(ProcessingState& s, const int16_t* left, const int16_t* right);
void UpdateMeanHistory(ProcessingState& s);
void ComputeDcOffset(ProcessingState& s);
void AverageResidualDc(ProcessingState& s);
void ComputeTaskbarLevel(ProcessingState& s);

// Round to nearest, halves to even (the processor's default mode).
int64_t RoundEven(double v);

}  // namespace orv
