#pragma once
// Replacing a file so that a power cut leaves either the old file or the
// whole new one under its name: the new file is written under a hidden name
// beside the old one (".NAME.part-PID-N"), given the old file's permission
// bits, handed to the disk, renamed over it, and the rename handed to the disk
// with the folder. A symbolic link is followed, a dangling one too: the file
// it names is replaced or made, and the link stays.
//
// The hidden file is made with an exclusive create that follows no link, and
// everything after (its mode, its data, its sync) goes through that one open
// file: nothing planted at a hidden name is written through or changed.
//
// Not QSaveFile: a save's partial file keeps the name users are told about,
// and the writers take the program's own RawFile.
#include <functional>
#include <string>

#include "platform/raw_file.h"

namespace orv::platform {

// Calls write with the hidden file, new, empty, open for reading and writing;
// write fills it and leaves it open. false from write (a failure or a cancel)
// removes what it wrote and leaves why as write set it. Any later step that
// fails leaves the old file as it was and why holding the system's reason.
// True once path holds the new file.
bool replaceFileWith(const std::string& path, const std::function<bool(RawFile& part)>& write, std::string& why);

// The same with the new file's bytes at hand.
bool replaceFile(const std::string& path, const std::string& data, std::string& why);

// Removes the hidden files in folder that replaces of processes which are no
// longer running left behind (a kill, a crash, a power cut); a running
// process's part is a replace under way and stays. This process's own count
// as left over: call it before any replace in the folder starts.
void removeLeftParts(const std::string& folder);

}  // namespace orv::platform
