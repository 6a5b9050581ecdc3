// A power cut loses what is only in the page cache: while a recording is
// written, a background thread hands it to the disk. The writer never waits
// for it, and moving or closing the file in the middle loses nothing.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>
#include <utility>
#include <vector>

#include "export/save_job.h"
#include "platform/raw_file.h"
#include "record/format.h"
#include "record/ring_position.h"
#include "reliability/disk_order.h"
#include "shell/ini_file.h"
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

// Every file replaced whole (the ring position at every half, the settings,
// a saved recording) takes its name only once it is on the disk, with the
// old file's permissions, and the rename reaches the disk with its folder.
// After a power cut the name holds the old file or the whole new one; a sync
// that fails leaves the old one as it was.
enum class Replacer { RingPosition, Settings, Save };

struct ReplaceCase {
    const char* Name;
    Replacer Who;
    bool SyncFails;
    bool ViaLink;  // the settings file may be a link to the real one: the real one is replaced
};

class ReplacedFile : public ::testing::TestWithParam<ReplaceCase> {};

bool Replace(Replacer who, const std::string& path, const test::TempDir& elsewhere) {
    std::string error;
    switch (who) {
    case Replacer::RingPosition: return WriteRingPositionFile(path, {1800, 60, true, true, 0x1234}, error);
    case Replacer::Settings: return WriteSettingsFile(path, Settings{}, error);
    case Replacer::Save: {
        platform::RawFile raw;
        const std::vector<uint8_t> block(BlockBytes, 0x21);
        if (!raw.open(elsewhere.file("Orvane.raw"), platform::RawFile::Mode::Create)) return false;
        for (uint32_t k = 1; k <= 4; ++k) raw.writeAt(BlockOffset(k), block.data(), BlockBytes);
        const SaveJob job{{{1, 4, 1, true}}, {1, 4}, true, WavParameters{}, {}, path};
        SaveProgress progress;
        return RunSaveJob(job, {&raw, nullptr}, progress, {}).ok();
    }
    }
    return false;
}

std::string Contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST_P(ReplacedFile, TakesItsNameOnlyOnceOnTheDiskAndKeepsItsMode) {
    const ReplaceCase& c = GetParam();
    test::TempDir dir, elsewhere;
    const std::string name = c.Who == Replacer::RingPosition ? "Orvane.pos"
                             : c.Who == Replacer::Settings   ? "x.INI"
                                                             : "take.wav";
    const std::string path = dir.file(name), old = "the old file\n";
    std::ofstream(path, std::ios::binary) << old;
    ASSERT_EQ(::chmod(path.c_str(), 0600), 0);
    const std::string given = c.ViaLink ? elsewhere.file("link.INI") : path;
    if (c.ViaLink) {
        ASSERT_EQ(::symlink(path.c_str(), given.c_str()), 0);
    }

    const std::string temp = "." + name + ".part-" + std::to_string(::getpid()) + "-0";
    test::WatchDiskOrder(dir.path(), c.SyncFails ? temp : "");
    const bool replaced = Replace(c.Who, given, elsewhere);
    const std::vector<std::string> order =
        c.SyncFails ? std::vector<std::string>{"failed sync " + temp}
                    : std::vector<std::string>{"sync " + temp, "rename " + temp + " " + name, "sync ."};
    EXPECT_EQ(test::StopWatchingDiskOrder(), order);
    EXPECT_EQ(replaced, !c.SyncFails);
    EXPECT_EQ(Contents(path) == old, c.SyncFails) << "replaced: " << replaced;
    if (c.Who == Replacer::RingPosition && replaced) {
        EXPECT_TRUE(ReadRingPositionFile(path));
    }
    struct stat st {};
    ASSERT_EQ(::lstat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    if (c.ViaLink) {
        ASSERT_EQ(::lstat(given.c_str(), &st), 0);
        EXPECT_TRUE(S_ISLNK(st.st_mode)) << "the link was replaced instead of its file";
    }
    size_t entries = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.path())) ++entries;
    EXPECT_EQ(entries, 1u) << "a partial file was left";
}

INSTANTIATE_TEST_SUITE_P(
    PowerCut, ReplacedFile,
    ::testing::Values(ReplaceCase{"RingPosition", Replacer::RingPosition, false, false},
                      ReplaceCase{"RingPositionSyncFails", Replacer::RingPosition, true, false},
                      ReplaceCase{"SettingsThroughALink", Replacer::Settings, false, true},
                      ReplaceCase{"SettingsSyncFails", Replacer::Settings, true, false},
                      ReplaceCase{"Save", Replacer::Save, false, false},
                      ReplaceCase{"SaveSyncFails", Replacer::Save, true, false}),
    [](const ::testing::TestParamInfo<ReplaceCase>& info) { return std::string(info.param.Name); });

}  // namespace
}  // namespace orv
