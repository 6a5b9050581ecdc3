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

}  // namespace
}  // namespace orv
