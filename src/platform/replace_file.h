#pragma once
// Replacing a file so that a power cut leaves either the old file or the
// whole new one under its name: the new file is written under a hidden name
// beside the old one (".NAME.part-PID-N"), handed to the disk, given the old
// file's permission bits, renamed over it, and the rename handed to the disk
// with the folder. A symbolic link is followed: its target is replaced.
//
// Not QSaveFile: the writers here open the file by name through their own
// streams, and a save's partial file keeps the name users are told about.
#include <functional>
#include <string>

namespace orv::platform {

// Calls write with the hidden name, which it creates and fills; false from
// write (a failure or a cancel) removes what it wrote and leaves why as write
// set it. Any later step that fails leaves the old file as it was and why
// holding the system's reason. True once path holds the new file.
bool replaceFileWith(const std::string& path, const std::function<bool(const std::string& temp)>& write,
                     std::string& why);

// The same with the new file's bytes at hand.
bool replaceFile(const std::string& path, const std::string& data, std::string& why);

}  // namespace orv::platform
