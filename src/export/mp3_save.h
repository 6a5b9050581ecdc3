#pragma once
// MP3 export through the encoder library, loaded for the save and unloaded after.
#include <cstdint>
#include <span>
#include <string>

#include "record/piece.h"
#include "export/save_progress.h"
#include "platform/encoder_library.h"

namespace orv {

struct Mp3Parameters {
    int32_t Mp3BitRate = 128;     // kbps
    int32_t Mp3Mode = 0;          // 0 stereo, 1 joint stereo, 3 mono
    bool Mp3Vbr = false;
    int32_t Mp3MinBitRate = 32;
    int32_t Mp3MaxBitRate = 320;
    int32_t Mp3VbrQuality = 0;    // 0 best to 8 fastest
    bool Mp3Copyright = false;
    bool Mp3Original = false;
    bool Mp3Private = false;
};

inline constexpr const char* EncoderMissingMessage = "Lame_enc.dll did not found";

// The record passed to beInitStream, every field set.
BE_CONFIG BuildEncoderConfig(const Mp3Parameters& format);

// Encodes the range as Mp3FileName, replacing any file of that name. load
// gives the library (null: reported as missing).
SaveResult WriteMp3File(const std::string& Mp3FileName, const Mp3Parameters& format, const SaveRange& range,
                        std::span<const Piece> pieces, const PieceSources& sources, SaveProgress& progress,
                        const platform::EncoderLoader& load = platform::EncoderLoaderFor());
// The same into out, new and empty, which it leaves open and in place
// whatever the outcome; Mp3FileName is the name its messages give.
SaveResult WriteMp3File(platform::RawFile& out, const std::string& Mp3FileName, const Mp3Parameters& format,
                        const SaveRange& range, std::span<const Piece> pieces, const PieceSources& sources,
                        SaveProgress& progress, const platform::EncoderLoader& load);

}  // namespace orv
