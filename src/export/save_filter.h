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

}  // namespace orv
