// A full disk or an I/O error under an editing command, after an edit that
// worked: the command says why, commits no history level, gives back what it
// half appended, and neither the recording nor the earlier edit changes; the
// same command works once the disk has room again.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <iterator>
#include <string>

#include "editor/editor_fixture.h"
#include "editor/operations.h"
#include "reliability/failing_pwrite.h"

namespace orv::test {
namespace {

struct EditFaultCase {
    const char* Name;
    const char* File;       // the working file whose write fails
    uint64_t BytesWritten;  // before the failing write: a block and a half
    std::function<EditResult(EditorState&, EditorContext&)> Command;
};

std::string ReadAll(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), {}};
}

class EditUnderDiskFault : public EditorFixture, public ::testing::WithParamInterface<EditFaultCase> {
protected:
    void SetUp() override {
        WriteRecording(100);
        Open(100);
        Select(1, 5);
        state.AmplifyFactor = 0.5;
        ASSERT_TRUE(ApplyEffect(state, context, "Amplify").Ok);
        Select(60, 69);
        ASSERT_TRUE(CopySelection(state, context).Ok);
        Select(20, 39);
        state.SilenceBlockCount = 10;
    }
    void TearDown() override { DisarmFailingWrite(); }
};

TEST_P(EditUnderDiskFault, CommitsNothingAndKeepsEverythingBefore) {
    const EditFaultCase& c = GetParam();
    const std::string recordingBefore = ReadAll(dir.file("Orvane.raw"));
    const int64_t editBefore = platform::fileSize(dir.file("Edit.raw"));
    const std::vector<Piece> piecesBefore = Pieces();
    std::vector<std::pair<int16_t, int16_t>> heardBefore;
    for (uint32_t p = 1; p <= 100; ++p) heardBefore.push_back(FrameAt(p, 7));
    const uint16_t level = state.CurrentLevel, top = state.TopLevel;

    ArmFailingWrite(dir.file(c.File), c.BytesWritten);
    const EditResult failed = c.Command(state, context);
    ASSERT_TRUE(FailingWriteHappened()) << "the command never wrote " << c.File;
    DisarmFailingWrite();
    ASSERT_FALSE(failed.Ok);
    EXPECT_NE(failed.Message.find(c.File), std::string::npos) << failed.Message;
    EXPECT_EQ(state.CurrentLevel, level);
    EXPECT_EQ(state.TopLevel, top);
    EXPECT_EQ(Pieces(), piecesBefore);
    EXPECT_EQ(platform::fileSize(dir.file("Edit.raw")), editBefore) << "a partial append was left";
    EXPECT_TRUE(ReadAll(dir.file("Orvane.raw")) == recordingBefore) << "the recording changed";
    for (uint32_t p = 1; p <= 100; ++p) ASSERT_EQ(FrameAt(p, 7), heardBefore[p - 1]) << "position " << p;

    // The disk has room again: the same command goes through.
    Select(20, 39);
    if (std::string(c.File) == "Clp.raw") ASSERT_TRUE(CutSelection(state, context).Ok);
    else ASSERT_TRUE(c.Command(state, context).Ok);
    EXPECT_EQ(state.CurrentLevel, level + 1);
}

INSTANTIATE_TEST_SUITE_P(
    Reliability, EditUnderDiskFault,
    ::testing::Values(
        EditFaultCase{"Amplify", "Edit.raw", BlockBytes * 3 / 2,
                      [](EditorState& s, EditorContext& c) {
                          s.AmplifyFactor = 2.0;
                          return ApplyEffect(s, c, "Amplify");
                      }},
        EditFaultCase{"InsertSilence", "Edit.raw", BlockBytes * 3 / 2,
                      [](EditorState& s, EditorContext& c) { return InsertBlocks(s, c, "Silence"); }},
        EditFaultCase{"Paste", "Edit.raw", BlockBytes * 3 / 2,
                      [](EditorState& s, EditorContext& c) { return InsertBlocks(s, c, "Paste"); }},
        // The clipboard cannot take the cut: nothing is deleted.
        EditFaultCase{"Cut", "Clp.raw", BlockBytes * 3 / 2,
                      [](EditorState& s, EditorContext& c) { return CutSelection(s, c); }}),
    [](const auto& info) { return std::string(info.param.Name); });

}  // namespace
}  // namespace orv::test
