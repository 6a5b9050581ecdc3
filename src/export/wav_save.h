#pragma once
// WAV export: the save range of the edited recording, converted block by block
// to one of twelve PCM formats.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "record/piece.h"
#include "export/save_progress.h"

namespace orv::platform {
class RawFile;
}

namespace orv {

inline constexpr uint32_t WavHeaderBytes = 44;

struct WavParameters {
    int32_t WavSampleRate = 44100;    // 44100, 22050, 11025
    uint16_t WavChannels = 2;         // 2 or 1
    uint16_t WavBitsPerSample = 16;   // 16 or 8
};

struct WavBlockLayout {
    uint32_t FramesPerBlock;
    uint32_t Stride;         // source frames per output frame
    uint32_t BytesPerBlock;
};

// Nothing for a combination outside the twelve formats.
std::optional<WavBlockLayout> WavLayoutFor(const WavParameters& format);

// Converts one source block (BlockBytes) into out, which holds at least
// BlockBytes; returns the bytes produced (layout.BytesPerBlock).
uint32_t ConvertBlock(const uint8_t* block, uint8_t* out, const WavParameters& format,
                      const WavBlockLayout& layout);

// The 44-byte header for dataLength bytes of sample data, followed by
// trailingBytes of other chunks (a pad byte after odd data included).
void BuildWavHeader(uint8_t* header, uint32_t dataLength, const WavParameters& format, uint32_t trailingBytes = 0);

// Past what the header's 32-bit lengths hold (the RIFF length is the data's
// plus 36), a file is RF64, the broadcasting form of WAV that readers take
// past 4 GB: "RF64" and "data" lengths of 0xFFFFFFFF, and a "ds64" chunk
// before "fmt " with the 64-bit RIFF and data lengths and the frame count.
inline constexpr uint64_t MaxWavDataBytes = 0xFFFFFFFFull - 36;
inline constexpr uint32_t Rf64HeaderBytes = 80;
// WavHeaderBytes, or Rf64HeaderBytes when the data and the chunks after it
// pass MaxWavDataBytes.
uint32_t WavHeaderBytesFor(uint64_t dataLength, uint64_t trailingBytes = 0);
// WavHeaderBytesFor(dataLength, trailingBytes) bytes: the canonical header as
// BuildWavHeader writes it, or the RF64 one.
void BuildLongWavHeader(uint8_t* header, uint64_t dataLength, const WavParameters& format,
                        uint64_t trailingBytes = 0);

// A "cue " chunk with one point per marker at the given sample frames of the
// output (ascending), and a "LIST" "adtl" chunk naming them "Marker 1",
// "Marker 2", ...; put after the sample data (which a pad byte makes even).
// Empty for no marker.
std::vector<uint8_t> BuildMarkerChunks(const std::vector<uint32_t>& frames);
// Blocks of the range that some piece holds: what a save writes.
uint64_t BlocksInFile(const SaveRange& range, std::span<const Piece> pieces);
// For each of range.Markers inside the range, the blocks the file holds
// before it (gaps in the piece list count nothing).
std::vector<uint32_t> MarkerBlocksInFile(const SaveRange& range, std::span<const Piece> pieces);
// The marker chunks of a WAV save of the range, with the pad byte the sample
// data needs before them; empty without a marker in the range.
std::vector<uint8_t> WavMarkerTrailer(const SaveRange& range, std::span<const Piece> pieces,
                                      const WavParameters& format);

// Writes the range as WavFileName, replacing any file of that name.
SaveResult WriteWavFile(const std::string& WavFileName, const WavParameters& format, const SaveRange& range,
                        std::span<const Piece> pieces, const PieceSources& sources, SaveProgress& progress);
// The same into out, new and empty, which it leaves open and in place
// whatever the outcome; WavFileName is the name its messages give.
SaveResult WriteWavFile(platform::RawFile& out, const std::string& WavFileName, const WavParameters& format,
                        const SaveRange& range, std::span<const Piece> pieces, const PieceSources& sources,
                        SaveProgress& progress);

}  // namespace orv
