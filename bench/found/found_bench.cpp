// Peaks of a found recording: computing them block by block against the
// floor of any such computation, a plain read of the same bytes: `cat` to
// /dev/null (a process of its own, as ours is measured from its start) and
// a read of the file in this process in blocks of the same size; and loading
// them from a fitting summary at several lengths against reading the same
// summary file whole into memory in this process (both in-process: the floor
// of any loader).
// Usage: orv_found_bench WORK_FOLDER [MINUTES]
// Prints CPU and wall seconds of each and the ratios (ours / reference);
// every figure is a median of runs taken in turn.
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
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

// The summary file read whole, as a loader that does nothing else would.
Cost ReadWhole(const std::string& path, std::vector<uint8_t>& into) {
    const double cpu = SelfCpu(), wall = Now();
    platform::RawFile f;
    if (!f.open(path, platform::RawFile::Mode::Read)) std::exit(1);
    into.resize(size_t(f.size()));
    if (f.readAt(0, into.data(), into.size()) != into.size()) std::exit(1);
    f.close();
    return {SelfCpu() - cpu, Now() - wall};
}

// The file read from start to end a block at a time into one buffer.
Cost ReadInBlocks(const std::string& path, std::vector<uint8_t>& block) {
    const double cpu = SelfCpu(), wall = Now();
    platform::RawFile f;
    if (!f.open(path, platform::RawFile::Mode::Read)) std::exit(1);
    for (uint64_t at = 0, size = uint64_t(f.size()); at < size; at += block.size())
        if (f.readAt(at, block.data(), block.size()) == 0) std::exit(1);
    f.close();
    return {SelfCpu() - cpu, Now() - wall};
}

Cost Median(std::vector<Cost> v) {
    std::sort(v.begin(), v.end(), [](const Cost& a, const Cost& b) { return a.wall < b.wall; });
    return v[v.size() / 2];
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
    std::vector<Cost> oursRuns, catRuns, readRuns;
    std::vector<uint8_t> block(BlockBytes);
    for (int k = 0; k < 3; ++k) {
        const auto references = [&] {
            catRuns.push_back(Run({"cat", raw}));
            readRuns.push_back(ReadInBlocks(raw, block));
        };
        if (k % 2 == 1) references();
        platform::removeFile(summary);
        const Loaded l = Load(raw, summary, buffers);
        if (l.result.SummaryRead) return 1;
        oursRuns.push_back(l.cost);
        if (k % 2 == 0) references();
    }
    const Cost ours = Median(oursRuns), cat = Median(catRuns), read = Median(readRuns);
    std::printf("compute %u min (median of 3): orvane cpu_s=%.3f wall_s=%.3f  cat cpu_s=%.3f wall_s=%.3f  "
                "ratio cpu=%.2f wall=%.2f\n",
                minutes, ours.cpu, ours.wall, cat.cpu, cat.wall, ours.cpu / cat.cpu, ours.wall / cat.wall);
    std::printf("compute %u min (median of 3): orvane cpu_s=%.3f wall_s=%.3f  read in-process cpu_s=%.3f wall_s=%.3f  "
                "ratio cpu=%.2f wall=%.2f\n",
                minutes, ours.cpu, ours.wall, read.cpu, read.wall, ours.cpu / read.cpu, ours.wall / read.wall);

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
        std::vector<Cost> loads, reads;
        std::vector<uint8_t> bytes;
        for (int k = 0; k < 5; ++k) {
            if (k % 2 == 1) reads.push_back(ReadWhole(s, bytes));
            const Loaded l = Load(r, s, buffers);
            if (!l.result.SummaryRead) return 1;
            loads.push_back(l.cost);
            if (k % 2 == 0) reads.push_back(ReadWhole(s, bytes));
        }
        const Cost load = Median(loads), read = Median(reads);
        std::printf("summary %u min (%u blocks, median of 5): orvane load wall_s=%.6f (%.1f ns/block)  "
                    "read whole wall_s=%.6f  ratio wall=%.2f\n",
                    m, m * 600, load.wall, load.wall / (m * 600) * 1e9, read.wall, load.wall / read.wall);
        platform::removeFile(r);
        platform::removeFile(s);
    }
    platform::removeFile(raw);
    platform::removeFile(summary);
    return 0;
}
