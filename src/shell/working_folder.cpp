#include "shell/working_folder.h"

#include <algorithm>
#include <array>
#include <ctime>
#include <optional>

#include "export/wav_save.h"
#include "platform/raw_file.h"
#include "platform/replace_file.h"
#include "record/format.h"
#include "record/found_recording.h"
#include "record/time_text.h"
#include "record/ring_position.h"

namespace orv {

using namespace platform;

// Makes folder and any missing parents; true when it exists afterwards.
static bool MakeFolders(const std::string& folder) {
    if (folder.empty() || dirExists(folder)) return true;
    const auto slash = folder.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !MakeFolders(folder.substr(0, slash))) return false;
    return makeDir(folder);
}

std::string ChooseWorkingFolder(const std::string& dataFolder, const std::string& exeFolder, bool installed) {
    const std::string own = dataFolder.empty() ? std::string() : dataFolder + "/Orvane Recorder";
    if (!own.empty() && dirExists(own)) return own;
    const std::string beside = exeFolder + "/Temp";
    if (own.empty() || (!installed && (dirExists(beside) || makeDir(beside)))) return beside;
    // PrepareWorkingFolder makes the last level and reports a failure.
    MakeFolders(dataFolder);
    return own;
}

bool PrepareWorkingFolder(const std::string& folder, std::string& error) {
    if (dirExists(folder) || makeDir(folder)) return true;
    error = "Can not create " + folder;
    return false;
}

WorkingFiles NameWorkingFiles(const std::string& folder) {
    return {folder, folder + "/Orvane.raw", folder + "/Edit.raw", folder + "/Clp.raw", folder + "/Orvane.spv",
            folder + "/test", folder + "/Orvane.pos", folder + "/Recent.raw"};
}

static std::string RecordedAtName(const std::string& folder, int64_t mtime, const char* extension) {
    std::time_t t = mtime >= 0 ? std::time_t(mtime) : std::time(nullptr);
    std::tm tm {};
    localtime_r(&t, &tm);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H-%M-%S", &tm);
    const std::string base = folder + "/Orvane " + stamp;
    std::string name = base + extension;
    for (int n = 2; fileExists(name); ++n) name = base + " (" + std::to_string(n) + ")" + extension;
    return name;
}

// The ring's newest block when the ring position says the recording wrapped
// and fits it, with the blocks of a half a kill cut off (left out: half new,
// half old sound).
static std::optional<uint32_t> RingSplit(const WorkingFiles& files, uint32_t& skip) {
    skip = 0;
    const auto ring = ReadRingPositionFile(files.RingFileName);
    return ring ? RingSplitOfFile(*ring, files.RawFileName, &skip) : std::nullopt;
}

// Puts the interrupted recording at target: copied in time order when the
// ring position says it wrapped, else moved as it lies.
static bool KeepInterrupted(const WorkingFiles& files, const std::string& target) {
    uint32_t skip = 0;
    if (const auto split = RingSplit(files, skip)) {
        const std::string part = target + ".part";
        std::string error;
        if (CopyRingInTimeOrder(files.RawFileName, *split, part, error, skip) && renameFile(part, target)) {
            removeFile(files.RawFileName);
            return true;
        }
        // No room for the copy: keeping it out of order beats losing it.
        removeFile(part);
    }
    return renameFile(files.RawFileName, target);
}

// Puts the interrupted recording at target as a WAV file: a 44-byte header,
// then its samples in time order. The samples move by the header's length,
// so they are copied (inside the kernel where the system can), and on the
// disk before the recording they came from goes.
static bool KeepAsWav(const WorkingFiles& files, const std::string& target) {
    auto write = [&](const std::string& part) {
        uint32_t skip = 0;
        std::string error;
        if (const auto split = RingSplit(files, skip)) {
            if (!CopyRingInTimeOrder(files.RawFileName, *split, part, error, skip, WavHeaderBytes)) return false;
        } else {
            RawFile in, out;
            const int64_t size = in.open(files.RawFileName, RawFile::Mode::Read) ? in.size() : -1;
            const uint64_t bytes = size > 0 ? uint64_t(size) / 4 * 4 : 0;  // a kill may cut a frame short
            if (size < 0 || !out.open(part, RawFile::Mode::Create) ||
                out.copyFrom(in, 0, WavHeaderBytes, bytes) != bytes)
                return false;
        }
        RawFile out;
        const int64_t length = out.open(part, RawFile::Mode::ReadWrite) ? out.size() : -1;
        if (length < int64_t{WavHeaderBytes}) return false;
        // Past 4 GB the lengths stop at their largest; the samples are all there.
        const uint64_t data = std::min<uint64_t>(uint64_t(length) - WavHeaderBytes, (0xFFFFFFFFu - 36) / 4 * 4);
        std::array<uint8_t, WavHeaderBytes> header{};
        BuildWavHeader(header.data(), uint32_t(data), WavParameters{});
        return out.writeAt(0, header.data(), header.size()) == header.size();
    };
    std::string why;
    if (!replaceFileWith(target, write, why)) return false;
    removeFile(files.RawFileName);
    return true;
}

std::string ClearStaleWorkingFiles(const WorkingFiles& files) {
    removeFile(files.EditFileName);
    removeFile(files.ClipFileName);
    if (!files.RecentFileName.empty()) removeFile(files.RecentFileName);
    const int64_t size = fileSize(files.RawFileName);
    if (size <= 0) {
        if (size == 0) removeFile(files.RawFileName);
        if (!files.RingFileName.empty()) removeFile(files.RingFileName);
        return {};
    }
    // What was kept: a half cut off by the kill is not in it.
    auto length = [](const std::string& kept) { return FormatBlockTimeTenths(uint64_t(fileSize(kept)) / BlockBytes, Hours::All); };
    std::string note;
    if (!fileExists(files.FoundRecordingName) && KeepInterrupted(files, files.FoundRecordingName)) {
        // The old summary described the old "test".
        removeFile(files.PeakFileName);
        note = "A recording interrupted at the last run (" + length(files.FoundRecordingName) +
               " long) was kept.\nOpen the editor after a recording in continuous mode and choose "
               "\"载入\" to load it.";
    } else {
        const int64_t mtime = fileModifiedTime(files.RawFileName);
        std::string kept = RecordedAtName(files.WorkingFolder, mtime, ".wav");
        // No room for a copy: kept as it lies, which beats losing it.
        if (!KeepAsWav(files, kept) &&
            !KeepInterrupted(files, kept = RecordedAtName(files.WorkingFolder, mtime, ".raw")))
            // Could not move it aside: leave it, and where its ring stands, rather than lose it.
            return "A recording interrupted at the last run could not be moved and stays as\n" + files.RawFileName;
        note = "A recording interrupted at the last run (" + length(kept) + " long) was kept as\n" + kept;
    }
    if (!files.RingFileName.empty()) removeFile(files.RingFileName);
    return note;
}

}  // namespace orv
