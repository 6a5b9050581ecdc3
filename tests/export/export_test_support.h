#pragma once
// Source files with a known signal and small readers for the files the
// writers produce.
#include <cstdint>
#include <string>
#include <vector>

#include "record/piece.h"
#include "platform/raw_file.h"

namespace orv::test {

// Sample of frame f (from 0, over the whole file) of channel ch in the source
// file marked tag; covers the full 16-bit range and differs between channels.
inline int16_t SourceSample(uint32_t tag, uint64_t frame, int ch) {
    const uint32_t v = static_cast<uint32_t>(frame * 40503u + tag * 7919u + (ch ? 22222u : 0u));
    return static_cast<int16_t>(static_cast<uint16_t>(v & 0xFFFF));
}

// Writes a raw file of whole blocks filled with SourceSample(tag, ...).
void WriteSourceFile(const std::string& path, uint32_t blocks, uint32_t tag);

std::vector<uint8_t> ReadAll(const std::string& path);

inline uint16_t Le16(const std::vector<uint8_t>& b, size_t at) { return uint16_t(b[at] | (b[at + 1] << 8)); }
inline uint32_t Le32(const std::vector<uint8_t>& b, size_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

// Runs a shell command; its standard output, or nullopt-like empty with ok=false.
struct CommandResult {
    int status = -1;
    std::string output;
};
CommandResult RunCommand(const std::string& command, const std::string& scratchFile);
bool ToolAvailable(const std::string& name);

// The recording and Edit.raw of a test, opened for reading.
struct SourceFiles {
    platform::RawFile recording;
    platform::RawFile edit;
    PieceSources sources() const { return {&recording, &edit}; }
};

}  // namespace orv::test
