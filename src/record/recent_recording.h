#pragma once
// What a running recording holds at one moment, kept out of its way so that
// it can be saved while the recording goes on: a loop's ring is copied in
// time order beside it (the ring overwrites its oldest blocks next); a
// continuous recording's blocks so far are read where they lie, since the
// file only grows.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/raw_file.h"
#include "record/capture_engine.h"
#include "record/piece.h"

namespace orv {

inline constexpr const char* RecentRoomMessage =
    "There is not enough free space in the working folder to save the recent recording.";
inline constexpr const char* RecentOvertakenMessage =
    "The recording overtook the copy of its last minutes; nothing was saved. Please try again.";
inline constexpr const char* NothingRecordedMessage = "No sound recorded.";

class RecentRecording {
public:
    // copyPath: the copy it owns, removed with it; empty: none.
    RecentRecording(uint32_t blocks, std::string copyPath, MarkerList markers = {})
        : blocks_(blocks), copyPath_(std::move(copyPath)), markers_(std::move(markers)) {}
    // The copy goes with it: saved or not, it is nobody's recording.
    ~RecentRecording();
    // Opens the file the blocks are read from; message says why not.
    bool Open(const std::string& path, std::string& message);
    RecentRecording(const RecentRecording&) = delete;
    RecentRecording& operator=(const RecentRecording&) = delete;

    uint32_t Blocks() const { return blocks_; }
    // Oldest block first, as the save reads them.
    std::vector<Piece> Pieces() const { return {Piece{1, blocks_, 1, true}}; }
    PieceSources Sources() const { return {&source_, nullptr}; }
    // The recording's markers inside these blocks, in their positions.
    const MarkerList& Markers() const { return markers_; }

private:
    platform::RawFile source_;
    uint32_t blocks_;
    std::string copyPath_;
    MarkerList markers_;
};

// Bytes the recording still adds to the disk before it stops growing: what
// a loop's ring lacks until its first pass is complete, 0 once it is. A
// continuous recording grows without end and counts 0 here: its own
// low-space stop is its limit.
int64_t RecordingGrowthBytes(const CaptureState& cap);

// The live markers among the newest `held` blocks on disk, in their positions
// there (oldest block 1).
MarkerList RecentMarkers(const CaptureState& cap, uint32_t held);

// The blocks on disk at this moment, oldest first, with their markers; nothing and a message for
// the user when there are fewer than two, when the working folder lacks
// room for the ring's copy on top of what the recording keeps free
// (reserveBytes) and still grows (freeBytes < 0: unknown, tried anyway), or
// when the copy failed. A loop's ring is copied in chunks, oldest first, with
// pump() between them so that capture keeps up; pump() false gives up
// (nothing taken, no message). The recording must not reach a block before
// it is copied (checked before each chunk).
std::unique_ptr<RecentRecording> TakeRecentRecording(const CaptureState& cap, const std::string& copyPath,
                                                     int64_t freeBytes, int64_t reserveBytes,
                                                     const std::function<bool()>& pump, std::string& message);

}  // namespace orv
