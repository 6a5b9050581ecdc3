#include "shell/working_folder.h"

#include <ctime>

#include "platform/raw_file.h"
#include "record/format.h"
#include "record/found_recording.h"
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
            folder + "/test", folder + "/Orvane.pos"};
}

static std::string RecordedAtName(const std::string& folder, int64_t mtime) {
    std::time_t t = mtime >= 0 ? std::time_t(mtime) : std::time(nullptr);
    std::tm tm {};
    localtime_r(&t, &tm);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H-%M-%S", &tm);
    std::string name = folder + "/Orvane " + stamp + ".raw";
    for (int n = 2; fileExists(name); ++n) name = folder + "/Orvane " + stamp + " (" + std::to_string(n) + ").raw";
    return name;
}

// Puts the interrupted recording at target: copied in time order when the
// ring position says it wrapped, else moved as it lies.
static bool KeepInterrupted(const WorkingFiles& files, const std::string& target) {
    const auto ring = ReadRingPositionFile(files.RingFileName);
    // A half whose write a kill cut off is left out: half new, half old sound.
    uint32_t skip = 0;
    const auto split = ring ? RingSplitOfFile(*ring, files.RawFileName, &skip) : std::nullopt;
    if (split) {
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

std::string ClearStaleWorkingFiles(const WorkingFiles& files) {
    removeFile(files.EditFileName);
    removeFile(files.ClipFileName);
    const int64_t size = fileSize(files.RawFileName);
    if (size <= 0) {
        if (size == 0) removeFile(files.RawFileName);
        if (!files.RingFileName.empty()) removeFile(files.RingFileName);
        return {};
    }
    // What was kept: a half cut off by the kill is not in it.
    auto length = [](const std::string& kept) { return FormatFoundLength(uint64_t(fileSize(kept)) / BlockBytes); };
    std::string note;
    if (!fileExists(files.FoundRecordingName) && KeepInterrupted(files, files.FoundRecordingName)) {
        // The old summary described the old "test".
        removeFile(files.PeakFileName);
        note = "A recording interrupted at the last run (" + length(files.FoundRecordingName) +
               " long) was kept.\nOpen the editor after a recording in continuous mode and choose "
               "\"载入\" to load it.";
    } else {
        const std::string kept = RecordedAtName(files.WorkingFolder, fileModifiedTime(files.RawFileName));
        if (KeepInterrupted(files, kept))
            note = "A recording interrupted at the last run (" + length(kept) + " long) was kept as\n" + kept;
        else  // Could not move it aside: leave it, and where its ring stands, rather than lose it.
            return "A recording interrupted at the last run could not be moved and stays as\n" + files.RawFileName;
    }
    if (!files.RingFileName.empty()) removeFile(files.RingFileName);
    return note;
}

}  // namespace orv
