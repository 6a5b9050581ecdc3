#include "platform/replace_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <utility>

#include "platform/raw_file.h"
#include "platform/unique_fd.h"

namespace orv::platform {

namespace {

std::string FolderOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return path.substr(0, slash == 0 ? 1 : slash);
}

// A free hidden name beside target. Taken with an exclusive create and let go
// again: the writer creates the file itself, and a fresh file is not flushed
// at its close as a truncated one is.
std::optional<std::string> HiddenNameBeside(const std::string& target, std::string& why) {
    const size_t slash = target.find_last_of('/');
    const std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string candidate =
            folder + "." + name + ".part-" + std::to_string(::getpid()) + "-" + std::to_string(attempt);
        const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            ::close(fd);
            ::unlink(candidate.c_str());
            return candidate;
        }
        if (errno != EEXIST) {
            why = std::strerror(errno);
            return std::nullopt;
        }
    }
    why = "no free temporary name";
    return std::nullopt;
}

}  // namespace

bool replaceFileWith(const std::string& path, const std::function<bool(const std::string& temp)>& write,
                     std::string& why) {
    std::string target = path;
    struct stat lst {};
    char resolved[PATH_MAX];
    if (::lstat(path.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode) && ::realpath(path.c_str(), resolved))
        target = resolved;
    std::optional<mode_t> mode;
    struct stat st {};
    if (::stat(target.c_str(), &st) == 0 && S_ISREG(st.st_mode)) mode = st.st_mode & 07777;

    const std::optional<std::string> temp = HiddenNameBeside(target, why);
    if (!temp) return false;
    if (!write(*temp)) {
        ::unlink(temp->c_str());
        return false;
    }
    // On the disk with its permissions before it takes the name.
    UniqueFd f;
    f.fd = ::open(temp->c_str(), O_RDONLY | O_CLOEXEC);
    bool ok = f.fd >= 0 && (!mode || ::fchmod(f.fd, *mode) == 0) && ::fsync(f.fd) == 0;
    int err = errno;
    if (f.fd >= 0 && ::close(std::exchange(f.fd, -1)) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (ok && ::rename(temp->c_str(), target.c_str()) != 0) {
        ok = false;
        err = errno;
    }
    if (!ok) {
        why = std::strerror(err);
        ::unlink(temp->c_str());
        return false;
    }
    // The rename reaches the disk with the folder. The new file holds the
    // name now whatever this says: a failure here is not a failed replace.
    UniqueFd dir;
    dir.fd = ::open(FolderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir.fd >= 0) ::fsync(dir.fd);
    return true;
}

bool replaceFile(const std::string& path, const std::string& data, std::string& why) {
    return replaceFileWith(
        path,
        [&](const std::string& temp) {
            RawFile f;
            if (f.open(temp, RawFile::Mode::Create) && f.writeAt(0, data.data(), data.size()) == data.size())
                return true;
            why = f.lastError().empty() ? "can not write " + temp : f.lastError();
            return false;
        },
        why);
}

}  // namespace orv::platform
