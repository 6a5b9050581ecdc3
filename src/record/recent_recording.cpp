#include "record/recent_recording.h"

#include <algorithm>

namespace orv {

using platform::RawFile;

namespace {

constexpr uint32_t ChunkBlocks = 1024;  // about 18 MB between two looks at capture

}  // namespace

RecentRecording::~RecentRecording() {
    source_.close();
    if (!copyPath_.empty()) platform::removeFile(copyPath_);
}

bool RecentRecording::Open(const std::string& path, std::string& message) {
    if (source_.open(path, RawFile::Mode::Read)) return true;
    message = "Can not read " + path + "\n" + source_.lastError();
    return false;
}

MarkerList RecentMarkers(const CaptureState& cap, uint32_t held) {
    MarkerList markers;
    const uint64_t newest = cap.BlocksWritten;  // the count of the newest block on disk
    for (const CaptureState::LiveMarker& m : cap.LiveMarkers)
        if (m.Count <= newest && m.Count + uint64_t{held} > newest)
            AddMarker(markers, static_cast<uint32_t>(m.Count + uint64_t{held} - newest));
    return markers;
}

int64_t RecordingGrowthBytes(const CaptureState& cap) {
    if (!cap.LoopMode || cap.LoopHalves <= 0 || cap.RingFilled) return 0;
    const int64_t ringBytes = int64_t{cap.LoopHalves} * HalfBlocks * BlockBytes;
    return std::max<int64_t>(ringBytes - std::max<int64_t>(cap.RawStream.size(), 0), 0);
}

std::unique_ptr<RecentRecording> TakeRecentRecording(const CaptureState& cap, const std::string& copyPath,
                                                     int64_t freeBytes, int64_t reserveBytes,
                                                     const std::function<bool()>& pump, std::string& message) {
    message.clear();
    // What is on disk: the blocks still in capture memory come with the next half.
    const int64_t size = cap.RawStream.size();
    const uint32_t onDisk = size > 0 ? uint32_t(uint64_t(size) / BlockBytes) : 0;
    uint32_t newest = uint32_t(cap.RawStream.position() / BlockBytes);
    const uint32_t ring = cap.LoopMode && cap.LoopHalves > 0 ? uint32_t(cap.LoopHalves) * HalfBlocks : 0;
    if (ring > 0 && cap.RingFilled && newest == 0) newest = ring;
    const uint32_t held = ring > 0 && cap.RingFilled ? std::min(ring, onDisk) : std::min(newest, onDisk);
    if (held <= 1) {
        message = NothingRecordedMessage;
        return nullptr;
    }

    if (ring == 0) {
        // A continuous file only grows: its first blocks stay as they are.
        auto taken = std::make_unique<RecentRecording>(held, std::string(), RecentMarkers(cap, held));
        return taken->Open(cap.RawFileName, message) ? std::move(taken) : nullptr;
    }

    // The recording comes first: its reserve and the rest of its first pass stay free.
    const uint64_t bytes = uint64_t{held} * BlockBytes;
    const uint64_t keep = uint64_t(std::max<int64_t>(reserveBytes, 0)) + uint64_t(RecordingGrowthBytes(cap));
    if (freeBytes >= 0 && uint64_t(freeBytes) < bytes + keep) {
        message = RecentRoomMessage;
        return nullptr;
    }
    RawFile copy;
    if (!copy.open(copyPath, RawFile::Mode::Create)) {
        message = "Can not create " + copyPath + "\n" + copy.lastError();
        return nullptr;
    }
    // From here on the copy is removed with the result, whatever happens.
    auto taken = std::make_unique<RecentRecording>(held, copyPath, RecentMarkers(cap, held));
    RawFile ringFile;
    if (!ringFile.open(cap.RawFileName, RawFile::Mode::Read)) {
        message = "Can not read " + cap.RawFileName + "\n" + ringFile.lastError();
        return nullptr;
    }
    // Oldest first: the block after the newest in a filled ring, else the first.
    const uint32_t oldest = cap.RingFilled && newest < ring ? newest + 1 : 1;
    // Free slots the recording fills before it overwrites the oldest block taken.
    const uint64_t slack = ring - held;
    const uint64_t writtenAtMoment = cap.BlocksWritten;
    for (uint32_t done = 0; done < held;) {
        if (cap.BlocksWritten - writtenAtMoment > slack + done) {
            message = RecentOvertakenMessage;
            return nullptr;
        }
        const uint32_t block = (oldest - 1 + done) % ring + 1;
        const uint32_t n = std::min({ChunkBlocks, held - done, ring - block + 1});
        const uint64_t want = uint64_t{n} * BlockBytes;
        if (copy.copyFrom(ringFile, BlockOffset(block), uint64_t{done} * BlockBytes, size_t(want)) != want) {
            message = "Can not write " + copyPath + "\n" + copy.lastError();
            return nullptr;
        }
        done += n;
        if (pump && done < held && !pump()) return nullptr;
    }
    copy.close();
    return taken->Open(copyPath, message) ? std::move(taken) : nullptr;
}

}  // namespace orv
