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
// second), at a fraction of the cost of looking through every process: the
// process found is looked at on its own; when processes were created since
// the last ask (the system's newest process id moved) and they are few, only
// their ids are looked at, those of the ask before too (one may have been
// caught between its fork and its exec); all processes are looked through
// when many were created, and after FullLookEvery asks in any case, which
// finds a process that became the program by a later exec.
class ProgramWatch {
public:
    static constexpr int FullLookEvery = 10;
    static constexpr long MostProbed = 64;
    explicit ProgramWatch(std::string name) : name_(std::move(name)) {}
    bool running();

private:
    bool Look(long before);  // through every process
    std::string name_;
    long pid_ = -1;     // the process found, or -1
    long newest_ = -1;  // the newest process id at the last ask; -1 before the first look
    long probedFrom_ = 0;  // the ids created before the last ask, from here to newest_
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
