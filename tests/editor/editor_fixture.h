#pragma once
// A recording on disk whose blocks carry their own block number, the engine
// buffers it borrows, and an editor state over them.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <ostream>
#include <span>
#include <utility>
#include <vector>

#include "editor/operations.h"
#include "support/temp_dir.h"

namespace orv {
inline void PrintTo(const Piece& p, std::ostream* o) {
    *o << "(" << p.PieceStart << ", " << p.PieceLength << ", offset " << p.PieceOffset
       << (p.PieceFromRecording ? ", recording)" : ", Edit.raw)");
}
}  // namespace orv

namespace orv::test {

using SampleFn = std::function<std::pair<int16_t, int16_t>(uint32_t block, uint32_t frame)>;

// Frame 0 holds the block number (low 15 bits left, the rest right); the
// other frames follow a pattern whose loudness changes from block to block.
inline std::pair<int16_t, int16_t> NumberedSample(uint32_t block, uint32_t frame) {
    if (frame == 0) return {static_cast<int16_t>(block & 0x7FFF), static_cast<int16_t>(block >> 15)};
    const int32_t amp = 300 + static_cast<int32_t>((block * 7919u) % 30000u);
    const int32_t left = static_cast<int32_t>((block * 131u + frame * 17u) % uint32_t(2 * amp + 1)) - amp;
    const int32_t right = (amp - left) / 2 - static_cast<int32_t>(frame % 7);
    return {static_cast<int16_t>(left), static_cast<int16_t>(right)};
}

inline uint32_t BlockNumberOf(const uint8_t* block) {
    return static_cast<uint32_t>(SampleAt(block)) | (static_cast<uint32_t>(SampleAt(block + 2)) << 15);
}

inline std::vector<uint8_t> MakeBlock(uint32_t block, const SampleFn& fn) {
    std::vector<uint8_t> bytes(BlockBytes);
    for (uint32_t i = 0; i < BlockFrames; ++i) {
        const auto [l, r] = fn(block, i);
        PutSample(&bytes[4 * i], l);
        PutSample(&bytes[4 * i + 2], r);
    }
    return bytes;
}

// True when the pieces follow each other from position 1 and add up to total.
inline ::testing::AssertionResult PieceListHolds(std::span<const Piece> pieces, uint32_t total) {
    uint64_t next = 1;
    for (size_t i = 0; i < pieces.size(); ++i) {
        if (pieces[i].PieceStart != next)
            return ::testing::AssertionFailure() << "piece " << i << " starts at " << pieces[i].PieceStart
                                                 << ", expected " << next;
        if (pieces[i].PieceLength == 0) return ::testing::AssertionFailure() << "piece " << i << " is empty";
        if (pieces[i].PieceOffset == 0) return ::testing::AssertionFailure() << "piece " << i << " has offset 0";
        next += pieces[i].PieceLength;
    }
    if (next - 1 != total) return ::testing::AssertionFailure() << "pieces add up to " << next - 1 << ", not " << total;
    return ::testing::AssertionSuccess();
}

class EditorFixture : public ::testing::Test {
protected:
    EditorFixture() { AllocateCaptureBuffers(buffers); }
    ~EditorFixture() override { CloseEditor(state); }

    // Writes blocks first … first + count − 1 of the recording file (the file
    // is sized to totalBlocks, sparse where nothing is written) with peaks.
    void WriteRecording(uint32_t totalBlocks, const SampleFn& fn = NumberedSample, uint32_t first = 1,
                        uint32_t count = 0) {
        if (count == 0) count = totalBlocks - first + 1;
        platform::RawFile out;
        ASSERT_TRUE(out.open(dir.file("Orvane.raw"), platform::RawFile::Mode::Create));
        ASSERT_TRUE(out.truncate(BlockOffset(uint64_t{totalBlocks} + 1)));
        for (uint32_t k = first; k < first + count; ++k) {
            const std::vector<uint8_t> block = MakeBlock(k, fn);
            ASSERT_EQ(out.writeAt(BlockOffset(k), block.data(), BlockBytes), BlockBytes);
            std::vector<int16_t> l(BlockFrames), r(BlockFrames);
            for (uint32_t i = 0; i < BlockFrames; ++i) {
                l[i] = SampleAt(&block[4 * i]);
                r[i] = SampleAt(&block[4 * i + 2]);
            }
            StoreBlockPeaks(processing, l.data(), r.data(), buffers.Peaks, k);
        }
        out.close();
        ASSERT_TRUE(recording.open(dir.file("Orvane.raw"), platform::RawFile::Mode::Read));
    }

    void Open(uint32_t totalBlocks, uint32_t lastWritten = 0, bool loop = false, const MarkerList& markers = {}) {
        const EditResult opened =
            OpenEditor(state, totalBlocks, lastWritten, loop, dir.file("Edit.raw"), dir.file("Clp.raw"), markers);
        ASSERT_TRUE(opened.Ok) << opened.Message;
    }

    void Select(uint32_t a, uint32_t b) {
        state.SelStart = a;
        state.SelEnd = b;
    }

    // The block number that position p plays, read through the current level.
    uint32_t BlockAt(uint32_t p) {
        const EditResult read = ReadBlockAt(state, context, p);
        EXPECT_TRUE(read.Ok) << read.Message;
        return BlockNumberOf(buffers.CaptureMemory.data());
    }
    std::pair<int16_t, int16_t> FrameAt(uint32_t p, uint32_t frame) {
        const EditResult read = ReadBlockAt(state, context, p);
        EXPECT_TRUE(read.Ok) << read.Message;
        const uint8_t* f = buffers.CaptureMemory.data() + 4 * frame;
        return {SampleAt(f), SampleAt(f + 2)};
    }
    std::vector<Piece> Pieces() const {
        const auto p = CurrentPieces(state);
        return {p.begin(), p.end()};
    }

    TempDir dir;
    platform::RawFile recording;
    RecordBuffers buffers;
    ProcessingState processing;
    EditorState state;
    std::vector<float> progress;
    EditorContext context{recording, buffers.Peaks, buffers, processing,
                          [this](float percent) { progress.push_back(percent); }};
};

}  // namespace orv::test
