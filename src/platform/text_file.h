#pragma once
// Whole small files read at once with a size limit (platform/replace_file.h
// writes them), and folders.
#include <cstddef>
#include <string>

namespace orv::platform {

enum class TextRead { Ok, Missing, Unreadable, TooBig };

// The file's bytes as they are; anything but Ok leaves text empty.
TextRead readTextFile(const std::string& path, size_t maxBytes, std::string& text);

// Creates the folder and its missing parents; true when it exists afterwards.
bool makeDirs(const std::string& path);

// True when files can be created in the folder.
bool folderWritable(const std::string& path);

}  // namespace orv::platform
