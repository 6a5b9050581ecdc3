// CPU cost of playing: the real playback device and the playback engine
// polled every 100 ms as the editor's play timer does, playing a raw
// recording from start to end. Prints the process's CPU seconds (all
// threads) per minute played, and how far the cursor (PlayPos) runs ahead
// of (+) or behind (−) what the device reports played, in milliseconds,
// sampled at every tick. run.sh compares the CPU with aplay.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "editor/operations.h"
#include "platform/raw_file.h"
#include "platform/wave_out.h"
#include "playback/wave_playback.h"

namespace {

using namespace orv;

double CpuSeconds(int who = RUSAGE_SELF) {
    rusage ru{};
    getrusage(who, &ru);
    return double(ru.ru_utime.tv_sec) + ru.ru_utime.tv_usec / 1e6 + double(ru.ru_stime.tv_sec) +
           ru.ru_stime.tv_usec / 1e6;
}

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

}  // namespace

int main(int argc, char** argv) {
    if (argc > 2 && std::string(argv[1]) == "--measure") return MeasureChild(argv + 2);
    if (argc > 3 && std::string(argv[1]) == "--make") return MakeRecording(argv[2], std::atoi(argv[3]));
    if (argc < 3) {
        std::fprintf(stderr,
                     "usage: %s RECORDING WORK_FOLDER [PCM]\n       %s --make RECORDING SECONDS\n"
                     "       %s --measure COMMAND...\n",
                     argv[0], argv[0], argv[0]);
        return 2;
    }
    platform::RawFile recording;
    if (!recording.open(argv[1], platform::RawFile::Mode::Read)) return 1;
    const std::string folder = argv[2];
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
    auto device = argc > 3 ? platform::makeAlsaWaveOut(argv[3]) : platform::makeWaveOut(platform::chooseSoundBackend());
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

    const double cpu0 = CpuSeconds(), main0 = CpuSeconds(RUSAGE_THREAD);
    const auto t0 = std::chrono::steady_clock::now();
    playback.StartPlayAll();
    std::vector<double> honesty;
    auto next = t0;
    for (int tick = 0; playback.State().Playing && tick < int(total) + 600; ++tick) {
        next += std::chrono::milliseconds(100);
        std::this_thread::sleep_until(next);
        playback.PollPlayback();
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
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    const double cpu = CpuSeconds() - cpu0;
    const double mainCpu = CpuSeconds(RUSAGE_THREAD) - main0;
    platform::PlaybackStats s;
    if (stats) s = stats->playbackStats();
    playback.ClosePlayback();
    CloseEditor(editor);

    double mean = 0, lo = 0, hi = 0;
    if (!honesty.empty()) {
        for (double h : honesty) mean += h;
        mean /= double(honesty.size());
        lo = *std::min_element(honesty.begin(), honesty.end());
        hi = *std::max_element(honesty.begin(), honesty.end());
    }
    const double audioSeconds = total / 10.0;
    std::printf("orvane cpu_s=%.6f audio_s=%.1f wall_s=%.1f cpu_s_per_audio_min=%.4f timer_thread_cpu_s=%.6f "
                "underruns=%llu messages=%d\n",
                cpu, audioSeconds, wall, audioSeconds > 0 ? cpu / audioSeconds * 60 : 0.0, mainCpu,
                static_cast<unsigned long long>(s.underruns), messages);
    std::printf("cursor_ms (PlayPos end minus device played; + ahead, - behind) mean=%.1f min=%.1f max=%.1f samples=%zu\n",
                mean, lo, hi, honesty.size());
    return messages == 0 && total > 0 ? 0 : 1;
}
