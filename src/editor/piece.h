#pragma once
// One run of blocks of the edited recording, taken from the raw recording
// file or from the editor's working file Edit.raw.
#include <cstdint>

#include "platform/raw_file.h"

namespace orv {

struct Piece {
    uint32_t PieceStart = 0;   // position of its first block in the edited recording, from 1
    uint32_t PieceLength = 0;  // blocks
    uint32_t PieceOffset = 0;  // block number, from 1, of its first block in its source file
    bool PieceFromRecording = false;  // true: raw recording file; false: Edit.raw

    uint32_t LastPosition() const { return PieceStart + PieceLength - 1; }
    bool operator==(const Piece&) const = default;
};

// The two files a piece can point into.
struct PieceSources {
    const platform::RawFile* Recording = nullptr;
    const platform::RawFile* Edit = nullptr;

    const platform::RawFile* For(const Piece& p) const { return p.PieceFromRecording ? Recording : Edit; }
};

}  // namespace orv
