#include "export_test_support.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

#include "record/format.h"

namespace orv::test {

void WriteSourceFile(const std::string& path, uint32_t blocks, uint32_t tag) {
    std::vector<uint8_t> bytes(uint64_t{blocks} * BlockBytes);
    for (uint64_t f = 0; f < uint64_t{blocks} * BlockFrames; ++f) {
        PutSample(&bytes[f * 4], SourceSample(tag, f, 0));
        PutSample(&bytes[f * 4 + 2], SourceSample(tag, f, 1));
    }
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
}

std::vector<uint8_t> ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

CommandResult RunCommand(const std::string& command, const std::string& scratchFile) {
    CommandResult r;
    r.status = std::system((command + " > '" + scratchFile + "' 2>/dev/null").c_str());
    std::ifstream in(scratchFile);
    std::stringstream s;
    s << in.rdbuf();
    r.output = s.str();
    return r;
}

bool ToolAvailable(const std::string& name) {
    return std::system(("command -v " + name + " > /dev/null 2>&1").c_str()) == 0;
}

}  // namespace orv::test
