#include "export/wav_save.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "platform/raw_file.h"
#include "record/format.h"

namespace orv {

namespace {

struct LayoutRow {
    int32_t rate;
    uint16_t channels;
    uint16_t bits;
    WavBlockLayout layout;
};

// At 11025 Hz a block holds 1102.5 frames; the table rounds it differently
// per format, so files run very slightly longer or shorter than the range.
constexpr std::array<LayoutRow, 12> LayoutTable{{
    {44100, 2, 16, {4410, 1, 17640}},
    {44100, 1, 16, {4410, 1, 8820}},
    {44100, 2, 8, {4410, 1, 8820}},
    {44100, 1, 8, {4410, 1, 4410}},
    {22050, 2, 16, {2205, 2, 8820}},
    {22050, 1, 16, {2205, 2, 4410}},
    {22050, 2, 8, {2205, 2, 4410}},
    {22050, 1, 8, {2205, 2, 2205}},
    {11025, 2, 16, {1102, 4, 4408}},
    {11025, 1, 16, {1103, 4, 2206}},
    {11025, 2, 8, {1103, 4, 2206}},
    {11025, 1, 8, {1102, 4, 1102}},
}};

void Put16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

void Put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

void Put64(uint8_t* p, uint64_t v) {
    for (int i = 0; i < 8; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// Removes the half-written target on every way out but a completed save.
class OutputFile {
public:
    platform::RawFile file;

    explicit OutputFile(std::string path) : path_(std::move(path)) {}
    ~OutputFile() { Discard(); }
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    bool Create() {
        created_ = file.open(path_, platform::RawFile::Mode::Create);
        return created_;
    }
    void Keep() { created_ = false; }
    void Discard() {
        file.close();
        if (created_) platform::removeFile(path_);
        created_ = false;
    }

private:
    std::string path_;
    bool created_ = false;
};

}  // namespace

std::vector<uint8_t> BuildMarkerChunks(const std::vector<uint32_t>& frames) {
    std::vector<uint8_t> out;
    if (frames.empty()) return out;
    auto put32 = [&out](uint32_t v) {
        for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
    };
    auto tag = [&out](const char* id) {
        for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(id[i]));
    };
    const auto count = static_cast<uint32_t>(frames.size());
    tag("cue ");
    put32(4 + 24 * count);
    put32(count);
    for (uint32_t i = 0; i < count; ++i) {
        put32(i + 1);       // point id
        put32(frames[i]);   // position in play order
        tag("data");
        put32(0);           // chunk start
        put32(0);           // block start
        put32(frames[i]);   // sample offset in the data chunk
    }
    tag("LIST");
    const size_t listSizeAt = out.size();
    put32(0);
    tag("adtl");
    for (uint32_t i = 0; i < count; ++i) {
        const std::string text = "Marker " + std::to_string(i + 1);
        tag("labl");
        put32(static_cast<uint32_t>(4 + text.size() + 1));
        put32(i + 1);
        for (char c : text) out.push_back(static_cast<uint8_t>(c));
        out.push_back(0);
        if (out.size() % 2) out.push_back(0);  // chunks start on even bytes
    }
    Put32(out.data() + listSizeAt, static_cast<uint32_t>(out.size() - listSizeAt - 4));
    return out;
}

std::optional<WavBlockLayout> WavLayoutFor(const WavParameters& f) {
    for (const LayoutRow& row : LayoutTable)
        if (row.rate == f.WavSampleRate && row.channels == f.WavChannels && row.bits == f.WavBitsPerSample)
            return row.layout;
    return std::nullopt;
}

uint32_t ConvertBlock(const uint8_t* block, uint8_t* out, const WavParameters& f, const WavBlockLayout& layout) {
    if (layout.Stride == 1 && f.WavChannels == 2 && f.WavBitsPerSample == 16) {
        std::memcpy(out, block, BlockBytes);
        return BlockBytes;
    }
    const uint32_t step = layout.Stride * 4;  // source bytes between kept frames
    const uint8_t* s = block;
    uint8_t* d = out;
    if (f.WavBitsPerSample == 16) {
        if (f.WavChannels == 2) {
            for (uint32_t k = 0; k < layout.FramesPerBlock; ++k, s += step, d += 4) std::memcpy(d, s, 4);
        } else {
            for (uint32_t k = 0; k < layout.FramesPerBlock; ++k, s += step, d += 2) std::memcpy(d, s, 2);
        }
    } else {
        // High byte with its top bit flipped: signed 16 bits to unsigned 8 bits around 128.
        if (f.WavChannels == 2) {
            for (uint32_t k = 0; k < layout.FramesPerBlock; ++k, s += step, d += 2) {
                d[0] = static_cast<uint8_t>(s[1] ^ 0x80);
                d[1] = static_cast<uint8_t>(s[3] ^ 0x80);
            }
        } else {
            for (uint32_t k = 0; k < layout.FramesPerBlock; ++k, s += step, ++d)
                *d = static_cast<uint8_t>(s[1] ^ 0x80);
        }
    }
    return static_cast<uint32_t>(d - out);
}

namespace {

// Blocks of [first, end) that some piece holds.
uint64_t HeldBlocks(uint64_t first, uint64_t end, std::span<const Piece> pieces) {
    uint64_t held = 0;
    for (const Piece& p : pieces) {
        const uint64_t from = std::max<uint64_t>(first, p.PieceStart);
        const uint64_t to = std::min<uint64_t>(end, uint64_t{p.PieceStart} + p.PieceLength);
        if (to > from) held += to - from;
    }
    return held;
}

}  // namespace

uint64_t BlocksInFile(const SaveRange& range, std::span<const Piece> pieces) {
    return HeldBlocks(range.SaveFirstBlock, uint64_t{range.SaveLastBlock} + 1, pieces);
}

std::vector<uint32_t> MarkerBlocksInFile(const SaveRange& range, std::span<const Piece> pieces) {
    std::vector<uint32_t> blocks;
    for (uint32_t m : range.Markers)
        if (m >= range.SaveFirstBlock && m <= range.SaveLastBlock)
            blocks.push_back(static_cast<uint32_t>(HeldBlocks(range.SaveFirstBlock, m, pieces)));
    return blocks;
}

std::vector<uint8_t> WavMarkerTrailer(const SaveRange& range, std::span<const Piece> pieces,
                                      const WavParameters& format) {
    const std::optional<WavBlockLayout> layout = WavLayoutFor(format);
    if (!layout || range.Markers.empty()) return {};
    std::vector<uint32_t> frames = MarkerBlocksInFile(range, pieces);
    if (frames.empty()) return {};
    const uint64_t fileBlocks = BlocksInFile(range, pieces);
    for (uint32_t& f : frames) f *= layout->FramesPerBlock;
    std::vector<uint8_t> trailer;
    if (fileBlocks * layout->BytesPerBlock % 2) trailer.push_back(0);  // chunks start on even bytes
    const std::vector<uint8_t> chunks = BuildMarkerChunks(frames);
    trailer.insert(trailer.end(), chunks.begin(), chunks.end());
    return trailer;
}

void BuildWavHeader(uint8_t* h, uint32_t dataLength, const WavParameters& f, uint32_t trailingBytes) {
    const uint32_t rate = static_cast<uint32_t>(f.WavSampleRate);
    std::memcpy(h, "RIFF", 4);
    Put32(h + 4, dataLength + 36 + trailingBytes);
    std::memcpy(h + 8, "WAVE", 4);
    std::memcpy(h + 12, "fmt ", 4);
    Put32(h + 16, 16);
    Put16(h + 20, 1);
    Put16(h + 22, f.WavChannels);
    Put32(h + 24, rate);
    // Unsigned throughout: parameters read from settings may be anything.
    const uint32_t frameBytes = uint32_t{f.WavChannels} * f.WavBitsPerSample / 8;
    Put32(h + 28, rate * frameBytes);
    Put16(h + 32, static_cast<uint16_t>(frameBytes));
    Put16(h + 34, f.WavBitsPerSample);
    std::memcpy(h + 36, "data", 4);
    Put32(h + 40, dataLength);
}

uint32_t WavHeaderBytesFor(uint64_t dataLength, uint64_t trailingBytes) {
    return dataLength + trailingBytes > MaxWavDataBytes ? Rf64HeaderBytes : WavHeaderBytes;
}

void BuildLongWavHeader(uint8_t* h, uint64_t dataLength, const WavParameters& f, uint64_t trailingBytes) {
    if (WavHeaderBytesFor(dataLength, trailingBytes) == WavHeaderBytes) {
        BuildWavHeader(h, static_cast<uint32_t>(dataLength), f, static_cast<uint32_t>(trailingBytes));
        return;
    }
    // The canonical header's format chunk, moved behind the ds64 chunk.
    std::array<uint8_t, WavHeaderBytes> plain{};
    BuildWavHeader(plain.data(), 0, f);
    const uint32_t frameBytes = uint32_t{f.WavChannels} * f.WavBitsPerSample / 8;
    std::memcpy(h, "RF64", 4);
    Put32(h + 4, 0xFFFFFFFFu);
    std::memcpy(h + 8, "WAVE", 4);
    std::memcpy(h + 12, "ds64", 4);
    Put32(h + 16, 28);
    Put64(h + 20, dataLength + Rf64HeaderBytes - 8 + trailingBytes);  // the RIFF length
    Put64(h + 28, dataLength);
    Put64(h + 36, frameBytes ? dataLength / frameBytes : 0);
    Put32(h + 44, 0);  // no table of other chunks' lengths
    std::memcpy(h + 48, plain.data() + 12, 24);  // "fmt " chunk
    std::memcpy(h + 72, "data", 4);
    Put32(h + 76, 0xFFFFFFFFu);
}

SaveResult WriteWavFile(const std::string& WavFileName, const WavParameters& format, const SaveRange& range,
                        std::span<const Piece> pieces, const PieceSources& sources, SaveProgress& progress) {
    if (!WavLayoutFor(format)) return SaveResult::Failed("Unsupported WAV format");
    if (range.SaveFirstBlock == 0 || range.SaveLastBlock < range.SaveFirstBlock)
        return SaveResult::Failed("Nothing to save");
    OutputFile out(WavFileName);
    if (!out.Create()) return SaveResult::Failed("Cannot create " + WavFileName + ": " + out.file.lastError());
    const SaveResult result = WriteWavFile(out.file, WavFileName, format, range, pieces, sources, progress);
    if (!result.ok()) return result;  // out removes the file
    out.file.close();
    out.Keep();
    return result;
}

SaveResult WriteWavFile(platform::RawFile& out, const std::string& WavFileName, const WavParameters& format,
                        const SaveRange& range, std::span<const Piece> pieces, const PieceSources& sources,
                        SaveProgress& progress) {
    const std::optional<WavBlockLayout> layout = WavLayoutFor(format);
    if (!layout) return SaveResult::Failed("Unsupported WAV format");
    if (range.SaveFirstBlock == 0 || range.SaveLastBlock < range.SaveFirstBlock)
        return SaveResult::Failed("Nothing to save");

    std::array<uint8_t, WavHeaderBytes> header{};
    auto writeFailed = [&] { return SaveResult::Failed("Cannot write " + WavFileName + ": " + out.lastError()); };
    if (out.write(header.data(), header.size()) != header.size()) return writeFailed();

    // Other formats: reads take runs of blocks and writes go out in large
    // pieces, while the progress and the event pump stay per block. The
    // recording's own format is copied file to file in the kernel, a few MB
    // between two pumps: the copy's speed with the window still answering.
    constexpr uint32_t RunBlocks = 60;
    constexpr uint32_t CopyBlocks = 240;  // 4.2 MB
    constexpr size_t OutputBytes = size_t{1} << 20;
    std::vector<uint8_t> input;
    std::vector<uint8_t> pending;
    size_t pendingBytes = 0;
    auto flush = [&] {
        const bool ok = pendingBytes == 0 || out.write(pending.data(), pendingBytes) == pendingBytes;
        pendingBytes = 0;
        return ok;
    };
    const uint64_t first = range.SaveFirstBlock;
    const uint64_t last = range.SaveLastBlock;
    const double span = static_cast<double>(last - first);
    const bool unchanged = layout->BytesPerBlock == BlockBytes;  // 44100 Hz stereo 16 bits
    if (!unchanged) {
        input.resize(size_t{RunBlocks} * BlockBytes);
        pending.resize(OutputBytes + BlockBytes);
    }
    auto readFailed = [&](uint64_t block) {
        return SaveResult::Failed("Cannot read the recording at block " + std::to_string(block) +
                                  "; the WAV file was not saved");
    };
    auto pump = [&](uint64_t block) {
        progress.ProgressPercent = span > 0 ? static_cast<float>((block - first) * 100.0 / span) : 100.0f;
        if (progress.pump) progress.pump();
    };

    uint64_t i = first;
    while (i <= last && progress.SaveContinue) {
        const Piece* piece = nullptr;
        for (const Piece& p : pieces)
            if (p.PieceLength > 0 && i >= p.PieceStart && i <= uint64_t{p.PieceStart} + p.PieceLength - 1) {
                piece = &p;
                break;
            }
        if (!piece) {  // a gap in the piece list: nothing to write for this block
            ++i;
            continue;
        }
        const uint64_t pieceLast = uint64_t{piece->PieceStart} + piece->PieceLength - 1;
        const uint64_t run =
            std::min<uint64_t>({unchanged ? CopyBlocks : RunBlocks, pieceLast - i + 1, last - i + 1});
        const platform::RawFile* source = sources.For(*piece);
        const uint64_t offset = BlockOffset(uint64_t{piece->PieceOffset} + (i - piece->PieceStart));
        const size_t want = static_cast<size_t>(run * BlockBytes);
        if (!source) return readFailed(i);
        if (unchanged) {
            pump(i);
            const uint64_t at = out.position();
            const size_t copied = out.copyFrom(*source, offset, at, want);
            out.seek(at + copied);
            if (copied != want) {
                if (source->size() < static_cast<int64_t>(offset + want)) return readFailed(i + copied / BlockBytes);
                return writeFailed();
            }
            i += run;
            continue;
        }
        if (source->readAt(offset, input.data(), want) != want) return readFailed(i);
        for (uint64_t done = 0; done < run && progress.SaveContinue; ++done, ++i) {
            pump(i);
            pendingBytes +=
                ConvertBlock(input.data() + done * BlockBytes, pending.data() + pendingBytes, format, *layout);
            if (pendingBytes >= OutputBytes && !flush()) return writeFailed();
        }
    }
    if (!flush()) return writeFailed();

    const int64_t length = out.size();
    if (length < int64_t{WavHeaderBytes}) return writeFailed();
    // Markers follow the samples; a cancelled save is removed anyway.
    const std::vector<uint8_t> trailer =
        progress.SaveContinue ? WavMarkerTrailer(range, pieces, format) : std::vector<uint8_t>{};
    if (!trailer.empty() && out.writeAt(static_cast<uint64_t>(length), trailer.data(), trailer.size()) != trailer.size())
        return writeFailed();
    BuildWavHeader(header.data(), static_cast<uint32_t>(length - WavHeaderBytes), format,
                   static_cast<uint32_t>(trailer.size()));
    if (out.writeAt(0, header.data(), header.size()) != header.size()) return writeFailed();
    if (!progress.SaveContinue) return SaveResult::Cancelled();
    return SaveResult::Saved();
}

}  // namespace orv
