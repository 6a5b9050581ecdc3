// A 10-hour recording addressed to its last block, and failures of the
// working files.
#include <gtest/gtest.h>

#include <cmath>

#include "editor/operations.h"
#include "editor_fixture.h"

namespace orv::test {
namespace {

constexpr uint32_t TenHours = 359999;  // the longest recording the peak tables describe
constexpr uint32_t LastMinute = TenHours - 599;

class EditorTenHourRecording : public EditorFixture {
protected:
    void SetUp() override {
        // Sparse but for the last minute, which is beyond 4 GB.
        WriteRecording(TenHours, NumberedSample, LastMinute - 1, 601);
        Open(TenHours);
    }
};

TEST_F(EditorTenHourRecording, CopyOfTheLastBlocksReadsThem) {
    ASSERT_GT(BlockOffset(TenHours), uint64_t{1} << 32);
    EXPECT_EQ(BlockAt(TenHours), TenHours);
    Select(TenHours - 1, TenHours);
    ASSERT_TRUE(CopySelection(state, context).Ok);
    std::vector<uint8_t> clip(BlockBytes);
    ASSERT_EQ(state.ClipFile.readAt(BlockOffset(2), clip.data(), BlockBytes), BlockBytes);
    EXPECT_EQ(clip, MakeBlock(TenHours, NumberedSample));

    state.InsertPoint = 2;
    ASSERT_TRUE(InsertBlocks(state, context, "Paste").Ok);
    EXPECT_EQ(BlockAt(2), TenHours - 1);
    EXPECT_EQ(BlockAt(3), TenHours);
    EXPECT_EQ(BlockAt(TenHours + 2), TenHours);
}

TEST_F(EditorTenHourRecording, FadeOfTheLastMinuteReadsTheLastMinute) {
    Select(LastMinute, TenHours);
    PrepareFade(state, true);
    ASSERT_TRUE(ApplyEffect(state, context, "FadeIn").Ok);
    EXPECT_EQ(state.EditBlockCount, 600u);
    const double n = 600.0 * BlockFrames;
    struct Probe {
        uint32_t Position, Frame;
    };
    for (const Probe pr : {Probe{LastMinute, 1}, Probe{LastMinute + 300, 17}, Probe{TenHours, BlockFrames - 1}}) {
        const double j = double(pr.Position - LastMinute) * BlockFrames + pr.Frame + 1;
        const auto [l, r] = NumberedSample(pr.Position, pr.Frame);
        const auto [fl, fr] = FrameAt(pr.Position, pr.Frame);
        EXPECT_NEAR(fl, l * j / n, 0.51) << pr.Position;
        EXPECT_NEAR(fr, r * j / n, 0.51) << pr.Position;
    }
    // Block numbers survive the last frame's full gain.
    EXPECT_EQ(FrameAt(TenHours, BlockFrames - 1), NumberedSample(TenHours, BlockFrames - 1));
    EXPECT_EQ(BlockAt(LastMinute - 1), LastMinute - 1);
}

TEST_F(EditorTenHourRecording, DeleteAndUndoAtTheEnd) {
    Select(TenHours - 9, TenHours);
    DeleteSelection(state);
    EXPECT_EQ(state.TotalBlocks, TenHours - 10);
    EXPECT_EQ(BlockAt(TenHours - 10), TenHours - 10);
    UndoEdit(state);
    EXPECT_EQ(BlockAt(TenHours), TenHours);
}

// Working files that cannot be created, written or read.
class EditorWorkingFileFailure : public EditorFixture {
protected:
    void SetUp() override {
        WriteRecording(50);
        Open(100);  // the recording claims more blocks than the file holds
    }
    void ExpectNoNewLevel(uint16_t level, uint16_t top) {
        EXPECT_EQ(state.CurrentLevel, level);
        EXPECT_EQ(state.TopLevel, top);
    }
};

TEST_F(EditorWorkingFileFailure, EditFileThatCannotBeCreated) {
    CloseEditor(state);
    const EditResult opened = OpenEditor(state, 50, 0, false, dir.file("missing/Edit.raw"), dir.file("Clp.raw"));
    ASSERT_FALSE(opened.Ok);
    EXPECT_NE(opened.Message.find("missing/Edit.raw"), std::string::npos) << opened.Message;
    EXPECT_EQ(state.TotalBlocks, 50u);  // level 0 still shows the recording
    EXPECT_EQ(BlockAt(50), 50u);

    Select(1, 5);
    const EditResult effect = ApplyEffect(state, context, "Normalize");
    EXPECT_FALSE(effect.Ok);
    EXPECT_NE(effect.Message.find("Edit.raw"), std::string::npos) << effect.Message;
    state.SilenceBlockCount = 2;
    EXPECT_FALSE(InsertBlocks(state, context, "Silence").Ok);
    EXPECT_FALSE(CopySelection(state, context).Ok);
    ExpectNoNewLevel(0, 0);
}

TEST_F(EditorWorkingFileFailure, EditFileThatCannotBeWrittenKeepsHistoryAndRedo) {
    Select(1, 10);
    DeleteSelection(state);
    UndoEdit(state);
    ASSERT_TRUE(state.EditFile.open(dir.file("Edit.raw"), platform::RawFile::Mode::Read));

    Select(3, 8);
    state.AmplifyFactor = 2.0;
    const EditResult effect = ApplyEffect(state, context, "Amplify");
    ASSERT_FALSE(effect.Ok);
    EXPECT_EQ(effect.Message.rfind("Cannot write the editor file", 0), 0u) << effect.Message;
    state.SilenceBlockCount = 3;
    EXPECT_FALSE(InsertBlocks(state, context, "Silence").Ok);
    ExpectNoNewLevel(0, 1);
    EXPECT_EQ(state.EditBlockCount, 0u);
    EXPECT_EQ(state.EditHistory[0].LevelSelStart, 1u);  // the failed effect stored no selection
    EXPECT_EQ(state.EditHistory[0].LevelSelEnd, 10u);
    RedoEdit(state);
    EXPECT_EQ(state.TotalBlocks, 90u);
}

TEST_F(EditorWorkingFileFailure, ShortReadOfTheRecordingCommitsNothing) {
    Select(40, 60);
    PrepareFade(state, false);
    const EditResult effect = ApplyEffect(state, context, "FadeOut");
    ASSERT_FALSE(effect.Ok);
    EXPECT_NE(effect.Message.find("block 51"), std::string::npos) << effect.Message;
    ExpectNoNewLevel(0, 0);
    EXPECT_EQ(platform::fileSize(dir.file("Edit.raw")), 0);  // the partial append is given back

    // The next edit reuses the room and works.
    Select(1, 5);
    state.AmplifyFactor = 0.5;
    ASSERT_TRUE(ApplyEffect(state, context, "Amplify").Ok);
    EXPECT_EQ(state.EditBlockCount, 5u);
    EXPECT_NE(FrameAt(1, 100), NumberedSample(1, 100));
}

TEST_F(EditorWorkingFileFailure, FailedCopyEmptiesTheClipboardAndCutDeletesNothing) {
    Select(2, 4);
    ASSERT_TRUE(CopySelection(state, context).Ok);
    Select(45, 55);
    EXPECT_FALSE(CutSelection(state, context).Ok);
    EXPECT_EQ(state.ClipBlockCount, 0u);
    ExpectNoNewLevel(0, 0);
    EXPECT_EQ(state.TotalBlocks, 100u);
}

TEST_F(EditorWorkingFileFailure, ClipboardThatCannotBeWrittenOrRead) {
    ASSERT_TRUE(state.ClipFile.open(dir.file("Clp.raw"), platform::RawFile::Mode::Read));
    Select(2, 4);
    const EditResult copy = CopySelection(state, context);
    ASSERT_FALSE(copy.Ok);
    EXPECT_NE(copy.Message.find("Clp.raw"), std::string::npos) << copy.Message;

    state.ClipBlockCount = 3;  // more than the empty file holds
    const EditResult paste = InsertBlocks(state, context, "Paste");
    ASSERT_FALSE(paste.Ok);
    EXPECT_NE(paste.Message.find("Clp.raw"), std::string::npos) << paste.Message;
    ExpectNoNewLevel(0, 0);
}

}  // namespace
}  // namespace orv::test
