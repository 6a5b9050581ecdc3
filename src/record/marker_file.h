#pragma once
// The markers of a recording in a small working file beside the raw file
// (Orvane.mrk), appended as the blocks they mark reach the disk, so that a
// recording cut off by a crash, a kill or a power cut keeps them. Also the
// companion of the found recording ("test.mrk"), positions in its own blocks.
//
// Layout: "ORVMARK1", then 16-byte records, little-endian: the count of
// blocks recorded since the start (from 1), the file block it lies in (from
// 1), BlockCheck of that block (record/ring_position.h) and a check word over
// the 12 bytes before it. A record is written only once its block is in the
// raw file; a torn or damaged one is skipped, never trusted.
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "record/markers.h"

namespace orv {

inline constexpr size_t MarkerFileHeaderBytes = 8;
inline constexpr size_t MarkerRecordBytes = 16;

struct MarkerRecord {
    uint32_t Count = 0;      // blocks recorded since the start, this one included
    uint32_t FileBlock = 0;  // where it lies in the raw file
    uint32_t Check = 0;      // BlockCheck of that block as written
    bool operator==(const MarkerRecord&) const = default;
};

std::array<uint8_t, MarkerFileHeaderBytes> MarkerFileHeader();
std::array<uint8_t, MarkerRecordBytes> EncodeMarkerRecord(const MarkerRecord& r);
// Any bytes at all: nothing without the header; records whose check word or
// values are wrong, and a torn one at the end, are left out.
std::vector<MarkerRecord> ParseMarkerFile(const uint8_t* data, size_t size);
std::vector<MarkerRecord> ReadMarkerFile(const std::string& path);

// BlockCheck of a file block (from 1) of the recording, nothing when it is not there.
using BlockCheckAt = std::function<std::optional<uint32_t>(uint32_t fileBlock)>;

// How the raw file's blocks lie in time order: as they are (blocks = the
// blocks on disk), or a wrapped ring of `blocks` that continues at its front
// after file block `split`, the `skip` blocks after it left out (RingSplitBlock).
struct RawTimeOrder {
    uint32_t Blocks = 0;
    std::optional<uint32_t> Split;
    uint32_t Skip = 0;
};

// The time-order position (from 1) of a file block, nothing for a skipped one.
std::optional<uint32_t> TimePosition(const RawTimeOrder& order, uint32_t fileBlock);

// The markers that still hold in time order: a record's block must lie on
// disk with the check noted (the ring has not come round over it). In a
// wrapped ring the blocks between two markers are contiguous, so every kept
// marker lies as far from the newest one as its count says.
MarkerList MarkersFromRecords(const std::vector<MarkerRecord>& records, const RawTimeOrder& order,
                              const BlockCheckAt& checkAt);

// The markers of the raw file at rawPath read from markerPath (positions in
// time order as above); empty when either is missing or nothing holds.
MarkerList ReadRecordingMarkers(const std::string& markerPath, const std::string& rawPath,
                                const RawTimeOrder& order);

// The companion of a recording kept under name (the found recording "test").
inline std::string CompanionMarkerName(const std::string& name) { return name + ".mrk"; }

// Writes markers (positions in the file at rawPath, in time order) as its
// companion at path, replacing it; no marker removes it. error says why not.
bool WriteCompanionMarkers(const std::string& path, const std::string& rawPath, const MarkerList& markers,
                           std::string& error);

}  // namespace orv
