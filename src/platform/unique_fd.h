#pragma once
// A file descriptor closed when it goes out of scope.
#include <unistd.h>

namespace orv::platform {

struct UniqueFd {
    int fd = -1;
    UniqueFd() = default;
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd() {
        if (fd >= 0) ::close(fd);
    }
};

}  // namespace orv::platform
