#pragma once
// A raw recording found in the working folder ("test"), loaded in place of
// the recording just made, and its peak summary file (Orvane.spv): four
// signed 16-bit little-endian values per block, left max, left min, right
// max, right min, block 1 first, no header.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "record/busy.h"
#include "record/capture_engine.h"
#include "record/format.h"

namespace orv {

// Blocks the peak tables hold for one recording (entry 0 is unused).
inline constexpr uint32_t MaxFoundBlocks = PeakTableSize - 1;

// The recording just made, set aside while "test" is loaded.
struct KeptRecording {
    bool Valid = false;
    std::string RawFileName;
    uint32_t TotalBlocks = 0;
    uint32_t LastBlockSeen = 0;
    uint32_t LastWrittenBlock = 0;
    bool RingFilled = false;
    bool RecordedLoopMode = false;
    // Its own saved mark: a save of the found recording says nothing of it.
    bool Saved = false;
    MarkerList Markers;
    PeakTables Peaks;  // entries 0 .. TotalBlocks
};

struct FoundRecordingState {
    float ProgressPercent = 0.0f;  // share of blocks computed, 0 .. 100
    bool Loading = false;
    KeptRecording Kept;
};

enum class FoundLoad {
    Loaded,      // "test" is the recording now
    Refused,     // too long for the peak tables; nothing changed
    OpenFailed,  // "test" could not be opened or read; nothing changed
    Busy,        // another long operation holds the busy guard; nothing changed
};

struct FoundLoadResult {
    FoundLoad Outcome = FoundLoad::Busy;
    bool SummaryRead = false;  // peaks came from the summary file
    bool SummaryWritten = false;
    std::string Message;       // for the user when not Loaded, or when the summary could not be written
};

// Called after every computed block with ProgressPercent; the window layer
// lets pending events run there.
using FoundProgress = std::function<void(float percent)>;

// The dialog is offered when the recording mode is not a loop and "test" exists.
bool FoundRecordingOffered(const CaptureState& capture, const std::string& foundName);

// Makes foundName the recording (RawFileName, RawStream, TotalBlocks,
// LastBlockSeen, the peak tables, and the markers of its companion
// CompanionMarkerName(foundName) that still fit it). The peaks come from summaryName when
// it holds 8 bytes per block (a trailing odd part is ignored) and is newer
// than the recording, else they are computed block by block and the summary
// is written. Holds the busy guard throughout. On any outcome but Loaded the
// recording just made stays open and unchanged.
FoundLoadResult LoadFoundRecording(FoundRecordingState& found, CaptureState& capture, RecordBuffers& buffers,
                                   BusyState& busy, const std::string& foundName, const std::string& summaryName,
                                   const FoundProgress& progress);

// Puts back the recording set aside by LoadFoundRecording: the raw file is
// reopened as it is (never re-created), counts, ring state and peaks return.
// Returns a message for the user when the file could not be reopened; does
// nothing when no load happened.
std::string RestoreRecordingJustMade(FoundRecordingState& found, CaptureState& capture, RecordBuffers& buffers);

// Writes the summary for blocks 1 .. totalBlocks, replacing the file.
bool WritePeakSummary(const PeakTables& peaks, uint32_t totalBlocks, const std::string& summaryName,
                      std::string& error);

// Reads a summary's bytes into entries 1 .. totalBlocks when the size fits
// (size / 8 == totalBlocks, at most the tables' size); false leaves the tables untouched.
bool ParsePeakSummary(const uint8_t* data, size_t size, uint32_t totalBlocks, PeakTables& peaks);

// Extremes of one raw block into entry n (left max from -32767, right max
// from -32768, minima from 32767).
void MeasureRawBlockPeaks(const uint8_t* block, PeakTables& peaks, size_t n);

}  // namespace orv
