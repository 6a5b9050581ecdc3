#include "platform/system.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace orv::platform {

int64_t StatvfsFreeSpace::freeBytes(const std::string& path) {
    struct statvfs sv {};
    if (::statvfs(path.c_str(), &sv) != 0) return -1;
    return static_cast<int64_t>(sv.f_bavail) * static_cast<int64_t>(sv.f_frsize);
}

std::string StatvfsFreeSpace::mountPoint(const std::string& path) {
    // Walk up while the device stays the same.
    char resolved[PATH_MAX];
    if (!::realpath(path.c_str(), resolved)) return path;
    std::string cur = resolved;
    struct stat st {};
    if (::stat(cur.c_str(), &st) != 0) return cur;
    const dev_t dev = st.st_dev;
    while (cur != "/") {
        auto slash = cur.find_last_of('/');
        std::string parent = slash == 0 ? "/" : cur.substr(0, slash);
        struct stat pst {};
        if (::stat(parent.c_str(), &pst) != 0 || pst.st_dev != dev) break;
        cur = parent;
    }
    return cur;
}

namespace {

// The device of path, or of the nearest folder above it that exists.
bool DeviceOf(std::string path, dev_t& dev) {
    for (;;) {
        struct stat st {};
        if (::stat(path.empty() ? "." : path.c_str(), &st) == 0) {
            dev = st.st_dev;
            return true;
        }
        if (path.empty() || path == "/") return false;
        const auto slash = path.find_last_of('/');
        path = slash == std::string::npos ? std::string() : slash == 0 ? std::string("/") : path.substr(0, slash);
    }
}

}  // namespace

bool StatvfsFreeSpace::sameFileSystem(const std::string& a, const std::string& b) {
    dev_t da{}, db{};
    if (!DeviceOf(a, da) || !DeviceOf(b, db)) return true;
    return da == db;
}

std::string homeFolder() {
    const char* h = std::getenv("HOME");
    return h ? std::string(h) : std::string();
}

std::string userDataFolder() {
    const char* x = std::getenv("XDG_DATA_HOME");
    if (x && *x) return x;
    std::string h = homeFolder();
    return h.empty() ? std::string() : h + "/.local/share";
}

std::string executablePath() {
    char buf[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return {};
    buf[n] = 0;
    return buf;
}

bool startDetached(const std::string& program, const std::vector<std::string>& args,
                   const ChildEnvironment& environment) {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    // Built before the fork: the child of a threaded process may only exec.
    std::vector<char*> envp;
    for (char** e = environ; *e; ++e) {
        const std::string_view entry(*e);
        const std::string_view name = entry.substr(0, entry.find('='));
        bool keep = true;
        for (const std::string& r : environment.removed) keep = keep && name != r;
        if (keep) envp.push_back(*e);
    }
    envp.push_back(nullptr);
    // The exec's failure comes back on a pipe that a successful exec closes.
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) return false;
    // Double fork so that the child is not left as a zombie of ours.
    pid_t pid = ::fork();
    if (pid < 0) {
        ::close(report[0]);
        ::close(report[1]);
        return false;
    }
    if (pid == 0) {
        ::close(report[0]);
        ::setsid();
        pid_t inner = ::fork();
        if (inner == 0) {
            ::execvpe(program.c_str(), argv.data(), envp.data());
            const int err = errno;
            [[maybe_unused]] const ssize_t n = ::write(report[1], &err, sizeof err);
            ::_exit(127);
        }
        ::_exit(inner < 0 ? 1 : 0);
    }
    ::close(report[1]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    int err = 0;
    ssize_t n;
    while ((n = ::read(report[0], &err, sizeof err)) < 0 && errno == EINTR) {
    }
    ::close(report[0]);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 && n == 0;
}

bool programOnPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    if (!path) return false;
    std::string p = path;
    size_t start = 0;
    while (start <= p.size()) {
        size_t end = p.find(':', start);
        if (end == std::string::npos) end = p.size();
        std::string dir = p.substr(start, end - start);
        if (!dir.empty() && ::access((dir + "/" + name).c_str(), X_OK) == 0) return true;
        start = end + 1;
    }
    return false;
}

}  // namespace orv::platform
