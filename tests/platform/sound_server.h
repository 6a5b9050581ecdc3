#pragma once
// The real-device tests run against the private sound server that
// scripts/sound-server.sh starts; without it they are skipped, with a reason.
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace orv::test {

// Empty when the server is up, else why the test cannot run.
inline std::string SoundServerMissing() {
    const char* v = std::getenv("ORV_SOUND_SERVER");
    if (v && std::string(v) == "1") return {};
    return "no sound server: ORV_SOUND_SERVER is not 1 (start it with scripts/sound-server.sh)";
}

// The test's server stopped (SIGSTOP) until this ends or a child continues it
// `seconds` later, so that a call waiting for it cannot hang the run.
class StoppedServer {
public:
    explicit StoppedServer(unsigned seconds) {
        const char* dir = std::getenv("PULSE_RUNTIME_PATH");
        std::ifstream(std::string(dir ? dir : "") + "/pid") >> pid_;
        if (pid_ <= 0 || ::kill(pid_, SIGSTOP) != 0) return;
        watchdog_ = ::fork();
        if (watchdog_ == 0) {
            ::sleep(seconds);
            ::kill(pid_, SIGCONT);
            ::_exit(0);
        }
    }
    ~StoppedServer() { Resume(); }
    bool Stopped() const { return watchdog_ > 0; }
    bool StillStopped() const { return watchdog_ > 0 && ::waitpid(watchdog_, nullptr, WNOHANG) == 0; }
    void Resume() {
        if (pid_ > 0) ::kill(pid_, SIGCONT);
        if (watchdog_ > 0 && ::kill(watchdog_, SIGKILL) == 0) ::waitpid(watchdog_, nullptr, 0);
        pid_ = watchdog_ = -1;
    }

private:
    pid_t pid_ = -1;
    pid_t watchdog_ = -1;
};

}  // namespace orv::test

#define ORV_SKIP_WITHOUT_SOUND_SERVER()                                          \
    do {                                                                         \
        if (const std::string orvReason = ::orv::test::SoundServerMissing();     \
            !orvReason.empty())                                                  \
            GTEST_SKIP() << orvReason;                                           \
    } while (0)
