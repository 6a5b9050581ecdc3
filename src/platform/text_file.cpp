#include "platform/text_file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/unique_fd.h"

namespace orv::platform {

TextRead readTextFile(const std::string& path, size_t maxBytes, std::string& text) {
    text.clear();
    UniqueFd f;
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
