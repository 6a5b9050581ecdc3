// CPU cost of recording: the real capture device, the engine and the
// recording control's timers, writing a raw file with block processing for
// the given number of seconds of audio, polled every 100 ms as the main
// window does.
// Prints the process's CPU seconds (all threads, the driver thread included)
// per minute of audio written; run.sh compares it with arecord.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "platform/alsa_stats.h"
#include "platform/raw_file.h"
#include "platform/system.h"
#include "platform/wave_in.h"
#include "bench/headless_recorder.h"

namespace {

using namespace orv;

double CpuSeconds(int who = RUSAGE_SELF) {
    rusage ru{};
    getrusage(who, &ru);
    return double(ru.ru_utime.tv_sec) + ru.ru_utime.tv_usec / 1e6 + double(ru.ru_stime.tv_sec) +
           ru.ru_stime.tv_usec / 1e6;
}


// The reference tool's CPU, read with wait4 to the microsecond (time(1)
// prints hundredths, too coarse for arecord).
int MeasureChild(char** argv) {
    const pid_t pid = fork();
    if (pid < 0) return 1;
    if (pid == 0) {
        execvp(argv[0], argv);
        _exit(127);
    }
    int status = 0;
    rusage ru{};
    if (wait4(pid, &status, 0, &ru) != pid) return 1;
    std::printf("cpu_s=%.6f\n", double(ru.ru_utime.tv_sec) + ru.ru_utime.tv_usec / 1e6 +
                                     double(ru.ru_stime.tv_sec) + ru.ru_stime.tv_usec / 1e6);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 2 && std::string(argv[1]) == "--measure") return MeasureChild(argv + 2);
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s WORK_FOLDER SECONDS [PCM]\n       %s --measure COMMAND...\n", argv[0],
                     argv[0]);
        return 2;
    }
    const std::string folder = argv[1];
    const int seconds = std::atoi(argv[2]);
    // The program's choice of backend (ORV_SOUND_BACKEND forces one), or the named ALSA PCM.
    auto device = argc > 3 ? platform::makeAlsaWaveIn(argv[3]) : platform::makeWaveIn(platform::chooseSoundBackend());
    if (!device) {
        std::fprintf(stderr, "no capture layer\n");
        return 1;
    }

    bench::HeadlessRecorder r(*device, folder);
    CaptureState& cap = r.cap;
    CaptureEngine& engine = r.engine;
    RecordingControl& control = r.control;
    RecordingControlState& state = r.state;
    const bench::BenchView& view = r.view;
    if (cap.CurrentDeviceName.empty()) {
        std::fprintf(stderr, "no capture device\n");
        return 1;
    }
    // The ring position file, named as the program names it: a continuous
    // recording writes none, which ORV_BENCH_RING=0 (no name) confirms.
    const char* ring = std::getenv("ORV_BENCH_RING");
    if (!ring || std::atoi(ring) != 0) cap.RingFileName = folder + "/Orvane.pos";
    // ORV_BENCH_SYNC_MS=0 measures without the periodic sync to the disk.
    if (const char* sync = std::getenv("ORV_BENCH_SYNC_MS")) state.SyncMilliseconds = std::atoi(sync);
    control.ApplyRecordingMode(0);
    control.TimerStatusTimer();  // opens monitoring

    const double cpu0 = CpuSeconds(), main0 = CpuSeconds(RUSAGE_THREAD);
    control.BtnRecordClick();
    if (!cap.Recording) return 1;
    // Until SECONDS of audio have been captured, as arecord -d counts them;
    // a sound server may take a while to deliver its first frames.
    const uint32_t blocks = uint32_t(seconds) * 10;
    auto next = std::chrono::steady_clock::now();
    double longestTickMs = 0;
    for (int tick = 1; cap.Recording && cap.LastBlockSeen < blocks && tick <= (seconds + 30) * 10; ++tick) {
        next += std::chrono::milliseconds(100);
        std::this_thread::sleep_until(next);
        const auto t0 = std::chrono::steady_clock::now();
        control.TimerRecTimer();
        if (tick % 2 == 0) control.TimerStatusTimer();
        longestTickMs = std::max(longestTickMs,
                                 std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
    }
    const uint64_t syncs = cap.RawStream.syncCount();  // before the stop path closes the file
    control.BtnStopClick();
    engine.CloseCapture();
    const double cpu = CpuSeconds() - cpu0;
    // The timers' share; the rest is the device layer's driver thread.
    const double mainCpu = CpuSeconds(RUSAGE_THREAD) - main0;

    const double audioSeconds = cap.TotalBlocks / 10.0;
    platform::CaptureStats stats;
    if (auto* s = dynamic_cast<platform::CaptureStatsSource*>(device.get())) stats = s->captureStats();
    std::printf("orvane cpu_s=%.6f audio_s=%.1f cpu_s_per_audio_min=%.4f timer_thread_cpu_s=%.6f dropped_frames=%llu "
                "overruns=%llu messages=%d syncs=%llu longest_tick_ms=%.2f\n",
                cpu, audioSeconds, audioSeconds > 0 ? cpu / audioSeconds * 60 : 0.0, mainCpu,
                static_cast<unsigned long long>(stats.framesDropped),
                static_cast<unsigned long long>(stats.overruns), view.messages,
                static_cast<unsigned long long>(syncs), longestTickMs);
    platform::removeFile(cap.RawFileName);
    return view.messages == 0 && audioSeconds > 0 ? 0 : 1;
}
