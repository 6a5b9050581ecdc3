#include "platform/text_file.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orv::platform {

namespace {

struct Fd {
    int fd = -1;
    ~Fd() {
        if (fd >= 0) ::close(fd);
    }
};

bool WriteAll(int fd, const char* p, size_t n) {
    while (n > 0) {
        const ssize_t w = ::write(fd, p, n);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        p += w;
        n -= size_t(w);
    }
    return true;
}

}  // namespace

TextRead readTextFile(const std::string& path, size_t maxBytes, std::string& text) {
    text.clear();
    Fd f;
    f.fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (f.fd < 0) return errno == ENOENT ? TextRead::Missing : TextRead::Unreadable;
    struct stat st {};
    if (::fstat(f.fd, &st) != 0 || !S_ISREG(st.st_mode)) return TextRead::Unreadable;
    if (uint64_t(st.st_size) > maxBytes) return TextRead::TooBig;
    std::string data;
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(f.fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return TextRead::Unreadable;
        if (n == 0) break;
        data.append(buf, size_t(n));
        if (data.size() > maxBytes) return TextRead::TooBig;  // grew while being read
    }
    text = std::move(data);
    return TextRead::Ok;
}

bool replaceFile(const std::string& path, const std::string& data, std::string& why) {
    std::string target = path;
    char resolved[PATH_MAX];
    struct stat lst {};
    if (::lstat(path.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode) && ::realpath(path.c_str(), resolved))
        target = resolved;
    mode_t mode = 0644;
    struct stat st {};
    if (::stat(target.c_str(), &st) == 0) mode = st.st_mode & 07777;

    std::string temp = target + ".XXXXXX";
    Fd f;
    f.fd = ::mkstemp(temp.data());
    if (f.fd < 0) {
        why = std::strerror(errno);
        return false;
    }
    const bool ok = ::fchmod(f.fd, mode) == 0 && WriteAll(f.fd, data.data(), data.size()) && ::fsync(f.fd) == 0;
    const int err = errno;
    const int closed = ::close(f.fd);
    f.fd = -1;
    if (!ok || closed != 0 || ::rename(temp.c_str(), target.c_str()) != 0) {
        why = std::strerror(ok && closed == 0 ? errno : err);
        ::unlink(temp.c_str());
        return false;
    }
    // The rename itself reaches the disk with the folder.
    const size_t slash = target.find_last_of('/');
    Fd dir;
    dir.fd = ::open(slash == std::string::npos ? "." : target.substr(0, slash == 0 ? 1 : slash).c_str(),
                    O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir.fd >= 0) ::fsync(dir.fd);
    return true;
}

bool makeDirs(const std::string& path) {
    struct stat st {};
    if (path.empty()) return false;
    if (::stat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
    const size_t slash = path.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !makeDirs(path.substr(0, slash))) return false;
    return ::mkdir(path.c_str(), 0755) == 0 || errno == EEXIST;
}

bool folderWritable(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && ::access(path.c_str(), W_OK | X_OK) == 0;
}

}  // namespace orv::platform
