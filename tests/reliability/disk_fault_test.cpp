// A disk that fills up or fails under a recording: the recording stops with
// a message, the file holds whole blocks that play the sound in order, and
// nothing written before the fault is lost.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <ostream>
#include <string>
#include <thread>

#include "platform/raw_file.h"
#include "reliability/disk_order.h"
#include "reliability/failing_pwrite.h"
#include "reliability/recorder_rig.h"
#include "reliability/small_disk.h"

namespace orv {
namespace {

constexpr uint64_t SecondBytes = BytesPerSecond;

struct FullDiskCase {
    const char* name;
    bool statusTimer;      // false: the write fails before a status tick looks at the free space
    const char* message;   // how the stop begins
    bool failedSync = false;  // the disk refuses a background sync instead of filling up
};

void PrintTo(const FullDiskCase& c, std::ostream* o) { *o << c.name; }

class FullDisk : public ::testing::TestWithParam<FullDiskCase> {};

// Another program fills the disk while we record (or the disk refuses a sync).
TEST_P(FullDisk, FilledByAnotherProgramStopsWithWholeBlocksAndNothingEarlierLost) {
    const FullDiskCase& c = GetParam();
    test::SmallDisk disk(400 * SecondBytes);
    test::RecorderRig rig(disk.path(), disk);
    RecordProperty("file_system", disk.mounted() ? "tmpfs" : "file-size limit");
    rig.state.SyncMilliseconds = 5;
    rig.Record();
    rig.Run(50);  // two halves on disk, ten blocks in memory
    ASSERT_EQ(platform::fileSize(rig.cap.RawFileName), int64_t{2 * HalfBytes});
    if (c.failedSync)
        test::WatchDiskOrder(disk.path(), "Orvane.raw");
    else  // room for a block and a bit: the next half is cut inside its second block
        disk.FillLeaving(BlockBytes + 11000, rig.cap.RawFileName);
    const uint64_t syncs = rig.cap.RawStream.syncCount() + 2;  // one of them refused
    for (int i = 0; c.failedSync && i < 999 && rig.cap.RawStream.syncCount() < syncs; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const bool stopped = rig.RunUntilStopped(100, c.statusTimer);
    test::StopWatchingDiskOrder();
    ASSERT_TRUE(stopped);

    // The blocks still in memory may meet the full disk too: then both are told.
    EXPECT_TRUE(std::any_of(rig.view.messages.begin(), rig.view.messages.end(),
                            [&](const std::string& m) { return m.rfind(c.message, 0) == 0; }))
        << (rig.view.messages.empty() ? "no message" : rig.view.messages[0]);
    const int64_t size = platform::fileSize(rig.cap.RawFileName);
    EXPECT_EQ(size % BlockBytes, 0) << "a partial block was left at the end";
    EXPECT_GE(size, int64_t{2 * HalfBytes}) << "blocks written before the disk filled were lost";
    EXPECT_EQ(rig.cap.TotalBlocks, uint64_t(size / BlockBytes));
    const test::CountCheck count = rig.Counting();
    EXPECT_FALSE(count.readFailed);
    EXPECT_EQ(count.breaks, 0u) << "at frame " << count.firstBreakAt;
    EXPECT_EQ(count.frames, uint64_t{rig.cap.TotalBlocks} * BlockFrames);
    EXPECT_EQ(count.firstValue, 0u) << "the recording must start with its first frame";
    EXPECT_TRUE(rig.control.SaveAsEnabled());
}

INSTANTIATE_TEST_SUITE_P(
    Reliability, FullDisk,
    ::testing::Values(FullDiskCase{"FreeSpaceStopComesFirst", true, "There is no space on drive"},
                      FullDiskCase{"WriteErrorComesFirst", false, "Recording was stopped: can not write to"},
                      FullDiskCase{"BackgroundSyncFails", true, "Recording was stopped: can not write to", true}),
    [](const auto& info) { return std::string(info.param.name); });

// The disk runs low while we record alone: the free-space stop ends the
// recording in time, and every block heard up to the stop is in the file.
TEST(FreeSpace, SmallDiskStopsTheRecordingWithItsMessageAndKeepsEveryBlock) {
    test::SmallDisk disk(106 * SecondBytes);
    test::RecorderRig rig(disk.path(), disk);
    rig.Record();
    int ticks = 0;
    while (rig.cap.Recording && ticks < 300) {
        rig.Run(1);
        ++ticks;
    }
    ASSERT_FALSE(rig.cap.Recording) << "the recording never stopped";
    ASSERT_EQ(rig.view.messages.size(), 1u);
    EXPECT_EQ(rig.view.messages[0], "There is no space on drive " + disk.mountPoint(disk.path()));
    EXPECT_EQ(rig.cap.TotalBlocks, uint32_t(ticks)) << "blocks captured before the stop are missing";
    const test::CountCheck count = rig.Counting();
    EXPECT_EQ(count.breaks, 0u);
    EXPECT_EQ(count.frames, uint64_t(ticks) * BlockFrames);
}

// A write fails half way through a block in a loop's second pass: the ring
// must not keep a block that is half this pass and half the last, nor lose
// the last pass's blocks after it.
class LoopRingShortWrite : public ::testing::TestWithParam<int> {};

TEST_P(LoopRingShortWrite, LeavesNoMixedBlockAndTheWholeRing) {
    test::TempDir dir;
    test::GivenFreeSpace space;
    test::RecorderRig rig(dir.path(), space);
    rig.Record(1);  // 3 minutes: 90 halves
    const int ringBlocks = rig.cap.LoopHalves * int(HalfBlocks);
    rig.Run(ringBlocks + GetParam());  // into the second pass
    ASSERT_TRUE(rig.cap.RingFilled);
    test::ArmFailingWrite(rig.cap.RawFileName, BlockBytes + 7000);
    const bool stopped = rig.RunUntilStopped(100);
    test::DisarmFailingWrite();
    ASSERT_TRUE(test::FailingWriteHappened());
    ASSERT_TRUE(stopped);
    ASSERT_FALSE(rig.view.messages.empty());
    EXPECT_EQ(rig.view.messages[0].rfind("Recording was stopped", 0), 0u);
    EXPECT_EQ(rig.cap.TotalBlocks, uint32_t(ringBlocks)) << "the ring lost blocks of its last pass";
    // In time order the ring is the last pass's oldest blocks, then this
    // pass's: one unbroken count. A mixed block breaks it inside a block.
    const test::CountCheck count = rig.Counting();
    EXPECT_EQ(count.breaks, 0u) << "at frame " << count.firstBreakAt << " (block "
                                << count.firstBreakAt / BlockFrames + 1 << " in time order)";
    EXPECT_EQ(count.frames, uint64_t(ringBlocks) * BlockFrames);
}

// Ticks into the second pass: the fault hits its third half, or the ring's last.
INSTANTIATE_TEST_SUITE_P(Reliability, LoopRingShortWrite, ::testing::Values(45, 1785));

}  // namespace
}  // namespace orv
