#include "editor/operations.h"

#include <algorithm>
#include <cctype>
#include <limits>
#include <new>
#include <optional>

#include "editor/effects.h"

namespace orv {

namespace {

struct Range {
    uint32_t First;
    uint32_t Last;
};

// The selected blocks that exist; none when nothing is selected.
std::optional<Range> Selection(const EditorState& s) {
    if (s.SelStart == s.SelEnd) return std::nullopt;
    uint32_t a = std::max<uint32_t>(std::min(s.SelStart, s.SelEnd), 1);
    uint32_t b = std::min(std::max(s.SelStart, s.SelEnd), s.TotalBlocks);
    if (a > b) return std::nullopt;
    return Range{a, b};
}

std::string Upper(std::string_view text) {
    std::string u(text);
    for (char& ch : u) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    return u;
}

std::string Reason(const platform::RawFile& f) {
    if (!f.isOpen()) return "the file is not open";
    return f.lastError().empty() ? "the file ended early" : f.lastError();
}

EditResult ReadFailure(const platform::RawFile& f, const std::string& what) {
    return EditResult::Failure("Cannot read " + what + ": " + Reason(f));
}

EditResult WriteFailure(const platform::RawFile& f, const std::string& name) {
    return EditResult::Failure("Cannot write the editor file " + name + ": " + Reason(f));
}

void Report(EditorState& s, EditorContext& c, float percent) {
    // A run of one block divides 0 by 0.
    s.ProgressPercent = percent <= 100.0f ? percent : 100.0f;
    if (c.Progress) c.Progress(s.ProgressPercent);
}

// Gives back the space of a failed append; the blocks are written over later anyway.
void DropPartialAppend(EditorState& s) { (void)s.EditFile.truncate(BlockOffset(uint64_t{s.EditBlockCount} + 1)); }

EditResult MakeRoomForEditBlocks(EditorState& s, uint64_t count) {
    if (!s.EditFile.isOpen()) return WriteFailure(s.EditFile, s.EditFileName);
    if (uint64_t{s.EditBlockCount} + count + 2 > std::numeric_limits<uint32_t>::max())
        return EditResult::Failure("The edit is too long for the editor file " + s.EditFileName);
    try {
        s.EditPeaks.Resize(size_t{s.EditBlockCount} + count + 2);
    } catch (const std::bad_alloc&) {
        return EditResult::Failure("Not enough memory for the edit");
    }
    return {};
}

void StoreEditPeaks(EditorState& s, const ProcessingState& ps, uint64_t k) {
    s.EditPeaks.PeakMaxLeft[k] = ps.BlockMaxLeft;
    s.EditPeaks.PeakMinLeft[k] = ps.BlockMinLeft;
    s.EditPeaks.PeakMaxRight[k] = ps.BlockMaxRight;
    s.EditPeaks.PeakMinRight[k] = ps.BlockMinRight;
}

// Stores the new level built in NextPieces after the current one. At the top
// of the history the oldest level goes, so the latest 50 edits stay undoable.
void Commit(EditorState& s, uint32_t total, uint32_t levelSelStart, uint32_t levelSelEnd, MarkerList markers) {
    if (s.CurrentLevel == MaxHistoryLevel) {
        std::rotate(s.EditHistory.begin(), s.EditHistory.begin() + 1, s.EditHistory.end());
        --s.CurrentLevel;
    }
    HistoryLevel& next = s.EditHistory[s.CurrentLevel + 1];
    next.Pieces.swap(s.NextPieces);
    next.LevelBlockCount = total;
    next.LevelSelStart = levelSelStart;
    next.LevelSelEnd = levelSelEnd;
    next.LevelMarkers = std::move(markers);
    ++s.CurrentLevel;
    s.TopLevel = s.CurrentLevel;
    s.TotalBlocks = total;
}

void StoreSelection(EditorState& s, Range r) {
    s.EditHistory[s.CurrentLevel].LevelSelStart = r.First;
    s.EditHistory[s.CurrentLevel].LevelSelEnd = r.Last;
}

void Restore(EditorState& s) {
    const HistoryLevel& level = s.EditHistory[s.CurrentLevel];
    s.SelStart = level.LevelSelStart;
    s.SelEnd = level.LevelSelEnd;
    s.TotalBlocks = level.LevelBlockCount;
    s.InsertPoint = s.SelStart;
}

// The current level's markers with those in r dropped and the later ones moved back.
MarkerList MarkersWithout(const EditorState& s, Range r) {
    MarkerList out;
    const uint32_t length = r.Last - r.First + 1;
    for (uint32_t m : CurrentMarkers(s)) {
        if (m < r.First) out.push_back(m);
        else if (m > r.Last) out.push_back(m - length);
    }
    return out;
}

// The current level's markers with count blocks inserted after position at;
// inserted (from 1 in the inserted run) land among them.
MarkerList MarkersWithInsert(const EditorState& s, uint32_t at, uint32_t count, const MarkerList& inserted) {
    MarkerList out;
    const MarkerList& now = CurrentMarkers(s);
    auto later = std::upper_bound(now.begin(), now.end(), at);
    out.assign(now.begin(), later);
    for (uint32_t m : inserted)
        if (m >= 1 && m <= count) out.push_back(at + m);
    for (; later != now.end(); ++later) out.push_back(*later + count);
    return out;
}

// Builds in NextPieces the current level with positions a..b replaced by
// Edit.raw blocks EditBlockCount + 1 onwards, one piece per piece touched.
void SpliceEffect(EditorState& s, Range r) {
    s.NextPieces.clear();
    for (const Piece& p : CurrentPieces(s)) {
        const uint32_t first = p.PieceStart;
        const uint32_t last = p.LastPosition();
        if (first < r.First) {
            const uint32_t end = std::min(last, r.First - 1);
            s.NextPieces.push_back({first, end - first + 1, p.PieceOffset, p.PieceFromRecording});
        }
        const uint32_t inFirst = std::max(first, r.First);
        const uint32_t inLast = std::min(last, r.Last);
        if (inFirst <= inLast)
            s.NextPieces.push_back({inFirst, inLast - inFirst + 1, s.EditBlockCount + (inFirst - r.First) + 1, false});
        if (last > r.Last) {
            const uint32_t start = std::max(first, r.Last + 1);
            s.NextPieces.push_back({start, last - start + 1, p.PieceOffset + (start - first), p.PieceFromRecording});
        }
    }
}

}  // namespace

EditResult OpenEditor(EditorState& s, uint32_t totalBlocks, uint32_t lastWrittenBlock, bool loopMode,
                      const std::string& editFileName, const std::string& clipFileName,
                      const MarkerList& markers) {
    for (HistoryLevel& level : s.EditHistory) {
        level.Pieces.clear();
        level.LevelMarkers.clear();
        level.Pieces.reserve(LevelPieceRoom);
        level.LevelBlockCount = 0;
        level.LevelSelStart = level.LevelSelEnd = 1;
    }
    s.NextPieces.clear();
    s.NextPieces.reserve(LevelPieceRoom);

    HistoryLevel& base = s.EditHistory[0];
    for (const Piece& p : TimeOrderedPieces(totalBlocks, lastWrittenBlock, loopMode)) base.Pieces.push_back(p);
    base.LevelBlockCount = totalBlocks;
    // Markers beyond the blocks that made it to the file have nothing to mark.
    for (uint32_t m : markers)
        if (m >= 1 && m <= totalBlocks) AddMarker(base.LevelMarkers, m);

    s.CurrentLevel = s.TopLevel = 0;
    s.SelStart = s.SelEnd = 1;
    s.InsertPoint = 1;
    s.TotalBlocks = totalBlocks;
    s.ClipBlockCount = 0;
    s.ClipMarkers.clear();
    s.EditBlockCount = 0;
    s.ProgressPercent = 0;
    s.EditPeaks.Resize(2);

    s.EditFileName = editFileName;
    s.ClipFileName = clipFileName;
    if (!s.EditFile.open(editFileName, platform::RawFile::Mode::Create))
        return EditResult::Failure("Cannot create the editor file " + editFileName + ": " + s.EditFile.lastError());
    if (!s.ClipFile.open(clipFileName, platform::RawFile::Mode::Create))
        return EditResult::Failure("Cannot create the clipboard file " + clipFileName + ": " + s.ClipFile.lastError());
    return {};
}

void CloseEditor(EditorState& s) {
    const bool hadEdit = s.EditFile.isOpen();
    const bool hadClip = s.ClipFile.isOpen();
    s.EditFile.close();
    s.ClipFile.close();
    // Only files this editor created are removed.
    if (hadEdit) platform::removeFile(s.EditFileName);
    if (hadClip) platform::removeFile(s.ClipFileName);
    for (HistoryLevel& level : s.EditHistory) {
        level.Pieces.clear();
        level.LevelMarkers.clear();
    }
    s.CurrentLevel = s.TopLevel = 0;
    s.ClipBlockCount = 0;
    s.ClipMarkers.clear();
    s.EditBlockCount = 0;
}

EditResult ReadBlockAt(const EditorState& s, EditorContext& c, uint32_t p) {
    const Piece* piece = FindPiece(CurrentPieces(s), p);
    if (!piece)
        return EditResult::Failure("Position " + std::to_string(p) + " is outside the edited recording");
    const platform::RawFile& source = piece->PieceFromRecording ? c.Recording : s.EditFile;
    if (source.readAt(SourceOffset(*piece, p), c.Buffers.CaptureMemory.data(), BlockBytes) != BlockBytes)
        return ReadFailure(source, (piece->PieceFromRecording ? "the recording" : "the editor file " + s.EditFileName) +
                                       " at block " + std::to_string(uint64_t{piece->PieceOffset} + (p - piece->PieceStart)));
    return {};
}

EditResult CopySelection(EditorState& s, EditorContext& c) {
    const auto r = Selection(s);
    if (!r) return {};
    if (!s.ClipFile.isOpen())
        return EditResult::Failure("Cannot write the clipboard file " + s.ClipFileName + ": " + Reason(s.ClipFile));
    for (uint32_t p = r->First; p <= r->Last; ++p) {
        EditResult read = ReadBlockAt(s, c, p);
        if (!read.Ok) {
            s.ClipBlockCount = 0;
            s.ClipMarkers.clear();
            return read;
        }
        if (s.ClipFile.writeAt(BlockOffset(uint64_t{p - r->First} + 1), c.Buffers.CaptureMemory.data(), BlockBytes) !=
            BlockBytes) {
            s.ClipBlockCount = 0;
            s.ClipMarkers.clear();
            return EditResult::Failure("Cannot write the clipboard file " + s.ClipFileName + ": " + Reason(s.ClipFile));
        }
        Report(s, c, static_cast<float>((p - r->First) * 100.0 / (r->Last - r->First)));
    }
    s.ClipBlockCount = r->Last - r->First + 1;
    s.ClipMarkers.clear();
    for (uint32_t m : CurrentMarkers(s))
        if (m >= r->First && m <= r->Last) s.ClipMarkers.push_back(m - r->First + 1);
    return {};
}

void DeleteSelection(EditorState& s) {
    const auto r = Selection(s);
    if (!r) return;
    StoreSelection(s, *r);
    s.NextPieces.clear();
    uint32_t next = 1;
    auto keep = [&](uint32_t length, uint32_t offset, bool fromRecording) {
        s.NextPieces.push_back({next, length, offset, fromRecording});
        next += length;
    };
    for (const Piece& p : CurrentPieces(s)) {
        const uint32_t first = p.PieceStart;
        const uint32_t last = p.LastPosition();
        if (last < r->First || first > r->Last) {
            keep(p.PieceLength, p.PieceOffset, p.PieceFromRecording);
            continue;
        }
        if (first < r->First) keep(r->First - first, p.PieceOffset, p.PieceFromRecording);
        if (r->Last < last) keep(last - r->Last, p.PieceOffset + (r->Last - first) + 1, p.PieceFromRecording);
    }
    // Nothing selected, at the cut: a paste there gives the recording back.
    s.InsertPoint = s.SelStart = s.SelEnd = r->First;
    Commit(s, next - 1, r->First, r->First, MarkersWithout(s, *r));
}

EditResult CutSelection(EditorState& s, EditorContext& c) {
    EditResult copied = CopySelection(s, c);
    if (copied.Ok) DeleteSelection(s);
    return copied;
}

uint32_t SelectedBlockCount(const EditorState& s) {
    const auto r = Selection(s);
    return r ? r->Last - r->First + 1 : 0;
}

EditResult ApplyEffect(EditorState& s, EditorContext& c, std::string_view effect) {
    enum class Kind { Normalize, Amplify, FadeIn, FadeOut };
    const std::string name = Upper(effect);
    Kind kind;
    if (name == "NORMALIZE") kind = Kind::Normalize;
    else if (name == "AMPLIFY") kind = Kind::Amplify;
    else if (name == "FADEIN") kind = Kind::FadeIn;
    else if (name == "FADEOUT") kind = Kind::FadeOut;
    else return EditResult::Failure("Unknown effect " + std::string(effect));

    const auto r = Selection(s);
    if (!r) return {};
    const uint32_t count = r->Last - r->First + 1;
    if (EditResult room = MakeRoomForEditBlocks(s, count); !room.Ok) return room;
    const float gain = kind == Kind::Normalize ? NormalizeGain(s, c) : 1.0f;

    RecordBuffers& b = c.Buffers;
    for (uint32_t p = r->First; p <= r->Last; ++p) {
        if (EditResult read = ReadBlockAt(s, c, p); !read.Ok) {
            DropPartialAppend(s);
            return read;
        }
        switch (kind) {
        case Kind::Normalize: NormalizeBlock(b, gain); break;
        case Kind::Amplify: AmplifyBlock(b, s.AmplifyFactor); break;
        case Kind::FadeIn: FadeInBlock(b, s.FadeGain, s.FadeStep); break;
        case Kind::FadeOut: FadeOutBlock(b, s.FadeGain, s.FadeStep); break;
        }
        MeasureBlockPeaks(c.Processing, b.LeftSamples.data(), b.RightSamples.data());
        const uint64_t k = uint64_t{s.EditBlockCount} + (p - r->First) + 1;
        StoreEditPeaks(s, c.Processing, k);
        if (s.EditFile.writeAt(BlockOffset(k), b.BlockScratch.data(), BlockBytes) != BlockBytes) {
            EditResult failed = WriteFailure(s.EditFile, s.EditFileName);
            DropPartialAppend(s);
            return failed;
        }
        Report(s, c, static_cast<float>((p - r->First) * 100.0 / (r->Last - r->First)));
    }

    StoreSelection(s, *r);
    SpliceEffect(s, *r);
    s.EditBlockCount += count;
    Commit(s, s.TotalBlocks, r->First, r->Last, CurrentMarkers(s));
    return {};
}

EditResult InsertBlocks(EditorState& s, EditorContext& c, std::string_view kind) {
    const std::string name = Upper(kind);
    const bool silence = name == "SILENCE";
    if (!silence && name != "PASTE") return EditResult::Failure("Unknown insertion " + std::string(kind));

    const uint32_t count = silence ? s.SilenceBlockCount : s.ClipBlockCount;
    if (uint64_t{s.TotalBlocks} + count > std::numeric_limits<uint32_t>::max())
        return EditResult::Failure("The edited recording would be too long");
    if (EditResult room = MakeRoomForEditBlocks(s, count); !room.Ok) return room;

    RecordBuffers& b = c.Buffers;
    if (silence) {
        SilenceBlock(b);
        MeasureBlockPeaks(c.Processing, b.LeftSamples.data(), b.RightSamples.data());
    }
    for (uint32_t k = 1; k <= count; ++k) {
        const uint8_t* block = b.BlockScratch.data();
        if (!silence) {
            uint8_t* clip = b.CaptureMemory.data();
            if (s.ClipFile.readAt(BlockOffset(k), clip, BlockBytes) != BlockBytes) {
                DropPartialAppend(s);
                return ReadFailure(s.ClipFile, "the clipboard file " + s.ClipFileName);
            }
            // Capture already removed the offset from these blocks; they go in as they are.
            int16_t* left = b.LeftSamples.data();
            int16_t* right = b.RightSamples.data();
            for (uint32_t i = 0; i < BlockFrames; ++i) {
                left[i] = SampleAt(clip + 4 * i);
                right[i] = SampleAt(clip + 4 * i + 2);
            }
            MeasureBlockPeaks(c.Processing, b.LeftSamples.data(), b.RightSamples.data());
            block = clip;
        }
        StoreEditPeaks(s, c.Processing, uint64_t{s.EditBlockCount} + k);
        if (s.EditFile.writeAt(BlockOffset(uint64_t{s.EditBlockCount} + k), block, BlockBytes) != BlockBytes) {
            EditResult failed = WriteFailure(s.EditFile, s.EditFileName);
            DropPartialAppend(s);
            return failed;
        }
        Report(s, c, static_cast<float>(k * 100.0 / count));
    }

    // The blocks begin at InsertPoint (TotalBlocks + 1: at the end); they go after block 'at'.
    const uint32_t at = std::min(std::max(s.InsertPoint, 1u), s.TotalBlocks + 1) - 1;
    const std::span<const Piece> pieces = CurrentPieces(s);
    s.NextPieces.clear();
    size_t i = 0;
    for (; i < pieces.size() && pieces[i].LastPosition() <= at; ++i) s.NextPieces.push_back(pieces[i]);
    std::optional<Piece> tail;
    if (i < pieces.size() && pieces[i].PieceStart <= at) {
        const Piece& f = pieces[i++];
        s.NextPieces.push_back({f.PieceStart, at - f.PieceStart + 1, f.PieceOffset, f.PieceFromRecording});
        tail = Piece{at + 1 + count, f.LastPosition() - at, f.PieceOffset + (at - f.PieceStart) + 1,
                     f.PieceFromRecording};
    }
    // An empty clipboard adds no empty piece: every piece holds a block.
    if (count > 0) s.NextPieces.push_back({at + 1, count, s.EditBlockCount + 1, false});
    if (tail) s.NextPieces.push_back(*tail);
    for (; i < pieces.size(); ++i) {
        Piece moved = pieces[i];
        moved.PieceStart += count;
        s.NextPieces.push_back(moved);
    }

    MarkerList markers = MarkersWithInsert(s, at, count, silence ? MarkerList{} : s.ClipMarkers);
    s.EditBlockCount += count;
    s.InsertPoint = s.SelStart = at + 1;
    s.SelEnd = count > 0 ? at + count : at + 1;
    Commit(s, s.TotalBlocks + count, 1, 1, std::move(markers));
    return {};
}

namespace {

// A level with the current pieces and the given markers; the selection stays.
void CommitMarkers(EditorState& s, MarkerList markers) {
    HistoryLevel& now = s.EditHistory[s.CurrentLevel];
    now.LevelSelStart = s.SelStart;
    now.LevelSelEnd = s.SelEnd;
    s.NextPieces.assign(now.Pieces.begin(), now.Pieces.end());
    Commit(s, s.TotalBlocks, s.SelStart, s.SelEnd, std::move(markers));
}

}  // namespace

bool AddMarkerAtInsertPoint(EditorState& s) {
    const uint32_t p = s.InsertPoint;
    if (p < 1 || p > s.TotalBlocks || std::binary_search(CurrentMarkers(s).begin(), CurrentMarkers(s).end(), p))
        return false;
    MarkerList markers = CurrentMarkers(s);
    AddMarker(markers, p);
    CommitMarkers(s, std::move(markers));
    return true;
}

bool RemoveMarkerNear(EditorState& s, uint32_t reach) {
    const MarkerList& now = CurrentMarkers(s);
    const uint32_t p = s.InsertPoint;
    auto after = std::lower_bound(now.begin(), now.end(), p);
    auto nearest = now.end();
    if (after != now.end() && *after - p <= reach) nearest = after;
    // The one before wins only when strictly nearer.
    if (after != now.begin() && p - *(after - 1) <= reach &&
        (nearest == now.end() || p - *(after - 1) < *nearest - p))
        nearest = after - 1;
    if (nearest == now.end()) return false;
    MarkerList markers = now;
    markers.erase(markers.begin() + (nearest - now.begin()));
    CommitMarkers(s, std::move(markers));
    return true;
}

std::optional<uint32_t> MarkerBefore(const EditorState& s, uint32_t p) {
    const MarkerList& now = CurrentMarkers(s);
    auto it = std::lower_bound(now.begin(), now.end(), p);
    if (it == now.begin()) return std::nullopt;
    return *(it - 1);
}

std::optional<uint32_t> MarkerAfter(const EditorState& s, uint32_t p) {
    const MarkerList& now = CurrentMarkers(s);
    auto it = std::upper_bound(now.begin(), now.end(), p);
    if (it == now.end()) return std::nullopt;
    return *it;
}

std::pair<uint32_t, uint32_t> SpanBetweenMarkers(const EditorState& s, uint32_t p) {
    const std::optional<uint32_t> after = MarkerAfter(s, p);
    const std::optional<uint32_t> before = MarkerBefore(s, p + 1);
    return {before.value_or(1), after ? *after - 1 : s.TotalBlocks};
}

void UndoEdit(EditorState& s) {
    if (s.CurrentLevel == 0) return;
    --s.CurrentLevel;
    Restore(s);
}

void RedoEdit(EditorState& s) {
    if (s.CurrentLevel >= s.TopLevel) return;
    ++s.CurrentLevel;
    Restore(s);
}

void PrepareFade(EditorState& s, bool fadeIn) {
    const auto r = Selection(s);
    const uint64_t blocks = r ? r->Last - r->First + 1 : 1;
    s.FadeStep = static_cast<double>(1.0f) / static_cast<double>(blocks * BlockFrames);
    s.FadeGain = fadeIn ? 0.0 : 1.0;
}

float NormalizeGain(const EditorState& s, EditorContext& c) {
    int16_t maxL = -32768, maxR = -32768, minL = 32767, minR = 32767;
    const uint32_t a = std::max<uint32_t>(std::min(s.SelStart, s.SelEnd), 1);
    const uint32_t b = std::min(std::max(s.SelStart, s.SelEnd), s.TotalBlocks);
    const std::span<const Piece> pieces = CurrentPieces(s);
    const Piece* piece = a <= b ? FindPiece(pieces, a) : nullptr;
    for (uint32_t p = a; piece && p <= b;) {
        const PeakTables& peaks = piece->PieceFromRecording ? c.RecordingPeaks : s.EditPeaks;
        const uint32_t last = std::min(piece->LastPosition(), b);
        for (; p <= last; ++p) {
            const uint64_t block = uint64_t{piece->PieceOffset} + (p - piece->PieceStart);
            if (block < peaks.Size()) {
                maxL = std::max(maxL, peaks.PeakMaxLeft[block]);
                minL = std::min(minL, peaks.PeakMinLeft[block]);
                maxR = std::max(maxR, peaks.PeakMaxRight[block]);
                minR = std::min(minR, peaks.PeakMinRight[block]);
            } else if (ReadBlockAt(s, c, p).Ok) {
                // A block beyond the peak tables: measure its samples instead.
                int16_t* left = c.Buffers.LeftSamples.data();
                int16_t* right = c.Buffers.RightSamples.data();
                const uint8_t* in = c.Buffers.CaptureMemory.data();
                for (uint32_t i = 0; i < BlockFrames; ++i) {
                    left[i] = SampleAt(in + 4 * i);
                    right[i] = SampleAt(in + 4 * i + 2);
                }
                MeasureBlockPeaks(c.Processing, left, right);
                maxL = std::max(maxL, c.Processing.BlockMaxLeft);
                minL = std::min(minL, c.Processing.BlockMinLeft);
                maxR = std::max(maxR, c.Processing.BlockMaxRight);
                minR = std::min(minR, c.Processing.BlockMinRight);
            }
        }
        piece = piece + 1 < pieces.data() + pieces.size() ? piece + 1 : nullptr;
    }
    return GainForPeaks(maxL, minL, maxR, minR);
}

}  // namespace orv
