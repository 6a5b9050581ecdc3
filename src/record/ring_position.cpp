#include "record/ring_position.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/raw_file.h"
#include "platform/replace_file.h"
#include "record/format.h"

namespace orv {

using platform::RawFile;

namespace {

constexpr char Tag[8] = {'O', 'R', 'V', 'R', 'I', 'N', 'G', '2'};

void Put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
uint32_t Get32(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}
// FNV-1a: enough to tell a damaged file from a written one.
uint32_t Check(const uint8_t* p, size_t n) {
    uint32_t h = 2166136261u;
    for (size_t i = 0; i < n; ++i) h = (h ^ p[i]) * 16777619u;
    return h;
}

}  // namespace

uint32_t BlockCheck(const uint8_t* data, size_t size) { return Check(data, size); }

std::array<uint8_t, RingPositionBytes> EncodeRingPosition(const RingPosition& p) {
    std::array<uint8_t, RingPositionBytes> b{};
    std::memcpy(b.data(), Tag, 8);
    Put32(&b[8], p.RingBlocks);
    Put32(&b[12], p.LastWrittenBlock);
    Put32(&b[16], (p.RingFilled ? 1u : 0u) | (p.HasNextCheck ? 2u : 0u) | (p.HasHalfEndCheck ? 4u : 0u));
    Put32(&b[20], p.HasNextCheck ? p.NextCheck : 0u);
    Put32(&b[24], p.HasHalfEndCheck ? p.HalfEndCheck : 0u);
    Put32(&b[28], Check(b.data(), 28));
    return b;
}

std::optional<RingPosition> ParseRingPosition(const uint8_t* data, size_t size) {
    if (data == nullptr || size != RingPositionBytes) return std::nullopt;
    if (std::memcmp(data, Tag, 8) != 0 || Get32(data + 28) != Check(data, 28)) return std::nullopt;
    const uint32_t flags = Get32(data + 16);
    if (flags > 7) return std::nullopt;
    RingPosition p{Get32(data + 8),  Get32(data + 12), (flags & 1) != 0, (flags & 2) != 0, Get32(data + 20),
                   (flags & 4) != 0, Get32(data + 24)};
    if (!p.HasNextCheck && p.NextCheck != 0) return std::nullopt;
    if (!p.HasHalfEndCheck && p.HalfEndCheck != 0) return std::nullopt;
    if (p.HasHalfEndCheck && !p.HasNextCheck) return std::nullopt;
    if (p.HasNextCheck && !p.RingFilled) return std::nullopt;
    if (p.RingBlocks > 0 && p.LastWrittenBlock > p.RingBlocks) return std::nullopt;
    if (p.RingFilled && (p.RingBlocks == 0 || p.LastWrittenBlock == 0)) return std::nullopt;
    return p;
}

std::optional<RingPosition> ReadRingPositionFile(const std::string& path) {
    RawFile f;
    if (!f.open(path, RawFile::Mode::Read) || f.size() != int64_t{RingPositionBytes}) return std::nullopt;
    std::array<uint8_t, RingPositionBytes> b{};
    if (f.readAt(0, b.data(), b.size()) != b.size()) return std::nullopt;
    return ParseRingPosition(b.data(), b.size());
}

bool WriteRingPositionFile(const std::string& path, const RingPosition& p, std::string& error) {
    const auto bytes = EncodeRingPosition(p);
    std::string why;
    const bool replaced = platform::replaceFile(path, std::string(bytes.begin(), bytes.end()), why);
    if (!replaced) error = why.empty() ? "can not replace " + path : why;
    return replaced;
}

std::optional<uint32_t> RingSplitBlock(const RingPosition& p, int64_t rawBytes, std::optional<uint32_t> nextCheck,
                                       std::optional<uint32_t> halfEndCheck, uint32_t* skip) {
    if (skip) *skip = 0;
    if (!p.RingFilled || p.RingBlocks == 0) return std::nullopt;
    if (rawBytes != int64_t{p.RingBlocks} * BlockBytes) return std::nullopt;
    if (p.LastWrittenBlock == 0 || p.LastWrittenBlock > p.RingBlocks) return std::nullopt;
    uint32_t last = p.LastWrittenBlock, cut = 0;
    if (p.HasNextCheck && nextCheck) {
        // Halves start at multiples of 20 blocks from the ring's front.
        const uint32_t next = NextRingBlock(last, p.RingBlocks);
        const uint32_t halfEnd = std::min(p.RingBlocks, next - 1 + HalfBlocks);
        const bool firstNew = *nextCheck != p.NextCheck;
        const bool lastNew = p.HasHalfEndCheck && halfEndCheck ? *halfEndCheck != p.HalfEndCheck : firstNew;
        if (firstNew && lastNew) last = halfEnd;
        else if (firstNew || lastNew) cut = halfEnd - next + 1;
    }
    if (last >= p.RingBlocks && cut == 0) return std::nullopt;
    if (skip) *skip = cut;
    else if (cut > 0) return std::nullopt;  // the caller cannot leave the cut-off half out
    return last;
}

std::optional<uint32_t> RingSplitOfFile(const RingPosition& p, const std::string& rawPath, uint32_t* skip) {
    RawFile f;
    if (!f.open(rawPath, RawFile::Mode::Read)) return std::nullopt;
    const int64_t size = f.size();
    std::optional<uint32_t> check, endCheck;
    if (p.HasNextCheck && p.RingBlocks > 0) {
        std::vector<uint8_t> block(BlockBytes);
        const uint32_t next = NextRingBlock(p.LastWrittenBlock, p.RingBlocks);
        if (f.readAt(BlockOffset(next), block.data(), BlockBytes) == BlockBytes) check = BlockCheck(block.data(), BlockBytes);
        const uint32_t halfEnd = std::min(p.RingBlocks, next - 1 + HalfBlocks);
        if (p.HasHalfEndCheck && f.readAt(BlockOffset(halfEnd), block.data(), BlockBytes) == BlockBytes)
            endCheck = BlockCheck(block.data(), BlockBytes);
    }
    return RingSplitBlock(p, size, check, endCheck, skip);
}

bool CopyRingInTimeOrder(const std::string& raw, uint32_t split, const std::string& dest, std::string& error,
                         uint32_t skip, uint64_t destOffset) {
    RawFile in, out;
    if (!in.open(raw, RawFile::Mode::Read)) {
        error = in.lastError();
        return false;
    }
    if (!out.open(dest, RawFile::Mode::Create)) {
        error = out.lastError();
        return false;
    }
    if (CopyRingInTimeOrder(in, split, out, error, skip, destOffset)) return true;
    out.close();
    platform::removeFile(dest);
    return false;
}

bool CopyRingInTimeOrder(const RawFile& in, uint32_t split, RawFile& out, std::string& error, uint32_t skip,
                         uint64_t destOffset, const CopyProgress& progress) {
    const int64_t size = in.size();
    const uint64_t cut = uint64_t{split} * BlockBytes;
    if (size < 0 || cut > uint64_t(size)) {
        error = "the ring position does not fit " + in.path();
        return false;
    }
    // The skipped blocks follow split, round the ring's end when they reach it.
    const uint64_t skipEnd = cut + uint64_t{skip} * BlockBytes;
    const uint64_t from = std::min<uint64_t>(skipEnd, uint64_t(size));
    const uint64_t wrapped = skipEnd > uint64_t(size) ? std::min<uint64_t>(skipEnd - uint64_t(size), cut) : 0;
    const uint64_t total = (uint64_t(size) - from) + (cut - wrapped);
    uint64_t to = destOffset;
    return CopyInChunks(in, from, out, to, uint64_t(size) - from, total, 0, error, progress) &&
           CopyInChunks(in, wrapped, out, to + (uint64_t(size) - from), cut - wrapped, total, uint64_t(size) - from,
                        error, progress);
}

bool CopyInChunks(const RawFile& in, uint64_t from, RawFile& out, uint64_t to, uint64_t bytes, uint64_t total,
                  uint64_t doneBefore, std::string& error, const CopyProgress& progress) {
    // Small enough that a progress display moves several times a second on a slow disk.
    constexpr uint64_t Chunk = uint64_t{16} << 20;
    for (uint64_t done = 0; done < bytes;) {
        const size_t n = size_t(std::min(Chunk, bytes - done));
        const size_t copied = out.copyFrom(in, from + done, to + done, n);
        if (copied != n) {
            error = in.size() < int64_t(from + done + n) ? "can not read " + in.path() + ": " + in.lastError()
                                                           : "can not write " + out.path() + ": " + out.lastError();
            return false;
        }
        done += n;
        if (progress) progress(doneBefore + done, total);
    }
    return true;
}

}  // namespace orv
