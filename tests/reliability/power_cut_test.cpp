// A power cut loses what is only in the page cache: while a recording is
// written, a background thread hands it to the disk. The writer never waits
// for it, and moving or closing the file in the middle loses nothing.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <utility>
#include <vector>

#include "platform/raw_file.h"
#include "record/format.h"
#include "record/ring_position.h"
#include "reliability/disk_order.h"
#include "support/temp_dir.h"

namespace orv {
namespace {

bool WaitForSyncs(const platform::RawFile& f, uint64_t n) {
    for (int i = 0; i < 1000 && f.syncCount() < n; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return f.syncCount() >= n;
}

TEST(PowerCut, PeriodicSyncRunsBesideWritesAndSurvivesMoveAndClose) {
    test::TempDir dir;
    const std::string path = dir.file("Orvane.raw");
    platform::RawFile file;
    ASSERT_TRUE(file.open(path, platform::RawFile::Mode::Create));
    file.syncEvery(std::chrono::milliseconds(2));
    std::vector<uint8_t> block(BlockBytes);
    for (uint32_t k = 1; k <= 200; ++k) {
        for (size_t i = 0; i < block.size(); ++i) block[i] = uint8_t(k + i);
        ASSERT_EQ(file.writeAt(BlockOffset(k), block.data(), BlockBytes), BlockBytes);
        if (k == 100) {
            ASSERT_TRUE(WaitForSyncs(file, 2)) << "no sync while writing";
            platform::RawFile moved = std::move(file);  // the recording's file changes hands
            file = std::move(moved);
        }
    }
    ASSERT_TRUE(WaitForSyncs(file, 4)) << "syncing stopped after the move";
    EXPECT_EQ(file.syncError(), "");
    file.close();
    EXPECT_EQ(file.syncCount(), 0u);

    platform::RawFile back;
    ASSERT_TRUE(back.open(path, platform::RawFile::Mode::Read));
    ASSERT_EQ(back.size(), int64_t{200} * BlockBytes);
    for (uint32_t k = 1; k <= 200; k += 37) {
        ASSERT_EQ(back.readAt(BlockOffset(k), block.data(), BlockBytes), BlockBytes);
        EXPECT_EQ(block[5], uint8_t(k + 5)) << "block " << k;
    }
}

// The ring position is replaced at every half. After a power cut its name
// must hold the old position or the new one whole: the new file reaches the
// disk before it takes the name, and a sync that fails keeps the old one.
struct PositionCase {
    const char* Name;
    std::string FailSync;
    bool Written;
    std::vector<std::string> Order;
};

class PositionFileOnDisk : public ::testing::TestWithParam<PositionCase> {};

TEST_P(PositionFileOnDisk, TakesItsNameOnlyOnceOnTheDisk) {
    const PositionCase& c = GetParam();
    test::TempDir dir;
    const std::string path = dir.file("Orvane.pos");
    const RingPosition before{1800, 40, true, false, 0}, after{1800, 60, true, true, 0x1234};
    std::string error;
    ASSERT_TRUE(WriteRingPositionFile(path, before, error)) << error;

    test::WatchDiskOrder(dir.path(), c.FailSync);
    const bool written = WriteRingPositionFile(path, after, error);
    EXPECT_EQ(test::StopWatchingDiskOrder(), c.Order);
    EXPECT_EQ(written, c.Written);
    EXPECT_EQ(error.empty(), c.Written) << error;
    EXPECT_EQ(ReadRingPositionFile(path), c.Written ? after : before);
    EXPECT_FALSE(platform::fileExists(path + ".new"));
}

INSTANTIATE_TEST_SUITE_P(
    PowerCut, PositionFileOnDisk,
    ::testing::Values(PositionCase{"Replaced", "", true, {"sync Orvane.pos.new", "rename Orvane.pos.new Orvane.pos"}},
                      PositionCase{"SyncFailsOldKept", "Orvane.pos.new", false, {"failed sync Orvane.pos.new"}}),
    [](const ::testing::TestParamInfo<PositionCase>& info) { return std::string(info.param.Name); });

}  // namespace
}  // namespace orv
