#pragma once
// What a save shares with the window that runs it, and how it ended.
#include <cstdint>
#include <functional>
#include <string>

#include "record/markers.h"

namespace orv {

// The writers set ProgressPercent and call pump once per block or chunk; the
// window layer lets pending events run in pump, where Cancel clears
// SaveContinue. The writers read SaveContinue after each block's write.
struct SaveProgress {
    float ProgressPercent = 0;
    bool SaveContinue = true;
    std::function<void()> pump;
};

// Inclusive block numbers (from 1) in the edited recording's timeline.
struct SaveRange {
    uint32_t SaveFirstBlock = 1;
    uint32_t SaveLastBlock = 1;
    // Markers of the timeline; those inside the range are written into the file.
    MarkerList Markers;
};

enum class SaveOutcome { Saved, Cancelled, Failed };

// Failed carries the text the user sees. Cancelled and Failed leave no file at
// the path written; an encoder error (a chunk or the final flush) is Failed
// with "BE_ERR code-N".
struct SaveResult {
    SaveOutcome outcome = SaveOutcome::Saved;
    std::string message;

    bool ok() const { return outcome == SaveOutcome::Saved; }
    static SaveResult Saved() { return {}; }
    static SaveResult Cancelled() { return {SaveOutcome::Cancelled, {}}; }
    static SaveResult Failed(std::string text) { return {SaveOutcome::Failed, std::move(text)}; }
};

}  // namespace orv
