#pragma once
// Where a loop recording's ring stands, kept in a small file beside the raw
// recording so that a recording cut off by a crash, a kill or a power cut can
// be put back in the order it was heard. The file is replaced whole at every
// half, never edited in place, so it is either the old state or the new one.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace orv {

struct RingPosition {
    uint32_t RingBlocks = 0;        // blocks of the ring; 0 for a continuous recording
    uint32_t LastWrittenBlock = 0;  // file block (from 1) of the newest block on disk
    bool RingFilled = false;        // the ring has been written through once
    bool operator==(const RingPosition&) const = default;
};

// 24 bytes: "ORVRING1", ring blocks, last written block, flags (bit 0: filled),
// and a check word over the 20 bytes before it; little-endian.
inline constexpr size_t RingPositionBytes = 24;
std::array<uint8_t, RingPositionBytes> EncodeRingPosition(const RingPosition& p);
// Any bytes at all; nothing for a wrong size, tag or check word, or for values
// that describe no ring (a last block beyond the ring, a filled ring of 0).
std::optional<RingPosition> ParseRingPosition(const uint8_t* data, size_t size);
std::optional<RingPosition> ReadRingPositionFile(const std::string& path);
// Writes path + ".new" and renames it over path. error gets the reason.
bool WriteRingPositionFile(const std::string& path, const RingPosition& p, std::string& error);

// The file block (from 1) after which a raw file of rawBytes with this ring
// position continues at its front: the newest block when the ring has wrapped
// and the file is exactly one whole ring, else nothing (the file is in time
// order already, or the position does not describe this file).
std::optional<uint32_t> RingSplitBlock(const RingPosition& p, int64_t rawBytes);

// Copies raw into dest in time order: blocks split+1 .. end, then 1 .. split.
// dest is created anew; on failure it is removed and error says why.
bool CopyRingInTimeOrder(const std::string& raw, uint32_t split, const std::string& dest, std::string& error);

}  // namespace orv
