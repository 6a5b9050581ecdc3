#include "reliability/small_disk.h"

#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "platform/raw_file.h"

namespace orv::test {

SmallDisk::SmallDisk(uint64_t bytes) : bytes_(bytes) {
    const std::string opts = "size=" + std::to_string(bytes);
    mounted_ = geteuid() == 0 && ::mount("orv-small-disk", dir_.path().c_str(), "tmpfs", 0, opts.c_str()) == 0;
}

SmallDisk::~SmallDisk() {
    if (limited_) {
        setrlimit(RLIMIT_FSIZE, &oldLimit_);
        sigaction(SIGXFSZ, &oldXfsz_, nullptr);
    }
    if (mounted_) ::umount2(dir_.path().c_str(), MNT_DETACH);
}

void SmallDisk::FillLeaving(uint64_t leave, const std::string& file) {
    if (mounted_) {
        const std::string filler = dir_.path() + "/filler";
        const int fd = ::open(filler.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0) return;
        std::vector<char> chunk(1 << 16, 'x');
        uint64_t size = 0;
        for (;;) {
            const ssize_t n = ::write(fd, chunk.data(), chunk.size());
            if (n <= 0) break;
            size += uint64_t(n);
        }
        ::ftruncate(fd, off_t(size > leave ? size - leave : 0));
        ::close(fd);
        return;
    }
    // Growing past the limit fails with EFBIG (and SIGXFSZ, ignored here).
    struct sigaction ign {};
    ign.sa_handler = SIG_IGN;
    sigaction(SIGXFSZ, &ign, limited_ ? nullptr : &oldXfsz_);
    if (!limited_) getrlimit(RLIMIT_FSIZE, &oldLimit_);
    limited_ = true;
    const int64_t size = platform::fileSize(file);
    limitedFile_ = file;
    limitedTo_ = uint64_t(size < 0 ? 0 : size) + leave;
    rlimit lim{limitedTo_, oldLimit_.rlim_max};
    setrlimit(RLIMIT_FSIZE, &lim);
}

int64_t SmallDisk::freeBytes(const std::string& path) {
    if (mounted_) return real_.freeBytes(path);
    const int64_t used = platform::fileSize(limitedFile_.empty() ? dir_.path() + "/Orvane.raw" : limitedFile_);
    const uint64_t cap = limited_ ? limitedTo_ : bytes_;
    const int64_t taken = used < 0 ? 0 : used;
    return int64_t(cap) > taken ? int64_t(cap) - taken : 0;
}

std::string SmallDisk::mountPoint(const std::string& path) {
    return mounted_ ? real_.mountPoint(path) : dir_.path();
}

}  // namespace orv::test
