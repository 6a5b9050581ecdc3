// CPU cost of the main window with every display drawing: the real window
// (offscreen) on the real "default" device, driven by its own timers, first
// monitoring and then recording for the given seconds each. Prints the
// process's CPU seconds (all threads) per minute of each phase, the window
// thread's share, and the time spent inside the drawing hooks; run.sh
// compares them with arecord capturing the same minute.
// Usage: orv_display_bench WORK_FOLDER SECONDS
#include <sys/resource.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "platform/input_mixer.h"
#include "platform/raw_file.h"
#include "platform/source_name.h"
#include "platform/system.h"
#include "platform/wave_in.h"
#include "shell/app_state.h"
#include "shell/form_main.h"

namespace {

double CpuSeconds(int who = RUSAGE_SELF) {
    rusage ru{};
    getrusage(who, &ru);
    return double(ru.ru_utime.tv_sec) + ru.ru_utime.tv_usec / 1e6 + double(ru.ru_stime.tv_sec) +
           ru.ru_stime.tv_usec / 1e6;
}

// No user: messages go to stderr and count as a failed run.
class BenchDialogs final : public orv::Dialogs {
public:
    void Message(const std::string& text) override {
        std::fprintf(stderr, "message: %s\n", text.c_str());
        ++messages;
    }
    bool Confirm(const std::string&) override { return true; }
    std::string InputBox(const std::string&, const std::string&, const std::string& d) override { return d; }
    std::string SaveFileName(const std::string&, const std::string&, const std::string&) override { return {}; }
    int messages = 0;
};

class NoLauncher final : public orv::Launcher {
public:
    bool Start(const std::string&, const std::vector<std::string>&) override { return false; }
    bool OpenPath(const std::string&) override { return false; }
    bool HasProgram(const std::string&) override { return false; }
};

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s WORK_FOLDER SECONDS\n", argv[0]);
        return 2;
    }
    const std::string folder = argv[1];
    int seconds = std::atoi(argv[2]);

    // As the program makes them: the device named after the server's default source.
    auto waveIn = orv::platform::makeAlsaWaveIn("default", orv::platform::makePulseSourceNames());
    auto mixer = orv::platform::makeAlsaInputMixer("default");
    orv::platform::SystemClock clock;
    orv::platform::StatvfsFreeSpace freeSpace;
    BenchDialogs dialogs;
    NoLauncher launcher;
    orv::AppSeams seams{*waveIn, *mixer, clock, freeSpace, dialogs, launcher, folder + "/orvane-recorder",
                        folder, folder};
    auto state = std::make_unique<orv::AppState>();
    orv::TFormMain w(seams, *state);
    w.show();
    if (!state->Capture.CaptureOpen) {
        std::fprintf(stderr, "the device did not open\n");
        return 1;
    }

    struct Phase {
        const char* name;
        double cpu, windowCpu, wall;
    };
    Phase phases[2] = {{"monitor", 0, 0, 0}, {"record", 0, 0, 0}};
    auto run = [&](Phase& p) {
        const double c0 = CpuSeconds(), m0 = CpuSeconds(RUSAGE_THREAD);
        QElapsedTimer t;
        t.start();
        QTimer::singleShot(seconds * 1000, &app, [] { QApplication::exit(0); });
        app.exec();
        p.cpu = CpuSeconds() - c0;
        p.windowCpu = CpuSeconds(RUSAGE_THREAD) - m0;
        p.wall = t.elapsed() / 1000.0;
    };
    // The first paints load fonts and draw the frames: start-up, not monitoring.
    Phase warmUp{"warm-up", 0, 0, 0};
    const int measured = seconds;
    seconds = 2;
    run(warmUp);
    seconds = measured;
    run(phases[0]);
    w.BtnRecordClick();
    if (!state->Capture.Recording) return 1;
    run(phases[1]);
    const uint32_t recorded = state->Capture.LastWrittenBlock;
    w.BtnStopClick();
    for (const Phase& p : phases)
        std::printf("orvane-%s cpu_s=%.6f wall_s=%.1f cpu_s_per_min=%.4f window_thread_cpu_s=%.6f\n", p.name, p.cpu,
                    p.wall, p.cpu / p.wall * 60, p.windowCpu);
    std::printf("recorded_blocks=%u messages=%d\n", recorded, dialogs.messages);
    orv::platform::removeFile(state->Capture.RawFileName);
    return dialogs.messages == 0 && recorded > 0 ? 0 : 1;
}
