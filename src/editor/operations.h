#pragma once
// The editing operations that make new history levels of the edited
// recording (record/edit_state.h), with the clipboard file Clp.raw.
#include <cstdint>
#include <functional>
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
// then Edit.raw and Clp.raw created empty, replacing old files. On failure
// level 0 is still usable for viewing and playback.
EditResult OpenEditor(EditorState& s, uint32_t totalBlocks, uint32_t lastWrittenBlock, bool loopMode,
                      const std::string& editFileName, const std::string& clipFileName);
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

void UndoEdit(EditorState& s);
void RedoEdit(EditorState& s);

// FadeStep and FadeGain for a fade over the current selection.
void PrepareFade(EditorState& s, bool fadeIn);
// Gain that brings the selection's loudest sample to 32767, from the display
// peaks (the samples of a block are read only when its peaks are missing).
float NormalizeGain(const EditorState& s, EditorContext& c);

}  // namespace orv
