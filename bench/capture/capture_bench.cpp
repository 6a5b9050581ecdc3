// CPU cost of recording: the real capture device, the engine and the
// recording control's timers, writing a raw file with block processing,
// polled every 100 ms as the main window does. arecord and parec capture
// the same source from the same moment (unless ORV_BENCH_REFERENCES=0), and
// every side's CPU (all threads, the driver thread included) is read over
// the same window of SECONDS, which opens WARM_UP_S after all have started
// (bench/side_cpu.h). Prints the CPU seconds per minute of each side and the
// ratios (ours / reference).
#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench/headless_recorder.h"
#include "bench/side_cpu.h"
#include "platform/alsa_stats.h"
#include "platform/raw_file.h"
#include "platform/system.h"
#include "platform/wave_in.h"

namespace {

using namespace orv;

double CpuSeconds(int who = RUSAGE_SELF) {
    rusage ru{};
    getrusage(who, &ru);
    return double(ru.ru_utime.tv_sec) + ru.ru_utime.tv_usec / 1e6 + double(ru.ru_stime.tv_sec) +
           ru.ru_stime.tv_usec / 1e6;
}


double Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

int64_t FileSize(const std::string& path) {
    struct stat st{};
    return stat(path.c_str(), &st) == 0 ? int64_t(st.st_size) : -1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s WORK_FOLDER WARM_UP_S SECONDS [PCM]\n", argv[0]);
        return 2;
    }
    const std::string folder = argv[1];
    const double warmUp = std::atof(argv[2]), seconds = std::atof(argv[3]);
    // The program's choice of backend (ORV_SOUND_BACKEND forces one), or the named ALSA PCM.
    auto device = argc > 4 ? platform::makeAlsaWaveIn(argv[4]) : platform::makeWaveIn(platform::chooseSoundBackend());
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
    const char* withRefs = std::getenv("ORV_BENCH_REFERENCES");
    control.ApplyRecordingMode(0);
    control.TimerStatusTimer();  // opens monitoring

    control.BtnRecordClick();
    if (!cap.Recording) return 1;
    std::vector<std::unique_ptr<bench::Side>> refs;
    if (!withRefs || std::atoi(withRefs) != 0) {
        refs.push_back(std::make_unique<bench::Side>(
            std::vector<std::string>{"arecord", "-q", "-D", "default", "-f", "S16_LE", "-r", "44100", "-c", "2",
                                     "-t", "raw"},
            folder + "/arecord.raw"));
        refs.push_back(std::make_unique<bench::Side>(
            std::vector<std::string>{"parec", "--raw", "--format=s16le", "--rate=44100", "--channels=2"},
            folder + "/parec.raw"));
    }
    // Every side's CPU at the window's start and end.
    double wall[2] = {0, 0}, ours[2] = {0, 0}, mainCpu[2] = {0, 0};
    std::vector<double> ref[2];
    uint32_t blocks[2] = {0, 0};
    auto read = [&](int end) {
        wall[end] = Now();
        ours[end] = bench::ProcessCpuSeconds(0);
        mainCpu[end] = CpuSeconds(RUSAGE_THREAD);
        blocks[end] = cap.LastBlockSeen;
        for (const auto& side : refs) ref[end].push_back(side->Cpu());
    };
    const double t0 = Now();
    auto next = std::chrono::steady_clock::now();
    double longestTickMs = 0;
    bool started = false, ended = false;
    for (int tick = 1; cap.Recording && !ended && tick <= int(warmUp + seconds + 30) * 10; ++tick) {
        next += std::chrono::milliseconds(100);
        std::this_thread::sleep_until(next);
        const auto tickStart = std::chrono::steady_clock::now();
        control.TimerRecTimer();
        if (tick % 2 == 0) control.TimerStatusTimer();
        const double tickMs =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - tickStart).count();
        if (started) longestTickMs = std::max(longestTickMs, tickMs);
        const double since = Now() - t0;
        if (!started && since >= warmUp) {
            read(0);
            started = true;
        } else if (started && since >= warmUp + seconds) {
            read(1);
            ended = true;
        }
    }
    const uint64_t syncs = cap.RawStream.syncCount();  // before the stop path closes the file
    const bool stillRecording = cap.Recording;
    control.BtnStopClick();
    engine.CloseCapture();
    if (!ended || !stillRecording) {
        std::fprintf(stderr, "the recording ended before the window closed\n");
        return 1;
    }

    const double window = wall[1] - wall[0];
    const double perMinute = bench::PerMinute(ours[0], ours[1], window);
    platform::CaptureStats stats;
    if (auto* st = dynamic_cast<platform::CaptureStatsSource*>(device.get())) stats = st->captureStats();
    // The timers' share is the main thread's; the rest is the device layer's driver thread.
    std::printf("orvane window_s=%.1f audio_s=%.1f cpu_s_per_min=%.4f timer_thread_cpu_s=%.6f dropped_frames=%llu "
                "overruns=%llu messages=%d syncs=%llu longest_tick_ms=%.2f\n",
                window, (blocks[1] - blocks[0]) / 10.0, perMinute, mainCpu[1] - mainCpu[0],
                static_cast<unsigned long long>(stats.framesDropped),
                static_cast<unsigned long long>(stats.overruns), view.messages,
                static_cast<unsigned long long>(syncs), longestTickMs);
    bool refsRan = true;
    for (size_t i = 0; i < refs.size(); ++i) {
        const double theirs = bench::PerMinute(ref[0][i], ref[1][i], window);
        const std::string& name = refs[i]->Name();
        // Still running at the end, and it wrote what it captured.
        const bool ran = refs[i]->Stop() && theirs > 0 && FileSize(folder + "/" + name + ".raw") > 0;
        std::printf("%s window_s=%.1f cpu_s_per_min=%.4f ratio (orvane / %s)=%.2f\n", name.c_str(), window, theirs,
                    name.c_str(), ran ? perMinute / theirs : 0.0);
        platform::removeFile(folder + "/" + name + ".raw");
        refsRan = refsRan && ran;
    }
    platform::removeFile(cap.RawFileName);
    return view.messages == 0 && perMinute > 0 && refsRan ? 0 : 1;
}
