#pragma once
// The desktop session around the program: the user's configuration folder,
// the user's running programs, and the signals that end a session.
#include <string>

namespace orv::platform {

// $XDG_CONFIG_HOME when set, else empty (the caller falls back to ~/.config).
std::string userConfigFolder();

// True when a process of this user runs the program of that name.
bool programRunning(const std::string& name);

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
