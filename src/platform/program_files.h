#pragma once
// Where the program finds its own files. A build keeps them beside the
// executable; an installed program keeps the encoder library in a private
// library folder and the help page in a data folder, both found from the
// executable's folder by a relative path, so an installed tree may be moved.
#include <string>

namespace orv::platform {

enum class InstalledIn { PrivateLibraries, Data };

// The file beside the executable when it is there, else in its installed
// folder when it is there, else the path beside the executable (the caller's
// message then names the place a build would use).
std::string FindProgramFile(const std::string& executablePath, const std::string& name, InstalledIn where);

// True when the program runs from an installed tree: its private library
// folder is there and the encoder library is not beside the executable. Such a
// program never writes beside its executable, even when it could (as root).
bool RunsInstalled(const std::string& executablePath);

}  // namespace orv::platform
