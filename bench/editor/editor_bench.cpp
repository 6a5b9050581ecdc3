// Editor engine speed, each figure a ratio against a reference in the same run:
//  1. delete, cut, undo and redo on a 10-hour recording against a 1-minute one
//     (apart from the cut's two blocks the piece list is all they touch, so
//     the ratio should stay near 1);
//  2. normalize and fade-in of one hour against sox doing the same single pass
//     over the same samples (normalize as `vol` with our gain, since our peaks
//     are known; fade as a linear `fade`), without dither (-D), both writing
//     their output to the disk; median of three runs, the sides alternating.
// Usage: orv_editor_bench <scratch folder> [sox executable]
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "editor/operations.h"
#include "platform/raw_file.h"
#include "record/format.h"
#include "record/processing.h"

namespace {

using namespace orv;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

[[noreturn]] void Fail(const std::string& what) {
    std::fprintf(stderr, "editor_bench: %s\n", what.c_str());
    std::exit(1);
}

struct Engine {
    platform::RawFile recording;
    RecordBuffers buffers;
    ProcessingState processing;
    EditorState state;
    EditorContext context{recording, buffers.Peaks, buffers, processing, {}};

    Engine(const std::string& folder, const std::string& rawName, uint32_t blocks) {
        AllocateCaptureBuffers(buffers);
        if (!recording.open(folder + "/" + rawName, platform::RawFile::Mode::Read)) Fail("cannot open " + rawName);
        const EditResult opened = OpenEditor(state, blocks, 0, false, folder + "/Edit.raw", folder + "/Clp.raw");
        if (!opened.Ok) Fail(opened.Message);
    }
    ~Engine() { CloseEditor(state); }
};

struct HistoryTimes {
    double Edit;  // delete, undo, redo, undo
    double Cut;   // cut of two blocks (the smallest selection), undo
};

// Seconds per round at 64 places spread over the recording. The places are
// visited once before timing so both recordings read from the page cache and
// the figures compare the engine, not the disk.
HistoryTimes HistoryRound(const std::string& folder, uint32_t blocks, uint32_t rounds) {
    platform::RawFile f;
    if (!f.open(folder + "/Length.raw", platform::RawFile::Mode::Create) ||
        !f.truncate(BlockOffset(uint64_t{blocks} + 1)))
        Fail("cannot make the sparse recording");
    f.close();
    Engine e(folder, "Length.raw", blocks);
    std::vector<uint32_t> places(64);
    for (uint32_t i = 0; i < places.size(); ++i) places[i] = 1 + uint32_t(uint64_t{i} * (blocks - 2) / (places.size() - 1));
    auto select = [&](uint32_t r) {
        e.state.SelStart = places[r % places.size()];
        e.state.SelEnd = e.state.SelStart + 1;
    };
    auto cut = [&](uint32_t r) {
        select(r);
        if (!CutSelection(e.state, e.context).Ok) Fail("cut failed");
        UndoEdit(e.state);
    };
    for (uint32_t r = 0; r < places.size(); ++r) cut(r);

    HistoryTimes t{};
    auto start = Clock::now();
    for (uint32_t r = 0; r < rounds; ++r) {
        select(r);
        DeleteSelection(e.state);
        UndoEdit(e.state);
        RedoEdit(e.state);
        UndoEdit(e.state);
    }
    t.Edit = Seconds(start) / rounds;
    start = Clock::now();
    for (uint32_t r = 0; r < rounds; ++r) cut(r);
    t.Cut = Seconds(start) / rounds;
    platform::removeFile(folder + "/Length.raw");
    return t;
}

// One hour of a loud, varying signal with its peak tables.
void MakeHour(const std::string& path, RecordBuffers& b, ProcessingState& ps, uint32_t blocks) {
    platform::RawFile f;
    if (!f.open(path, platform::RawFile::Mode::Create)) Fail("cannot create " + path);
    std::vector<uint8_t> block(BlockBytes);
    std::vector<int16_t> l(BlockFrames), r(BlockFrames);
    std::mt19937 rng(11);
    std::uniform_int_distribution<int> noise(-500, 500);
    for (uint32_t k = 1; k <= blocks; ++k) {
        const double level = 6000 + 4000 * std::sin(k * 0.01);
        for (uint32_t i = 0; i < BlockFrames; ++i) {
            const double t = (double(k) * BlockFrames + i) / SampleRate;
            l[i] = static_cast<int16_t>(level * std::sin(2 * M_PI * 440 * t) + noise(rng));
            r[i] = static_cast<int16_t>(level * std::sin(2 * M_PI * 330 * t) + noise(rng));
            PutSample(&block[4 * i], l[i]);
            PutSample(&block[4 * i + 2], r[i]);
        }
        StoreBlockPeaks(ps, l.data(), r.data(), b.Peaks, k);
        if (f.writeAt(BlockOffset(k), block.data(), BlockBytes) != BlockBytes) Fail("cannot write " + path);
    }
}

double TimeSox(const std::string& command) {
    const auto start = Clock::now();
    if (std::system(command.c_str()) != 0) Fail("sox failed: " + command);
    return Seconds(start);
}

double TimeEffect(const std::string& folder, uint32_t blocks, const PeakTables& peaks, const char* effect) {
    Engine e(folder, "Hour.raw", blocks);
    e.buffers.Peaks = peaks;
    e.state.SelStart = 1;
    e.state.SelEnd = blocks;
    if (std::string(effect) == "FadeIn") PrepareFade(e.state, true);
    const auto start = Clock::now();
    const EditResult r = ApplyEffect(e.state, e.context, effect);
    const double t = Seconds(start);
    if (!r.Ok) Fail(r.Message);
    return t;
}

// The gain our normalize applies to the hour: sox is given it, so that both
// make one pass (sox's own `gain -n` reads the input twice).
float HourGain(const std::string& folder, uint32_t blocks, const PeakTables& peaks) {
    Engine e(folder, "Hour.raw", blocks);
    e.buffers.Peaks = peaks;
    e.state.SelStart = 1;
    e.state.SelEnd = blocks;
    return NormalizeGain(e.state, e.context);
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) Fail("usage: orv_editor_bench <scratch folder> [sox]");
    const std::string folder = argv[1];
    const std::string sox = argc > 2 ? argv[2] : "sox";

    constexpr uint32_t TenHours = 359999, OneMinute = 600, Rounds = 50000;
    HistoryRound(folder, OneMinute, Rounds / 10);  // warm-up
    const HistoryTimes shortT = HistoryRound(folder, OneMinute, Rounds);
    const HistoryTimes longT = HistoryRound(folder, TenHours, Rounds);
    std::printf("delete, undo, redo, undo (one round)\n");
    std::printf("  1 minute : %8.3f us\n  10 hours : %8.3f us\n  ratio 10 h / 1 min: %.2f\n", shortT.Edit * 1e6,
                longT.Edit * 1e6, longT.Edit / shortT.Edit);
    std::printf("cut of 2 blocks, undo (one round)\n");
    std::printf("  1 minute : %8.3f us\n  10 hours : %8.3f us\n  ratio 10 h / 1 min: %.2f\n", shortT.Cut * 1e6,
                longT.Cut * 1e6, longT.Cut / shortT.Cut);

    constexpr uint32_t Hour = 36000;
    RecordBuffers gen;
    AllocateCaptureBuffers(gen);
    ProcessingState ps;
    const std::string in = folder + "/Hour.raw", out = folder + "/sox_out.raw";
    MakeHour(in, gen, ps, Hour);
    const std::string soxIn = sox + " -D -t raw -r 44100 -e signed -b 16 -c 2 " + in + " -t raw " + out;

    struct Row {
        const char* Name;
        const char* Effect;
        std::string SoxEffect;
    };
    char vol[64];
    std::snprintf(vol, sizeof vol, "vol %.9g", double(HourGain(folder, Hour, gen.Peaks)));
    for (const Row& row : {Row{"normalize 1 h", "Normalize", vol}, Row{"fade-in 1 h", "FadeIn", "fade t 3600"}}) {
        std::vector<double> ours, theirs;
        for (int rep = 0; rep < 3; ++rep) {  // both on a warm page cache; who goes first alternates
            const bool oursFirst = rep % 2 == 0;
            if (oursFirst) ours.push_back(TimeEffect(folder, Hour, gen.Peaks, row.Effect));
            theirs.push_back(TimeSox(soxIn + " " + row.SoxEffect));
            if (!oursFirst) ours.push_back(TimeEffect(folder, Hour, gen.Peaks, row.Effect));
            platform::removeFile(out);
        }
        const double o = Median(ours), t = Median(theirs);
        std::printf("%s (sox %s, one pass, no dither; median of 3)\n  ours: %.3f s\n  sox : %.3f s\n"
                    "  ratio ours / sox: %.2f\n", row.Name, row.SoxEffect.c_str(), o, t, o / t);
    }
    platform::removeFile(in);
    return 0;
}
