// Export speed against reference tools on the same raw input, in one run:
// WAV export against sox doing the same conversion and cat copying the input
// (the disk's limit); MP3 export against the lame command line with the same
// settings (our path's overhead over the library itself).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <unistd.h>

#include "export/mp3_save.h"
#include "export/save_job.h"
#include "export/wav_save.h"
#include "platform/raw_file.h"
#include "record/format.h"

namespace {

using namespace orv;

double Seconds(const std::function<void()>& run) {
    const auto t0 = std::chrono::steady_clock::now();
    run();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// Best of a few runs, so one stall of the disk does not decide the ratio.
// Each run starts with no dirty pages left by the one before, so that no
// tool pays for the write-back of another's output.
double Best(int runs, const std::function<void()>& run) {
    double best = 1e30;
    for (int i = 0; i < runs; ++i) {
        ::sync();
        best = std::min(best, Seconds(run));
    }
    return best;
}

// Best of a few runs of two tasks taken in turn, so that a change in the
// machine's load falls on both alike. Before each run, untimed, prepare
// removes the outputs of earlier runs: both tasks write a file that did not
// exist (deleting an older file of 635 MB costs as much as writing one).
std::pair<double, double> BestInTurn(int runs, const std::function<void()>& prepare, const std::function<void()>& a,
                                     const std::function<void()>& b) {
    double bestA = 1e30, bestB = 1e30;
    for (int i = 0; i < runs; ++i) {
        prepare();
        ::sync();
        bestA = std::min(bestA, Seconds(a));
        prepare();
        ::sync();
        bestB = std::min(bestB, Seconds(b));
    }
    return {bestA, bestB};
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

void Row(const char* task, double ours, const char* refName, double ref) {
    std::printf("%-34s ours %7.2f s  %-5s %7.2f s  ratio %5.2f\n", task, ours, refName, ref, ours / ref);
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
    const WavCase cases[] = {
        {"WAV 44100 Hz stereo 16 bit", {44100, 2, 16}, "-b 16 -e signed-integer"},
        {"WAV 22050 Hz mono 16 bit", {22050, 1, 16}, "-b 16 -e signed-integer REPLACE remix 1 downsample 2"},
        {"WAV 11025 Hz mono 8 bit", {11025, 1, 8}, "-b 8 -e unsigned-integer REPLACE remix 1 downsample 4"},
    };
    for (const WavCase& c : cases) {
        SaveProgress progress;
        const auto removeOutputs = [&] {
            platform::removeFile(out + ".wav");
            platform::removeFile(out + ".cat");
        };
        const auto [ours, cat] = BestInTurn(5, removeOutputs, [&] {
            // The whole save: temporary file beside the target, renamed over the last run's file.
            const SaveJob job{whole, {1, wavBlocks}, true, c.format, {}, out + ".wav"};
            const SaveResult r = RunSaveJob(job, {&source, nullptr}, progress, {});
            if (!r.ok()) {
                std::fprintf(stderr, "%s\n", r.message.c_str());
                std::exit(1);
            }
        }, runCat);
        std::string args = c.soxArgs;
        const std::string target = q + out + ".sox.wav" + q;
        const auto mark = args.find("REPLACE");
        args = mark == std::string::npos ? args + " " + target : args.replace(mark, 7, target);
        const double sox = Best(2, [&] {
            Shell("sox -V1 -D -t raw -r 44100 -e signed-integer -b 16 -c 2 -L " + q + input + q + " -t wav " + args +
                  " 2>/dev/null");
        });
        Row(c.name, ours, "sox", sox);
        Row(c.name, ours, "cat", cat);
    }

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
        const double ours = Best(2, [&] {
            const SaveJob job{mp3Whole, {1, mp3Blocks}, false, {}, c.format, out + ".mp3"};
            const SaveResult r = RunSaveJob(job, {&mp3Source, nullptr}, progress, platform::EncoderLoaderFor());
            if (!r.ok()) {
                std::fprintf(stderr, "%s\n", r.message.c_str());
                std::exit(1);
            }
        });
        const double lame = Best(2, [&] {
            Shell("lame --quiet -r -s 44.1 --bitwidth 16 --signed --little-endian " + std::string(c.lameArgs) + " " +
                  q + mp3Input + q + " " + q + out + ".lame.mp3" + q);
        });
        Row(c.name, ours, "lame", lame);
        const bool same = std::system(("cmp -s " + q + out + ".mp3" + q + " " + q + out + ".lame.mp3" + q).c_str()) == 0;
        std::printf("%-34s ours %lld bytes, lame %lld bytes, %s\n", "",
                    static_cast<long long>(platform::fileSize(out + ".mp3")),
                    static_cast<long long>(platform::fileSize(out + ".lame.mp3")),
                    same ? "identical" : "different");
    }
    return 0;
}
