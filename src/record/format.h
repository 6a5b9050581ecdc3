#pragma once
// The one recording format of the program and the block, its unit of time
// and position. Positions and byte offsets are 64-bit so that a 10-hour
// recording is addressed to its last block.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace orv {

inline constexpr uint32_t SampleRate = 44100;
inline constexpr uint32_t BlockFrames = 4410;            // 100 ms
inline constexpr uint32_t BlockBytes = BlockFrames * 4;  // 17640
inline constexpr uint32_t HalfBlocks = 20;
inline constexpr uint32_t HalfBytes = BlockBytes * HalfBlocks;  // 352800, 2 s
inline constexpr uint32_t CaptureBlockCount = 40;               // 4 s of buffering
inline constexpr uint32_t PeakTableSize = 360000;               // 10 hours of blocks
inline constexpr uint32_t BytesPerSecond = SampleRate * 4;      // 176400

// Byte offset of block k (counted from 1) in a raw audio file.
inline constexpr uint64_t BlockOffset(uint64_t block) { return (block - 1) * uint64_t{BlockBytes}; }

// Signed 16-bit little-endian sample at byte o.
inline int16_t SampleAt(const uint8_t* p) {
    return static_cast<int16_t>(static_cast<uint16_t>(p[0] | (p[1] << 8)));
}
inline void PutSample(uint8_t* p, int16_t v) {
    p[0] = static_cast<uint8_t>(static_cast<uint16_t>(v) & 0xFF);
    p[1] = static_cast<uint8_t>(static_cast<uint16_t>(v) >> 8);
}

// Per-block extremes of a raw file, entry k for block k (entry 0 unused).
struct PeakTables {
    std::vector<int16_t> PeakMaxLeft, PeakMinLeft, PeakMaxRight, PeakMinRight;

    void Allocate(size_t entries) {
        PeakMaxLeft.assign(entries, 0);
        PeakMinLeft.assign(entries, 0);
        PeakMaxRight.assign(entries, 0);
        PeakMinRight.assign(entries, 0);
    }
    // Keeps what is there; used for the editor's growing working file.
    void Resize(size_t entries) {
        PeakMaxLeft.resize(entries, 0);
        PeakMinLeft.resize(entries, 0);
        PeakMaxRight.resize(entries, 0);
        PeakMinRight.resize(entries, 0);
    }
    size_t Size() const { return PeakMaxLeft.size(); }
};

// Memory of the capture engine, allocated once at start-up. While the editor
// is open (capture closed) its blocks serve as the editor's work buffers.
struct RecordBuffers {
    std::vector<uint8_t> CaptureMemory;   // 40 blocks
    std::vector<uint8_t> PlaybackMemory;  // 40 blocks
    std::vector<uint8_t> BlockScratch;    // 1 block
    std::vector<int16_t> LeftSamples;     // 2 x BlockFrames, first half used
    std::vector<int16_t> RightSamples;
    PeakTables Peaks;                     // of the raw recording file
};

void AllocateCaptureBuffers(RecordBuffers& b);

}  // namespace orv
