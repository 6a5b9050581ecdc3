#include "export/mp3_save.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>
#include <vector>

#include "export/mp3_chapters.h"
#include "export/wav_save.h"
#include "platform/raw_file.h"
#include "record/format.h"

namespace orv {

static_assert(std::endian::native == std::endian::little, "raw blocks are passed to the encoder as they are read");

namespace {

constexpr BE_BOOL Flag(bool on) { return on ? -1 : 0; }

std::string ErrorText(BE_ERR code) { return "BE_ERR code-" + std::to_string(code); }

// The stream is closed once on every way out after a successful init.
class EncoderStream {
public:
    EncoderStream(platform::EncoderLibrary& lib, HBE_STREAM handle) : lib_(lib), handle_(handle) {}
    ~EncoderStream() { Close(); }
    EncoderStream(const EncoderStream&) = delete;
    EncoderStream& operator=(const EncoderStream&) = delete;
    HBE_STREAM handle() const { return handle_; }
    // The library makes a stream's VBR header when it is closed.
    BE_ERR Close() {
        if (closed_) return BE_ERR_SUCCESSFUL;
        closed_ = true;
        return lib_.beCloseStream(handle_);
    }

private:
    platform::EncoderLibrary& lib_;
    HBE_STREAM handle_;
    bool closed_ = false;
};

class OutputFile {
public:
    platform::RawFile file;

    explicit OutputFile(std::string path) : path_(std::move(path)) {}
    ~OutputFile() {
        file.close();
        if (created_) platform::removeFile(path_);
    }
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    bool Create() { return created_ = file.open(path_, platform::RawFile::Mode::Create); }
    void Keep() {
        file.close();
        created_ = false;
    }

private:
    std::string path_;
    bool created_ = false;
};

}  // namespace

BE_CONFIG BuildEncoderConfig(const Mp3Parameters& f) {
    BE_CONFIG config;
    std::memset(&config, 0, sizeof config);
    config.dwConfig = BE_CONFIG_LAME;
    BE_CONFIG_LHV1& c = config.format.LHV1;
    c.dwStructVersion = 1;
    c.dwStructSize = sizeof(BE_CONFIG);
    c.dwSampleRate = SampleRate;
    c.dwReSampleRate = 0;
    c.nMode = f.Mp3Mode;
    c.dwBitrate = static_cast<uint32_t>(f.Mp3Vbr ? f.Mp3MinBitRate : f.Mp3BitRate);
    c.dwMaxBitrate = static_cast<uint32_t>(f.Mp3MaxBitRate);
    c.nPreset = LQP_NOPRESET;
    c.dwMpegVersion = MPEG1;
    c.dwPsyModel = 0;
    c.dwEmphasis = 0;
    c.bPrivate = Flag(f.Mp3Private);
    c.bCRC = 0;
    c.bCopyright = Flag(f.Mp3Copyright);
    c.bOriginal = Flag(f.Mp3Original);
    // Without it players take the length and seek positions from the first frame's bit rate.
    c.bWriteVBRHeader = Flag(f.Mp3Vbr);
    c.bEnableVBR = Flag(f.Mp3Vbr);
    c.nVBRQuality = f.Mp3VbrQuality;
    c.dwVbrAbr_bps = 0;
    c.nVbrMethod = VBR_METHOD_DEFAULT;
    c.bNoRes = Flag(true);
    c.bStrictIso = 0;
    c.nQuality = 0xFD02;  // quality 2, checked by its complement in the high byte
    return config;
}

namespace {

// Writes into file; with own, creates it first (once the library has taken
// the parameters) and keeps it only when the save completes.
SaveResult WriteMp3(OutputFile* own, platform::RawFile& file, const std::string& Mp3FileName,
                    const Mp3Parameters& format, const SaveRange& range, std::span<const Piece> pieces,
                    const PieceSources& sources, SaveProgress& progress, const platform::EncoderLoader& load) {
    std::unique_ptr<platform::EncoderLibrary> lib = load ? load() : nullptr;
    if (!lib) return SaveResult::Failed(EncoderMissingMessage);
    if (range.SaveFirstBlock == 0 || range.SaveLastBlock < range.SaveFirstBlock)
        return SaveResult::Failed("Nothing to save");

    BE_VERSION version;
    std::memset(&version, 0, sizeof version);
    lib->beVersion(&version);
    BE_CONFIG config = BuildEncoderConfig(format);
    uint32_t samplesPerChunk = 0;
    uint32_t bufferSize = 0;
    HBE_STREAM handle = 0;
    const BE_ERR initResult = lib->beInitStream(&config, &samplesPerChunk, &bufferSize, &handle);
    if (initResult != BE_ERR_SUCCESSFUL) return SaveResult::Failed(ErrorText(initResult));
    EncoderStream stream(*lib, handle);
    // An odd count would split a stereo frame between two calls.
    if (samplesPerChunk == 0 || samplesPerChunk % 2 != 0 || bufferSize == 0)
        return SaveResult::Failed("The encoder library asked for an unusable chunk size");

    std::vector<int16_t> input(samplesPerChunk);
    std::vector<uint8_t> output(bufferSize);
    const uint64_t chunkBytes = uint64_t{samplesPerChunk} * 2;
    const uint64_t first = range.SaveFirstBlock;
    const uint64_t last = range.SaveLastBlock;
    const double totalBytes = static_cast<double>((last - first + 1) * BlockBytes);

    if (own && !own->Create()) return SaveResult::Failed("Cannot create " + Mp3FileName + ": " + file.lastError());
    auto writeFailed = [&] { return SaveResult::Failed("Cannot write " + Mp3FileName + ": " + file.lastError()); };
    // Markers go first, as chapters of the tag the frames follow.
    std::vector<uint32_t> chapters = MarkerBlocksInFile(range, pieces);
    if (!chapters.empty()) {
        constexpr uint32_t BlockMilliseconds = BlockFrames * 1000 / SampleRate;
        for (uint32_t& c : chapters) c *= BlockMilliseconds;
        const std::vector<uint8_t> tag =
            BuildChapterTag(chapters, static_cast<uint32_t>(BlocksInFile(range, pieces) * BlockMilliseconds));
        if (file.write(tag.data(), tag.size()) != tag.size()) return writeFailed();
    }

    uint64_t doneBefore = 0;
    for (const Piece& piece : pieces) {
        if (!progress.SaveContinue) break;
        const uint64_t pieceStart = piece.PieceStart;
        const uint64_t pieceEnd = pieceStart + piece.PieceLength - 1;
        if (piece.PieceLength == 0 || pieceEnd < first || last < pieceStart) continue;
        const uint64_t fromBlock = piece.PieceOffset + (first > pieceStart ? first - pieceStart : 0);
        const uint64_t toBlock = piece.PieceOffset + ((pieceEnd > last ? last : pieceEnd) - pieceStart);
        const uint64_t startOffset = BlockOffset(fromBlock);
        const uint64_t byteCount = BlockOffset(toBlock + 1) - startOffset;
        const platform::RawFile* source = sources.For(piece);

        uint64_t done = 0;
        while (done < byteCount) {
            progress.ProgressPercent = static_cast<float>((doneBefore + done) / totalBytes * 100.0);
            if (progress.pump) progress.pump();
            const size_t chunk = static_cast<size_t>(chunkBytes + done < byteCount ? chunkBytes : byteCount - done);
            if (!source || source->readAt(startOffset + done, input.data(), chunk) != chunk)
                return SaveResult::Failed("Cannot read the recording; the MP3 file was not saved");
            uint32_t produced = 0;
            const BE_ERR encoded = lib->beEncodeChunk(stream.handle(), static_cast<uint32_t>(chunk / 2),
                                                      input.data(), output.data(), &produced);
            // A chunk the library refused would leave a hole in the sound: the save fails.
            if (encoded != BE_ERR_SUCCESSFUL) return SaveResult::Failed(ErrorText(encoded));
            if (produced > output.size()) return SaveResult::Failed("The encoder library overran its buffer");
            if (produced && file.write(output.data(), produced) != produced) return writeFailed();
            done += chunk;
            if (!progress.SaveContinue) break;
        }
        doneBefore += byteCount;
    }

    uint32_t produced = 0;
    const BE_ERR flushResult = lib->beDeinitStream(stream.handle(), output.data(), &produced);
    // A failed flush loses the last frames: no file rather than a shortened one.
    if (flushResult != BE_ERR_SUCCESSFUL) return SaveResult::Failed(ErrorText(flushResult));
    if (produced > output.size()) return SaveResult::Failed("The encoder library overran its buffer");
    if (produced && file.write(output.data(), produced) != produced) return writeFailed();
    if (!progress.SaveContinue) return SaveResult::Cancelled();
    if (format.Mp3Vbr) {
        // Over the blank first frame the library reserved, while the file is
        // still the hidden one: the finished file never lacks it.
        if (const BE_ERR closed = stream.Close(); closed != BE_ERR_SUCCESSFUL)
            return SaveResult::Failed(ErrorText(closed));
        // The library takes a name: one that reaches this open file, not whatever holds its name now.
        if (const BE_ERR tagged = lib->beWriteVBRHeader(file.reopenPath().c_str()); tagged != BE_ERR_SUCCESSFUL)
            return SaveResult::Failed(ErrorText(tagged));
    }
    if (own) own->Keep();
    return SaveResult::Saved();
}

}  // namespace

SaveResult WriteMp3File(const std::string& Mp3FileName, const Mp3Parameters& format, const SaveRange& range,
                        std::span<const Piece> pieces, const PieceSources& sources, SaveProgress& progress,
                        const platform::EncoderLoader& load) {
    OutputFile out(Mp3FileName);
    return WriteMp3(&out, out.file, Mp3FileName, format, range, pieces, sources, progress, load);
}

SaveResult WriteMp3File(platform::RawFile& out, const std::string& Mp3FileName, const Mp3Parameters& format,
                        const SaveRange& range, std::span<const Piece> pieces, const PieceSources& sources,
                        SaveProgress& progress, const platform::EncoderLoader& load) {
    return WriteMp3(nullptr, out, Mp3FileName, format, range, pieces, sources, progress, load);
}

}  // namespace orv
