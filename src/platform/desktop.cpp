#include "platform/desktop.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
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

bool programRunning(const std::string& name) {
    DIR* proc = ::opendir("/proc");
    if (!proc) return false;
    const int procFd = ::dirfd(proc);
    const uid_t me = ::getuid();
    const std::string wanted = name.substr(0, 15) + "\n";
    bool found = false;
    // Asked once a second by the editor's play timer: each process's name is
    // read with plain calls, and the owner is looked up only for a matching name.
    while (const dirent* e = ::readdir(proc)) {
        if (e->d_name[0] < '0' || e->d_name[0] > '9') continue;
        const std::string comm = std::string(e->d_name) + "/comm";
        const int fd = ::openat(procFd, comm.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) continue;
        char buf[32];
        const ssize_t n = ::read(fd, buf, sizeof buf);
        ::close(fd);
        if (n != static_cast<ssize_t>(wanted.size()) || wanted.compare(0, wanted.size(), buf, size_t(n)) != 0) continue;
        struct stat st {};
        if (::fstatat(procFd, e->d_name, &st, 0) == 0 && st.st_uid == me) {
            found = true;
            break;
        }
    }
    ::closedir(proc);
    return found;
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
