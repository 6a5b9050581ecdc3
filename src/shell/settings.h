#pragma once
// The user's lasting choices. Reading and writing the settings file comes
// with its own module; until then the program starts from these defaults.
#include <cstdint>
#include <string>

namespace orv {

struct Settings {
    // Save format
    bool SaveAsWav = false;
    int32_t WavSampleRate = 44100;
    uint16_t WavBitsPerSample = 16;
    uint16_t WavChannels = 2;
    bool SaveAsMp3 = true;
    int32_t Mp3BitRate = 128;
    int32_t Mp3Mode = 0;
    bool Mp3Vbr = false;
    int32_t Mp3MinBitRate = 32;
    int32_t Mp3MaxBitRate = 320;
    int32_t Mp3VbrQuality = 0;
    bool Mp3Copyright = false;
    bool Mp3Original = false;
    bool Mp3Private = false;
    // Others
    std::string OutputFolder;  // empty: the user's home folder
    int32_t RecordingModeIndex = 0;
    int32_t ColourScheme = 1;
};

}  // namespace orv
