// Peaks of a found recording: computing them block by block against
// `sox <raw> -n stat` reading the same file in the same run, and loading them
// from a fitting summary at several lengths against `cat` of the summary.
// Usage: orv_found_bench WORK_FOLDER [MINUTES]
// Prints CPU and wall seconds of each and the ratios (ours / reference).
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <vector>

#include "platform/raw_file.h"
#include "record/found_recording.h"

using namespace orv;

namespace {

struct Cost {
    double cpu = 0, wall = 0;
};

double Seconds(const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; }

double SelfCpu() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return Seconds(u.ru_utime) + Seconds(u.ru_stime);
}

double Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

Cost Run(std::vector<std::string> args) {
    const double start = Now();
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage u{};
    wait4(pid, &status, 0, &u);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "%s failed\n", args[0].c_str());
        std::exit(1);
    }
    return {Seconds(u.ru_utime) + Seconds(u.ru_stime), Now() - start};
}

// A recording of the given length: a sweep with some noise, never silent.
void MakeRecording(const std::string& path, uint32_t blocks) {
    platform::RawFile f;
    if (!f.open(path, platform::RawFile::Mode::Create)) std::exit(1);
    std::vector<uint8_t> block(BlockBytes);
    uint32_t seed = 12345;
    for (uint32_t b = 0; b < blocks; ++b) {
        for (uint32_t i = 0; i < BlockFrames; ++i) {
            seed = seed * 1664525u + 1013904223u;
            const int l = int((b * 37 + i * 11) % 20000) - 10000 + int(seed >> 22);
            PutSample(&block[4 * i], int16_t(l));
            PutSample(&block[4 * i + 2], int16_t(-l / 2));
        }
        f.writeAt(uint64_t{b} * BlockBytes, block.data(), BlockBytes);
    }
}

struct Loaded {
    Cost cost;
    FoundLoadResult result;
};

Loaded Load(const std::string& raw, const std::string& summary, RecordBuffers& buffers) {
    CaptureState capture;
    FoundRecordingState found;
    BusyState busy;
    const double cpu = SelfCpu(), wall = Now();
    Loaded l;
    l.result = LoadFoundRecording(found, capture, buffers, busy, raw, summary, [](float) {});
    l.cost = {SelfCpu() - cpu, Now() - wall};
    if (l.result.Outcome != FoundLoad::Loaded) {
        std::fprintf(stderr, "load failed: %s\n", l.result.Message.c_str());
        std::exit(1);
    }
    return l;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s WORK_FOLDER [MINUTES]\n", argv[0]);
        return 2;
    }
    const std::string work = argv[1];
    const uint32_t minutes = argc > 2 ? uint32_t(std::atoi(argv[2])) : 60;
    RecordBuffers buffers;
    AllocateCaptureBuffers(buffers);

    // Computing: the same file, warm in the page cache for both.
    const std::string raw = work + "/test", summary = work + "/Orvane.spv";
    MakeRecording(raw, minutes * 600);
    Run({"cat", raw});
    platform::removeFile(summary);
    const Loaded ours = Load(raw, summary, buffers);
    if (ours.result.SummaryRead) return 1;
    const Cost sox = Run({"sox", "-t", "raw", "-r", "44100", "-e", "signed", "-b", "16", "-c", "2", raw, "-n", "stat"});
    std::printf("compute %u min: orvane cpu_s=%.3f wall_s=%.3f  sox-stat cpu_s=%.3f wall_s=%.3f  ratio cpu=%.3f wall=%.3f\n",
                minutes, ours.cost.cpu, ours.cost.wall, sox.cpu, sox.wall, ours.cost.cpu / sox.cpu,
                ours.cost.wall / sox.wall);

    // Loading from a fitting summary: per block, at three lengths.
    for (uint32_t m : {1u, 10u, minutes}) {
        const std::string r = work + "/short", s = work + "/short.spv";
        {
            platform::RawFile f;
            f.open(r, platform::RawFile::Mode::Create);
            f.truncate(uint64_t{m} * 600 * BlockBytes);  // the summary path never reads the samples
        }
        std::string error;
        usleep(20000);  // file times tick coarser than this
        WritePeakSummary(buffers.Peaks, m * 600, s, error);
        Cost best{1e9, 1e9};
        for (int k = 0; k < 5; ++k) {
            const Loaded l = Load(r, s, buffers);
            if (!l.result.SummaryRead) return 1;
            if (l.cost.wall < best.wall) best = l.cost;
        }
        Cost cat{1e9, 1e9};
        for (int k = 0; k < 5; ++k) {
            const Cost c = Run({"cat", s});
            if (c.wall < cat.wall) cat = c;
        }
        std::printf("summary %u min (%u blocks): orvane wall_s=%.5f (%.1f ns/block)  cat wall_s=%.5f  ratio wall=%.3f\n",
                    m, m * 600, best.wall, best.wall / (m * 600) * 1e9, cat.wall, best.wall / cat.wall);
        platform::removeFile(r);
        platform::removeFile(s);
    }
    platform::removeFile(raw);
    platform::removeFile(summary);
    return 0;
}
