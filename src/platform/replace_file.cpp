#include "platform/replace_file.h"

#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <optional>
#include <vector>

namespace orv::platform {

namespace {

constexpr const char* PartTag = ".part-";

std::string FolderOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return path.substr(0, slash == 0 ? 1 : slash);
}

// The name that path stands for through its symbolic links, a dangling last
// one included: the file there is the one to replace or make.
std::optional<std::string> FinalName(const std::string& path, std::string& why) {
    std::string name = path;
    for (int hop = 0; hop < 40; ++hop) {
        struct stat st {};
        if (::lstat(name.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return name;
        std::vector<char> to(PATH_MAX);
        const ssize_t n = ::readlink(name.c_str(), to.data(), to.size());
        if (n < 0 || size_t(n) >= to.size()) {
            why = std::strerror(n < 0 ? errno : ENAMETOOLONG);
            return std::nullopt;
        }
        const std::string link(to.data(), size_t(n));
        name = link.front() == '/' ? link : FolderOf(name) + "/" + link;
    }
    why = std::strerror(ELOOP);
    return std::nullopt;
}

// Makes a new hidden file beside target under a free name; a name taken by
// anything, a planted link included, is passed over.
bool CreateHiddenBeside(const std::string& target, RawFile& part, std::string& why) {
    const size_t slash = target.find_last_of('/');
    const std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string candidate =
            folder + "." + name + PartTag + std::to_string(::getpid()) + "-" + std::to_string(attempt);
        if (part.open(candidate, RawFile::Mode::CreateNew)) return true;
        if (part.lastErrorNumber() != EEXIST) {
            why = part.lastError();
            return false;
        }
    }
    why = "no free temporary name";
    return false;
}

// The process id in a hidden part name (".NAME.part-PID-N"), 0 for any other name.
pid_t PartOwner(const std::string& name) {
    const size_t tag = name.rfind(PartTag);
    if (name.size() < 2 || name[0] != '.' || tag == std::string::npos || tag == 0) return 0;
    const size_t first = tag + std::strlen(PartTag), dash = name.find('-', first);
    auto digits = [&](size_t from, size_t to) {
        if (from >= to || to - from > 9) return false;
        for (size_t i = from; i < to; ++i)
            if (name[i] < '0' || name[i] > '9') return false;
        return true;
    };
    if (dash == std::string::npos || !digits(first, dash) || !digits(dash + 1, name.size())) return 0;
    return pid_t(std::stol(name.substr(first, dash - first)));
}

bool Running(pid_t pid) { return pid != ::getpid() && (::kill(pid, 0) == 0 || errno == EPERM); }

}  // namespace

bool replaceFileWith(const std::string& path, const std::function<bool(RawFile& part)>& write, std::string& why) {
    const std::optional<std::string> target = FinalName(path, why);
    if (!target) return false;
    std::optional<mode_t> mode;
    struct stat st {};
    if (::stat(target->c_str(), &st) == 0 && S_ISREG(st.st_mode)) mode = st.st_mode & 07777;

    RawFile part;
    if (!CreateHiddenBeside(*target, part, why)) return false;
    const std::string temp = part.path();
    auto discard = [&](const std::string* reason) {
        part.close();
        ::unlink(temp.c_str());
        if (reason) why = *reason;
        return false;
    };
    // Its permissions before any data, which may be as private as the old file's.
    if (mode && !part.setPermissions(*mode)) return discard(&part.lastError());
    if (!write(part)) return discard(nullptr);
    // On the disk with its permissions before it takes the name.
    if (!part.syncAll()) return discard(&part.lastError());
    part.close();
    if (::rename(temp.c_str(), target->c_str()) != 0) {
        const std::string reason = std::strerror(errno);
        return discard(&reason);
    }
    // The rename reaches the disk with the folder. The new file holds the
    // name now whatever this says: a failure here is not a failed replace.
    syncFolder(FolderOf(*target));
    return true;
}

bool replaceFile(const std::string& path, const std::string& data, std::string& why) {
    return replaceFileWith(
        path,
        [&](RawFile& part) {
            if (part.writeAt(0, data.data(), data.size()) == data.size()) return true;
            why = part.lastError().empty() ? "can not write " + part.path() : part.lastError();
            return false;
        },
        why);
}

void removeLeftParts(const std::string& folder) {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return;
    std::vector<std::string> left;
    while (const dirent* e = ::readdir(dir)) {
        const std::string name = e->d_name;
        const pid_t owner = PartOwner(name);
        struct stat st {};
        const std::string path = folder + "/" + name;
        if (owner > 0 && !Running(owner) && ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode))
            left.push_back(path);
    }
    ::closedir(dir);
    for (const std::string& path : left) ::unlink(path.c_str());
}

}  // namespace orv::platform
