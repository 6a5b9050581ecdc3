// The ring-position file and the raw recording beside it as a crash, a
// power cut or a full disk may leave them: any bytes, any raw length. The
// parser accepts only what it can encode again; start-up keeps the
// interrupted recording in a rotated order (less at most a half cut off in
// its write) and leaves no working file.
#include <fuzzer/FuzzedDataProvider.h>

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "record/format.h"
#include "record/ring_position.h"
#include "shell/working_folder.h"

using namespace orv;

namespace {

const std::string& Folder() {
    static const std::string folder = [] {
        std::string t = "/tmp/orv-fuzz-ring-XXXXXX";
        if (!mkdtemp(t.data())) std::abort();
        return t;
    }();
    return folder;
}

void Write(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

std::vector<uint8_t> Read(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    // A ring of a few blocks keeps each run small; halves are HalfBlocks long.
    const uint32_t rawBlocks = in.ConsumeIntegralInRange<uint32_t>(0, HalfBlocks + 3);
    const size_t tail = in.ConsumeIntegralInRange<size_t>(0, 3);
    const bool encoded = in.ConsumeBool();
    std::vector<uint8_t> pos;
    if (encoded) {  // a well-formed file whose values are anything
        RingPosition p;
        p.RingBlocks = in.ConsumeBool() ? rawBlocks : in.ConsumeIntegralInRange<uint32_t>(0, 2 * HalfBlocks);
        p.LastWrittenBlock = in.ConsumeIntegralInRange<uint32_t>(0, p.RingBlocks + 1);
        p.RingFilled = in.ConsumeBool();
        p.HasNextCheck = in.ConsumeBool();
        p.NextCheck = in.ConsumeIntegral<uint32_t>();
        p.HasHalfEndCheck = in.ConsumeBool();
        p.HalfEndCheck = in.ConsumeIntegral<uint32_t>();
        const auto b = EncodeRingPosition(p);
        pos.assign(b.begin(), b.end());
        if (in.ConsumeBool() && !pos.empty()) pos[in.ConsumeIntegralInRange<size_t>(0, pos.size() - 1)] ^= 1;
    } else {
        pos = in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange<size_t>(0, 40));
    }
    if (const auto p = ParseRingPosition(pos.data(), pos.size())) {
        const auto again = EncodeRingPosition(*p);
        if (!std::equal(again.begin(), again.end(), pos.begin(), pos.end())) std::abort();
    }

    // Each block of the raw file carries its number so that order can be read back.
    std::vector<uint8_t> raw(size_t{rawBlocks} * BlockBytes + tail);
    for (size_t i = 0; i < raw.size(); i += BlockBytes)
        std::fill_n(raw.begin() + i, std::min<size_t>(BlockBytes, raw.size() - i), uint8_t(i / BlockBytes + 1));
    const std::string folder = Folder();
    const WorkingFiles files = NameWorkingFiles(folder);
    for (const auto& f : {files.FoundRecordingName, files.PeakFileName, files.RawFileName, files.RingFileName})
        ::unlink(f.c_str());
    Write(files.RawFileName, raw);
    Write(files.RingFileName, pos);

    const std::string note = ClearStaleWorkingFiles(files);
    if (raw.empty()) {
        if (!note.empty() || access(files.FoundRecordingName.c_str(), F_OK) == 0) std::abort();
        return 0;
    }
    if (note.empty() || access(files.RawFileName.c_str(), F_OK) == 0 || access(files.RingFileName.c_str(), F_OK) == 0)
        std::abort();
    std::vector<uint8_t> kept = Read(files.FoundRecordingName);
    // At most a half cut off in the middle of its write is left out.
    if (kept.size() > raw.size() || raw.size() - kept.size() > size_t{HalfBlocks} * BlockBytes ||
        (raw.size() - kept.size()) % BlockBytes != 0)
        std::abort();
    // Whole blocks in a rotated order, each counting on from the one before round the ring.
    if (tail == 0) {
        for (size_t b = 0; b < kept.size() / BlockBytes; ++b) {
            const uint8_t* blk = &kept[b * BlockBytes];
            if (std::count(blk, blk + BlockBytes, blk[0]) != BlockBytes) std::abort();
            if (b > 0 && blk[0] != uint8_t(kept[(b - 1) * BlockBytes] % rawBlocks + 1)) std::abort();
        }
    } else if (kept != raw) {
        std::abort();  // not a ring: kept as it lies
    }
    return 0;
}
