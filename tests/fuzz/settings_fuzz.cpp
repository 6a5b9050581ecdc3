// A settings file as an editor, a crash mid-write or another program may
// leave it. Parsing any text gives values the program handles; writing the
// record back into that text and reading it again gives the record back, and
// a second write changes nothing (the file does not grow at every start).
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "shell/ini_file.h"

using namespace orv;

namespace {

bool Same(const Settings& a, const Settings& b) {
    return a.SaveAsWav == b.SaveAsWav && a.SaveAsMp3 == b.SaveAsMp3 && a.OutputFolder == b.OutputFolder &&
           a.RecordingModeIndex == b.RecordingModeIndex && a.ColourScheme == b.ColourScheme &&
           a.Wav.WavSampleRate == b.Wav.WavSampleRate && a.Wav.WavChannels == b.Wav.WavChannels &&
           a.Wav.WavBitsPerSample == b.Wav.WavBitsPerSample && a.Mp3.Mp3BitRate == b.Mp3.Mp3BitRate &&
           a.Mp3.Mp3Mode == b.Mp3.Mp3Mode && a.Mp3.Mp3Vbr == b.Mp3.Mp3Vbr &&
           a.Mp3.Mp3MinBitRate == b.Mp3.Mp3MinBitRate && a.Mp3.Mp3MaxBitRate == b.Mp3.Mp3MaxBitRate &&
           a.Mp3.Mp3VbrQuality == b.Mp3.Mp3VbrQuality && a.Mp3.Mp3Copyright == b.Mp3.Mp3Copyright &&
           a.Mp3.Mp3Original == b.Mp3.Mp3Original && a.Mp3.Mp3Private == b.Mp3.Mp3Private;
}

// A folder a folder dialog can hand back: one line, no blanks around it.
std::string Folder(FuzzedDataProvider& in) {
    std::string f = in.ConsumeRandomLengthString(64);
    std::string out;
    for (char c : f)
        if (c != '\n' && c != '\r' && c != '\0') out += c;
    const auto b = out.find_first_not_of(" \t");
    const auto e = out.find_last_not_of(" \t");
    return b == std::string::npos ? std::string() : out.substr(b, e - b + 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    // The choices the program would save, from the front of the input.
    Settings s;
    s.SaveAsWav = in.ConsumeBool();
    s.SaveAsMp3 = in.ConsumeBool();
    s.Wav.WavSampleRate = in.ConsumeIntegral<int32_t>();
    s.Wav.WavChannels = in.ConsumeIntegral<uint16_t>();
    s.Wav.WavBitsPerSample = in.ConsumeIntegral<uint16_t>();
    s.Mp3.Mp3BitRate = in.ConsumeIntegral<int32_t>();
    s.Mp3.Mp3Mode = in.ConsumeIntegral<int32_t>();
    s.Mp3.Mp3Vbr = in.ConsumeBool();
    s.Mp3.Mp3MinBitRate = in.ConsumeIntegral<int32_t>();
    s.Mp3.Mp3MaxBitRate = in.ConsumeIntegral<int32_t>();
    s.Mp3.Mp3VbrQuality = in.ConsumeIntegral<int32_t>();
    s.Mp3.Mp3Copyright = in.ConsumeBool();
    s.Mp3.Mp3Original = in.ConsumeBool();
    s.Mp3.Mp3Private = in.ConsumeBool();
    s.RecordingModeIndex = in.ConsumeIntegral<int32_t>();
    s.ColourScheme = in.ConsumeIntegral<int32_t>();
    s.OutputFolder = Folder(in);
    ValidateSettings(s);
    // The rest is the file as found on disk.
    const std::string text = in.ConsumeRemainingBytesAsString();

    const Settings found = ParseSettings(text);
    Settings again = found;
    ValidateSettings(again);
    if (!Same(found, again)) std::abort();  // what was read is already in range

    const std::string merged = MergeSettings(text, s);
    if (!Same(ParseSettings(merged), s)) {
        std::fprintf(stderr, "read back differs from what was written:\n%s\n", merged.c_str());
        std::abort();
    }
    if (MergeSettings(merged, s) != merged) std::abort();
    return 0;
}
