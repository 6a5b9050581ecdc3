#pragma once
// Small system facilities behind seams: the time of day, free disk space,
// user folders and starting other programs.
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

namespace orv::platform {

class Clock {
public:
    virtual ~Clock() = default;
    virtual std::time_t now() = 0;  // seconds since the epoch, local time shown by the UI
};

class FreeSpace {
public:
    virtual ~FreeSpace() = default;
    // Free bytes available to the user on the file system that holds path; -1 on error.
    virtual int64_t freeBytes(const std::string& path) = 0;
    // Mount point of the file system that holds path.
    virtual std::string mountPoint(const std::string& path) = 0;
    // Whether the two paths lie on one file system (a path that does not
    // exist yet is judged by its folder); true when it cannot be told, so
    // that a room check counts rather than forgets.
    virtual bool sameFileSystem(const std::string& a, const std::string& b) = 0;
};

class SystemClock final : public Clock {
public:
    std::time_t now() override { return std::time(nullptr); }
};

class StatvfsFreeSpace final : public FreeSpace {
public:
    int64_t freeBytes(const std::string& path) override;
    std::string mountPoint(const std::string& path) override;
    bool sameFileSystem(const std::string& a, const std::string& b) override;
};

// $XDG_DATA_HOME, else $HOME/.local/share; empty when neither is known.
std::string userDataFolder();
std::string homeFolder();
// Full path of the running executable.
std::string executablePath();
// What a started program gets instead of this process's environment: the
// environment the program was started with. Names the program added for
// itself (a window-system setting, say) are left out; a variable the user
// had set stays.
struct ChildEnvironment {
    std::vector<std::string> removed;
};

// Starts a program detached, found on PATH; false when it could not be
// started (not found, not executable).
bool startDetached(const std::string& program, const std::vector<std::string>& args,
                   const ChildEnvironment& environment = {});
// True when an executable of that name is on PATH.
bool programOnPath(const std::string& name);

}  // namespace orv::platform
