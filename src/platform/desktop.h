#pragma once
// The desktop session around the program: the user's configuration folder,
// the user's running programs, and the signals that end a session.
#include <string>
#include <utility>

namespace orv::platform {

// $XDG_CONFIG_HOME when set, else empty (the caller falls back to ~/.config).
std::string userConfigFolder();

// True when a process of this user runs the program of that name.
bool programRunning(const std::string& name);

// programRunning for a caller that asks again and again (the editor, once a
// second), at a fraction of the cost: the process found is looked at on its
// own, and all processes are looked through again only when a process has
// been created since the last ask (the system's newest process id moved), or
// after FullLookEvery asks in any case, which finds a process that became the
// program by exec without any process created after it.
class ProgramWatch {
public:
    static constexpr int FullLookEvery = 10;
    explicit ProgramWatch(std::string name) : name_(std::move(name)) {}
    bool running();

private:
    std::string name_;
    long pid_ = -1;  // the process found at the last look
    std::string newest_;
    int asksSinceFullLook_ = 0;
};

// SIGTERM, SIGINT and SIGHUP turned into bytes on a pipe: the handler only
// writes one byte, the window thread watches readFd() and calls take().
// One instance per process; the handlers are put back when it ends.
class TerminationSignals {
public:
    TerminationSignals();
    ~TerminationSignals();
    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

    bool installed() const { return readFd_ >= 0; }
    int readFd() const { return readFd_; }
    // Empties the pipe; the last signal number read, 0 when none.
    int take();

private:
    int readFd_ = -1;
    int writeFd_ = -1;
};

}  // namespace orv::platform
