#include "reliability/disk_order.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <mutex>

namespace orv::test {
namespace {

std::mutex mu;
bool watching = false;
std::string watched, failing;
std::vector<std::string> events;

// The name inside the watched folder, or "" for any other file.
std::string Inside(const std::string& path) {
    const std::string prefix = watched + "/";
    return path.compare(0, prefix.size(), prefix) == 0 ? path.substr(prefix.size()) : std::string();
}

std::string PathOf(int fd) {
    char link[64], target[PATH_MAX];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t n = readlink(link, target, sizeof target - 1);
    return n > 0 ? std::string(target, size_t(n)) : std::string();
}

}  // namespace

void WatchDiskOrder(const std::string& folder, const std::string& failSync) {
    std::lock_guard lk(mu);
    char real[PATH_MAX];
    watched = realpath(folder.c_str(), real) ? real : folder;
    failing = failSync;
    events.clear();
    watching = true;
}

std::vector<std::string> StopWatchingDiskOrder() {
    std::lock_guard lk(mu);
    watching = false;
    return std::move(events);
}

}  // namespace orv::test

static int Sync(int fd, const char* call) {
    using namespace orv::test;
    {
        std::lock_guard lk(mu);
        if (watching) {
            const std::string path = PathOf(fd), name = path == watched ? "." : Inside(path);
            if (!name.empty()) {
                if (name == failing) {
                    events.push_back("failed sync " + name);
                    errno = EIO;
                    return -1;
                }
                events.push_back("sync " + name);
            }
        }
    }
    return reinterpret_cast<int (*)(int)>(dlsym(RTLD_NEXT, call))(fd);
}

extern "C" int fdatasync(int fd) { return Sync(fd, "fdatasync"); }
extern "C" int fsync(int fd) { return Sync(fd, "fsync"); }

extern "C" int rename(const char* from, const char* to) noexcept {
    using namespace orv::test;
    {
        std::lock_guard lk(mu);
        if (watching) {
            char real[PATH_MAX];
            // The target may not exist yet: resolve the source, and the target's folder by the same prefix.
            const std::string f = realpath(from, real) ? Inside(real) : std::string();
            const std::string t = f.empty() ? std::string() : std::string(to).substr(std::string(to).find_last_of('/') + 1);
            if (!f.empty()) events.push_back("rename " + f + " " + t);
        }
    }
    static const auto real = reinterpret_cast<int (*)(const char*, const char*)>(dlsym(RTLD_NEXT, "rename"));
    return real(from, to);
}

extern "C" int unlink(const char* path) noexcept {
    using namespace orv::test;
    static const auto real = reinterpret_cast<int (*)(const char*)>(dlsym(RTLD_NEXT, "unlink"));
    std::lock_guard lk(mu);
    std::string name;
    if (watching) {
        // The folder resolved, not the name: a link is removed, not what it names.
        const std::string p = path, folder = p.find('/') == std::string::npos ? "." : p.substr(0, p.find_last_of('/'));
        char resolved[PATH_MAX];
        if (realpath(folder.c_str(), resolved) && std::string(resolved) == watched) name = p.substr(p.find_last_of('/') + 1);
    }
    const int r = real(path);
    if (r == 0 && !name.empty()) events.push_back("remove " + name);
    return r;
}
