#include "reliability/failing_pwrite.h"

#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <mutex>

namespace orv::test {
namespace {

std::mutex mu;
std::string armedPath;
uint64_t bytesLeft = 0;
bool armed = false, happened = false;

using PwriteFn = ssize_t (*)(int, const void*, size_t, off_t);
PwriteFn RealPwrite() {
    static const auto fn = reinterpret_cast<PwriteFn>(dlsym(RTLD_NEXT, "pwrite"));
    return fn;
}

bool IsArmedFile(int fd) {
    char link[64], target[PATH_MAX];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t n = readlink(link, target, sizeof target - 1);
    return n > 0 && std::string(target, size_t(n)) == armedPath;
}

}  // namespace

void ArmFailingWrite(const std::string& path, uint64_t bytes) {
    std::lock_guard lk(mu);
    armedPath = path;
    bytesLeft = bytes;
    armed = true;
    happened = false;
}

void DisarmFailingWrite() {
    std::lock_guard lk(mu);
    armed = false;
}

bool FailingWriteHappened() {
    std::lock_guard lk(mu);
    return happened;
}

}  // namespace orv::test

extern "C" ssize_t pwrite(int fd, const void* buf, size_t n, off_t offset) {
    using namespace orv::test;
    size_t allowed = n;
    {
        std::lock_guard lk(mu);
        if (armed && IsArmedFile(fd)) {
            if (bytesLeft == 0) {
                armed = false;
                happened = true;
                errno = EIO;
                return -1;
            }
            allowed = size_t(std::min<uint64_t>(n, bytesLeft));
            bytesLeft -= allowed;
        }
    }
    return RealPwrite()(fd, buf, allowed, offset);
}
