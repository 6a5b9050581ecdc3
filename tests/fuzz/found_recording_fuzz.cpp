// A found recording "test" and its peak summary as a crash, a full disk or
// another program may leave them: any lengths, any bytes, the summary older
// or newer. Loading either makes it the recording with peaks for every block
// or leaves the recording just made exactly as it was; putting the recording
// just made back always returns it.
#include <fuzzer/FuzzedDataProvider.h>

#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "record/found_recording.h"

using namespace orv;

namespace {

const std::string& Folder() {
    static const std::string folder = [] {
        std::string t = "/tmp/orv-fuzz-found-XXXXXX";
        if (!mkdtemp(t.data())) std::abort();
        return t;
    }();
    return folder;
}

void Write(const std::string& path, const std::vector<uint8_t>& bytes, time_t when) {
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    const timeval t[2] = {{when, 0}, {when, 0}};
    ::utimes(path.c_str(), t);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static RecordBuffers buffers = [] {
        RecordBuffers b;
        AllocateCaptureBuffers(b);
        return b;
    }();
    FuzzedDataProvider in(data, size);

    // The summary parser on its own: a size that does not fit leaves the tables alone.
    {
        const uint32_t claimed = in.ConsumeIntegralInRange<uint32_t>(0, MaxFoundBlocks + 2);
        const std::vector<uint8_t> bytes = in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange<size_t>(0, 256));
        const int16_t before = buffers.Peaks.PeakMaxLeft[1];
        const bool ok = ParsePeakSummary(bytes.data(), bytes.size(), claimed, buffers.Peaks);
        if (ok && bytes.size() / 8 != claimed) std::abort();
        if (!ok && buffers.Peaks.PeakMaxLeft[1] != before) std::abort();
    }

    // Up to a few blocks and a bit, as a kill mid-write leaves them.
    const size_t recordingBytes = in.ConsumeIntegralInRange<size_t>(0, 3 * size_t{BlockBytes} + 9);
    const size_t summaryBytes = in.ConsumeIntegralInRange<size_t>(0, 40);  // or fewer, at the input's end
    const bool summaryNewer = in.ConsumeBool();
    const bool summaryMissing = in.ConsumeBool();
    std::vector<uint8_t> summary = in.ConsumeBytes<uint8_t>(summaryBytes);
    std::vector<uint8_t> recording = in.ConsumeBytes<uint8_t>(recordingBytes);
    recording.resize(recordingBytes, recording.empty() ? 0 : recording.back());

    const std::string raw = Folder() + "/Orvane.raw", found = Folder() + "/test", spv = Folder() + "/Orvane.spv";
    Write(raw, std::vector<uint8_t>(2 * BlockBytes, 0x11), 1000);
    Write(found, recording, 2000);
    ::unlink(spv.c_str());
    if (!summaryMissing) Write(spv, summary, summaryNewer ? 3000 : 500);

    CaptureState capture;
    capture.RawFileName = raw;
    if (!capture.RawStream.open(raw, platform::RawFile::Mode::ReadWrite)) std::abort();
    capture.TotalBlocks = capture.LastBlockSeen = capture.LastWrittenBlock = 2;
    for (uint32_t n = 0; n <= 2; ++n) buffers.Peaks.PeakMaxLeft[n] = int16_t(-7000 - n);
    FoundRecordingState state;
    BusyState busy;
    const FoundLoadResult r = LoadFoundRecording(state, capture, buffers, busy, found, spv, nullptr);
    if (busy.Busy()) std::abort();
    const uint32_t blocks = uint32_t(recordingBytes / BlockBytes);
    if (r.Outcome == FoundLoad::Loaded) {
        if (capture.RawFileName != found || capture.TotalBlocks != blocks || !capture.RawStream.isOpen()) std::abort();
        if (r.SummaryRead != (!summaryMissing && summaryNewer && summary.size() / 8 == blocks)) std::abort();
        if (!r.SummaryRead)
            for (uint32_t n = 1; n <= blocks; ++n)
                if (buffers.Peaks.PeakMaxLeft[n] < buffers.Peaks.PeakMinLeft[n] ||
                    buffers.Peaks.PeakMaxRight[n] < buffers.Peaks.PeakMinRight[n])
                    std::abort();
    } else if (r.Message.empty() || capture.RawFileName != raw || capture.TotalBlocks != 2) {
        std::abort();
    }
    if (!RestoreRecordingJustMade(state, capture, buffers).empty()) std::abort();
    if (capture.RawFileName != raw || capture.TotalBlocks != 2 || !capture.RawStream.isOpen()) std::abort();
    for (uint32_t n = 0; n <= 2; ++n)
        if (buffers.Peaks.PeakMaxLeft[n] != int16_t(-7000 - n)) std::abort();
    return 0;
}
