#pragma once
// One run of blocks of a recording as it plays, taken from the raw recording
// file or from the editor's working file Edit.raw; and the recording's own
// time order, shared by Save As and the editor's first level.
#include <algorithm>
#include <cstdint>
#include <span>
#include <vector>

#include "platform/raw_file.h"
#include "record/format.h"

namespace orv {

struct Piece {
    uint32_t PieceStart = 0;   // position of its first block in the edited recording, from 1
    uint32_t PieceLength = 0;  // blocks
    uint32_t PieceOffset = 0;  // block number, from 1, of its first block in its source file
    bool PieceFromRecording = false;  // true: raw recording file; false: Edit.raw

    uint32_t LastPosition() const { return PieceStart + PieceLength - 1; }
    bool operator==(const Piece&) const = default;
};

// The piece holding position p, or nullptr.
inline const Piece* FindPiece(std::span<const Piece> pieces, uint32_t p) {
    auto it = std::upper_bound(pieces.begin(), pieces.end(), p,
                               [](uint32_t pos, const Piece& piece) { return pos < piece.PieceStart; });
    if (it == pieces.begin()) return nullptr;
    --it;
    return p <= it->LastPosition() ? &*it : nullptr;
}

// Byte offset of position p inside the source of the piece that holds it.
inline uint64_t SourceOffset(const Piece& piece, uint32_t p) {
    return BlockOffset(uint64_t{piece.PieceOffset} + (p - piece.PieceStart));
}

// The two files a piece can point into.
struct PieceSources {
    const platform::RawFile* Recording = nullptr;
    const platform::RawFile* Edit = nullptr;

    const platform::RawFile* For(const Piece& p) const { return p.PieceFromRecording ? Recording : Edit; }
};

// The raw recording in time order: one piece, or two for a loop whose ring
// wrapped (oldest block first). lastWrittenBlock 0 or at the end means the
// ring is already in file order. No block: no piece.
inline std::vector<Piece> TimeOrderedPieces(uint32_t totalBlocks, uint32_t lastWrittenBlock, bool loopMode) {
    const uint32_t n = totalBlocks, p = lastWrittenBlock;
    if (n == 0) return {};
    if (loopMode && p > 0 && p < n) return {Piece{1, n - p, p + 1, true}, Piece{n - p + 1, p, 1, true}};
    return {Piece{1, n, 1, true}};
}

}  // namespace orv
