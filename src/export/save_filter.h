#pragma once
// The single entry of the save dialog's filter, and its default extension,
// from the chosen save format.
#include <string>

#include "export/mp3_save.h"
#include "export/wav_save.h"

namespace orv {

struct SaveFilter {
    std::string Filter;            // "description|pattern"
    std::string DefaultExtension;  // "wav" or "mp3"
};

SaveFilter UpdateSaveFilter(bool saveAsWav, const WavParameters& wav, const Mp3Parameters& mp3);

// The path as the file is written: with the extension of the chosen format.
// A name ending in the other format's extension has it replaced (x.wav saved
// as MP3 is x.mp3); a name without it gets it added (take.2 is take.2.mp3).
std::string WithSaveExtension(const std::string& path, const std::string& extension);

}  // namespace orv
