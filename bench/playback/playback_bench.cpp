// CPU cost of playing, against reference players started at the same moment
// on the same file, every side read over the same window once all are
// running (bench/side_cpu.h):
//  - the engine alone: the real playback device and the playback engine
//    polled every 100 ms as the editor's play timer does, beside aplay and
//    paplay; also how far the cursor (PlayPos) runs ahead of (+) or behind
//    (−) what the device reports played, in milliseconds, at every tick;
//  - --editor: the editor window shown on the window system (run.sh gives it
//    an X server), Play All pressed, its own play timer driving it, beside aplay.
// Prints CPU seconds (all threads) per minute of the window for each side
// and the ratios (ours / reference).
#include <sys/resource.h>

#include <QApplication>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_host.h"
#include "bench/side_cpu.h"
#include "editor/form_edit.h"
#include "editor/operations.h"
#include "platform/raw_file.h"
#include "platform/wave_out.h"
#include "playback/wave_playback.h"
#include "shell/program.h"

namespace {

using namespace orv;

double ThreadCpuSeconds() {
    rusage ru{};
    getrusage(RUSAGE_THREAD, &ru);
    return double(ru.ru_utime.tv_sec) + ru.ru_utime.tv_usec / 1e6 + double(ru.ru_stime.tv_sec) +
           ru.ru_stime.tv_usec / 1e6;
}

// A raw recording of the counting signal.
int MakeRecording(const std::string& path, int seconds) {
    platform::RawFile out;
    if (!out.open(path, platform::RawFile::Mode::Create)) return 1;
    std::vector<uint8_t> block(BlockBytes);
    uint16_t v = 0;
    for (int b = 0; b < seconds * 10; ++b) {
        for (uint32_t f = 0; f < BlockFrames; ++f, ++v) {
            PutSample(&block[4 * f], static_cast<int16_t>(v));
            PutSample(&block[4 * f + 2], static_cast<int16_t>(static_cast<uint16_t>(~v)));
        }
        if (out.write(block.data(), BlockBytes) != BlockBytes) return 1;
    }
    return 0;
}

std::vector<std::string> Aplay(const std::string& file) {
    return {"aplay", "-q", "-D", "default", "-f", "S16_LE", "-r", "44100", "-c", "2", "-t", "raw", file};
}
std::vector<std::string> Paplay(const std::string& file) {
    return {"paplay", "--raw", "--format=s16le", "--rate=44100", "--channels=2", file};
}

// Ours and the references, read at the window's start and end.
struct Window {
    std::vector<std::unique_ptr<bench::Side>> refs;
    double wall0 = 0, wall1 = 0, ours0 = 0, ours1 = 0, thread0 = 0, thread1 = 0;
    std::vector<double> ref0, ref1;

    static double Now() {
        return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
    }
    void Read(bool start) {
        (start ? wall0 : wall1) = Now();
        (start ? ours0 : ours1) = bench::ProcessCpuSeconds(0);
        (start ? thread0 : thread1) = ThreadCpuSeconds();
        std::vector<double>& r = start ? ref0 : ref1;
        r.clear();
        for (const auto& s : refs) r.push_back(s->Cpu());
    }
    // Prints the sides; false when a reference had ended before the window closed.
    bool Print(const char* mode, const std::string& extra) {
        const double wall = wall1 - wall0, ours = bench::PerMinute(ours0, ours1, wall);
        std::printf("%s window_s=%.1f orvane_cpu_s_per_min=%.4f", mode, wall, ours);
        bool ok = ours > 0;
        for (size_t i = 0; i < refs.size(); ++i) {
            const double ref = bench::PerMinute(ref0[i], ref1[i], wall);
            const bool ran = refs[i]->Stop() && ref > 0;
            std::printf(" %s_cpu_s_per_min=%.4f ratio_%s=%.2f", refs[i]->Name().c_str(), ref,
                        refs[i]->Name().c_str(), ran ? ours / ref : 0.0);
            ok = ok && ran;
        }
        std::printf(" main_thread_cpu_s=%.4f %s\n", thread1 - thread0, extra.c_str());
        return ok;
    }
};

int PlayEngine(const std::string& file, const std::string& folder, double warmUp, double seconds, const char* pcm) {
    platform::RawFile recording;
    if (!recording.open(file, platform::RawFile::Mode::Read)) return 1;
    const auto total = static_cast<uint32_t>(recording.size() / BlockBytes);
    EditorState editor;
    const EditResult opened = OpenEditor(editor, total, 0, false, folder + "/Edit.raw", folder + "/Clp.raw");
    if (!opened.Ok) {
        std::fprintf(stderr, "%s\n", opened.Message.c_str());
        return 1;
    }
    RecordBuffers buffers;
    AllocateCaptureBuffers(buffers);
    // The program's choice of backend (ORV_SOUND_BACKEND forces one), or the named ALSA PCM.
    auto device = pcm ? platform::makeAlsaWaveOut(pcm) : platform::makeWaveOut(platform::chooseSoundBackend());
    int messages = 0;
    WavePlayback playback(editor, recording, buffers,
                          PlaybackSeams{*device,
                                        [&](const std::string& m) {
                                            std::fprintf(stderr, "message: %s\n", m.c_str());
                                            ++messages;
                                        },
                                        {}, nullptr});
    playback.OpenPlayback();
    if (!playback.State().PlaybackOpen) return 1;
    auto* stats = dynamic_cast<platform::PlaybackStatsSource*>(device.get());

    Window w;
    const auto t0 = std::chrono::steady_clock::now();
    playback.StartPlayAll();
    w.refs.push_back(std::make_unique<bench::Side>(Aplay(file)));
    w.refs.push_back(std::make_unique<bench::Side>(Paplay(file)));
    std::vector<double> honesty;
    auto next = t0;
    bool started = false;
    for (int tick = 0; playback.State().Playing && tick < int(total) + 600; ++tick) {
        next += std::chrono::milliseconds(100);
        std::this_thread::sleep_until(next);
        playback.PollPlayback();
        const double since0 = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        if (!started && since0 >= warmUp) {
            w.Read(true);
            started = true;
        }
        if (started && since0 >= warmUp + seconds) {
            w.Read(false);
            break;
        }
        const PlaybackState& st = playback.State();
        if (!st.Playing || !stats || st.PlayPos <= st.PlayFrom) continue;
        // Played frames now: the layer's last measurement moved on to this moment.
        const platform::PlaybackStats s = stats->playbackStats();
        if (s.framesPlayed == 0) continue;
        const double since = std::chrono::duration<double>(std::chrono::steady_clock::now() - s.measuredAt).count();
        const double playedNow = std::min<double>(double(s.framesWritten), double(s.framesPlayed) + since * SampleRate);
        const double cursor = double(st.PlayPos - st.PlayFrom + 1) * BlockFrames;
        honesty.push_back((cursor - playedNow) * 1000.0 / SampleRate);
    }
    const bool whole = started && w.wall1 > 0 && playback.State().Playing;
    platform::PlaybackStats s;
    if (stats) s = stats->playbackStats();
    playback.ClosePlayback();
    CloseEditor(editor);
    if (!whole) {
        std::fprintf(stderr, "playback ended before the window closed\n");
        return 1;
    }
    const bool ok = w.Print("engine", "underruns=" + std::to_string(s.underruns) +
                                          " messages=" + std::to_string(messages));
    double mean = 0, lo = 0, hi = 0;
    if (!honesty.empty()) {
        for (double h : honesty) mean += h;
        mean /= double(honesty.size());
        lo = *std::min_element(honesty.begin(), honesty.end());
        hi = *std::max_element(honesty.begin(), honesty.end());
    }
    std::printf("cursor_ms (PlayPos end minus device played; + ahead, - behind) mean=%.1f min=%.1f max=%.1f samples=%zu\n",
                mean, lo, hi, honesty.size());
    return ok && messages == 0 ? 0 : 1;
}

int PlayEditor(int argc, char** argv, const std::string& file, const std::string& folder, double warmUp,
               double seconds) {
    PrepareWindowSystem();  // as the program does
    QApplication app(argc, argv);
    CaptureState cap;
    if (!cap.RawStream.open(file, platform::RawFile::Mode::Read)) return 1;
    cap.TotalBlocks = cap.LastWrittenBlock = static_cast<uint32_t>(cap.RawStream.size() / BlockBytes);
    RecordBuffers buffers;
    AllocateCaptureBuffers(buffers);
    ProcessingState processing;
    {
        // The display peaks the recording left, so that the view draws the real wave.
        std::vector<uint8_t> block(BlockBytes);
        for (uint32_t b = 1; b <= cap.TotalBlocks; ++b) {
            if (cap.RawStream.readAt(uint64_t{b - 1} * BlockBytes, block.data(), BlockBytes) != BlockBytes) return 1;
            for (uint32_t f = 0; f < BlockFrames; ++f) {
                buffers.LeftSamples[f] = SampleAt(&block[4 * f]);
                buffers.RightSamples[f] = SampleAt(&block[4 * f + 2]);
            }
            StoreBlockPeaks(processing, buffers.LeftSamples.data(), buffers.RightSamples.data(), buffers.Peaks, b);
        }
    }
    EditorState editor;
    ColourSchemeState colours;
    BusyState busy;
    // No user: messages go to stderr and count as a failed run.
    int messages = 0;
    BenchHost host([&](const std::string& text) {
        std::fprintf(stderr, "message: %s\n", text.c_str());
        ++messages;
    });
    auto device = platform::makeWaveOut(platform::chooseSoundBackend());
    WavePlayback playback(editor, cap.RawStream, buffers,
                          PlaybackSeams{*device, [&](const std::string& m) { host.Message(m); },
                                        [] { QCoreApplication::processEvents(); }, &busy});
    TFormEdit form(EditorWindowContext{editor, cap, buffers, processing, colours, busy, playback, host, folder,
                                       folder + "/Edit.raw", folder + "/Clp.raw", "."});
    form.show();
    Window w;
    // A moment for the window to be mapped and painted: showing is not playing.
    QTimer::singleShot(500, &form, [&] {
        form.SBtnPlayAllClick();
        w.refs.push_back(std::make_unique<bench::Side>(Aplay(file)));
        QTimer::singleShot(int(warmUp * 1000), Qt::PreciseTimer, &form, [&] { w.Read(true); });
        QTimer::singleShot(int((warmUp + seconds) * 1000), Qt::PreciseTimer, &form, [&] {
            w.Read(false);
            QApplication::exit(0);
        });
    });
    app.exec();
    const PlaybackState& ps = playback.State();
    const bool playing = ps.Playing;
    const uint32_t played = ps.PlayPos;
    form.close();
    if (!playing) {
        std::fprintf(stderr, "playback ended before the window closed\n");
        return 1;
    }
    const bool ok = w.Print("editor", "played_blocks=" + std::to_string(played) +
                                          " messages=" + std::to_string(messages) +
                                          " platform=" + QGuiApplication::platformName().toStdString());
    return ok && messages == 0 && played > 1 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 3 && std::string(argv[1]) == "--make") return MakeRecording(argv[2], std::atoi(argv[3]));
    if (argc > 5 && std::string(argv[1]) == "--editor")
        return PlayEditor(argc, argv, argv[2], argv[3], std::atof(argv[4]), std::atof(argv[5]));
    if (argc < 5) {
        std::fprintf(stderr,
                     "usage: %s RECORDING WORK_FOLDER WARM_UP_S SECONDS [PCM]\n"
                     "       %s --editor RECORDING WORK_FOLDER WARM_UP_S SECONDS\n"
                     "       %s --make RECORDING SECONDS\n",
                     argv[0], argv[0], argv[0]);
        return 2;
    }
    return PlayEngine(argv[1], argv[2], std::atof(argv[3]), std::atof(argv[4]), argc > 5 ? argv[5] : nullptr);
}
