#pragma once
// Free space that the test sets; remembers which folder was asked about.
#include <cstdint>
#include <string>

#include "platform/system.h"

namespace orv::test {

class GivenFreeSpace final : public platform::FreeSpace {
public:
    explicit GivenFreeSpace(int64_t bytes = int64_t{1} << 40) : bytes(bytes) {}
    int64_t freeBytes(const std::string& path) override {
        askedPath = path;
        return bytes;
    }
    std::string mountPoint(const std::string& path) override {
        askedPath = path;
        return mount;
    }
    int64_t bytes;
    std::string mount = "/media/recordings";
    std::string askedPath;
};

}  // namespace orv::test
