// Taking a loop's last minutes out of its way when the disk is short or
// the ring moves on while the copy is made (the wrapped ring and the
// continuous recording are rows of the end-to-end table).
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "record/recent_recording.h"
#include "support/temp_dir.h"

namespace orv {
namespace {

constexpr uint32_t Ring = 1800;  // Loop 3 min
constexpr int64_t Reserve = 17'640'000, RingBytes = int64_t{Ring} * BlockBytes;

struct RecentCase {
    const char* name;
    bool filled;
    uint32_t newest;     // file block of the newest block; the file holds Ring blocks when filled
    int64_t freeBytes;   // -1: unknown
    uint32_t advance;    // blocks the recording writes at the copy's first pump
    const char* refusal; // empty: taken, oldest first
};

void PrintTo(const RecentCase& c, std::ostream* os) { *os << c.name; }

class RecentRecordingTable : public ::testing::TestWithParam<RecentCase> {};

TEST_P(RecentRecordingTable, TakesTheMomentOrSaysWhyNot) {
    const RecentCase& c = GetParam();
    test::TempDir dir;
    CaptureState cap;
    cap.RawFileName = dir.file("Orvane.raw");
    cap.LoopMode = true;
    cap.LoopHalves = Ring / HalfBlocks;
    cap.RingFilled = c.filled;
    ASSERT_TRUE(cap.RawStream.open(cap.RawFileName, platform::RawFile::Mode::Create));
    // Each block holds its file block number, plus `pass` once written again.
    auto tag = [&](uint32_t block, uint32_t pass) {
        const std::vector<uint32_t> words(BlockBytes / 4, block + pass);
        cap.RawStream.writeAt(BlockOffset(block), words.data(), BlockBytes);
    };
    for (uint32_t b = 1; b <= (c.filled ? Ring : c.newest); ++b) tag(b, 0);
    cap.RawStream.seek(uint64_t{c.newest} * BlockBytes);
    bool pumped = false;
    auto pump = [&] {
        if (std::exchange(pumped, true)) return true;
        for (uint32_t k = 0; k < c.advance; ++k) tag((c.newest + k) % Ring + 1, 100000);
        cap.BlocksWritten += c.advance;
        return true;
    };
    std::string message;
    auto taken = TakeRecentRecording(cap, dir.file("Recent.raw"), c.freeBytes, Reserve, pump, message);
    EXPECT_EQ(message, c.refusal);
    if (*c.refusal) {
        EXPECT_FALSE(taken || platform::fileExists(dir.file("Recent.raw"))) << "a refused copy was left";
        return;
    }
    ASSERT_TRUE(taken);
    const uint32_t held = c.filled ? Ring : c.newest, oldest = c.filled ? c.newest + 1 : 1;
    ASSERT_EQ(taken->Blocks(), held);
    for (uint32_t p = 1; p <= held; ++p) {
        uint32_t value = 0;
        taken->Sources().Recording->readAt(BlockOffset(p), &value, 4);
        ASSERT_EQ(value, (oldest - 1 + p - 1) % Ring + 1) << "position " << p;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Recent, RecentRecordingTable,
    ::testing::Values(RecentCase{"OneBlockIsNothing", false, 1, -1, 0, NothingRecordedMessage},
                      RecentCase{"UnfilledRingFillsItsRestBeforeItOvertakes", false, 1200, -1, 600 + 1024, ""},
                      RecentCase{"RingOverwritesBehindTheCopy", true, 620, -1, 1024, ""},
                      RecentCase{"RingOvertakesTheCopy", true, 620, -1, 1025, RecentOvertakenMessage},
                      RecentCase{"OneByteShortOfRoom", true, 620, RingBytes + Reserve - 1, 0, RecentRoomMessage},
                      // 600 blocks on disk: room for their copy and the reserve, not for the ring's rest.
                      RecentCase{"UnfilledRingStillGrows", false, 600, RingBytes + Reserve - 1, 0, RecentRoomMessage},
                      RecentCase{"UnfilledRingHasRoomToGrow", false, 600, RingBytes + Reserve, 0, ""}),
    [](const ::testing::TestParamInfo<RecentCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace orv
