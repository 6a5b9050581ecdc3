#pragma once
// A binary file with 64-bit positions. Every call reports failure instead of
// throwing, so the callers decide which message the user sees.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace orv::platform {

class RawFile {
public:
    // Create truncates or makes a new file. CreateNew makes a new file only:
    // it fails when the name is taken, by a symbolic link too (lastErrorNumber()
    // is then EEXIST), so that nothing planted at the name is written through.
    enum class Mode { Read, ReadWrite, Create, CreateNew };

    RawFile();
    ~RawFile();
    RawFile(RawFile&& other) noexcept;
    RawFile& operator=(RawFile&& other) noexcept;
    RawFile(const RawFile&) = delete;
    RawFile& operator=(const RawFile&) = delete;

    bool open(const std::string& path, Mode mode);
    void close();
    bool isOpen() const { return fd_ >= 0; }
    const std::string& path() const { return path_; }

    // Size in bytes, -1 when closed or on error.
    int64_t size() const;
    // Positioned I/O; return the number of bytes moved (short on end of file or error).
    size_t readAt(uint64_t offset, void* buf, size_t n) const;
    size_t writeAt(uint64_t offset, const void* buf, size_t n);
    // Stream-style I/O at the current position, which advances by what was moved.
    void seek(uint64_t pos) { pos_ = pos; }
    uint64_t position() const { return pos_; }
    size_t read(void* buf, size_t n);
    size_t write(const void* buf, size_t n);
    // Copies n bytes of from (at fromOffset) to this file at offset inside the
    // kernel where the system can, else through a buffer; returns the bytes
    // copied (short at from's end or on an error). Written at or past this
    // file's end, the holes of a sparse from stay holes here.
    size_t copyFrom(const RawFile& from, uint64_t fromOffset, uint64_t offset, size_t n);
    bool truncate(uint64_t length);
    // For a file written front to back: each time another `step` bytes lie
    // written past those handed over, they go to the disk while later ones
    // are written, and the call waits only for the step before. The closing
    // sync then finds little left, and no call waits for more than about two
    // steps reaching the disk. Zero stops it.
    void writeBackEvery(uint64_t step);
    // The data to the disk (fdatasync); syncAll adds the file's own details
    // (its permission bits), for a file about to take another's name.
    bool flush();
    bool syncAll();
    // The permission bits of the open file (07777).
    bool setPermissions(uint32_t mode);
    // A name that opens this very file for a library that takes names, even
    // once its own name has gone or been taken by something else.
    std::string reopenPath() const;
    // Until close, a background thread hands the written data to the disk
    // (fdatasync) every `interval`, so that a power cut loses at most that
    // much; writes never wait for it. A zero interval stops it.
    void syncEvery(std::chrono::milliseconds interval);
    // Background syncs done so far, and the text of the last one that failed.
    uint64_t syncCount() const;
    std::string syncError() const;
    // The text of the last failing call (errno's message).
    const std::string& lastError() const { return error_; }
    int lastErrorNumber() const { return errno_; }

private:
    struct Syncer;
    void fail(int err) const;
    void writtenTo(uint64_t end);
    size_t copySpans(const RawFile& from, uint64_t fromOffset, uint64_t offset, size_t n);
    std::unique_ptr<Syncer> syncer_;
    uint64_t writeBackStep_ = 0;
    uint64_t handedOver_ = 0;  // below this: write-back started
    uint64_t awaited_ = 0;     // below this: written back
    int fd_ = -1;
    uint64_t pos_ = 0;
    std::string path_;
    mutable std::string error_;
    mutable int errno_ = 0;
};

bool fileExists(const std::string& path);
bool dirExists(const std::string& path);
bool removeFile(const std::string& path);          // true when gone afterwards
bool renameFile(const std::string& from, const std::string& to);
bool makeDir(const std::string& path);             // one level
int64_t fileSize(const std::string& path);         // -1 when missing
int64_t fileModifiedTime(const std::string& path); // seconds since the epoch, -1 when missing
// Hands a folder's entries (a rename into it, a removal) to the disk.
bool syncFolder(const std::string& folder);

}  // namespace orv::platform
