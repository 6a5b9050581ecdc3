#pragma once
// The editing operations that make new history levels of the edited
// recording (record/edit_state.h), with the clipboard file Clp.raw.
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/raw_file.h"
#include "record/edit_state.h"
#include "record/format.h"
#include "record/processing.h"

namespace orv {

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
// with the recording's markers (in that order) that lie inside it, then
// Edit.raw and Clp.raw created empty, replacing old files. On failure level 0
// is still usable for viewing and playback.
EditResult OpenEditor(EditorState& s, uint32_t totalBlocks, uint32_t lastWrittenBlock, bool loopMode,
                      const std::string& editFileName, const std::string& clipFileName,
                      const MarkerList& markers = {});
// Closes and deletes the working files; the history is dropped.
void CloseEditor(EditorState& s);

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
// kind: "SILENCE" (SilenceBlockCount blocks) or "PASTE", any case. The first
// inserted block becomes block InsertPoint (beyond the end: at the end).
EditResult InsertBlocks(EditorState& s, EditorContext& c, std::string_view kind);

// Markers are edits of their own: a new level with the same pieces, so that
// undo takes them back. A call that changes nothing makes no level; both
// return whether a level was made.
// A marker at the insertion point (only on a block of the recording).
bool AddMarkerAtInsertPoint(EditorState& s);
// Removes the marker nearest the insertion point when it is at most reach blocks away.
bool RemoveMarkerNear(EditorState& s, uint32_t reach);

// The nearest marker before / after position p of the current level.
std::optional<uint32_t> MarkerBefore(const EditorState& s, uint32_t p);
std::optional<uint32_t> MarkerAfter(const EditorState& s, uint32_t p);
// The blocks from the last marker at or before p (else the start) to the
// block before the first marker after p (else the last block); first > last
// when the recording is empty.
std::pair<uint32_t, uint32_t> SpanBetweenMarkers(const EditorState& s, uint32_t p);

void UndoEdit(EditorState& s);
void RedoEdit(EditorState& s);

// FadeStep and FadeGain for a fade over the current selection.
void PrepareFade(EditorState& s, bool fadeIn);
// Gain that brings the selection's loudest sample to 32767, from the display
// peaks (the samples of a block are read only when its peaks are missing).
float NormalizeGain(const EditorState& s, EditorContext& c);

}  // namespace orv
