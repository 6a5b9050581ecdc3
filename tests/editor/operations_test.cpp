// Piece lists, history and working files on small recordings.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>

#include "editor/operations.h"
#include "editor_fixture.h"

namespace orv::test {
namespace {

using ::testing::ElementsAre;

constexpr bool Rec = true;
constexpr bool Edit = false;

class EditorOf100Blocks : public EditorFixture {
protected:
    void SetUp() override {
        WriteRecording(100);
        Open(100);
    }
    // Leaves n blocks in Edit.raw without changing the recording.
    void FillEditFile(uint32_t n) {
        state.SilenceBlockCount = n;
        ASSERT_TRUE(InsertBlocks(state, context, "Silence").Ok);
        UndoEdit(state);
        ASSERT_EQ(state.EditBlockCount, n);
    }
};

TEST_F(EditorOf100Blocks, DeleteInsideKeepsHeadAndTail) {
    Select(10, 20);
    DeleteSelection(state);
    EXPECT_THAT(Pieces(), ElementsAre(Piece{1, 9, 1, Rec}, Piece{10, 80, 21, Rec}));
    EXPECT_EQ(state.TotalBlocks, 89u);
    EXPECT_EQ(state.InsertPoint, 10u);  // at the cut, where the status bar's start stands
    EXPECT_EQ(state.SelStart, 10u);
    EXPECT_EQ(state.SelEnd, 10u);
    EXPECT_EQ(BlockAt(9), 9u);
    EXPECT_EQ(BlockAt(10), 21u);
    EXPECT_EQ(BlockAt(89), 100u);
}

TEST_F(EditorOf100Blocks, DeleteFromTheStartKeepsOnlyTheTail) {
    Select(1, 20);
    DeleteSelection(state);
    EXPECT_THAT(Pieces(), ElementsAre(Piece{1, 80, 21, Rec}));
    EXPECT_EQ(state.TotalBlocks, 80u);
}

TEST_F(EditorOf100Blocks, DeleteAllLeavesNoPiecesAndUndoSelectsAllAgain) {
    Select(1, 100);
    DeleteSelection(state);
    EXPECT_TRUE(Pieces().empty());
    EXPECT_EQ(state.TotalBlocks, 0u);
    EXPECT_FALSE(ReadBlockAt(state, context, 1).Ok);

    UndoEdit(state);
    EXPECT_EQ(state.TotalBlocks, 100u);
    EXPECT_EQ(state.SelStart, 1u);
    EXPECT_EQ(state.SelEnd, 100u);
}

TEST_F(EditorOf100Blocks, InsertionWithNoPieceAtInsertPointAppends) {
    Select(1, 100);
    DeleteSelection(state);  // InsertPoint 1, no pieces
    state.SilenceBlockCount = 3;
    ASSERT_TRUE(InsertBlocks(state, context, "Silence").Ok);
    EXPECT_THAT(Pieces(), ElementsAre(Piece{1, 3, 1, Edit}));
    EXPECT_EQ(state.SelStart, 1u);
    EXPECT_EQ(state.SelEnd, 3u);

    state.InsertPoint = 50;  // beyond the 3 blocks
    state.SilenceBlockCount = 2;
    ASSERT_TRUE(InsertBlocks(state, context, "silence").Ok);
    EXPECT_THAT(Pieces(), ElementsAre(Piece{1, 3, 1, Edit}, Piece{4, 2, 4, Edit}));
    EXPECT_EQ(state.TotalBlocks, 5u);
    EXPECT_EQ(state.SelStart, 4u);
    EXPECT_EQ(state.SelEnd, 5u);
}

TEST_F(EditorOf100Blocks, PasteInsideSplitsThePiece) {
    FillEditFile(7);
    Select(31, 35);
    ASSERT_TRUE(CopySelection(state, context).Ok);
    state.InsertPoint = 11;
    ASSERT_TRUE(InsertBlocks(state, context, "Paste").Ok);
    EXPECT_THAT(Pieces(), ElementsAre(Piece{1, 10, 1, Rec}, Piece{11, 5, 8, Edit}, Piece{16, 90, 11, Rec}));
    EXPECT_EQ(state.TotalBlocks, 105u);
    EXPECT_EQ(state.SelStart, 11u);
    EXPECT_EQ(state.SelEnd, 15u);
    for (uint32_t p = 11; p <= 15; ++p) EXPECT_EQ(BlockAt(p), p + 20) << p;
    EXPECT_EQ(BlockAt(16), 11u);
}

TEST_F(EditorOf100Blocks, PasteAtTheEndHasNoTail) {
    FillEditFile(7);
    Select(31, 35);
    ASSERT_TRUE(CopySelection(state, context).Ok);
    state.InsertPoint = 101;
    ASSERT_TRUE(InsertBlocks(state, context, "PASTE").Ok);
    EXPECT_THAT(Pieces(), ElementsAre(Piece{1, 100, 1, Rec}, Piece{101, 5, 8, Edit}));
    EXPECT_EQ(BlockAt(105), 35u);
}

TEST_F(EditorOf100Blocks, PasteCopiesTheBlocksAsTheyAreWhateverTheDcOffset) {
    // The clipboard holds blocks capture already corrected: a second
    // subtraction would shift the pasted audio.
    Select(31, 32);
    ASSERT_TRUE(CopySelection(state, context).Ok);
    processing.DcOffsetLeft = 5;
    processing.DcOffsetRight = -7;
    state.InsertPoint = 2;
    ASSERT_TRUE(InsertBlocks(state, context, "Paste").Ok);
    for (uint32_t frame : {1u, 3u, 4409u}) EXPECT_EQ(FrameAt(2, frame), NumberedSample(31, frame)) << frame;
    int16_t maxLeft = -32768, minRight = 32767;
    for (uint32_t i = 0; i < BlockFrames; ++i) {
        maxLeft = std::max<int16_t>(maxLeft, NumberedSample(31, i).first);
        minRight = std::min<int16_t>(minRight, NumberedSample(31, i).second);
    }
    EXPECT_EQ(state.EditPeaks.PeakMaxLeft[1], maxLeft);
    EXPECT_EQ(state.EditPeaks.PeakMinRight[1], minRight);
}

TEST_F(EditorOf100Blocks, SilenceOfOneBlockSelectsNothingAndHasZeroPeaks) {
    state.InsertPoint = 41;
    state.SilenceBlockCount = 1;
    ASSERT_TRUE(InsertBlocks(state, context, "Silence").Ok);
    EXPECT_EQ(state.SelStart, 41u);
    EXPECT_EQ(state.SelEnd, 41u);
    EXPECT_EQ(state.TotalBlocks, 101u);
    EXPECT_EQ(state.EditPeaks.PeakMaxLeft[1], 0);
    EXPECT_EQ(state.EditPeaks.PeakMinLeft[1], 0);
    EXPECT_EQ(state.EditPeaks.PeakMaxRight[1], 0);
    EXPECT_EQ(state.EditPeaks.PeakMinRight[1], 0);
    EXPECT_EQ(FrameAt(41, 100), std::make_pair(int16_t{0}, int16_t{0}));
    EXPECT_EQ(BlockAt(42), 41u);
}

TEST_F(EditorOf100Blocks, NewEditAfterUndoDiscardsRedo) {
    Select(1, 10);
    DeleteSelection(state);  // level 1
    Select(1, 10);
    DeleteSelection(state);  // level 2
    Select(1, 10);
    DeleteSelection(state);  // level 3
    UndoEdit(state);
    UndoEdit(state);
    ASSERT_EQ(state.CurrentLevel, 1u);
    Select(5, 6);
    DeleteSelection(state);
    EXPECT_EQ(state.CurrentLevel, 2u);
    EXPECT_EQ(state.TopLevel, 2u);
    EXPECT_EQ(state.TotalBlocks, 88u);
    RedoEdit(state);
    EXPECT_EQ(state.CurrentLevel, 2u);
    UndoEdit(state);
    EXPECT_EQ(state.CurrentLevel, 1u);
    EXPECT_EQ(state.TotalBlocks, 90u);
    EXPECT_EQ(state.SelStart, 5u);
    EXPECT_EQ(state.SelEnd, 6u);
}

TEST_F(EditorOf100Blocks, UndoRestoresTheSelectionOfTheEditedLevel) {
    Select(20, 30);
    state.AmplifyFactor = 0.5;
    ASSERT_TRUE(ApplyEffect(state, context, "Amplify").Ok);
    EXPECT_EQ(state.SelStart, 20u);  // the selection stays for another effect
    EXPECT_EQ(state.SelEnd, 30u);
    Select(3, 3);
    UndoEdit(state);
    EXPECT_EQ(state.SelStart, 20u);
    EXPECT_EQ(state.SelEnd, 30u);
    RedoEdit(state);
    EXPECT_EQ(state.SelStart, 20u);
    EXPECT_EQ(state.SelEnd, 30u);

    // A paste leaves the earlier level's stored selection alone.
    state.InsertPoint = 50;
    Select(1, 2);
    ASSERT_TRUE(CopySelection(state, context).Ok);
    ASSERT_TRUE(InsertBlocks(state, context, "Paste").Ok);
    UndoEdit(state);
    EXPECT_EQ(state.SelStart, 20u);
    EXPECT_EQ(state.SelEnd, 30u);
    UndoEdit(state);  // level 0 keeps the selection the effect was made from
    EXPECT_EQ(state.SelStart, 20u);
    EXPECT_EQ(state.SelEnd, 30u);
    UndoEdit(state);  // at level 0 nothing happens
    EXPECT_EQ(state.CurrentLevel, 0u);
    EXPECT_EQ(state.InsertPoint, 20u);  // with the selection undo brought back
}

TEST_F(EditorOf100Blocks, SecondShorterCopyReplacesTheClipboard) {
    Select(10, 19);
    ASSERT_TRUE(CopySelection(state, context).Ok);
    EXPECT_EQ(state.ClipBlockCount, 10u);
    Select(60, 62);
    ASSERT_TRUE(CopySelection(state, context).Ok);
    EXPECT_EQ(state.ClipBlockCount, 3u);
    state.InsertPoint = 2;
    ASSERT_TRUE(InsertBlocks(state, context, "Paste").Ok);
    EXPECT_EQ(state.TotalBlocks, 103u);
    EXPECT_EQ(BlockAt(2), 60u);
    EXPECT_EQ(BlockAt(4), 62u);
    EXPECT_EQ(BlockAt(5), 2u);
}

TEST_F(EditorOf100Blocks, PasteRightAfterOpeningAddsAnUnchangedLevel) {
    state.InsertPoint = 2;
    ASSERT_TRUE(InsertBlocks(state, context, "Paste").Ok);
    EXPECT_EQ(state.CurrentLevel, 1u);
    // Split before InsertPoint around nothing: the same blocks in the same order.
    EXPECT_THAT(Pieces(), ElementsAre(Piece{1, 1, 1, Rec}, Piece{2, 99, 2, Rec}));
    EXPECT_EQ(state.TotalBlocks, 100u);
    EXPECT_EQ(state.EditBlockCount, 0u);
    EXPECT_EQ(BlockAt(2), 2u);
    UndoEdit(state);  // a paste stores no selection with the level it was made from
    EXPECT_EQ(state.SelStart, 1u);
    EXPECT_EQ(state.SelEnd, 1u);
}

TEST_F(EditorOf100Blocks, NothingSelectedLeavesRecordingAndClipboard) {
    Select(10, 12);
    ASSERT_TRUE(CopySelection(state, context).Ok);
    Select(40, 40);
    ASSERT_TRUE(CutSelection(state, context).Ok);
    ASSERT_TRUE(ApplyEffect(state, context, "FadeIn").Ok);
    DeleteSelection(state);
    EXPECT_EQ(state.CurrentLevel, 0u);
    EXPECT_EQ(state.ClipBlockCount, 3u);
    EXPECT_EQ(state.TotalBlocks, 100u);
}

TEST_F(EditorOf100Blocks, ProgressIsReportedAfterEveryBlockUpTo100) {
    Select(1, 5);
    ASSERT_TRUE(CopySelection(state, context).Ok);
    EXPECT_THAT(progress, ElementsAre(0.0f, 25.0f, 50.0f, 75.0f, 100.0f));
    progress.clear();
    state.SilenceBlockCount = 4;
    ASSERT_TRUE(InsertBlocks(state, context, "Silence").Ok);
    EXPECT_THAT(progress, ElementsAre(25.0f, 50.0f, 75.0f, 100.0f));
    EXPECT_EQ(state.ProgressPercent, 100.0f);
}

TEST_F(EditorOf100Blocks, UnknownEffectIsRefusedWithoutALevel) {
    Select(1, 5);
    const EditResult r = ApplyEffect(state, context, "Reverse");
    EXPECT_FALSE(r.Ok);
    EXPECT_NE(r.Message.find("Reverse"), std::string::npos);
    EXPECT_EQ(state.CurrentLevel, 0u);
}

TEST_F(EditorOf100Blocks, CloseDeletesTheWorkingFiles) {
    ASSERT_TRUE(platform::fileExists(dir.file("Edit.raw")));
    ASSERT_TRUE(platform::fileExists(dir.file("Clp.raw")));
    CloseEditor(state);
    EXPECT_FALSE(platform::fileExists(dir.file("Edit.raw")));
    EXPECT_FALSE(platform::fileExists(dir.file("Clp.raw")));
    EXPECT_TRUE(platform::fileExists(dir.file("Orvane.raw")));
}

// Level 0 follows the ring's time order.
struct LoopOpening {
    bool Loop;
    uint32_t Total;
    uint32_t LastWritten;
    std::vector<Piece> Expected;
    friend std::ostream& operator<<(std::ostream& o, const LoopOpening& c) {
        return o << (c.Loop ? "loop" : "continuous") << " of " << c.Total << ", last written " << c.LastWritten;
    }
};

class EditorLevelZero : public EditorFixture, public ::testing::WithParamInterface<LoopOpening> {};

TEST_P(EditorLevelZero, PutsTheRecordingInTimeOrder) {
    const LoopOpening& c = GetParam();
    WriteRecording(c.Total);
    Open(c.Total, c.LastWritten, c.Loop);
    EXPECT_EQ(Pieces(), c.Expected);
    EXPECT_TRUE(PieceListHolds(CurrentPieces(state), c.Total));
    if (c.Loop && c.LastWritten > 0 && c.LastWritten < c.Total) {
        EXPECT_EQ(BlockAt(1), c.LastWritten + 1);  // the oldest block of the ring
        EXPECT_EQ(BlockAt(c.Total), c.LastWritten);
    }
    EXPECT_EQ(platform::fileSize(dir.file("Edit.raw")), 0);
    EXPECT_EQ(platform::fileSize(dir.file("Clp.raw")), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Openings, EditorLevelZero,
    ::testing::Values(LoopOpening{false, 1800, 300, {Piece{1, 1800, 1, Rec}}},
                      LoopOpening{true, 1800, 300, {Piece{1, 1500, 301, Rec}, Piece{1501, 300, 1, Rec}}},
                      LoopOpening{true, 1800, 1800, {Piece{1, 1800, 1, Rec}}},
                      LoopOpening{true, 1800, 2500, {Piece{1, 1800, 1, Rec}}},
                      LoopOpening{true, 10, 9, {Piece{1, 1, 10, Rec}, Piece{2, 9, 1, Rec}}}));

// Fade in across the two pieces of a ring, Edit.raw holding 7 blocks before.
class EditorLoopOf100Blocks : public EditorFixture {
protected:
    void SetUp() override {
        WriteRecording(100, [](uint32_t, uint32_t) { return std::make_pair(int16_t{20000}, int16_t{-20000}); });
        Open(100, 50, true);
        state.SilenceBlockCount = 7;
        ASSERT_TRUE(InsertBlocks(state, context, "Silence").Ok);
        UndoEdit(state);
    }
};

TEST_F(EditorLoopOf100Blocks, FadeAcrossTwoPiecesMakesOneEditPiecePerPiece) {
    ASSERT_THAT(Pieces(), ElementsAre(Piece{1, 50, 51, Rec}, Piece{51, 50, 1, Rec}));
    Select(40, 60);
    PrepareFade(state, true);
    ASSERT_TRUE(ApplyEffect(state, context, "FadeIn").Ok);
    EXPECT_THAT(Pieces(), ElementsAre(Piece{1, 39, 51, Rec}, Piece{40, 11, 8, Edit}, Piece{51, 10, 19, Edit},
                                      Piece{61, 40, 11, Rec}));
    EXPECT_EQ(state.EditBlockCount, 28u);
    EXPECT_EQ(platform::fileSize(dir.file("Edit.raw")), int64_t{28} * BlockBytes);
    EXPECT_EQ(state.TotalBlocks, 100u);
    for (uint32_t p = 40; p <= 60; ++p) {
        const Piece* piece = FindPiece(CurrentPieces(state), p);
        ASSERT_NE(piece, nullptr);
        EXPECT_FALSE(piece->PieceFromRecording);
        EXPECT_EQ(piece->PieceOffset + (p - piece->PieceStart), p - 40 + 8);
    }
    // The ramp goes on across the piece boundary: 20000 × j / N for frame j.
    const double n = 21.0 * BlockFrames;
    auto expected = [n](double j) { return 20000.0 * j / n; };
    EXPECT_NEAR(FrameAt(40, 0).first, expected(1), 0.5);
    EXPECT_NEAR(FrameAt(50, BlockFrames - 1).first, expected(11 * BlockFrames), 0.5);
    EXPECT_NEAR(FrameAt(51, 0).first, expected(11 * BlockFrames + 1), 0.5);
    EXPECT_NEAR(FrameAt(51, 0).second, -expected(11 * BlockFrames + 1), 0.5);
    EXPECT_EQ(FrameAt(60, BlockFrames - 1).first, 20000);
    EXPECT_EQ(FrameAt(61, 0).first, 20000);
    // The peaks of the written blocks are the processed extremes.
    EXPECT_EQ(state.EditPeaks.PeakMaxLeft[28], 20000);
    EXPECT_EQ(state.EditPeaks.PeakMinRight[28], -20000);
    EXPECT_EQ(state.EditPeaks.PeakMaxLeft[8], 952);  // 20000 / 21
}

// Past 50 edits the oldest levels go; the 50 latest stay undoable.
TEST_F(EditorOf100Blocks, FiftyOneEditsDropTheOldestLevel) {
    for (uint32_t e = 1; e <= 60; ++e) {
        state.InsertPoint = 2;
        state.SilenceBlockCount = 1;
        ASSERT_TRUE(InsertBlocks(state, context, "Silence").Ok);
        EXPECT_EQ(state.CurrentLevel, std::min<uint32_t>(e, MaxHistoryLevel));
    }
    EXPECT_EQ(state.TotalBlocks, 160u);
    for (int u = 0; u < 50; ++u) UndoEdit(state);
    EXPECT_EQ(state.CurrentLevel, 0u);
    EXPECT_EQ(state.TotalBlocks, 110u);  // the state after the tenth edit
    EXPECT_TRUE(PieceListHolds(CurrentPieces(state), 110));
    UndoEdit(state);
    EXPECT_EQ(state.TotalBlocks, 110u);
    for (int r = 0; r < 50; ++r) RedoEdit(state);
    EXPECT_EQ(state.TotalBlocks, 160u);
    EXPECT_EQ(BlockAt(1), 1u);
    EXPECT_EQ(FrameAt(61, 0), std::make_pair(int16_t{0}, int16_t{0}));
    EXPECT_EQ(BlockAt(62), 2u);
}

}  // namespace
}  // namespace orv::test
