#pragma once
// The user's lasting choices. Reading and writing the settings file comes
// with its own module; until then the program starts from these defaults.
#include <cstdint>
#include <string>

#include "export/mp3_save.h"
#include "export/wav_save.h"

namespace orv {

struct Settings {
    // Save format
    bool SaveAsWav = false;
    WavParameters Wav;
    bool SaveAsMp3 = true;
    Mp3Parameters Mp3;
    // Others
    std::string OutputFolder;  // empty: the user's home folder
    int32_t RecordingModeIndex = 0;
    int32_t ColourScheme = 1;
};

}  // namespace orv
