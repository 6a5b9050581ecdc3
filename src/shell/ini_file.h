#pragma once
// The settings file: a Windows-style INI text read into Settings and written
// back in place. Parsing and merging work on whole texts so that any bytes
// can be fed to them; the file functions add the disk around them.
#include <string>
#include <string_view>

#include "shell/settings.h"

namespace orv {

// Texts bigger than this are not read (defaults) and never rewritten: a
// rewrite would have to hold the whole file.
inline constexpr size_t MaxSettingsFileBytes = 16u << 20;

// Every key read with its default when missing or not a number, then values
// outside what the program handles replaced by their defaults.
Settings ParseSettings(std::string_view text);

// The text with every key of s written in place: a key replaced where it
// stands (the name and everything before "=" kept), a missing key put after
// the last non-blank line of its section, a missing section appended at the
// end. Every other byte of the text is kept. New lines take the line ending
// the text already uses ("\n" for an empty text).
std::string MergeSettings(std::string_view text, const Settings& s);

// Values outside the lists the program offers become their defaults; exactly
// one of WAV and MP3 is chosen afterwards (MP3 when both or neither were).
void ValidateSettings(Settings& s);

// Where the settings file lives: the executable's path with ".INI" appended
// when its folder is writable and it is not an installed program, else configHome (or home + "/.config")
// + "/orvane-recorder/orvane-recorder.INI". configHome and home may be empty.
std::string LocateSettingsFile(const std::string& executablePath, const std::string& configHome,
                               const std::string& home);

// Fills s from the file; a missing, unreadable or oversized file gives the defaults.
Settings ReadSettingsFile(const std::string& path);

// Writes s into the file through a temporary file in the same folder, renamed
// over the old one. A file that exists but cannot be read in full is left as
// it is (its other lines would be lost). False on failure, with the text for
// the user ("无法写入到 " + path) in error.
bool WriteSettingsFile(const std::string& path, const Settings& s, std::string& error);

}  // namespace orv
