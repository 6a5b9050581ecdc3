// Taking a running recording's last minutes out of its way: which blocks, in
// which order, and what happens when the disk is short or the ring moves on
// while its copy is made.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "record/recent_recording.h"
#include "support/temp_dir.h"

namespace orv {
namespace {

constexpr uint32_t Ring = 1800;  // Loop 3 min
constexpr int64_t Reserve = 17'640'000;  // what the recording keeps free
constexpr int64_t RingBytes = int64_t{Ring} * BlockBytes;

struct RecentCase {
    const char* name;
    bool loop;
    bool filled;
    uint32_t newest;       // file block of the newest block written
    uint32_t fileBlocks;
    int64_t freeBytes;     // -1: unknown
    uint32_t advance;      // blocks the recording writes at the first pump
    uint32_t wantBlocks;   // 0: refused
    uint32_t wantFirst;    // file block the copy starts with
    const char* wantMessage;
};

void PrintTo(const RecentCase& c, std::ostream* os) { *os << c.name; }

class RecentRecordingTable : public ::testing::TestWithParam<RecentCase> {
protected:
    // Every block tagged with its file block number, plus `pass` for a later pass.
    void Tag(uint32_t block, uint32_t pass) {
        std::vector<uint32_t> words(BlockBytes / 4, block + pass);
        ASSERT_EQ(cap.RawStream.writeAt(BlockOffset(block), words.data(), BlockBytes), BlockBytes);
    }
    uint32_t TagAt(const platform::RawFile& f, uint32_t position) {
        uint32_t tag = 0;
        f.readAt(BlockOffset(position), &tag, 4);
        return tag;
    }

    test::TempDir dir;
    CaptureState cap;
};

TEST_P(RecentRecordingTable, TakesTheMomentOldestFirst) {
    const RecentCase& c = GetParam();
    cap.RawFileName = dir.file("Orvane.raw");
    cap.LoopMode = c.loop;
    cap.LoopHalves = c.loop ? int32_t(Ring / HalfBlocks) : 0;
    cap.RingFilled = c.filled;
    ASSERT_TRUE(cap.RawStream.open(cap.RawFileName, platform::RawFile::Mode::Create));
    for (uint32_t b = 1; b <= c.fileBlocks; ++b) Tag(b, 0);
    cap.RawStream.seek(uint64_t{c.newest} * BlockBytes);
    cap.BlocksWritten = 5000;
    int pumps = 0;
    // The recording goes on at the first pump: the ring's oldest blocks get a new pass.
    auto pump = [&] {
        if (pumps++ > 0) return;
        for (uint32_t k = 0; k < c.advance; ++k) Tag((c.newest + k) % Ring + 1, 100000);
        cap.BlocksWritten += c.advance;
    };
    const std::string copyPath = dir.file("Recent.raw");
    std::string message;
    auto taken = TakeRecentRecording(cap, copyPath, c.freeBytes, Reserve, pump, message);
    if (c.wantBlocks == 0) {
        EXPECT_FALSE(taken);
        EXPECT_EQ(message, c.wantMessage);
        EXPECT_FALSE(platform::fileExists(copyPath)) << "a refused copy was left";
        return;
    }
    ASSERT_TRUE(taken) << message;
    ASSERT_EQ(taken->Blocks(), c.wantBlocks);
    const platform::RawFile& source = *taken->Sources().Recording;
    for (uint32_t p = 1; p <= c.wantBlocks; ++p) {
        const uint32_t want = c.loop ? (c.wantFirst - 1 + p - 1) % Ring + 1 : p;
        ASSERT_EQ(TagAt(source, p), want) << "position " << p;
    }
    taken.reset();
    EXPECT_FALSE(platform::fileExists(copyPath)) << "the copy outlived its save";
    EXPECT_TRUE(platform::fileExists(cap.RawFileName));
}


INSTANTIATE_TEST_SUITE_P(
    Recent, RecentRecordingTable,
    ::testing::Values(
        RecentCase{"ContinuousReadWhereItLies", false, false, 40, 40, 0, 0, 40, 1, ""},
        RecentCase{"ContinuousOneBlockIsNothing", false, false, 1, 1, -1, 0, 0, 0, NothingRecordedMessage},
        RecentCase{"LoopBeforeItsFirstWrap", true, false, 600, 600, -1, 0, 600, 1, ""},
        RecentCase{"WrappedRingFromItsOldestBlock", true, true, 620, Ring, -1, 0, Ring, 621, ""},
        RecentCase{"RingOverwrittenBehindTheCopy", true, true, 620, Ring, -1, 1024, Ring, 621, ""},
        RecentCase{"RingOvertakesTheCopy", true, true, 620, Ring, -1, 1025, 0, 0, RecentOvertakenMessage},
        RecentCase{"UnfilledRingFillsItsRestFirst", true, false, 1200, 1200, -1, 600 + 1024, 1200, 1, ""},
        RecentCase{"ExactRoomForCopyAndReserve", true, true, 620, Ring, RingBytes + Reserve, 0, Ring, 621, ""},
        RecentCase{"OneByteShortOfRoom", true, true, 620, Ring, RingBytes + Reserve - 1, 0, 0, 0, RecentRoomMessage}),
    [](const ::testing::TestParamInfo<RecentCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace orv
