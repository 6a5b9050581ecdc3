// Long random edit sequences checked after every step against a plain model
// that holds each history level as a list of block contents, marked or not.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <optional>
#include <memory>
#include <random>
#include <string>

#include "editor/operations.h"
#include "editor_fixture.h"

namespace orv::test {
namespace {

uint64_t Fnv(const uint8_t* p, size_t n) {
    uint64_t h = 1469598103934665603ull;
    for (size_t i = 0; i < n; ++i) h = (h ^ p[i]) * 1099511628211ull;
    return h;
}

struct Content {
    std::vector<uint8_t> Bytes;
    uint64_t Hash;
    explicit Content(std::vector<uint8_t> b) : Bytes(std::move(b)), Hash(Fnv(Bytes.data(), Bytes.size())) {}
};
using Block = std::shared_ptr<const Content>;
using Timeline = std::vector<Block>;
using Marks = std::vector<bool>;  // per position: a marker starts there

int16_t Limit(long double v) { return static_cast<int16_t>(std::clamp(v, -32768.0L, 32767.0L)); }

// Every sample of the blocks through f(frame index within the run, sample).
template <typename F>
Timeline MapSamples(const Timeline& blocks, F&& f) {
    Timeline out;
    uint64_t frame = 0;
    for (const Block& b : blocks) {
        std::vector<uint8_t> bytes = b->Bytes;
        for (uint32_t i = 0; i < BlockFrames; ++i, ++frame) {
            const int16_t l = f(frame, SampleAt(&bytes[4 * i]), true);
            const int16_t r = f(frame, SampleAt(&bytes[4 * i + 2]), false);
            PutSample(&bytes[4 * i], l);
            PutSample(&bytes[4 * i + 2], r);
        }
        out.push_back(std::make_shared<const Content>(std::move(bytes)));
    }
    return out;
}

struct ModelLevel {
    Timeline Blocks;
    uint32_t SelStart = 1, SelEnd = 1;
    Marks Marked;

    MarkerList Markers() const {
        MarkerList out;
        for (size_t i = 0; i < Marked.size(); ++i) if (Marked[i]) out.push_back(uint32_t(i + 1));
        return out;
    }
};

// The editor as the user sees it, without pieces or files.
struct Model {
    std::vector<ModelLevel> Levels;
    size_t Current = 0;
    uint32_t SelStart = 1, SelEnd = 1, InsertPoint = 1;
    Timeline Clipboard;
    Marks ClipMarked;
    int32_t DcLeft = 0, DcRight = 0;
    size_t Drops = 0;  // levels that left the history

    const Timeline& Now() const { return Levels[Current].Blocks; }
    const Marks& NowMarked() const { return Levels[Current].Marked; }
    uint32_t Total() const { return static_cast<uint32_t>(Now().size()); }
    bool Selected() const { return SelStart != SelEnd; }

    void Commit(Timeline blocks, Marks marked, uint32_t levelSelStart, uint32_t levelSelEnd) {
        if (Current == MaxHistoryLevel) {
            Levels.erase(Levels.begin());
            --Current;
            ++Drops;
        }
        Levels.resize(Current + 1);
        Levels.push_back({std::move(blocks), levelSelStart, levelSelEnd, std::move(marked)});
        ++Current;
    }
    Timeline Range(uint32_t a, uint32_t b) const { return {Now().begin() + (a - 1), Now().begin() + b}; }

    void Copy() {
        if (!Selected()) return;
        Clipboard = Range(SelStart, SelEnd);
        ClipMarked.assign(NowMarked().begin() + (SelStart - 1), NowMarked().begin() + SelEnd);
    }
    void Delete() {
        if (!Selected()) return;
        Levels[Current].SelStart = SelStart;
        Levels[Current].SelEnd = SelEnd;
        Timeline t = Now();
        t.erase(t.begin() + (SelStart - 1), t.begin() + SelEnd);
        Marks m = NowMarked();
        m.erase(m.begin() + (SelStart - 1), m.begin() + SelEnd);
        InsertPoint = SelEnd = SelStart;
        Commit(std::move(t), std::move(m), SelStart, SelStart);
    }
    void Effect(const Timeline& processed) {
        Levels[Current].SelStart = SelStart;
        Levels[Current].SelEnd = SelEnd;
        Timeline t = Now();
        std::copy(processed.begin(), processed.end(), t.begin() + (SelStart - 1));
        Commit(std::move(t), NowMarked(), SelStart, SelEnd);
    }
    void Insert(const Timeline& blocks, const Marks& marked) {
        const uint32_t at = std::min(std::max(InsertPoint, 1u), Total() + 1) - 1;
        Timeline t = Now();
        t.insert(t.begin() + at, blocks.begin(), blocks.end());
        Marks m = NowMarked();
        m.insert(m.begin() + at, marked.begin(), marked.end());
        InsertPoint = SelStart = at + 1;
        SelEnd = blocks.empty() ? at + 1 : at + static_cast<uint32_t>(blocks.size());
        Commit(std::move(t), std::move(m), 1, 1);
    }
    // The clipboard goes in unchanged, whatever the DC offsets are now.
    void Paste() { Insert(Clipboard, ClipMarked); }
    // A marker edit: the same blocks in a new level, the selection kept; none when nothing changes.
    void SetMark(std::optional<uint32_t> q, bool on) {
        if (!q || *q < 1 || *q > Total() || NowMarked()[*q - 1] == on) return;
        Marks m = NowMarked();
        m[*q - 1] = on;
        Levels[Current].SelStart = SelStart;
        Levels[Current].SelEnd = SelEnd;
        Commit(Now(), std::move(m), SelStart, SelEnd);
    }
    // The marked position nearest the insertion point within reach; the later one on a tie.
    std::optional<uint32_t> Nearest(uint32_t reach) const {
        for (int64_t d = 0, p = InsertPoint; d <= reach; ++d)
            for (int64_t q : {p + d, p - d})
                if (q >= 1 && q <= Total() && NowMarked()[size_t(q - 1)]) return uint32_t(q);
        return std::nullopt;
    }
    void Move(int step) {
        if ((step < 0 && Current == 0) || (step > 0 && Current + 1 >= Levels.size())) return;
        Current += step;
        InsertPoint = SelStart = Levels[Current].SelStart;
        SelEnd = Levels[Current].SelEnd;
    }
};

Timeline Amplified(const Timeline& blocks, double factor) {
    return MapSamples(blocks, [&](uint64_t, int16_t x, bool) { return Limit(std::nearbyint(x * (long double)factor)); });
}

Timeline Normalized(const Timeline& blocks) {
    int peak = 0;
    for (const Block& b : blocks)
        for (uint32_t i = 0; i < 2 * BlockFrames; ++i) peak = std::max(peak, std::abs(int{SampleAt(&b->Bytes[2 * i])}));
    peak = std::clamp(peak, 1, 32767);
    const float gain = static_cast<float>(32767.0L / peak);
    return MapSamples(blocks, [&](uint64_t, int16_t x, bool) { return Limit(std::nearbyint(x * (long double)gain)); });
}

Timeline Faded(const Timeline& blocks, bool in) {
    const double step = 1.0 / (static_cast<double>(blocks.size()) * BlockFrames);
    double gain = in ? 0.0 : 1.0;
    return MapSamples(blocks, [&](uint64_t, int16_t x, bool left) {
        if (left) gain = in ? gain + step : gain - step;
        return Limit(std::nearbyint(x * (long double)gain));
    });
}

struct Scenario {
    bool Loop;
    uint32_t Seed;
    friend std::ostream& operator<<(std::ostream& o, const Scenario& c) {
        return o << (c.Loop ? "two pieces" : "one piece") << ", seed " << c.Seed;
    }
};

class RandomEdits : public EditorFixture, public ::testing::WithParamInterface<Scenario> {
protected:
    static constexpr uint32_t RecordingBlocks = 40;
    static constexpr uint32_t LastWritten = 15;

    void SetUp() override {
        WriteRecording(RecordingBlocks);
        Open(RecordingBlocks, LastWritten, GetParam().Loop, {0, 1, 3, 10, 11, 40, 41, 900});  // 0 and past the end dropped
        ModelLevel zero;
        for (uint32_t i = 0; i < RecordingBlocks; ++i) {
            uint32_t block = i + 1;
            if (GetParam().Loop) block = (i + LastWritten) % RecordingBlocks + 1;
            zero.Blocks.push_back(std::make_shared<const Content>(MakeBlock(block, NumberedSample)));
        }
        zero.Marked.assign(RecordingBlocks, false);
        for (uint32_t p : {1u, 3u, 10u, 11u, 40u}) zero.Marked[p - 1] = true;
        model.Levels.push_back(std::move(zero));
        // Offsets a paste must not apply a second time.
        processing.DcOffsetLeft = model.DcLeft = 3;
        processing.DcOffsetRight = model.DcRight = -2;
    }

    uint64_t FileBlockHash(bool fromRecording, uint64_t block) {
        auto [it, added] = hashes.try_emplace({fromRecording, block}, 0);
        if (added) {
            std::vector<uint8_t> bytes(BlockBytes);
            const platform::RawFile& f = fromRecording ? recording : state.EditFile;
            EXPECT_EQ(f.readAt(BlockOffset(block), bytes.data(), BlockBytes), BlockBytes);
            it->second = Fnv(bytes.data(), bytes.size());
        }
        return it->second;
    }

    void Check(const std::string& step) {
        SCOPED_TRACE(step);
        ASSERT_EQ(state.CurrentLevel, model.Current);
        ASSERT_EQ(state.TopLevel, model.Levels.size() - 1);
        ASSERT_EQ(state.TotalBlocks, model.Total());
        EXPECT_EQ(state.SelStart, model.SelStart);
        EXPECT_EQ(state.SelEnd, model.SelEnd);
        EXPECT_EQ(state.InsertPoint, model.InsertPoint);
        EXPECT_EQ(state.ClipBlockCount, model.Clipboard.size());
        EXPECT_EQ(state.ClipMarkers, (ModelLevel{{}, 1, 1, model.ClipMarked}.Markers()));
        for (size_t level = 0; level < model.Levels.size(); ++level) {
            const HistoryLevel& h = state.EditHistory[level];
            const ModelLevel& m = model.Levels[level];
            ASSERT_TRUE(PieceListHolds(h.Pieces, h.LevelBlockCount)) << "level " << level;
            ASSERT_EQ(h.LevelBlockCount, m.Blocks.size()) << "level " << level;
            EXPECT_EQ(h.LevelSelStart, m.SelStart) << "level " << level;
            EXPECT_EQ(h.LevelSelEnd, m.SelEnd) << "level " << level;
            EXPECT_EQ(h.LevelMarkers, m.Markers()) << "level " << level;
            for (const Piece& p : h.Pieces)
                for (uint32_t i = 0; i < p.PieceLength; ++i)
                    ASSERT_EQ(FileBlockHash(p.PieceFromRecording, uint64_t{p.PieceOffset} + i),
                              m.Blocks[p.PieceStart - 1 + i]->Hash)
                        << "level " << level << " position " << p.PieceStart + i;
        }
        for (uint32_t p = 1; p <= model.Total(); ++p) {
            ASSERT_TRUE(ReadBlockAt(state, context, p).Ok);
            ASSERT_EQ(0, std::memcmp(buffers.CaptureMemory.data(), model.Now()[p - 1]->Bytes.data(), BlockBytes))
                << "position " << p;
        }
    }

    void Run(uint32_t steps) {
        std::mt19937 rng(GetParam().Seed);
        auto pick = [&](uint32_t lo, uint32_t hi) { return std::uniform_int_distribution<uint32_t>(lo, hi)(rng); };
        for (uint32_t n = 0; n < steps; ++n) {
            std::string step;
            uint32_t op = pick(0, 17);
            if (model.Total() > 120 && (op == 7 || op == 8)) {
                // Keeps the recording short enough to read back in full after every step.
                model.SelStart = state.SelStart = 1;
                model.SelEnd = state.SelEnd = model.Total() / 2;
                op = 4;
            }
            const bool sel = model.Selected();
            const size_t drops = model.Drops, current = model.Current;
            const Timeline selected = sel ? model.Range(model.SelStart, model.SelEnd) : Timeline{};
            switch (op) {
            case 0: case 1: case 2: {
                const uint32_t total = std::max<uint32_t>(model.Total(), 1);
                uint32_t a = pick(1, total), b = pick(1, total);
                if (a > b) std::swap(a, b);
                if (pick(0, 9) == 0) a = b;
                model.SelStart = state.SelStart = a;
                model.SelEnd = state.SelEnd = b;
                step = "select " + std::to_string(a) + ".." + std::to_string(b);
                break;
            }
            case 3:
                model.InsertPoint = state.InsertPoint = pick(0, model.Total() + 3);
                step = "insert point " + std::to_string(model.InsertPoint);
                break;
            case 4:
                step = "delete";
                model.Delete();
                DeleteSelection(state);
                break;
            case 5:
                step = "cut";
                model.Copy();
                model.Delete();
                ASSERT_TRUE(CutSelection(state, context).Ok);
                break;
            case 6:
                step = "copy";
                model.Copy();
                ASSERT_TRUE(CopySelection(state, context).Ok);
                break;
            case 7:
                step = "paste";
                model.Paste();
                ASSERT_TRUE(InsertBlocks(state, context, "Paste").Ok);
                break;
            case 8: {
                state.SilenceBlockCount = pick(1, 4);
                step = "silence " + std::to_string(state.SilenceBlockCount);
                model.Insert(Timeline(state.SilenceBlockCount,
                                      std::make_shared<const Content>(std::vector<uint8_t>(BlockBytes, 0))),
                             Marks(state.SilenceBlockCount, false));
                ASSERT_TRUE(InsertBlocks(state, context, "Silence").Ok);
                break;
            }
            case 9: case 10: {
                const bool in = op == 9;
                step = in ? "fade in" : "fade out";
                if (sel) model.Effect(Faded(selected, in));
                PrepareFade(state, in);
                ASSERT_TRUE(ApplyEffect(state, context, in ? "FadeIn" : "FadeOut").Ok);
                break;
            }
            case 11: {
                static constexpr double Factors[] = {0.5, 1.5, 2.0, 3.7, -1.0, 0.0};
                state.AmplifyFactor = Factors[pick(0, 5)];
                step = "amplify " + std::to_string(state.AmplifyFactor);
                if (sel) model.Effect(Amplified(selected, state.AmplifyFactor));
                ASSERT_TRUE(ApplyEffect(state, context, "Amplify").Ok);
                break;
            }
            case 12:
                step = "normalize";
                if (sel) model.Effect(Normalized(selected));
                ASSERT_TRUE(ApplyEffect(state, context, "Normalize").Ok);
                break;
            case 13: case 14:
                step = "undo";
                model.Move(-1);
                UndoEdit(state);
                break;
            case 15:
                step = "redo";
                model.Move(+1);
                RedoEdit(state);
                break;
            case 16: case 17: {
                const bool add = op == 16;
                const uint32_t reach = pick(0, 3);
                step = (add ? "mark " : "unmark within " + std::to_string(reach) + " of ") + std::to_string(model.InsertPoint);
                model.SetMark(add ? std::optional(model.InsertPoint) : model.Nearest(reach), add);
                const bool made = add ? AddMarkerAtInsertPoint(state) : RemoveMarkerNear(state, reach);
                EXPECT_EQ(made, model.Current != current || model.Drops != drops) << step;
                break;
            }
            }
            ASSERT_NO_FATAL_FAILURE(Check("step " + std::to_string(n) + ": " + step));
            if (HasFailure()) return;
        }
    }

    Model model;
    std::map<std::pair<bool, uint64_t>, uint64_t> hashes;
};

TEST_P(RandomEdits, EveryLevelReadsTheModelsBlocks) {
    Run(700);
    EXPECT_GT(model.Drops, 0u) << "the sequence never filled the history";
}

INSTANTIATE_TEST_SUITE_P(EditorRecordings, RandomEdits,
                         ::testing::Values(Scenario{false, 1}, Scenario{false, 2}, Scenario{false, 3},
                                           Scenario{true, 4}, Scenario{true, 5}, Scenario{true, 6}),
                         [](const auto& info) {
                             return std::string(info.param.Loop ? "TwoPieces" : "OnePiece") + "Seed" +
                                    std::to_string(info.param.Seed);
                         });

}  // namespace
}  // namespace orv::test
