#include "platform/program_files.h"

#include <sys/stat.h>

// Relative to the installed executable's folder; set by the build from the
// install directories.
#ifndef ORV_REL_PRIVATE_LIBDIR
#define ORV_REL_PRIVATE_LIBDIR "../lib/orvane-recorder"
#endif
#ifndef ORV_REL_DATADIR
#define ORV_REL_DATADIR "../share/orvane-recorder"
#endif

namespace orv::platform {

namespace {

bool IsFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

std::string FindProgramFile(const std::string& executablePath, const std::string& name, InstalledIn where) {
    const auto slash = executablePath.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string(".") : executablePath.substr(0, slash);
    const std::string beside = folder + "/" + name;
    if (IsFile(beside)) return beside;
    const std::string installed =
        folder + "/" + (where == InstalledIn::PrivateLibraries ? ORV_REL_PRIVATE_LIBDIR : ORV_REL_DATADIR) + "/" + name;
    if (IsFile(installed)) return installed;
    return beside;
}

bool RunsInstalled(const std::string& executablePath) {
    const std::string lib = "liblame_enc.so";
    const std::string found = FindProgramFile(executablePath, lib, InstalledIn::PrivateLibraries);
    const auto slash = executablePath.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string(".") : executablePath.substr(0, slash);
    return IsFile(found) && found != folder + "/" + lib;
}

}  // namespace orv::platform
