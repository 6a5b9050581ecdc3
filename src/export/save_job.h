#pragma once
// One save, window-free: a copy of what is saved and how, written to a
// temporary file beside the target and renamed over it only when complete.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "record/piece.h"
#include "export/mp3_save.h"
#include "export/save_progress.h"
#include "export/wav_save.h"
#include "platform/encoder_library.h"

namespace orv {

inline constexpr const char* SelectWaveformMessage = "Please Select Waveform!";
inline constexpr const char* FileTooLargeMessage = "File size is more 4GB!";
inline constexpr uint64_t MaxWavFileSize = 4'294'967'295;  // refused at this size and above

// The save-format fields of the settings, edited by the save-settings dialog.
struct SaveFormatRef {
    bool* SaveAsWav = nullptr;
    bool* SaveAsMp3 = nullptr;
    WavParameters* Wav = nullptr;
    Mp3Parameters* Mp3 = nullptr;
};

// Everything a save reads, copied when it starts: nothing changed during the
// save (an edit, the format dialog) can change what is written.
struct SaveJob {
    std::vector<Piece> Pieces;
    SaveRange Range;
    bool SaveAsWav = false;
    WavParameters Wav;
    Mp3Parameters Mp3;
    std::string TargetPath;
};

// The exact size of the WAV file the writer produces for the range.
uint64_t ExactWavSize(const SaveRange& range, const WavParameters& format);

// The most the file may take on disk: exact for WAV; for MP3 the range's
// length at the highest bit rate it may use, with room for its tags.
uint64_t ExpectedFileBytes(const SaveJob& job);

// The message that refuses the job before anything is asked or written
// (the 4 GB limit of a WAV file), or nothing.
std::optional<std::string> SaveSizeRefusal(const SaveJob& job);

// A message when target is one of the working files (compared as canonical
// paths, so another spelling or a link to one is caught), else nothing.
std::optional<std::string> SaveTargetRefusal(const std::string& target, std::span<const std::string> workingFiles);

// Writes the job. Saved: the target holds the new file. Cancelled or Failed:
// the target is exactly as it was before and no temporary file is left.
SaveResult RunSaveJob(const SaveJob& job, const PieceSources& sources, SaveProgress& progress,
                      const platform::EncoderLoader& load);

}  // namespace orv
