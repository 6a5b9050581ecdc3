// CPU cost of the main window with every display drawing: the real window
// on the window system run.sh gives it (an X server), on the real "default"
// device, driven by its own timers, first monitoring and then recording for
// the given seconds each. During each phase arecord captures the same source
// at the same moment, so that both sides see the same load of a shared
// machine. Prints the process's CPU seconds (all threads) per minute of each
// phase, the window thread's share, arecord's CPU per minute of audio it
// wrote, and their ratio.
// Usage: orv_display_bench WORK_FOLDER SECONDS [reference-first]
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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
#include "shell/program.h"

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

// The window thread's time in the kernel.
double SystemSeconds() {
    rusage ru{};
    getrusage(RUSAGE_THREAD, &ru);
    return double(ru.ru_stime.tv_sec) + ru.ru_stime.tv_usec / 1e6;
}

double Seconds(const rusage& ru) {
    return double(ru.ru_utime.tv_sec) + ru.ru_utime.tv_usec / 1e6 + double(ru.ru_stime.tv_sec) +
           ru.ru_stime.tv_usec / 1e6;
}

// arecord capturing the same default source into a file on the disk.
class Reference {
public:
    Reference(const std::string& file, int seconds) : file_(file) {
        const std::string d = std::to_string(seconds);
        const char* argv[] = {"arecord", "-q", "-D", "default", "-f", "S16_LE", "-r", "44100", "-c", "2",
                              "-t", "raw", "-d", d.c_str(), file_.c_str(), nullptr};
        if (posix_spawnp(&pid_, "arecord", nullptr, nullptr, const_cast<char* const*>(argv), environ) != 0) pid_ = -1;
    }
    // CPU seconds per minute of audio written; negative when it failed.
    double Finish() {
        if (pid_ < 0) return -1;
        int status = 0;
        rusage ru{};
        if (wait4(pid_, &status, 0, &ru) != pid_ || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
        struct stat st{};
        if (stat(file_.c_str(), &st) != 0 || st.st_size == 0) return -1;
        audio = double(st.st_size) / 176400;
        cpu = Seconds(ru);
        return cpu / audio * 60;
    }
    double cpu = 0, audio = 0;

private:
    std::string file_;
    pid_t pid_ = -1;
};

}  // namespace

int main(int argc, char** argv) {
    orv::PrepareWindowSystem();  // as the program does
    QApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s WORK_FOLDER SECONDS\n", argv[0]);
        return 2;
    }
    const std::string folder = argv[1];
    int seconds = std::atoi(argv[2]);
    // Which side starts first; run.sh alternates it from run to run.
    const bool referenceFirst = argc > 3 && std::string(argv[3]) == "reference-first";

    // As the program makes them: the device named after the server's default source.
    // The backend the program would choose (ORV_SOUND_BACKEND forces one).
    auto waveIn = orv::platform::makeWaveIn(orv::platform::chooseSoundBackend(), orv::platform::makePulseSourceNames());
    auto mixer = orv::platform::makeInputMixer(*waveIn);
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
        double cpu, windowCpu, windowSystem, wall, reference;
    };
    Phase phases[2] = {{"monitor", 0, 0, 0, 0, 0}, {"record", 0, 0, 0, 0, 0}};
    auto run = [&](Phase& p, bool withReference) {
        std::unique_ptr<Reference> ref;
        const std::string file = folder + "/arecord-" + p.name + ".raw";
        if (withReference && referenceFirst) ref = std::make_unique<Reference>(file, seconds);
        const double c0 = CpuSeconds(), m0 = CpuSeconds(RUSAGE_THREAD), s0 = SystemSeconds();
        QElapsedTimer t;
        t.start();
        if (withReference && !referenceFirst) ref = std::make_unique<Reference>(file, seconds);
        QTimer::singleShot(seconds * 1000, &app, [] { QApplication::exit(0); });
        app.exec();
        p.cpu = CpuSeconds() - c0;
        p.windowCpu = CpuSeconds(RUSAGE_THREAD) - m0;
        p.windowSystem = SystemSeconds() - s0;
        p.wall = t.elapsed() / 1000.0;
        // arecord counts its seconds from its first frame: it ends a little later.
        if (ref) p.reference = ref->Finish();
        orv::platform::removeFile(file);
    };
    // The first paints load fonts and draw the frames: start-up, not monitoring.
    Phase warmUp{"warm-up", 0, 0, 0, 0, 0};
    const int measured = seconds;
    seconds = 2;
    run(warmUp, false);
    seconds = measured;
    run(phases[0], true);
    w.BtnRecordClick();
    if (!state->Capture.Recording) return 1;
    run(phases[1], true);
    const uint32_t recorded = state->Capture.LastWrittenBlock;
    w.BtnStopClick();
    bool referenceRan = true;
    for (const Phase& p : phases) {
        const double ours = p.cpu / p.wall * 60;
        std::printf("%s orvane_cpu_s_per_min=%.4f arecord_cpu_s_per_min=%.4f ratio=%.2f window_thread_cpu_s=%.4f "
                    "(system %.4f)\n",
                    p.name, ours, p.reference, p.reference > 0 ? ours / p.reference : 0.0, p.windowCpu,
                    p.windowSystem);
        referenceRan = referenceRan && p.reference > 0;
    }
    std::printf("recorded_blocks=%u messages=%d platform=%s\n", recorded, dialogs.messages,
                qPrintable(QGuiApplication::platformName()));
    orv::platform::removeFile(state->Capture.RawFileName);
    return dialogs.messages == 0 && recorded > 0 && referenceRan ? 0 : 1;
}
