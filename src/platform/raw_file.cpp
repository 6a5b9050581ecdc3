#include "platform/raw_file.h"

#include <cerrno>
#include <cstring>
#include <system_error>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>
#include <algorithm>

namespace orv::platform {

// Owns its own descriptor (a dup), so that closing or moving the file never
// pulls the descriptor away under a running fdatasync.
struct RawFile::Syncer {
    Syncer(int fd, std::chrono::milliseconds every) : fd_(fd), every_(every), thread_([this] { Run(); }) {}
    ~Syncer() {
        {
            std::lock_guard lk(mu_);
            quit_ = true;
        }
        cv_.notify_all();
        thread_.join();
        ::close(fd_);
    }
    void Run() {
        std::unique_lock lk(mu_);
        while (!cv_.wait_for(lk, every_, [this] { return quit_; })) {
            lk.unlock();
            const int r = ::fdatasync(fd_);
            const int err = errno;
            lk.lock();
            if (r != 0) error_ = std::strerror(err);
            ++count_;
        }
    }

    const int fd_;
    const std::chrono::milliseconds every_;
    mutable std::mutex mu_;
    std::condition_variable cv_;
    bool quit_ = false;
    uint64_t count_ = 0;
    std::string error_;
    std::thread thread_;  // last: starts once everything above is set
};

void RawFile::fail(int err) const {
    errno_ = err;
    error_ = std::strerror(err);
}

RawFile::RawFile() = default;
RawFile::~RawFile() { close(); }

RawFile::RawFile(RawFile&& other) noexcept
    : syncer_(std::move(other.syncer_)), writeBackStep_(std::exchange(other.writeBackStep_, 0)),
      handedOver_(other.handedOver_), awaited_(other.awaited_), fd_(std::exchange(other.fd_, -1)),
      pos_(other.pos_), path_(std::move(other.path_)) {}

RawFile& RawFile::operator=(RawFile&& other) noexcept {
    if (this != &other) {
        close();
        syncer_ = std::move(other.syncer_);
        writeBackStep_ = std::exchange(other.writeBackStep_, 0);
        handedOver_ = other.handedOver_;
        awaited_ = other.awaited_;
        fd_ = std::exchange(other.fd_, -1);
        pos_ = other.pos_;
        path_ = std::move(other.path_);
    }
    return *this;
}

bool RawFile::open(const std::string& path, Mode mode) {
    close();
    int flags = O_CLOEXEC;
    switch (mode) {
    case Mode::Read: flags |= O_RDONLY; break;
    case Mode::ReadWrite: flags |= O_RDWR; break;
    case Mode::Create: flags |= O_RDWR | O_CREAT | O_TRUNC; break;
    case Mode::CreateNew: flags |= O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW; break;
    }
    fd_ = ::open(path.c_str(), flags, 0644);
    if (fd_ < 0) {
        fail(errno);
        return false;
    }
    path_ = path;
    pos_ = 0;
    return true;
}

void RawFile::close() {
    syncer_.reset();
    writeBackStep_ = handedOver_ = awaited_ = 0;
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    pos_ = 0;
}

int64_t RawFile::size() const {
    if (fd_ < 0) return -1;
    struct stat st {};
    if (::fstat(fd_, &st) != 0) {
        fail(errno);
        return -1;
    }
    return st.st_size;
}

size_t RawFile::readAt(uint64_t offset, void* buf, size_t n) const {
    if (fd_ < 0) return 0;
    size_t done = 0;
    auto* p = static_cast<char*>(buf);
    while (done < n) {
        ssize_t r = ::pread(fd_, p + done, n - done, static_cast<off_t>(offset + done));
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) { fail(errno); break; }
        if (r == 0) break;
        done += static_cast<size_t>(r);
    }
    return done;
}

size_t RawFile::writeAt(uint64_t offset, const void* buf, size_t n) {
    if (fd_ < 0) return 0;
    size_t done = 0;
    const auto* p = static_cast<const char*>(buf);
    while (done < n) {
        ssize_t r = ::pwrite(fd_, p + done, n - done, static_cast<off_t>(offset + done));
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) { fail(errno); break; }
        if (r == 0) { fail(ENOSPC); break; }
        done += static_cast<size_t>(r);
    }
    writtenTo(offset + done);
    return done;
}

size_t RawFile::read(void* buf, size_t n) {
    size_t r = readAt(pos_, buf, n);
    pos_ += r;
    return r;
}

size_t RawFile::write(const void* buf, size_t n) {
    size_t r = writeAt(pos_, buf, n);
    pos_ += r;
    return r;
}

namespace {

// n bytes from one descriptor to another, inside the kernel where the system
// can, else through a buffer; the bytes copied, and err set on an error.
size_t CopySpan(int fromFd, uint64_t fromOffset, int toFd, uint64_t offset, size_t n, int& err) {
    size_t done = 0;
    bool inKernel = true;
    while (done < n && inKernel) {
        loff_t in = static_cast<loff_t>(fromOffset + done);
        loff_t out = static_cast<loff_t>(offset + done);
        const ssize_t r = ::copy_file_range(fromFd, &in, toFd, &out, n - done, 0);
        if (r < 0 && errno == EINTR) continue;
        if (r > 0) {
            done += static_cast<size_t>(r);
            continue;
        }
        // Nothing copied (the end of from, or a file system that copies
        // nothing) or not offered for these files: the rest goes by hand,
        // which finds the end. Any other error stops here.
        if (r < 0 && errno != EXDEV && errno != ENOSYS && errno != EINVAL && errno != EOPNOTSUPP) {
            err = errno;
            return done;
        }
        inKernel = false;
    }
    std::vector<char> buf(std::min<size_t>(n - done, size_t{1} << 20));
    while (done < n) {
        const size_t want = std::min(buf.size(), n - done);
        ssize_t got = ::pread(fromFd, buf.data(), want, static_cast<off_t>(fromOffset + done));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            if (got < 0) err = errno;
            break;
        }
        size_t put = 0;
        while (put < size_t(got)) {
            const ssize_t w = ::pwrite(toFd, buf.data() + put, size_t(got) - put, static_cast<off_t>(offset + done + put));
            if (w < 0 && errno == EINTR) continue;
            if (w <= 0) {
                err = w < 0 ? errno : ENOSPC;
                return done + put;
            }
            put += size_t(w);
        }
        done += put;
    }
    return done;
}

}  // namespace

size_t RawFile::copyFrom(const RawFile& from, uint64_t fromOffset, uint64_t offset, size_t n) {
    const size_t copied = copySpans(from, fromOffset, offset, n);
    writtenTo(offset + copied);
    return copied;
}

size_t RawFile::copySpans(const RawFile& from, uint64_t fromOffset, uint64_t offset, size_t n) {
    if (fd_ < 0 || from.fd_ < 0) return 0;
    int err = 0;
    struct stat source {};
    const int64_t ownSize = size();
    if (::fstat(from.fd_, &source) != 0 || !S_ISREG(source.st_mode) || ownSize < 0 || offset < uint64_t(ownSize)) {
        const size_t done = CopySpan(from.fd_, fromOffset, fd_, offset, n, err);
        if (err) fail(err);
        return done;
    }
    // Past this file's end nothing needs overwriting: only from's data is
    // copied, and its holes come back as holes when the length is set.
    const uint64_t end = std::min<uint64_t>(fromOffset + n, uint64_t(std::max<off_t>(source.st_size, 0)));
    uint64_t at = fromOffset;
    while (at < end) {
        const off_t data = ::lseek(from.fd_, static_cast<off_t>(at), SEEK_DATA);
        if (data < 0 && errno != ENXIO) {  // no hole finding here: all of it is data
            const size_t done = CopySpan(from.fd_, at, fd_, offset + (at - fromOffset), size_t(end - at), err);
            if (err) fail(err);
            if (at + done < end) return size_t(at + done - fromOffset);
            at = end;
            break;
        }
        if (data < 0 || uint64_t(data) >= end) break;  // a hole to the end
        const off_t hole = ::lseek(from.fd_, data, SEEK_HOLE);
        const uint64_t spanEnd = hole < 0 ? end : std::min<uint64_t>(uint64_t(hole), end);
        const size_t want = size_t(spanEnd - uint64_t(data));
        const size_t done = CopySpan(from.fd_, uint64_t(data), fd_, offset + (uint64_t(data) - fromOffset), want, err);
        if (done != want) {
            if (err) fail(err);
            return size_t(uint64_t(data) + done - fromOffset);
        }
        at = spanEnd;
    }
    const uint64_t copied = end > fromOffset ? end - fromOffset : 0;
    const int64_t now = size();
    if (now >= 0 && uint64_t(now) < offset + copied && !truncate(offset + copied)) return 0;
    return size_t(copied);
}

void RawFile::writeBackEvery(uint64_t step) {
    writeBackStep_ = step;
    handedOver_ = awaited_ = 0;
}

void RawFile::writtenTo(uint64_t end) {
    if (writeBackStep_ == 0 || fd_ < 0 || end < handedOver_ + writeBackStep_) return;
    // Errors are left to the closing sync, which reports them.
    ::sync_file_range(fd_, off_t(handedOver_), off_t(end - handedOver_), SYNC_FILE_RANGE_WRITE);
    if (handedOver_ > awaited_)
        ::sync_file_range(fd_, off_t(awaited_), off_t(handedOver_ - awaited_),
                          SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER);
    awaited_ = handedOver_;
    handedOver_ = end;
}

bool RawFile::truncate(uint64_t length) {
    if (fd_ < 0) return false;
    if (::ftruncate(fd_, static_cast<off_t>(length)) != 0) {
        fail(errno);
        return false;
    }
    return true;
}

bool RawFile::flush() {
    if (fd_ < 0) return false;
    if (::fdatasync(fd_) != 0) {
        fail(errno);
        return false;
    }
    return true;
}

bool RawFile::syncAll() {
    if (fd_ < 0) return false;
    if (::fsync(fd_) != 0) {
        fail(errno);
        return false;
    }
    return true;
}

bool RawFile::setPermissions(uint32_t mode) {
    if (fd_ < 0) return false;
    if (::fchmod(fd_, static_cast<mode_t>(mode & 07777)) != 0) {
        fail(errno);
        return false;
    }
    return true;
}

std::string RawFile::reopenPath() const {
    if (fd_ < 0) return path_;
    const std::string own = "/proc/self/fd/" + std::to_string(fd_);
    struct stat mine {}, there {};
    // Without /proc the name is all there is.
    if (::fstat(fd_, &mine) == 0 && ::stat(own.c_str(), &there) == 0 && mine.st_ino == there.st_ino &&
        mine.st_dev == there.st_dev)
        return own;
    return path_;
}

void RawFile::syncEvery(std::chrono::milliseconds interval) {
    syncer_.reset();
    if (fd_ < 0 || interval.count() <= 0) return;
    const int dup = ::fcntl(fd_, F_DUPFD_CLOEXEC, 0);
    if (dup < 0) {
        fail(errno);
        return;
    }
    try {
        syncer_ = std::make_unique<Syncer>(dup, interval);
    } catch (const std::system_error&) {
        ::close(dup);  // no thread: the page cache still holds everything written
    }
}

uint64_t RawFile::syncCount() const {
    if (!syncer_) return 0;
    std::lock_guard lk(syncer_->mu_);
    return syncer_->count_;
}

std::string RawFile::syncError() const {
    if (!syncer_) return {};
    std::lock_guard lk(syncer_->mu_);
    return syncer_->error_;
}

bool fileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool dirExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool removeFile(const std::string& path) {
    return ::unlink(path.c_str()) == 0 || errno == ENOENT;
}

bool renameFile(const std::string& from, const std::string& to) {
    return ::rename(from.c_str(), to.c_str()) == 0;
}

bool makeDir(const std::string& path) {
    return ::mkdir(path.c_str(), 0755) == 0 || dirExists(path);
}

int64_t fileSize(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return -1;
    return st.st_size;
}

bool syncFolder(const std::string& folder) {
    const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

int64_t fileModifiedTime(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return -1;
    return st.st_mtime;
}

}  // namespace orv::platform
