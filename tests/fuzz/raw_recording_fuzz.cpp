// A raw recording file as a crash, a full disk or another program may leave
// it: any length (not a whole number of blocks), with lengths and a ring
// position that need not match it. The editor opens it, reads every
// position, finds the normalize gain and saves a WAV of a range: a short or
// missing block is a message, never a crash or a read out of bounds.
#include <fuzzer/FuzzedDataProvider.h>

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "editor/operations.h"
#include "export/wav_save.h"

using namespace orv;

namespace {

const std::string& Folder() {
    static const std::string folder = [] {
        std::string t = "/tmp/orv-fuzz-raw-XXXXXX";
        if (!mkdtemp(t.data())) std::abort();
        return t;
    }();
    return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const uint32_t claimedExtra = in.ConsumeIntegralInRange<uint32_t>(0, 3);
    const uint32_t lastWritten = in.ConsumeIntegralInRange<uint32_t>(0, 8);
    const bool loop = in.ConsumeBool();
    const bool fromPeaks = in.ConsumeBool();
    const uint32_t first = in.ConsumeIntegralInRange<uint32_t>(0, 8);
    const uint32_t last = in.ConsumeIntegralInRange<uint32_t>(0, 8);
    // The file itself: a few blocks at most, its bytes spread by repetition.
    const uint32_t length = in.ConsumeIntegralInRange<uint32_t>(0, 4 * BlockBytes + 7);
    const std::vector<uint8_t> pattern = in.ConsumeRemainingBytes<uint8_t>();
    std::vector<uint8_t> bytes(length);
    for (uint32_t i = 0; i < length && !pattern.empty(); ++i) bytes[i] = pattern[i % pattern.size()];

    const std::string raw = Folder() + "/Orvane.raw";
    {
        platform::RawFile f;
        if (!f.open(raw, platform::RawFile::Mode::Create)) std::abort();
        if (f.writeAt(0, bytes.data(), bytes.size()) != bytes.size()) std::abort();
    }
    platform::RawFile recording;
    if (!recording.open(raw, platform::RawFile::Mode::Read)) std::abort();

    // The engine's buffers are allocated once, as in the program; the peaks
    // an earlier input filed are cleared.
    static RecordBuffers buffers = [] {
        RecordBuffers b;
        AllocateCaptureBuffers(b);
        return b;
    }();
    for (size_t k = 0; k < 16; ++k)
        buffers.Peaks.PeakMaxLeft[k] = buffers.Peaks.PeakMinLeft[k] = buffers.Peaks.PeakMaxRight[k] =
            buffers.Peaks.PeakMinRight[k] = 0;
    ProcessingState processing;
    // The peaks the engine would have filed for the blocks it wrote, or none.
    const uint32_t total = length / BlockBytes + claimedExtra;
    if (fromPeaks) {
        std::vector<int16_t> l(BlockFrames), r(BlockFrames);
        for (uint32_t k = 1; k <= length / BlockBytes; ++k) {
            for (uint32_t i = 0; i < BlockFrames; ++i) {
                l[i] = SampleAt(&bytes[BlockOffset(k) + 4 * i]);
                r[i] = SampleAt(&bytes[BlockOffset(k) + 4 * i + 2]);
            }
            StoreBlockPeaks(processing, l.data(), r.data(), buffers.Peaks, k);
        }
    }
    EditorState state;
    EditorContext context{recording, buffers.Peaks, buffers, processing, {}};
    if (!OpenEditor(state, total, lastWritten, loop, Folder() + "/Edit.raw", Folder() + "/Clp.raw").Ok) std::abort();
    for (uint32_t p = 0; p <= total + 1; ++p) (void)ReadBlockAt(state, context, p);
    state.SelStart = first;
    state.SelEnd = last;
    (void)NormalizeGain(state, context);

    const PieceSources sources{&recording, &state.EditFile};
    SaveProgress progress;
    const std::string wav = Folder() + "/out.wav";
    const SaveResult saved = WriteWavFile(wav, WavParameters{}, SaveRange{first, last}, CurrentPieces(state),
                                          sources, progress);
    // A failed save leaves no file behind.
    if (!saved.ok() && access(wav.c_str(), F_OK) == 0) std::abort();
    platform::removeFile(wav);
    CloseEditor(state);
    return 0;
}
