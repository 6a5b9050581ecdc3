#pragma once
// The edited recording as a history of piece lists over the raw recording
// file and the append-only working file Edit.raw, with the clipboard file
// Clp.raw, and the editing operations that make new history levels.
#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "record/piece.h"
#include "platform/raw_file.h"
#include "record/format.h"
#include "record/processing.h"

namespace orv {

inline constexpr uint16_t MaxHistoryLevel = 50;  // level 0 and 50 undoable edits
inline constexpr size_t LevelPieceRoom = 100;    // reserved per level; a list may grow past it

struct HistoryLevel {
    std::vector<Piece> Pieces;
    uint32_t LevelBlockCount = 0;
    uint32_t LevelSelStart = 1;
    uint32_t LevelSelEnd = 1;
};

struct EditorState {
    std::array<HistoryLevel, MaxHistoryLevel + 1> EditHistory;
    std::vector<Piece> NextPieces;  // an edit builds here; swapped in only when it succeeds
    uint16_t CurrentLevel = 0;
    uint16_t TopLevel = 0;

    uint32_t SelStart = 1;  // inclusive; SelStart == SelEnd: nothing selected
    uint32_t SelEnd = 1;
    uint32_t InsertPoint = 1;
    uint32_t TotalBlocks = 0;
    uint32_t ClipBlockCount = 0;
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

// What the editor borrows from the recording engine while it is open.
struct EditorContext {
    const platform::RawFile& Recording;
    const PeakTables& RecordingPeaks;
    RecordBuffers& Buffers;       // CaptureMemory block 0 receives reads; BlockScratch effect output
    ProcessingState& Processing;  // DC offsets for paste, block peaks
    // Called after each block with ProgressPercent; the window layer shows it
    // and lets pending events run. May be empty.
    std::function<void(float)> Progress;
};

// Message is the text to show the user when Ok is false.
struct [[nodiscard]] EditResult {
    bool Ok = true;
    std::string Message;
    static EditResult Failure(std::string text) { return {false, std::move(text)}; }
};

// Level 0 in time order (loop recordings start at the ring's oldest block),
// then Edit.raw and Clp.raw created empty, replacing old files. On failure
// level 0 is still usable for viewing and playback.
EditResult OpenEditor(EditorState& s, uint32_t totalBlocks, uint32_t lastWrittenBlock, bool loopMode,
                      const std::string& editFileName, const std::string& clipFileName);
// Closes and deletes the working files; the history is dropped.
void CloseEditor(EditorState& s);

std::span<const Piece> CurrentPieces(const EditorState& s);
// The piece holding position p, or nullptr.
const Piece* FindPiece(std::span<const Piece> pieces, uint32_t p);
// Byte offset of position p inside the source of the piece that holds it.
inline uint64_t SourceOffset(const Piece& piece, uint32_t p) {
    return BlockOffset(uint64_t{piece.PieceOffset} + (p - piece.PieceStart));
}

// Reads position p of the current level into the first block of CaptureMemory.
EditResult ReadBlockAt(const EditorState& s, EditorContext& c, uint32_t p);

// The selection becomes the clipboard. A failure empties the clipboard.
EditResult CopySelection(EditorState& s, EditorContext& c);
void DeleteSelection(EditorState& s);
// Copy, then delete only if the copy succeeded.
EditResult CutSelection(EditorState& s, EditorContext& c);

// Blocks of the selection that exist, which an effect appends to Edit.raw; 0 when none.
uint32_t SelectedBlockCount(const EditorState& s);
// effect: "NORMALIZE", "AMPLIFY", "FADEIN" or "FADEOUT", any case.
EditResult ApplyEffect(EditorState& s, EditorContext& c, std::string_view effect);
// kind: "SILENCE" (SilenceBlockCount blocks) or "PASTE", any case. When no
// piece holds InsertPoint the blocks go at the end.
EditResult InsertBlocks(EditorState& s, EditorContext& c, std::string_view kind);

void UndoEdit(EditorState& s);
void RedoEdit(EditorState& s);

// FadeStep and FadeGain for a fade over the current selection.
void PrepareFade(EditorState& s, bool fadeIn);
// Gain that brings the selection's loudest sample to 32767, from the display
// peaks (the samples of a block are read only when its peaks are missing).
float NormalizeGain(const EditorState& s, EditorContext& c);

}  // namespace orv
