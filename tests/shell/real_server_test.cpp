// The main window on the real "default" device of the test command's sound
// server: the server stopped and started again during monitoring and during
// a recording, another default source chosen, and termination signals sent
// to the program itself.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QMouseEvent>
#include <QTest>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <memory>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "platform/input_mixer.h"
#include "platform/raw_file.h"
#include "platform/source_name.h"
#include "platform/wave_in.h"
#include "platform/sound_server.h"
#include "shell/form_main.h"
#include "shell/ini_file.h"
#include "shell/program.h"
#include "support/fake_system.h"
#include "support/temp_dir.h"

extern char** environ;

namespace orv {
namespace {

int Shell(const std::string& command) {
    const std::string full = "cd '" ORV_SOURCE_DIR "' && source scripts/sound-server.sh && " + command;
    const int status = std::system(("bash -c \"" + full + "\" >/dev/null 2>&1").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int RelaunchServer() { return Shell("relaunch_sound_server '" ORV_BIN_DIR "/orv_counting_signal'"); }

bool WaitFor(const std::function<bool()>& done, int millis) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > millis) return false;
        QTest::qWait(20);
    }
    return true;
}

std::string ReadAll(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), {}};
}

// What the server itself says, through pactl.
std::string Output(const std::string& command) {
    std::string out;
    if (FILE* p = popen((command + " 2>/dev/null").c_str(), "r")) {
        char buf[256];
        while (std::fgets(buf, sizeof buf, p)) out += buf;
        pclose(p);
    }
    return out;
}

// The default source back on the null sink's monitor, unmuted, and the second
// sink a test loaded gone (by module number: pactl takes no sink name there).
void RestoreDefaultSource() {
    Output("pactl set-default-source orv_null.monitor; pactl set-source-mute orv_null.monitor 0;"
           " for m in $(pactl list short modules | grep orv_other | cut -f1); do pactl unload-module $m; done");
}

// The counting signal runs on without a lost, repeated or reordered frame
// (silence from a starved server aside). Empty when it does, else why not.
std::string CountingBreaks(const std::string& raw) {
    const std::string data = ReadAll(raw);
    const size_t frames = data.size() / 4;
    auto sample = [&](size_t byte) { return uint16_t(uint8_t(data[byte]) | uint8_t(data[byte + 1]) << 8); };
    auto counting = [&](size_t i) { return sample(4 * i) == uint16_t(~sample(4 * i + 2)); };
    size_t first = 0;
    while (first < frames && !counting(first)) ++first;
    if (first >= frames) return "no counting signal";
    uint16_t expect = uint16_t(sample(4 * first) + 1);
    for (size_t i = first + 1; i < frames; ++i) {
        const uint16_t l = sample(4 * i), r = sample(4 * i + 2);
        if (l == 0 && r == 0) continue;
        if (!counting(i) || l != expect) return "break at frame " + std::to_string(i);
        expect = uint16_t(l + 1);
    }
    return {};
}

// Through each backend, as the program makes it.
class RealServer : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        ORV_SKIP_WITHOUT_SOUND_SERVER();
        ::setenv("ORV_SOUND_BACKEND", GetParam(), 1);
        device = platform::makeWaveIn(platform::chooseSoundBackend(), platform::makePulseSourceNames());
        if (device->getNumDevs() == 0) GTEST_SKIP() << GetParam() << " cannot capture here";
        ASSERT_TRUE(platform::makeDir(dir.file("Orvane Recorder")));
        mixer = platform::makeInputMixer(*device);
        seams = std::make_unique<AppSeams>(AppSeams{*device, *mixer, clock, freeSpace, dialogs, launcher,
                                                    dir.file("orvane-recorder"), dir.path(), dir.path()});
        window = std::make_unique<TFormMain>(*seams, state);
    }

    void TearDown() override {
        window.reset();
        ::unsetenv("ORV_SOUND_BACKEND");
        // Whatever happened, the next test finds the server as the test command left it.
        if (Shell("pactl info") != 0) RelaunchServer();
    }

    bool Monitoring(int millis) {
        const uint32_t from = state.Capture.CaptureOpen ? state.Capture.LastBlockSeen : 0;
        return WaitFor([&] { return state.Capture.CaptureOpen && state.Capture.LastBlockSeen > from + 5; }, millis);
    }

    test::TempDir dir;
    std::unique_ptr<platform::WaveIn> device;
    std::unique_ptr<platform::InputMixer> mixer;
    platform::SystemClock clock;
    test::GivenFreeSpace freeSpace;
    test::ScriptedDialogs dialogs;
    test::RecordingLauncher launcher;
    std::unique_ptr<AppSeams> seams;
    AppState state;
    std::unique_ptr<TFormMain> window;
};

TEST_P(RealServer, StoppedAndStartedAgainDuringMonitoringAndRecording) {
    const platform::SourceLookup source = platform::makePulseSourceNames()->defaultSource();
    ASSERT_EQ(source.result, platform::SourceLookup::Result::Named);
    ASSERT_TRUE(Monitoring(5000));
    EXPECT_EQ(window->windowTitle().toStdString(), "Orvane Recorder - " + platform::CapsNameOf(source.description));

    // Monitoring only: nothing to tell; it comes back with the server.
    ASSERT_EQ(Shell("pactl exit"), 0);
    EXPECT_TRUE(WaitFor([&] { return !state.Capture.CaptureOpen; }, 5000));
    ASSERT_EQ(RelaunchServer(), 0);
    EXPECT_TRUE(Monitoring(10000)) << "monitoring did not come back";
    EXPECT_TRUE(dialogs.messages.empty()) << dialogs.messages[0];

    // Recording: stopped with a message, every block kept, monitoring back.
    window->BtnRecordClick();
    ASSERT_TRUE(state.Capture.Recording);
    QTest::qWait(3000);
    ASSERT_EQ(Shell("pactl exit"), 0);
    ASSERT_TRUE(WaitFor([&] { return !state.Capture.Recording; }, 5000));
    ASSERT_EQ(dialogs.messages.size(), 1u);
    RecordProperty("stop_message", dialogs.messages[0]);
    EXPECT_EQ(dialogs.messages[0].rfind("Recording was stopped", 0), 0u) << dialogs.messages[0];
    const std::string raw = state.Shell.Files.RawFileName;
    const int64_t size = platform::fileSize(raw);
    EXPECT_EQ(size % BlockBytes, 0);
    EXPECT_EQ(int64_t(state.Capture.TotalBlocks), size / BlockBytes);
    EXPECT_GE(size / BlockBytes, 20);
    EXPECT_EQ(CountingBreaks(raw), "");
    ASSERT_EQ(RelaunchServer(), 0);
    EXPECT_TRUE(Monitoring(10000)) << "monitoring did not come back after the recording";
    EXPECT_EQ(dialogs.messages.size(), 1u);
    EXPECT_TRUE(launcher.started.empty()) << "the same source came back: no restart";
    EXPECT_EQ(platform::fileSize(raw), size);
}

TEST_P(RealServer, AnotherDefaultSourceRestartsTheProgram) {
    ASSERT_TRUE(Monitoring(5000));
    ASSERT_EQ(Shell("pactl load-module module-null-sink sink_name=orv_other "
                    "sink_properties=device.description=Other && pactl set-default-source orv_other.monitor"),
              0);
    const bool restarted = WaitFor([&] { return !launcher.started.empty(); }, 8000);
    RestoreDefaultSource();
    ASSERT_TRUE(restarted);
    EXPECT_EQ(launcher.started[0][0], seams->ExecutablePath);
    ASSERT_FALSE(dialogs.messages.empty());
    EXPECT_EQ(dialogs.messages.back(), "The recording source is now Monitor of Other.\nThe program will be restarted.");
}


// The source our record stream is on: the only one recording from this server.
std::string CapturedSource() {
    const std::string index = Output("pactl list short source-outputs | cut -f2 | head -n1");
    if (index.empty()) return {};
    return Output("pactl list short sources | awk -F'\t' '$1 == " + index.substr(0, index.find('\n')) +
                  " {printf \"%s\", $2}'");
}

// The source's loudest channel in percent, and its mute, as the server says.
int Percent(const std::string& source) {
    return std::atoi(Output("pactl get-source-volume " + source + " | grep -o '[0-9]*%' | head -n1").c_str());
}
bool Muted(const std::string& source) { return Output("pactl get-source-mute " + source).find("yes") != std::string::npos; }

// The default source moved to a muted one while the sound settings stay open
// (so the restart waits): the caption names what is recorded, the knob sets
// that source's volume and no other, and a mute is switched only for a
// recording the user agreed to, and given back at its end.
TEST_P(RealServer, KnobCaptionAndMuteBelongToTheRecordedSource) {
    ASSERT_TRUE(Monitoring(5000));
    launcher.running = {"pavucontrol"};
    struct Ending {
        ~Ending() { RestoreDefaultSource(); }
    } ending;
    ASSERT_EQ(Shell("pactl load-module module-null-sink sink_name=orv_other sink_properties=device.description=OtherSink"
                    " && pactl set-source-volume orv_other.monitor 100% && pactl set-source-mute orv_other.monitor 1"),
              0);
    window->BtnRecordClick();
    ASSERT_TRUE(state.Capture.Recording);
    ASSERT_EQ(Shell("pactl set-default-source orv_other.monitor"), 0);
    ASSERT_TRUE(WaitFor([&] { return state.Capture.CurrentDeviceName == "Monitor of OtherSink"; }, 5000))
        << state.Capture.CurrentDeviceName;
    QTest::qWait(1500);  // the mixer is read once a second
    const std::string recorded = CapturedSource();
    ASSERT_FALSE(recorded.empty());
    const std::string other = recorded == "orv_null.monitor" ? "orv_other.monitor" : "orv_null.monitor";
    const std::string title = window->windowTitle().toStdString();
    RecordProperty("recorded_" + std::string(GetParam()), recorded);
    EXPECT_EQ(title.rfind(recorded == "orv_null.monitor" ? "Orvane Recorder - Monitor of Null Output"
                                                  : "Orvane Recorder - Monitor of OtherSink", 0), 0u) << title;
    if (recorded == "orv_null.monitor")
        EXPECT_NE(title.find("(new default: Monitor of OtherSink after Stop)"), std::string::npos) << title;
    // The knob dragged to a left edge; only the source heard takes the volume it stands for.
    auto knob = [&](int left, const std::string& heard, const std::string& notHeard) {
        const int before = Percent(notHeard);
        QTest::mousePress(window->ImageVol, Qt::LeftButton, {}, QPoint(5, 10));
        const int x = 5 + left - window->ImageVol->x();
        QMouseEvent drag(QEvent::MouseMove, QPointF(x, 10), QPointF(x, 10), Qt::NoButton, Qt::LeftButton, {});
        QApplication::sendEvent(window->ImageVol, &drag);
        QTest::mouseRelease(window->ImageVol, Qt::LeftButton, {}, QPoint(x, 10));
        const int want = int(VolumeForKnobLeft(left));
        EXPECT_TRUE(WaitFor([&] { return Percent(heard) == want; }, 3000)) << Percent(heard) << "% on " << heard;
        EXPECT_EQ(Percent(notHeard), before) << "the knob moved another source than the one heard";
    };
    knob(50, recorded, other);
    window->BtnStopClick();

    // Monitoring goes on from the new default, muted as it was set.
    ASSERT_TRUE(WaitFor([&] { return CapturedSource() == "orv_other.monitor"; }, 5000));
    knob(70, "orv_other.monitor", "orv_null.monitor");
    EXPECT_TRUE(WaitFor([&] { return window->windowTitle().toStdString() == "Orvane Recorder - Monitor of OtherSink (muted)"; },
                        5000))
        << window->windowTitle().toStdString();
    EXPECT_TRUE(Muted("orv_other.monitor"));
    // Switched on for a recording the user agreed to, and muted again at its end.
    MarkRecordingSaved(state.RecordingSaved);  // no question about the recording before
    dialogs.confirmAnswers = {true};
    window->BtnRecordClick();
    ASSERT_TRUE(state.Capture.Recording);
    EXPECT_EQ(dialogs.questions.back().rfind("Monitor of OtherSink is muted.", 0), 0u) << dialogs.questions.back();
    EXPECT_TRUE(WaitFor([&] { return !Muted("orv_other.monitor"); }, 3000));
    window->BtnStopClick();
    EXPECT_TRUE(WaitFor([&] { return Muted("orv_other.monitor"); }, 3000)) << "the mute was not given back";
    EXPECT_FALSE(Muted("orv_null.monitor"));
}

INSTANTIATE_TEST_SUITE_P(Backends, RealServer, ::testing::Values("alsa", "pulse"),
                         [](const auto& info) { return std::string(info.param); });

// The server answers a second late at start (stopped, then continued): the
// program waits for it, and capture records on it through its own protocol.
TEST(RealServerStart, AServerThatAnswersLateIsTheBackendOfTheRun) {
    ORV_SKIP_WITHOUT_SOUND_SERVER();
    test::TempDir dir;
    ASSERT_TRUE(platform::makeDir(dir.file("Orvane Recorder")));
    std::unique_ptr<Program> program;
    {
        test::StoppedServer stopped(1);
        ASSERT_TRUE(stopped.Stopped());
        program = std::make_unique<Program>(ProgramPlaces{"", dir.file("orvane-recorder"), dir.path(), dir.path()});
    }
    EXPECT_EQ(program->Backend(), platform::SoundBackend::Pulse);
    EXPECT_TRUE(WaitFor([&] { return program->State().Capture.CaptureOpen; }, 10000));
    EXPECT_EQ(Shell("pactl list source-outputs | grep -q 'media.name = .Recording'"), 0) << "not on the server";
}

// Runs a program with extra environment, its output on a pipe.
struct Child {
    pid_t pid = -1;
    int out = -1;
    std::string output;

    bool Start(const std::vector<std::string>& argv, const std::vector<std::string>& env) {
        int fds[2];
        if (::pipe(fds) != 0) return false;
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_adddup2(&fa, fds[1], 1);
        posix_spawn_file_actions_addclose(&fa, fds[0]);
        std::vector<std::string> envs = env;
        for (char** e = environ; *e; ++e) envs.emplace_back(*e);
        std::vector<char*> a, e;
        for (const auto& s : argv) a.push_back(const_cast<char*>(s.c_str()));
        for (const auto& s : envs) e.push_back(const_cast<char*>(s.c_str()));
        a.push_back(nullptr);
        e.push_back(nullptr);
        const int r = posix_spawn(&pid, a[0], &fa, nullptr, a.data(), e.data());
        posix_spawn_file_actions_destroy(&fa);
        ::close(fds[1]);
        out = fds[0];
        ::fcntl(out, F_SETFL, O_NONBLOCK);
        return r == 0;
    }
    void Read() {
        char buf[256];
        ssize_t n;
        while ((n = ::read(out, buf, sizeof buf)) > 0) output.append(buf, size_t(n));
    }
    bool WaitForOutput(const std::string& text, int millis) {
        return WaitFor(
            [&] {
                Read();
                return output.find(text) != std::string::npos;
            },
            millis);
    }
    // The exit status, or -1 when it did not end in time (it is killed then).
    int End(int millis) {
        int status = 0;
        const bool ended = WaitFor([&] { return ::waitpid(pid, &status, WNOHANG) == pid; }, millis);
        if (!ended) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
        }
        Read();
        ::close(out);
        return ended && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
};

TEST(RealServerSignals, TermDuringARecordingKeepsEveryBlockAndTheSettings) {
    ORV_SKIP_WITHOUT_SOUND_SERVER();
    test::TempDir dir;
    ASSERT_TRUE(platform::makeDir(dir.file("Orvane Recorder")));
    Child probe;
    ASSERT_TRUE(probe.Start({ORV_BIN_DIR "/orv_signal_probe", dir.path()}, {"QT_QPA_PLATFORM=offscreen"}));
    ASSERT_TRUE(probe.WaitForOutput("recording\n", 10000)) << probe.output;
    QTest::qWait(3000);
    ASSERT_EQ(::kill(probe.pid, SIGTERM), 0);
    ASSERT_EQ(probe.End(10000), 0) << probe.output;
    const size_t at = probe.output.find("blocks=");
    ASSERT_NE(at, std::string::npos) << probe.output;
    const long blocks = std::stol(probe.output.substr(at + 7));
    const std::string raw = dir.file("Orvane Recorder/Orvane.raw");
    EXPECT_GE(blocks, 5) << "hardly anything was recorded";
    EXPECT_EQ(platform::fileSize(raw), blocks * int64_t(BlockBytes)) << "not every captured block was kept";
    EXPECT_EQ(CountingBreaks(raw), "");
    EXPECT_TRUE(platform::fileExists(dir.file("orvane-recorder.INI")));
}

TEST(RealServerSignals, TheProgramItselfEndsOnTermAndKeepsItsSettingsFile) {
    ORV_SKIP_WITHOUT_SOUND_SERVER();
    test::TempDir dir;
    ASSERT_TRUE(platform::makeDir(dir.file("data")));
    ASSERT_TRUE(platform::makeDir(dir.file("data/Orvane Recorder")));
    // A copy of the executable: its settings file lands beside the copy.
    const std::string exe = dir.file("orvane-recorder");
    {
        std::ofstream(exe, std::ios::binary) << ReadAll(ORV_BIN_DIR "/orvane-recorder");
    }
    ASSERT_EQ(::chmod(exe.c_str(), 0755), 0);
    const std::string ini = exe + ".INI";
    std::ofstream(ini, std::ios::binary) << "; mine\r\n[Recording Mode]\r\nIndex=0x3\r\n[Elsewhere]\r\nKey=kept\r\n";
    Child program;
    ASSERT_TRUE(program.Start({exe}, {"QT_QPA_PLATFORM=offscreen", "XDG_DATA_HOME=" + dir.file("data"),
                                      "HOME=" + dir.path()}));
    QTest::qWait(3000);
    ASSERT_EQ(::kill(program.pid, SIGTERM), 0);
    EXPECT_EQ(program.End(10000), 0) << program.output;
    const std::string text = ReadAll(ini);
    EXPECT_EQ(text.rfind("; mine\r\n[Recording Mode]\r\nIndex=3\r\n[Elsewhere]\r\nKey=kept\r\n[Save Format]\r\n", 0), 0u)
        << text;
    EXPECT_EQ(ParseSettings(text).OutputFolder, dir.path());
}

}  // namespace
}  // namespace orv
