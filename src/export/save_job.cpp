#include "export/save_job.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "platform/raw_file.h"

namespace orv {

namespace {

std::string Canonical(const std::string& path) {
    std::error_code ec;
    const std::filesystem::path p = std::filesystem::weakly_canonical(std::filesystem::absolute(path, ec), ec);
    return ec ? path : p.lexically_normal().string();
}

// A free name beside target for the file being written. The name is taken
// with an exclusive create and let go again: the writer creates the file
// itself, and a fresh file is not flushed at its close as a truncated one is.
std::optional<std::string> TemporaryNameBeside(const std::string& target, std::string& error) {
    const size_t slash = target.find_last_of('/');
    const std::string folder = slash == std::string::npos ? std::string(".") : target.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string candidate = (slash == std::string::npos ? std::string() : folder) + "." + name + ".part-" +
                                      std::to_string(::getpid()) + "-" + std::to_string(attempt);
        const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            ::close(fd);
            ::unlink(candidate.c_str());
            return candidate;
        }
        if (errno != EEXIST) {
            error = std::strerror(errno);
            return std::nullopt;
        }
    }
    error = "no free temporary name";
    return std::nullopt;
}

}  // namespace

uint64_t ExactWavSize(const SaveRange& range, const WavParameters& format) {
    const std::optional<WavBlockLayout> layout = WavLayoutFor(format);
    if (!layout || range.SaveLastBlock < range.SaveFirstBlock) return WavHeaderBytes;
    const uint64_t blocks = uint64_t{range.SaveLastBlock} - range.SaveFirstBlock + 1;
    return WavHeaderBytes + blocks * layout->BytesPerBlock;
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
    std::string error;
    const std::optional<std::string> temp = TemporaryNameBeside(job.TargetPath, error);
    if (!temp) return SaveResult::Failed("Cannot create " + job.TargetPath + ": " + error);
    SaveResult result = job.SaveAsWav
                            ? WriteWavFile(*temp, job.Wav, job.Range, job.Pieces, sources, progress)
                            : WriteMp3File(*temp, job.Mp3, job.Range, job.Pieces, sources, progress, load);
    if (result.ok() && !platform::renameFile(*temp, job.TargetPath))
        result = SaveResult::Failed("Cannot write " + job.TargetPath + ": " + std::strerror(errno));
    if (!result.ok()) platform::removeFile(*temp);
    return result;
}

}  // namespace orv
