#pragma once
// Where a loop recording's ring stands, kept in a small file beside the raw
// recording so that a recording cut off by a crash, a kill or a power cut can
// be put back in the order it was heard. Only a ring that has filled needs
// it: the file is replaced whole at every half from then on, never edited in
// place, so it is either the old state or the new one.
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace orv::platform {
class RawFile;
}

namespace orv {

struct RingPosition {
    uint32_t RingBlocks = 0;        // blocks of the ring; 0 for a continuous recording
    uint32_t LastWrittenBlock = 0;  // file block (from 1) of the newest block on disk
    bool RingFilled = false;        // the ring has been written through once
    // BlockCheck of the block after the newest, the next one to be overwritten:
    // when it no longer matches, the next half reached the disk before the
    // position did (a kill between the two writes).
    bool HasNextCheck = false;
    uint32_t NextCheck = 0;
    // BlockCheck of the last block of that next half: a kill in the middle of
    // the half's write changes its first block but not its last.
    bool HasHalfEndCheck = false;
    uint32_t HalfEndCheck = 0;
    bool operator==(const RingPosition&) const = default;
};

// 32 bytes: "ORVRING2", ring blocks, last written block, flags (bit 0: filled,
// bit 1: next check present, bit 2: half-end check present), next check,
// half-end check, and a check word over the 28 bytes before it; little-endian.
inline constexpr size_t RingPositionBytes = 32;

// FNV-1a over a block's bytes.
uint32_t BlockCheck(const uint8_t* data, size_t size);
// The file block after block `last` in a ring of `ring` blocks.
inline uint32_t NextRingBlock(uint32_t last, uint32_t ring) { return last >= ring ? 1 : last + 1; }
std::array<uint8_t, RingPositionBytes> EncodeRingPosition(const RingPosition& p);
// Any bytes at all; nothing for a wrong size, tag or check word, or for values
// that describe no ring (a last block beyond the ring, a filled ring of 0).
std::optional<RingPosition> ParseRingPosition(const uint8_t* data, size_t size);
std::optional<RingPosition> ReadRingPositionFile(const std::string& path);
// Replaces path so that a power cut leaves the old position or the new one
// whole (platform/replace_file.h). error gets the reason.
bool WriteRingPositionFile(const std::string& path, const RingPosition& p, std::string& error);

// The file block (from 1) after which a raw file of rawBytes with this ring
// position continues at its front: the newest block when the ring has wrapped
// and the file is exactly one whole ring, else nothing (the file is in time
// order already, or the position does not describe this file). nextCheck and
// halfEndCheck are BlockCheck of the file's first and last block of the half
// after the newest: when both differ from the ones noted, that half was
// written too; when only one does, its write was cut off, and *skip (when
// given) gets its length: those blocks, half new and half old, are left out.
std::optional<uint32_t> RingSplitBlock(const RingPosition& p, int64_t rawBytes,
                                       std::optional<uint32_t> nextCheck = std::nullopt,
                                       std::optional<uint32_t> halfEndCheck = std::nullopt, uint32_t* skip = nullptr);
// RingSplitBlock for the raw file at rawPath, reading the blocks it checks.
std::optional<uint32_t> RingSplitOfFile(const RingPosition& p, const std::string& rawPath, uint32_t* skip = nullptr);

// Copies raw into dest in time order: blocks split+1 .. end, then 1 .. split,
// leaving out the skip blocks after split (counted on round the ring), from
// byte destOffset of dest on (room for a header in front).
// dest is created anew; on failure it is removed and error says why.
bool CopyRingInTimeOrder(const std::string& raw, uint32_t split, const std::string& dest, std::string& error,
                         uint32_t skip = 0, uint64_t destOffset = 0);

// Told the bytes copied so far and the bytes to copy in all, between chunks of
// a long copy; it may let window events run.
using CopyProgress = std::function<void(uint64_t done, uint64_t total)>;
// The same between open files; dest is left as it is on failure.
bool CopyRingInTimeOrder(const platform::RawFile& raw, uint32_t split, platform::RawFile& dest, std::string& error,
                         uint32_t skip, uint64_t destOffset, const CopyProgress& progress = {});
// bytes of in at from to out at to, in chunks, telling progress doneBefore
// plus the bytes done, of total. Holes in a sparse in stay holes in out.
bool CopyInChunks(const platform::RawFile& in, uint64_t from, platform::RawFile& out, uint64_t to, uint64_t bytes,
                  uint64_t total, uint64_t doneBefore, std::string& error, const CopyProgress& progress = {});

}  // namespace orv
