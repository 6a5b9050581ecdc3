#pragma once
// Sides measured over one window: a reference tool started beside ours, and
// the CPU time of any process read at any moment (every thread, ended ones
// included, to the nanosecond). Each side is read at the window's start and
// end, when all are already running, so none is charged its start-up while
// another is not.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace orv::bench {

// CPU seconds of the process so far (pid 0: this process); negative when it cannot be read.
inline double ProcessCpuSeconds(pid_t pid) {
    clockid_t clock = CLOCK_PROCESS_CPUTIME_ID;
    if (pid != 0 && clock_getcpuclockid(pid, &clock) != 0) return -1;
    timespec ts{};
    if (clock_gettime(clock, &ts) != 0) return -1;
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

// A command run beside ours, its output to outFile (or /dev/null); stopped with SIGINT (as a user's Ctrl+C) when
// destroyed unless it has ended.
class Side {
public:
    explicit Side(std::vector<std::string> argv, const std::string& outFile = "/dev/null") : name_(argv.at(0)) {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        // Its words on being stopped are not ours to show; an early end shows in Stop().
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        std::vector<char*> args;
        for (std::string& a : argv) args.push_back(a.data());
        args.push_back(nullptr);
        if (posix_spawnp(&pid_, args[0], &actions, nullptr, args.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    Side(const Side&) = delete;
    Side& operator=(const Side&) = delete;
    ~Side() { Stop(); }

    const std::string& Name() const { return name_; }
    double Cpu() const { return pid_ > 0 ? ProcessCpuSeconds(pid_) : -1; }
    // Ends it and waits; true when it was still running (it had not failed early).
    bool Stop() {
        if (pid_ <= 0) return false;
        int status = 0;
        const bool running = waitpid(pid_, &status, WNOHANG) == 0;
        if (running) {
            kill(pid_, SIGINT);
            waitpid(pid_, &status, 0);
        }
        pid_ = -1;
        return running;
    }

private:
    std::string name_;
    pid_t pid_ = -1;
};

// CPU seconds per minute over a window of wallSeconds.
inline double PerMinute(double cpu0, double cpu1, double wallSeconds) {
    return wallSeconds > 0 && cpu0 >= 0 && cpu1 >= 0 ? (cpu1 - cpu0) / wallSeconds * 60 : -1;
}

}  // namespace orv::bench
