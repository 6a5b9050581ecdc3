#include "platform/desktop.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orv::platform {

namespace {

// The write end for the handler; a signal handler can reach nothing else.
volatile sig_atomic_t SignalWriteFd = -1;
constexpr int Signals[] = {SIGTERM, SIGINT, SIGHUP};

extern "C" void OnTerminationSignal(int sig) {
    const int saved = errno;
    const int fd = SignalWriteFd;
    if (fd >= 0) {
        const unsigned char byte = static_cast<unsigned char>(sig);
        [[maybe_unused]] const ssize_t n = ::write(fd, &byte, 1);
    }
    errno = saved;
}

}  // namespace

std::string userConfigFolder() {
    const char* x = std::getenv("XDG_CONFIG_HOME");
    return x && *x ? std::string(x) : std::string();
}

namespace {

std::string CommLine(const std::string& name) { return name.substr(0, 15) + "\n"; }

// The process 'entry' (its folder under procFd, or a path) runs 'comm' for this user.
bool ProcessRuns(int procFd, const char* entry, const std::string& comm, uid_t me) {
    const std::string path = std::string(entry) + "/comm";
    const int fd = ::openat(procFd, path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    char buf[32];
    const ssize_t n = ::read(fd, buf, sizeof buf);
    ::close(fd);
    if (n != static_cast<ssize_t>(comm.size()) || comm.compare(0, comm.size(), buf, size_t(n)) != 0) return false;
    // The owner is looked up only for a matching name.
    struct stat st {};
    return ::fstatat(procFd, entry, &st, 0) == 0 && st.st_uid == me;
}

// The id of a process of this user running the program, or -1.
long FindProgram(const std::string& name) {
    DIR* proc = ::opendir("/proc");
    if (!proc) return -1;
    const int procFd = ::dirfd(proc);
    const uid_t me = ::getuid();
    const std::string comm = CommLine(name);
    long found = -1;
    while (const dirent* e = ::readdir(proc)) {
        if (e->d_name[0] < '0' || e->d_name[0] > '9') continue;
        if (ProcessRuns(procFd, e->d_name, comm, me)) {
            found = std::strtol(e->d_name, nullptr, 10);
            break;
        }
    }
    ::closedir(proc);
    return found;
}

// The last field of /proc/loadavg, the id of the newest process (or thread)
// of this process's namespace; -1 when it cannot be read.
long NewestProcess() {
    const int fd = ::open("/proc/loadavg", O_RDONLY | O_CLOEXEC);
    if (fd < 0) return -1;
    char buf[128];
    const ssize_t n = ::read(fd, buf, sizeof buf - 1);
    ::close(fd);
    if (n <= 0) return -1;
    buf[n] = 0;
    const char* last = std::strrchr(buf, ' ');
    if (!last) return -1;
    char* end = nullptr;
    const long id = std::strtol(last + 1, &end, 10);
    return end != last + 1 && id > 0 ? id : -1;
}

bool RunsProgram(long pid, const std::string& comm) {
    const std::string entry = "/proc/" + std::to_string(pid);
    return ProcessRuns(AT_FDCWD, entry.c_str(), comm, ::getuid());
}

}  // namespace

bool programRunning(const std::string& name) { return FindProgram(name) >= 0; }

bool ProgramWatch::running() {
    const long newest = NewestProcess();
    const long before = newest_;
    newest_ = newest;
    const bool full = newest < 0 || before < 0 || newest < before || newest - probedFrom_ > MostProbed ||
                      ++asksSinceFullLook_ >= FullLookEvery;
    if (full) return Look(before);
    const std::string comm = CommLine(name_);
    if (pid_ >= 0 && !RunsProgram(pid_, comm)) return Look(before);  // gone: another may run it too
    if (pid_ < 0) {
        // The ids created since the ask before the last one.
        for (long id = probedFrom_ + 1; id <= newest; ++id) {
            if (RunsProgram(id, comm)) {
                pid_ = id;
                break;
            }
        }
    }
    probedFrom_ = before;
    return pid_ >= 0;
}

bool ProgramWatch::Look(long before) {
    asksSinceFullLook_ = 0;
    // The ids of the last second are looked at again at the next ask.
    probedFrom_ = before >= 0 && before <= newest_ ? before : newest_;
    pid_ = FindProgram(name_);
    return pid_ >= 0;
}

TerminationSignals::TerminationSignals() {
    int fds[2];
    if (SignalWriteFd >= 0 || ::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return;
    readFd_ = fds[0];
    writeFd_ = fds[1];
    SignalWriteFd = writeFd_;
    struct sigaction sa {};
    sa.sa_handler = OnTerminationSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int sig : Signals) ::sigaction(sig, &sa, nullptr);
}

TerminationSignals::~TerminationSignals() {
    if (readFd_ < 0) return;
    struct sigaction sa {};
    sa.sa_handler = SIG_DFL;
    sigemptyset(&sa.sa_mask);
    for (int sig : Signals) ::sigaction(sig, &sa, nullptr);
    SignalWriteFd = -1;
    ::close(readFd_);
    ::close(writeFd_);
}

int TerminationSignals::take() {
    int last = 0;
    unsigned char buf[16];
    for (;;) {
        const ssize_t n = ::read(readFd_, buf, sizeof buf);
        if (n > 0) {
            last = buf[n - 1];
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        return last;
    }
}

}  // namespace orv::platform
