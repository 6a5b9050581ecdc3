// Export speed against reference tools on the same raw input, in one run:
// WAV export in the recording's own format against copies of the input: cat
// then sync of its file (a copy on the disk, as our save ends with one), cat
// and cp (copies left in the page cache); the other WAV formats against sox
// making the same file (same rate, channels and bits, by the same conversion:
// the left channel, every second or fourth frame, no dither), its file synced
// as ours is; MP3 export against the lame command line with the same settings
// (our path's overhead over the library itself). Every tool writes its file to
// the disk; each figure is the median of three or more runs, the tools taking
// turns in a rotating order, wall time and CPU time (user and system, ours and
// the tool's processes alike). After the runs the WAV outputs are compared
// sample by sample, the MP3 outputs byte by byte.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <sys/resource.h>
#include <unistd.h>

#include "export/mp3_save.h"
#include "export/save_job.h"
#include "export/wav_save.h"
#include "platform/raw_file.h"
#include "record/format.h"

namespace {

using namespace orv;

struct Cost {
    double wall = 0, cpu = 0;
};

// CPU seconds of this process and of its waited-for children so far.
double CpuSeconds() {
    double total = 0;
    for (int who : {RUSAGE_SELF, RUSAGE_CHILDREN}) {
        rusage u{};
        ::getrusage(who, &u);
        total += double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
    }
    return total;
}

Cost Measure(const std::function<void()>& run) {
    const double cpu0 = CpuSeconds();
    const auto t0 = std::chrono::steady_clock::now();
    run();
    return {std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count(), CpuSeconds() - cpu0};
}

// The median time of each task over runs rounds, the tasks taking turns and
// each round starting with the next one, so that a change in the machine's
// load falls on all alike. Before each run, untimed, prepare removes the
// outputs of earlier runs (every task writes a file that did not exist:
// deleting an older file of 635 MB costs as much as writing one), and no run
// pays for the write-back of another's output.
std::vector<Cost> MedianInTurn(int runs, const std::function<void()>& prepare,
                               const std::vector<std::function<void()>>& tasks) {
    std::vector<std::vector<double>> walls(tasks.size()), cpus(tasks.size());
    for (int i = 0; i < runs; ++i) {
        for (size_t k = 0; k < tasks.size(); ++k) {
            const size_t t = (size_t(i) + k) % tasks.size();
            prepare();
            ::sync();
            const Cost c = Measure(tasks[t]);
            walls[t].push_back(c.wall);
            cpus[t].push_back(c.cpu);
        }
    }
    auto median = [](std::vector<double>& v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    std::vector<Cost> medians;
    for (size_t t = 0; t < tasks.size(); ++t) medians.push_back({median(walls[t]), median(cpus[t])});
    return medians;
}

// A WAV file's format and where its samples are.
struct WavData {
    uint32_t rate = 0;
    uint16_t channels = 0, bits = 0;
    int64_t offset = 0, bytes = 0;
};

bool ReadWav(const std::string& path, WavData& w) {
    platform::RawFile f;
    if (!f.open(path, platform::RawFile::Mode::Read)) return false;
    uint8_t h[12];
    if (f.readAt(0, h, 12) != 12 || std::memcmp(h, "RIFF", 4) != 0 || std::memcmp(h + 8, "WAVE", 4) != 0) return false;
    for (int64_t at = 12; at + 8 <= f.size();) {
        uint8_t c[24];
        if (f.readAt(uint64_t(at), c, 8) != 8) return false;
        const int64_t size = int64_t(c[4]) | int64_t(c[5]) << 8 | int64_t(c[6]) << 16 | int64_t(c[7]) << 24;
        if (std::memcmp(c, "fmt ", 4) == 0 && f.readAt(uint64_t(at + 8), c + 8, 16) == 16) {
            w.channels = uint16_t(c[10] | c[11] << 8);
            w.rate = uint32_t(c[12]) | uint32_t(c[13]) << 8 | uint32_t(c[14]) << 16 | uint32_t(c[15]) << 24;
            w.bits = uint16_t(c[22] | c[23] << 8);
        } else if (std::memcmp(c, "data", 4) == 0) {
            w.offset = at + 8;
            w.bytes = std::min(size, f.size() - w.offset);
            return w.rate != 0;
        }
        at += 8 + size + (size & 1);
    }
    return false;
}

// Whether both files hold the same samples; says how they differ when not,
// in all and within the first block (framesPerBlock frames): at 11025 Hz our
// blocks keep 1102 or 1103 frames of 4410, so a plain decimation drifts from
// ours from the second block on, while the first shows the conversion itself.
std::string CompareWav(const std::string& ours, const std::string& sox, uint32_t framesPerBlock) {
    WavData a, b;
    if (!ReadWav(ours, a) || !ReadWav(sox, b)) return "unreadable output";
    if (a.rate != b.rate || a.channels != b.channels || a.bits != b.bits) return "different formats";
    platform::RawFile fa, fb;
    fa.open(ours, platform::RawFile::Mode::Read);
    fb.open(sox, platform::RawFile::Mode::Read);
    const int sampleBytes = a.bits / 8;
    const int64_t common = std::min(a.bytes, b.bytes);
    std::vector<uint8_t> ba(1 << 20), bb(1 << 20);
    int64_t differ = 0, largest = 0, firstDiffer = 0, firstLargest = 0;
    const int64_t firstSamples = int64_t(framesPerBlock) * a.channels;
    for (int64_t at = 0; at < common; at += int64_t(ba.size())) {
        const size_t n = size_t(std::min<int64_t>(int64_t(ba.size()), common - at));
        if (fa.readAt(uint64_t(a.offset + at), ba.data(), n) != n || fb.readAt(uint64_t(b.offset + at), bb.data(), n) != n)
            return "short read";
        for (size_t i = 0; i + size_t(sampleBytes) <= n; i += size_t(sampleBytes)) {
            const int va = sampleBytes == 2 ? int(int16_t(ba[i] | ba[i + 1] << 8)) : int(ba[i]);
            const int vb = sampleBytes == 2 ? int(int16_t(bb[i] | bb[i + 1] << 8)) : int(bb[i]);
            if (va != vb) {
                ++differ;
                largest = std::max<int64_t>(largest, std::abs(va - vb));
                if ((at + int64_t(i)) / sampleBytes < firstSamples) {
                    ++firstDiffer;
                    firstLargest = std::max<int64_t>(firstLargest, std::abs(va - vb));
                }
            }
        }
    }
    const int64_t frameBytes = int64_t(a.channels) * sampleBytes;
    char text[300];
    if (differ == 0 && a.bytes == b.bytes) return "same samples";
    std::snprintf(text, sizeof text,
                  "frames ours %lld, sox %lld; %lld of %lld samples differ (by up to %lld); "
                  "first block: %lld of %lld differ (by up to %lld)",
                  static_cast<long long>(a.bytes / frameBytes), static_cast<long long>(b.bytes / frameBytes),
                  static_cast<long long>(differ), static_cast<long long>(common / sampleBytes),
                  static_cast<long long>(largest), static_cast<long long>(firstDiffer),
                  static_cast<long long>(firstSamples), static_cast<long long>(firstLargest));
    return text;
}

void Shell(const std::string& command) {
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "failed: %s\n", command.c_str());
        std::exit(1);
    }
}

// A music-like signal: two drifting tones plus a little noise, never silent.
bool MakeInput(const std::string& path, uint32_t blocks) {
    platform::RawFile f;
    if (!f.open(path, platform::RawFile::Mode::Create)) return false;
    std::vector<uint8_t> block(BlockBytes);
    uint32_t noise = 12345;
    uint64_t frame = 0;
    for (uint32_t b = 0; b < blocks; ++b) {
        for (uint32_t i = 0; i < BlockFrames; ++i, ++frame) {
            noise = noise * 1664525u + 1013904223u;
            const int n = static_cast<int>(noise >> 22) - 512;
            const int l = static_cast<int>(((frame * 37) % 1200) * 20) - 12000 + n;
            const int r = static_cast<int>(((frame * 53) % 900) * 25) - 11250 - n;
            PutSample(&block[i * 4], static_cast<int16_t>(l));
            PutSample(&block[i * 4 + 2], static_cast<int16_t>(r));
        }
        if (f.write(block.data(), block.size()) != block.size()) return false;
    }
    return true;
}

void Row(const char* task, Cost ours, const char* refName, Cost ref) {
    std::printf("%-34s ours %7.2f s (cpu %5.2f)  %-10s %7.2f s (cpu %5.2f)  ratio %5.2f (cpu %5.2f)\n", task, ours.wall,
                ours.cpu, refName, ref.wall, ref.cpu, ours.wall / ref.wall, ref.cpu > 0 ? ours.cpu / ref.cpu : 0.0);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s WORK_FOLDER [WAV_MINUTES] [MP3_MINUTES]\n", argv[0]);
        return 2;
    }
    const std::string dir = argv[1];
    const uint32_t wavMinutes = argc > 2 ? static_cast<uint32_t>(std::atoi(argv[2])) : 60;
    const uint32_t mp3Minutes = argc > 3 ? static_cast<uint32_t>(std::atoi(argv[3])) : 10;
    const std::string input = dir + "/input.raw";
    const std::string mp3Input = dir + "/input-mp3.raw";
    const uint32_t wavBlocks = wavMinutes * 600;
    const uint32_t mp3Blocks = mp3Minutes * 600;
    if (!MakeInput(input, wavBlocks) || !MakeInput(mp3Input, mp3Blocks)) {
        std::fprintf(stderr, "cannot write the input in %s\n", dir.c_str());
        return 1;
    }
    const std::string out = dir + "/out";
    const std::string q = "'";

    std::printf("WAV export of %u min (%u blocks)\n", wavMinutes, wavBlocks);
    const auto runCat = [&] { Shell("cat " + q + input + q + " > " + q + out + ".cat" + q); };
    platform::RawFile source;
    if (!source.open(input, platform::RawFile::Mode::Read)) return 1;
    const std::vector<Piece> whole{{1, wavBlocks, 1, true}};
    struct WavCase {
        const char* name;
        WavParameters format;
        const char* soxArgs;  // output options and effects matching the conversion
    };
    // sox is told the output rate and reaches it as we do: the left channel
    // (remix 1) of every second or fourth frame (downsample, no filter).
    const WavCase cases[] = {
        {"WAV 44100 Hz stereo 16 bit", {44100, 2, 16}, "-r 44100 -c 2 -b 16 -e signed-integer"},
        {"WAV 22050 Hz mono 16 bit", {22050, 1, 16}, "-r 22050 -c 1 -b 16 -e signed-integer REPLACE remix 1 downsample 2"},
        {"WAV 11025 Hz mono 8 bit", {11025, 1, 8}, "-r 11025 -c 1 -b 8 -e unsigned-integer REPLACE remix 1 downsample 4"},
    };
    for (const WavCase& c : cases) {
        SaveProgress progress;
        const auto removeOutputs = [&] {
            platform::removeFile(out + ".wav");
            platform::removeFile(out + ".sox.wav");
            platform::removeFile(out + ".cat");
        };
        std::string args = c.soxArgs;
        const std::string target = q + out + ".sox.wav" + q;
        const auto mark = args.find("REPLACE");
        args = mark == std::string::npos ? args + " " + target : args.replace(mark, 7, target);
        const bool own = WavLayoutFor(c.format)->BytesPerBlock == BlockBytes;
        const auto runOurs = [&] {
            // The whole save: temporary file beside the target, synced, renamed into place.
            const SaveJob job{whole, {1, wavBlocks}, true, c.format, {}, out + ".wav"};
            const SaveResult r = RunSaveJob(job, {&source, nullptr}, progress, {});
            if (!r.ok()) {
                std::fprintf(stderr, "%s\n", r.message.c_str());
                std::exit(1);
            }
        };
        if (own) {
            // The same bytes by the system's own copies; sync FILE hands that one file to the disk.
            const std::vector<Cost> t = MedianInTurn(3, removeOutputs, {
                runOurs,
                [&] { Shell("cat " + q + input + q + " > " + q + out + ".cat" + q + " && sync " + q + out + ".cat" + q); },
                runCat,
                [&] { Shell("cp " + q + input + q + " " + q + out + ".cat" + q); }});
            Row(c.name, t[0], "cat + sync", t[1]);
            Row(c.name, t[0], "cat", t[2]);
            Row(c.name, t[0], "cp", t[3]);
        } else {
            const std::vector<Cost> t = MedianInTurn(3, removeOutputs, {
                runOurs,
                [&] {
                    Shell("sox -V1 -D -t raw -r 44100 -e signed-integer -b 16 -c 2 -L " + q + input + q + " -t wav " +
                          args + " 2>/dev/null && sync " + target);
                }});
            Row(c.name, t[0], "sox + sync", t[1]);
        }
        // Both made once more, untimed, and compared.
        removeOutputs();
        const SaveJob job{whole, {1, wavBlocks}, true, c.format, {}, out + ".wav"};
        if (!RunSaveJob(job, {&source, nullptr}, progress, {}).ok()) return 1;
        Shell("sox -V1 -D -t raw -r 44100 -e signed-integer -b 16 -c 2 -L " + q + input + q + " -t wav " + args +
              " 2>/dev/null");
        std::printf("%-34s %s\n", "",
                    CompareWav(out + ".wav", out + ".sox.wav", WavLayoutFor(c.format)->FramesPerBlock).c_str());
    }
    platform::removeFile(out + ".wav");
    platform::removeFile(out + ".sox.wav");
    platform::removeFile(out + ".cat");

    std::printf("MP3 export of %u min (%u blocks)\n", mp3Minutes, mp3Blocks);
    platform::RawFile mp3Source;
    if (!mp3Source.open(mp3Input, platform::RawFile::Mode::Read)) return 1;
    const std::vector<Piece> mp3Whole{{1, mp3Blocks, 1, true}};
    struct Mp3Case {
        const char* name;
        Mp3Parameters format;
        const char* lameArgs;
    };
    Mp3Parameters cbr;  // 128 kbps stereo
    Mp3Parameters vbr;
    vbr.Mp3Vbr = true;  // 32 to 320 kbps, quality 0
    const Mp3Case mp3Cases[] = {
        {"MP3 128 kbps CBR stereo", cbr, "-m s -b 128 -q 2 --nores -t -o"},
        {"MP3 VBR 32-320 quality 0 stereo", vbr, "-m s -V 0 -b 32 -B 320 -q 2 --nores -t -o"},
    };
    for (const Mp3Case& c : mp3Cases) {
        SaveProgress progress;
        const std::vector<Cost> t = MedianInTurn(3, [] {}, {
            [&] {
                const SaveJob job{mp3Whole, {1, mp3Blocks}, false, {}, c.format, out + ".mp3"};
                const SaveResult r = RunSaveJob(job, {&mp3Source, nullptr}, progress, platform::EncoderLoaderFor());
                if (!r.ok()) {
                    std::fprintf(stderr, "%s\n", r.message.c_str());
                    std::exit(1);
                }
            },
            [&] {
                Shell("lame --quiet -r -s 44.1 --bitwidth 16 --signed --little-endian " + std::string(c.lameArgs) +
                      " " + q + mp3Input + q + " " + q + out + ".lame.mp3" + q + " && sync " + q + out + ".lame.mp3" +
                      q);
            }});
        Row(c.name, t[0], "lame", t[1]);
        const bool same = std::system(("cmp -s " + q + out + ".mp3" + q + " " + q + out + ".lame.mp3" + q).c_str()) == 0;
        std::printf("%-34s ours %lld bytes, lame %lld bytes, %s\n", "",
                    static_cast<long long>(platform::fileSize(out + ".mp3")),
                    static_cast<long long>(platform::fileSize(out + ".lame.mp3")),
                    same ? "identical" : "different: the row compares only the time of the same settings");
    }
    return 0;
}
