#include "shell/working_folder.h"

#include <ctime>

#include "platform/raw_file.h"

namespace orv {

using namespace platform;

// Makes folder and any missing parents; true when it exists afterwards.
static bool MakeFolders(const std::string& folder) {
    if (folder.empty() || dirExists(folder)) return true;
    const auto slash = folder.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !MakeFolders(folder.substr(0, slash))) return false;
    return makeDir(folder);
}

std::string ChooseWorkingFolder(const std::string& dataFolder, const std::string& exeFolder) {
    const std::string own = dataFolder.empty() ? std::string() : dataFolder + "/Orvane Recorder";
    if (!own.empty() && dirExists(own)) return own;
    const std::string beside = exeFolder + "/Temp";
    if (own.empty() || dirExists(beside) || makeDir(beside)) return beside;
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
            folder + "/test"};
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

std::string ClearStaleWorkingFiles(const WorkingFiles& files) {
    removeFile(files.EditFileName);
    removeFile(files.ClipFileName);
    const int64_t size = fileSize(files.RawFileName);
    if (size < 0) return {};
    if (size == 0) {
        removeFile(files.RawFileName);
        return {};
    }
    if (!fileExists(files.FoundRecordingName) && renameFile(files.RawFileName, files.FoundRecordingName)) return {};
    const std::string kept = RecordedAtName(files.WorkingFolder, fileModifiedTime(files.RawFileName));
    if (renameFile(files.RawFileName, kept))
        return "A recording interrupted at the last run was kept as\n" + kept;
    // Could not move it aside: leave it where it is rather than lose it.
    return "A recording interrupted at the last run could not be moved and stays as\n" + files.RawFileName;
}

}  // namespace orv
