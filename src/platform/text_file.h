#pragma once
// Whole small files: read at once with a size limit, and replaced in one
// step (a temporary file in the same folder renamed over the old one), so
// a crash or a full disk never leaves a half-written file behind.
#include <cstddef>
#include <string>

namespace orv::platform {

enum class TextRead { Ok, Missing, Unreadable, TooBig };

// The file's bytes as they are; anything but Ok leaves text empty.
TextRead readTextFile(const std::string& path, size_t maxBytes, std::string& text);

// Writes data to a new file beside path, flushes it to the disk and renames
// it over path (through a symbolic link to its target). The old file's
// permission bits are kept. On failure the old file is untouched and why
// holds the system's reason.
bool replaceFile(const std::string& path, const std::string& data, std::string& why);

// Creates the folder and its missing parents; true when it exists afterwards.
bool makeDirs(const std::string& path);

// True when files can be created in the folder.
bool folderWritable(const std::string& path);

}  // namespace orv::platform
