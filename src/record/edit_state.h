#pragma once
// The edited recording as a history of piece lists over the raw recording
// file and the append-only working file Edit.raw; the editor changes it, the
// playback reads it.
#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/raw_file.h"
#include "record/format.h"
#include "record/markers.h"
#include "record/piece.h"

namespace orv {

inline constexpr uint16_t MaxHistoryLevel = 50;  // level 0 and 50 undoable edits
inline constexpr size_t LevelPieceRoom = 100;    // reserved per level; a list may grow past it

struct HistoryLevel {
    std::vector<Piece> Pieces;
    uint32_t LevelBlockCount = 0;
    uint32_t LevelSelStart = 1;
    uint32_t LevelSelEnd = 1;
    MarkerList LevelMarkers;  // in this level's timeline
};

struct EditorState {
    std::array<HistoryLevel, MaxHistoryLevel + 1> EditHistory;
    std::vector<Piece> NextPieces;  // an edit builds here; swapped in only when it succeeds
    uint16_t CurrentLevel = 0;
    uint16_t TopLevel = 0;

    uint32_t SelStart = 1;  // inclusive; SelStart == SelEnd: nothing selected
    uint32_t SelEnd = 1;
    // Where a paste or silence begins: 1 … TotalBlocks + 1 (the end); the
    // selection's start after every mouse action and edit.
    uint32_t InsertPoint = 1;
    uint32_t TotalBlocks = 0;
    uint32_t ClipBlockCount = 0;
    MarkerList ClipMarkers;  // inside the clipboard, from its first block (1)
    uint32_t SilenceBlockCount = 0;
    // Blocks of Edit.raw written by successful operations. A failed operation
    // may leave partial blocks behind it; the next one writes over them.
    uint32_t EditBlockCount = 0;

    double AmplifyFactor = 1.0;
    double FadeGain = 0.0;
    double FadeStep = 0.0;
    float ProgressPercent = 0.0f;

    PeakTables EditPeaks;  // entry k: extremes of Edit.raw block k
    platform::RawFile EditFile;
    platform::RawFile ClipFile;
    std::string EditFileName;
    std::string ClipFileName;
};

inline std::span<const Piece> CurrentPieces(const EditorState& s) { return s.EditHistory[s.CurrentLevel].Pieces; }
inline const MarkerList& CurrentMarkers(const EditorState& s) { return s.EditHistory[s.CurrentLevel].LevelMarkers; }

}  // namespace orv
