#include "export/save_job.h"

#include <algorithm>
#include <filesystem>

#include "platform/replace_file.h"

namespace orv {

namespace {

constexpr uint64_t WriteBackStep = uint64_t{4} << 20;

std::string Canonical(const std::string& path) {
    std::error_code ec;
    const std::filesystem::path p = std::filesystem::weakly_canonical(std::filesystem::absolute(path, ec), ec);
    return ec ? path : p.lexically_normal().string();
}

}  // namespace

uint64_t ExactWavSize(const SaveRange& range, const WavParameters& format) {
    const std::optional<WavBlockLayout> layout = WavLayoutFor(format);
    if (!layout || range.SaveLastBlock < range.SaveFirstBlock) return WavHeaderBytes;
    const uint64_t blocks = uint64_t{range.SaveLastBlock} - range.SaveFirstBlock + 1;
    const Piece whole{range.SaveFirstBlock, static_cast<uint32_t>(blocks), 1, true};
    return WavHeaderBytes + blocks * layout->BytesPerBlock + WavMarkerTrailer(range, {&whole, 1}, format).size();
}

uint64_t ExpectedFileBytes(const SaveJob& job) {
    if (job.SaveAsWav) return ExactWavSize(job.Range, job.Wav);
    const SaveRange& r = job.Range;
    const uint64_t blocks = r.SaveLastBlock >= r.SaveFirstBlock ? uint64_t{r.SaveLastBlock} - r.SaveFirstBlock + 1 : 0;
    // A variable rate may reach the format's highest, 320 kbps.
    const uint64_t kbps = job.Mp3.Mp3Vbr ? 320 : uint64_t(std::clamp(job.Mp3.Mp3BitRate, 8, 320));
    const uint64_t audio = blocks * kbps * 125 / 10;  // a block is 0.1 s; 125 bytes per kbit
    // The chapters' tag: under 64 bytes a marker, and its padding.
    return audio + audio / 64 + (64u << 10) + r.Markers.size() * 64;
}

std::optional<std::string> SaveSizeRefusal(const SaveJob& job) {
    if (job.SaveAsWav && ExactWavSize(job.Range, job.Wav) >= MaxWavFileSize) return std::string(FileTooLargeMessage);
    return std::nullopt;
}

std::optional<std::string> SaveTargetRefusal(const std::string& target, std::span<const std::string> workingFiles) {
    const std::string t = Canonical(target);
    for (const std::string& w : workingFiles) {
        if (!w.empty() && Canonical(w) == t)
            return "Cannot save as " + target + ": it is one of the program's working files.";
    }
    return std::nullopt;
}

SaveResult RunSaveJob(const SaveJob& job, const PieceSources& sources, SaveProgress& progress,
                      const platform::EncoderLoader& load) {
    std::optional<SaveResult> result;
    std::string why;
    const bool replaced = platform::replaceFileWith(
        job.TargetPath,
        [&](platform::RawFile& part) {
            // Written back as it goes: the sync before the rename, which no
            // event pump interrupts, then finds only the last steps to write.
            part.writeBackEvery(WriteBackStep);
            // Messages name the hidden file, where the failed write went.
            result = job.SaveAsWav
                         ? WriteWavFile(part, part.path(), job.Wav, job.Range, job.Pieces, sources, progress)
                         : WriteMp3File(part, part.path(), job.Mp3, job.Range, job.Pieces, sources, progress, load);
            return result->ok();
        },
        why);
    if (!result) return SaveResult::Failed("Cannot create " + job.TargetPath + ": " + why);
    if (result->ok() && !replaced) return SaveResult::Failed("Cannot write " + job.TargetPath + ": " + why);
    return *result;
}

}  // namespace orv
