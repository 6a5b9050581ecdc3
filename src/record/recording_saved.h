#pragma once
// Whether the current recording (as recorded, or as edited) has been saved.
// Closing the program and a new recording delete the recording, so both ask
// first while it is unsaved. The editor marks each edit; a save of the whole
// recording (or of the editor's whole current level) marks it saved.
#include <cstdint>
#include <string>

#include "platform/raw_file.h"
#include "record/format.h"

namespace orv {

inline constexpr const char* DiscardRecordingQuestion = "The recording has not been saved. Discard it?";

struct RecordingSavedState {
    bool Saved = false;
};

// A new recording was started.
inline void MarkNewRecording(RecordingSavedState& s) { s.Saved = false; }
// The edited recording changed (an edit, undo or redo in the editor).
inline void MarkRecordingEdited(RecordingSavedState& s) { s.Saved = false; }
// The whole recording, or the editor's whole current level, was saved.
inline void MarkRecordingSaved(RecordingSavedState& s) { s.Saved = true; }

// True when rawFileName holds a recording worth asking about (more than one
// block, the least Save As writes) that has not been saved.
inline bool RecordingUnsaved(const RecordingSavedState& s, const std::string& rawFileName) {
    return !s.Saved && platform::fileSize(rawFileName) >= int64_t{2} * BlockBytes;
}

}  // namespace orv
