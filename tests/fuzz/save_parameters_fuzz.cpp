// Save parameters as any settings file or dialog could hand them over: the
// filter text, the WAV layout, header and block conversion, the MP3 encoder
// record. Nothing may crash or read past a block for any combination.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "export/save_filter.h"
#include "record/format.h"

using namespace orv;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    WavParameters wav;
    wav.WavSampleRate = in.ConsumeIntegral<int32_t>();
    wav.WavChannels = in.ConsumeIntegral<uint16_t>();
    wav.WavBitsPerSample = in.ConsumeIntegral<uint16_t>();
    Mp3Parameters mp3;
    mp3.Mp3BitRate = in.ConsumeIntegral<int32_t>();
    mp3.Mp3Mode = in.ConsumeIntegral<int32_t>();
    mp3.Mp3Vbr = in.ConsumeBool();
    mp3.Mp3MinBitRate = in.ConsumeIntegral<int32_t>();
    mp3.Mp3MaxBitRate = in.ConsumeIntegral<int32_t>();
    mp3.Mp3VbrQuality = in.ConsumeIntegral<int32_t>();
    mp3.Mp3Copyright = in.ConsumeBool();
    mp3.Mp3Original = in.ConsumeBool();
    mp3.Mp3Private = in.ConsumeBool();

    for (bool asWav : {true, false}) {
        const SaveFilter f = UpdateSaveFilter(asWav, wav, mp3);
        if (f.Filter.find('|') == std::string::npos || f.DefaultExtension.empty()) std::abort();
    }
    (void)BuildEncoderConfig(mp3);

    uint8_t header[WavHeaderBytes];
    BuildWavHeader(header, in.ConsumeIntegral<uint32_t>(), wav);
    if (const auto layout = WavLayoutFor(wav)) {
        // The converter's contract: at most one source block in and out.
        std::vector<uint8_t> block = in.ConsumeBytes<uint8_t>(BlockBytes);
        block.resize(BlockBytes);
        std::vector<uint8_t> out(BlockBytes);
        const uint32_t n = ConvertBlock(block.data(), out.data(), wav, *layout);
        if (n != layout->BytesPerBlock || n > BlockBytes) std::abort();
    }
    return 0;
}
