// Faults on the real device (the test command's sound server and counting
// signal): the recorder killed while it records, and both cores saturated
// while it captures. Each prints a summary line that bench/reliability/run.sh
// collects; ORV_KILL_RUNS and ORV_LOAD_SECONDS make the runs longer.
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "platform/alsa_stats.h"
#include "platform/raw_file.h"
#include "platform/system.h"
#include "record/recording_control.h"
#include "reliability/counting.h"
#include "support/scripted_recording_view.h"
#include "support/temp_dir.h"

namespace orv {
namespace {

using Clock = std::chrono::steady_clock;

bool SoundServerUp() {
    const char* s = std::getenv("ORV_SOUND_SERVER");
    return s && std::string(s) == "1";
}

int EnvInt(const char* name, int fallback) {
    const char* v = std::getenv(name);
    return v && *v ? std::max(1, std::atoi(v)) : fallback;
}

// A child process with its stdout on a pipe.
struct Child {
    pid_t pid = -1;
    int out = -1;

    Child(const std::vector<std::string>& argv, const std::vector<std::string>& env) {
        // Everything the child needs is built before the fork: only
        // async-signal-safe calls may run between fork and exec.
        std::vector<char*> args, envp;
        for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        for (const std::string& e : env) envp.push_back(const_cast<char*>(e.c_str()));
        for (char** e = environ; *e; ++e) envp.push_back(*e);
        envp.push_back(nullptr);
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0) return;
        pid = fork();
        if (pid == 0) {
            dup2(fds[1], 1);
            execve(args[0], args.data(), envp.data());
            _exit(127);
        }
        close(fds[1]);
        out = fds[0];
    }
    ~Child() {
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        if (out >= 0) close(out);
    }
    // The next line of output, empty after the timeout or at its end.
    std::string ReadLine(int timeoutMs) {
        std::string line;
        const auto until = Clock::now() + std::chrono::milliseconds(timeoutMs);
        while (Clock::now() < until) {
            pollfd p{out, POLLIN, 0};
            if (poll(&p, 1, 100) <= 0) continue;
            char c;
            if (read(out, &c, 1) != 1) break;
            if (c == '\n') return line;
            line += c;
        }
        return line;
    }
    int Wait(int timeoutMs) {
        const auto until = Clock::now() + std::chrono::milliseconds(timeoutMs);
        int status = 0;
        while (Clock::now() < until) {
            if (waitpid(pid, &status, WNOHANG) == pid) {
                pid = -1;
                return status;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return -1;
    }
};

std::string ChildProgram() {
    const std::string exe = platform::executablePath();
    return exe.substr(0, exe.find_last_of('/')) + "/orv_recorder_child";
}

// The largest file in the folder: where the next start kept the recording.
std::string KeptRecording(const std::string& folder) {
    std::string best;
    int64_t bestSize = 0;
    if (DIR* d = opendir(folder.c_str())) {
        while (dirent* e = readdir(d)) {
            const std::string path = folder + "/" + e->d_name;
            const int64_t size = platform::fileExists(path) ? platform::fileSize(path) : -1;
            if (size > bestSize) {
                bestSize = size;
                best = path;
            }
        }
        closedir(d);
    }
    return best;
}

// SIGKILL at a random moment of a continuous recording: the next start keeps
// it, the count runs forward, and every block the file held at the kill is there.
TEST(Killed, ContinuousRecordingIsKeptByTheNextStart) {
    if (!SoundServerUp()) GTEST_SKIP() << "no sound server with the counting signal (the test command starts one)";
    if (!platform::fileExists(ChildProgram())) GTEST_SKIP() << "orv_recorder_child is not built";
    const int runs = EnvInt("ORV_KILL_RUNS", 3);
    std::mt19937 random(std::random_device{}());
    // From 4 s on, so that at least one half is always due on disk.
    std::uniform_int_distribution<int> killAfterMs(4000, 10000);

    int kept = 0, breaks = 0;
    double maxLost = 0;
    // One kill and the next start; ASSERTs end only this run.
    auto oneRun = [&](int run) {
        SCOPED_TRACE("run " + std::to_string(run + 1));
        test::TempDir home;
        const std::string folder = home.path() + "/Orvane Recorder";
        ASSERT_TRUE(platform::makeDir(folder));
        const std::vector<std::string> env = {"XDG_DATA_HOME=" + home.path(), "QT_QPA_PLATFORM=offscreen"};

        double recordedSeconds = 0;
        int64_t onDiskAtKill = 0;
        {
            Child recorder({ChildProgram()}, env);
            ASSERT_GT(recorder.pid, 0);
            ASSERT_EQ(recorder.ReadLine(20000), "recording");
            const auto started = Clock::now();
            std::this_thread::sleep_for(std::chrono::milliseconds(killAfterMs(random)));
            onDiskAtKill = platform::fileSize(folder + "/Orvane.raw");  // it only grows until the kill
            kill(recorder.pid, SIGKILL);
            recordedSeconds = std::chrono::duration<double>(Clock::now() - started).count();
            const int status = recorder.Wait(5000);
            ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "status " << status;
        }
        std::string told;
        {
            Child next({ChildProgram(), "--start-only"}, env);
            std::string line;
            while (!(line = next.ReadLine(20000)).empty() && line != "started") told += line;
            ASSERT_EQ(line, "started");
            ASSERT_TRUE(WIFEXITED(next.Wait(10000)));
        }
        EXPECT_NE(told.find("interrupted"), std::string::npos) << "the user was not told: " << told;
        const std::string found = KeptRecording(folder);
        ASSERT_FALSE(found.empty()) << "the next start kept nothing";
        const uint32_t blocks = uint32_t(platform::fileSize(found) / BlockBytes);
        const std::vector<Piece> pieces{Piece{1, blocks, 1, true}};
        const test::CountCheck count = test::CheckCounting(found, pieces);
        ++kept;
        breaks += int(count.breaks);
        const double lost = recordedSeconds - double(blocks) / 10.0;
        maxLost = std::max(maxLost, lost);
        EXPECT_EQ(count.breaks, 0u) << found << " at frame " << count.firstBreakAt;
        EXPECT_GE(int64_t{blocks} * BlockBytes, onDiskAtKill / BlockBytes * BlockBytes)
            << "recorded " << recordedSeconds << " s, kept " << blocks / 10.0 << " s";
    };
    for (int run = 0; run < runs; ++run) oneRun(run);
    std::printf("reliability-summary fault=kill-continuous runs=%d kept=%d max_lost_s=%.2f breaks=%d\n", runs, kept,
                maxLost, breaks);
}

// Both cores saturated while a minute (ORV_LOAD_SECONDS) is captured through
// each backend: the counting signal arrives without a break and the device
// lost nothing.
class Load : public ::testing::TestWithParam<const char*> {
protected:
    void TearDown() override { ::unsetenv("ORV_SOUND_BACKEND"); }
};

TEST_P(Load, BothCoresSaturatedCaptureWithoutABreak) {
    if (!SoundServerUp()) GTEST_SKIP() << "no sound server with the counting signal (the test command starts one)";
    if (!platform::programOnPath("stress-ng")) GTEST_SKIP() << "stress-ng is not installed";
    ::setenv("ORV_SOUND_BACKEND", GetParam(), 1);
    auto device = platform::makeWaveIn(platform::chooseSoundBackend());
    if (!device || device->getNumDevs() == 0) GTEST_SKIP() << GetParam() << " cannot capture here";
    const int seconds = EnvInt("ORV_LOAD_SECONDS", 60);

    test::TempDir dir;
    RecordBuffers buffers;
    AllocateCaptureBuffers(buffers);
    ProcessingState processing;
    CaptureState cap;
    CaptureHooks hooks;
    CaptureEngine engine(cap, buffers, processing, *device, hooks);
    RecordingControlState state;
    test::ScriptedRecordingView view;
    platform::SystemClock clock;
    platform::StatvfsFreeSpace space;
    RecordingControl control(state, engine, hooks, processing, view, clock, space, dir.path());
    ASSERT_EQ(device->getDevCaps(0, cap.DeviceCaps[0]), platform::MMSYSERR_NOERROR);
    cap.CurrentDeviceName = CapsName(cap.DeviceCaps[0]);
    cap.RawFileName = dir.file("Orvane.raw");
    control.ApplyRecordingMode(0);
    control.TimerStatusTimer();

    Child stress({"/bin/sh", "-c", "exec stress-ng --cpu 2 --timeout " + std::to_string(seconds + 30) + "s --quiet"},
                 {});
    ASSERT_GT(stress.pid, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    control.BtnRecordClick();
    ASSERT_TRUE(cap.Recording);
    auto next = Clock::now();
    for (int tick = 1; cap.Recording && tick <= seconds * 10; ++tick) {
        next += std::chrono::milliseconds(100);
        std::this_thread::sleep_until(next);
        control.TimerRecTimer();
        if (tick % 2 == 0) control.TimerStatusTimer();
    }
    control.BtnStopClick();
    platform::CaptureStats stats;
    if (auto* s = dynamic_cast<platform::CaptureStatsSource*>(device.get())) stats = s->captureStats();
    engine.CloseCapture();

    const test::CountCheck count = test::CheckCounting(
        cap.RawFileName, TimeOrderedPieces(cap.TotalBlocks, cap.LastWrittenBlock, false));
    std::printf("reliability-summary fault=load-2-cores-%s runs=1 kept=%d max_lost_s=%.2f breaks=%llu\n", GetParam(),
                cap.TotalBlocks > 0 ? 1 : 0, double(stats.framesLost) / SampleRate,
                static_cast<unsigned long long>(count.breaks));
    RecordProperty("server_gap_frames", int(count.serverGapFrames));
    EXPECT_TRUE(view.messages.empty()) << view.messages[0];
    EXPECT_GE(cap.TotalBlocks, uint32_t(seconds * 10 * 9 / 10));
    EXPECT_EQ(count.breaks, 0u) << "at frame " << count.firstBreakAt;
    EXPECT_EQ(stats.gaps, 0u);
}

INSTANTIATE_TEST_SUITE_P(Backends, Load, ::testing::Values("alsa", "pulse"),
                         [](const auto& info) { return std::string(info.param); });

}  // namespace
}  // namespace orv
