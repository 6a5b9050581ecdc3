#pragma once
// A small file system as the working folder: a tmpfs of the given size when
// the test may mount one (root), else a folder whose files the process may
// not grow past that size (RLIMIT_FSIZE), with its free space told to match.
#include <sys/resource.h>

#include <csignal>
#include <cstdint>
#include <string>

#include "platform/system.h"
#include "support/temp_dir.h"

namespace orv::test {

class SmallDisk final : public platform::FreeSpace {
public:
    explicit SmallDisk(uint64_t bytes);
    ~SmallDisk() override;
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    const std::string& path() const { return dir_.path(); }
    bool mounted() const { return mounted_; }

    // Another program takes all the space but `leave` bytes. Without a
    // mount, the limit on file growth is set so that `file` can grow by
    // `leave` bytes at most.
    void FillLeaving(uint64_t leave, const std::string& file);

    int64_t freeBytes(const std::string& path) override;
    std::string mountPoint(const std::string& path) override;
    bool sameFileSystem(const std::string& a, const std::string& b) override { return real_.sameFileSystem(a, b); }

private:
    TempDir dir_;
    uint64_t bytes_;
    bool mounted_ = false;
    bool limited_ = false;
    rlimit oldLimit_{};
    struct sigaction oldXfsz_ {};
    std::string limitedFile_;
    uint64_t limitedTo_ = 0;
    platform::StatvfsFreeSpace real_;
};

}  // namespace orv::test
