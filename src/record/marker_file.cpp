#include "record/marker_file.h"

#include <algorithm>
#include <cstring>

#include "platform/raw_file.h"
#include "platform/replace_file.h"
#include "record/format.h"
#include "record/ring_position.h"

namespace orv {

using platform::RawFile;

namespace {

constexpr char Tag[MarkerFileHeaderBytes] = {'O', 'R', 'V', 'M', 'A', 'R', 'K', '1'};

void Put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
uint32_t Get32(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}
// Seeded apart from a block's check, so that a record's own bytes never pass
// for a block's.
uint32_t RecordCheck(const uint8_t* p) { return BlockCheck(p, 12) ^ 0x4D4B5231u; }

}  // namespace

std::array<uint8_t, MarkerFileHeaderBytes> MarkerFileHeader() {
    std::array<uint8_t, MarkerFileHeaderBytes> h{};
    std::memcpy(h.data(), Tag, sizeof Tag);
    return h;
}

std::array<uint8_t, MarkerRecordBytes> EncodeMarkerRecord(const MarkerRecord& r) {
    std::array<uint8_t, MarkerRecordBytes> b{};
    Put32(&b[0], r.Count);
    Put32(&b[4], r.FileBlock);
    Put32(&b[8], r.Check);
    Put32(&b[12], RecordCheck(b.data()));
    return b;
}

std::vector<MarkerRecord> ParseMarkerFile(const uint8_t* data, size_t size) {
    std::vector<MarkerRecord> records;
    if (data == nullptr || size < MarkerFileHeaderBytes || std::memcmp(data, Tag, sizeof Tag) != 0) return records;
    for (size_t at = MarkerFileHeaderBytes; at + MarkerRecordBytes <= size; at += MarkerRecordBytes) {
        const uint8_t* p = data + at;
        if (Get32(p + 12) != RecordCheck(p)) continue;
        const MarkerRecord r{Get32(p), Get32(p + 4), Get32(p + 8)};
        if (r.Count == 0 || r.FileBlock == 0 || r.FileBlock > r.Count) continue;
        records.push_back(r);
    }
    return records;
}

std::vector<MarkerRecord> ReadMarkerFile(const std::string& path) {
    RawFile f;
    if (!f.open(path, RawFile::Mode::Read)) return {};
    const int64_t size = f.size();
    // Far more than anyone marks: a file this long is not ours.
    if (size <= 0 || size > (int64_t{1} << 24)) return {};
    std::vector<uint8_t> bytes(static_cast<size_t>(size));
    if (f.readAt(0, bytes.data(), bytes.size()) != bytes.size()) return {};
    return ParseMarkerFile(bytes.data(), bytes.size());
}

std::optional<uint32_t> TimePosition(const RawTimeOrder& order, uint32_t fileBlock) {
    if (fileBlock == 0 || fileBlock > order.Blocks) return std::nullopt;
    if (!order.Split) return fileBlock;
    const uint32_t split = *order.Split;
    // Blocks split+1 .. end come first, then 1 .. split; the skipped ones lead.
    const uint32_t index = fileBlock > split ? fileBlock - split : order.Blocks - split + fileBlock;
    if (index <= order.Skip) return std::nullopt;
    return index - order.Skip;
}

MarkerList MarkersFromRecords(const std::vector<MarkerRecord>& records, const RawTimeOrder& order,
                              const BlockCheckAt& checkAt) {
    struct Held {
        uint32_t Count, Position;
    };
    std::vector<Held> held;
    for (const MarkerRecord& r : records) {
        const auto position = TimePosition(order, r.FileBlock);
        if (!position || !checkAt) continue;
        const auto check = checkAt(r.FileBlock);
        if (check && *check == r.Check) held.push_back({r.Count, *position});
    }
    MarkerList markers;
    if (held.empty()) return markers;
    const auto newest = std::max_element(held.begin(), held.end(),
                                         [](const Held& a, const Held& b) { return a.Count < b.Count; });
    const int64_t offset = int64_t{newest->Position} - newest->Count;
    for (const Held& h : held) {
        // A block of an earlier pass with the same sound (silence) passes its
        // check, but lies a whole ring off.
        if (order.Split && int64_t{h.Position} - h.Count != offset) continue;
        AddMarker(markers, h.Position);
    }
    return markers;
}

namespace {

// The checks of a file's blocks, read on demand.
BlockCheckAt ChecksOf(const RawFile& f) {
    return [&f](uint32_t fileBlock) -> std::optional<uint32_t> {
        std::vector<uint8_t> block(BlockBytes);
        if (f.readAt(BlockOffset(fileBlock), block.data(), BlockBytes) != BlockBytes) return std::nullopt;
        return BlockCheck(block.data(), BlockBytes);
    };
}

}  // namespace

MarkerList ReadRecordingMarkers(const std::string& markerPath, const std::string& rawPath,
                                const RawTimeOrder& order) {
    const std::vector<MarkerRecord> records = ReadMarkerFile(markerPath);
    if (records.empty()) return {};
    RawFile raw;
    if (!raw.open(rawPath, RawFile::Mode::Read)) return {};
    return MarkersFromRecords(records, order, ChecksOf(raw));
}

bool WriteCompanionMarkers(const std::string& path, const std::string& rawPath, const MarkerList& markers,
                           std::string& error) {
    if (markers.empty()) {
        platform::removeFile(path);
        return true;
    }
    RawFile raw;
    if (!raw.open(rawPath, RawFile::Mode::Read)) {
        error = raw.lastError();
        return false;
    }
    const BlockCheckAt checkAt = ChecksOf(raw);
    std::vector<uint8_t> bytes;
    const auto header = MarkerFileHeader();
    bytes.insert(bytes.end(), header.begin(), header.end());
    for (const uint32_t p : markers) {
        const auto check = checkAt(p);
        if (!check) continue;
        const auto record = EncodeMarkerRecord({p, p, *check});
        bytes.insert(bytes.end(), record.begin(), record.end());
    }
    std::string why;
    const bool replaced = platform::replaceFile(path, std::string(bytes.begin(), bytes.end()), why);
    if (!replaced) error = why.empty() ? "can not replace " + path : why;
    return replaced;
}

}  // namespace orv
