// A power cut loses what is only in the page cache: while a recording is
// written, a background thread hands it to the disk. The writer never waits
// for it, and moving or closing the file in the middle loses nothing.
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "export/save_job.h"
#include "platform/raw_file.h"
#include "record/format.h"
#include "record/ring_position.h"
#include "reliability/disk_order.h"
#include "shell/ini_file.h"
#include "shell/working_folder.h"
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
// that fails leaves the old one as it was. Nothing planted at the hidden
// name is written through, and a link is followed even when it dangles.
enum class Link { None, ToTheFile, Dangling, PlantedAtThePart };
struct ReplaceCase {
    const char* Name;
    const char* File;
    bool (*Replace)(const std::string& path);
    bool SyncFails = false;
    Link Links = Link::None;
};

bool RingPositionFile(const std::string& path) {
    std::string error;
    return WriteRingPositionFile(path, {1800, 60, true, true, 0x1234}, error);
}
bool SettingsFile(const std::string& path) {
    std::string error;
    return WriteSettingsFile(path, Settings{}, error);
}
bool SavedRecording(const std::string& path) {
    platform::RawFile silence;
    SaveProgress progress;
    return silence.open("/dev/zero", platform::RawFile::Mode::Read) &&
           RunSaveJob({{{1, 4, 1, true}}, {1, 4}, true, {}, {}, path}, {&silence, nullptr}, progress, {}).ok();
}

std::string ReadText(const std::string& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class ReplacedFile : public ::testing::TestWithParam<ReplaceCase> {};

TEST_P(ReplacedFile, TakesItsNameOnlyOnceOnTheDiskAndKeepsItsMode) {
    namespace fs = std::filesystem;
    const ReplaceCase& c = GetParam();
    test::TempDir dir, elsewhere;
    const std::string name = c.File, path = dir.file(name), old = "the old file\n";
    if (c.Links != Link::Dangling) {
        std::ofstream(path) << old;
        fs::permissions(path, fs::perms(0600));
    }
    const bool viaLink = c.Links == Link::ToTheFile || c.Links == Link::Dangling;
    const std::string given = viaLink ? elsewhere.file("link") : path;
    if (viaLink) fs::create_symlink(path, given);
    const std::string part = "." + name + ".part-" + std::to_string(::getpid()) + "-";
    const std::string victim = elsewhere.file("victim");
    if (c.Links == Link::PlantedAtThePart) {
        std::ofstream(victim) << "someone else's file";
        fs::permissions(victim, fs::perms(0640));
        fs::create_symlink(victim, dir.file(part + "0"));
    }

    const std::string temp = part + (c.Links == Link::PlantedAtThePart ? "1" : "0");
    test::WatchDiskOrder(dir.path(), c.SyncFails ? temp : "");
    const bool replaced = c.Replace(given);
    const std::vector<std::string> replacedInOrder{"sync " + temp, "rename " + temp + " " + name, "sync ."};
    const std::vector<std::string> failedAndRemoved{"failed sync " + temp, "remove " + temp};
    EXPECT_EQ(test::StopWatchingDiskOrder(), c.SyncFails ? failedAndRemoved : replacedInOrder);
    EXPECT_EQ(replaced, !c.SyncFails);
    EXPECT_EQ(ReadText(path) == old, c.SyncFails);
    EXPECT_TRUE(c.Links == Link::Dangling || fs::status(path).permissions() == fs::perms(0600)) << "mode changed";
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(path)));
    EXPECT_EQ(fs::is_symlink(given), viaLink);
    const bool planted = c.Links == Link::PlantedAtThePart;
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), planted ? 2 : 1) << "a partial file was left";
    if (planted) {
        EXPECT_TRUE(ReadText(victim) == "someone else's file") << "written through the planted link";
        EXPECT_EQ(fs::status(victim).permissions(), fs::perms(0640));
    }
}

INSTANTIATE_TEST_SUITE_P(
    PowerCut, ReplacedFile,
    ::testing::Values(ReplaceCase{"RingPosition", "Orvane.pos", RingPositionFile},
                      ReplaceCase{"RingPositionSyncFails", "Orvane.pos", RingPositionFile, true},
                      ReplaceCase{"SettingsThroughALink", "x.INI", SettingsFile, false, Link::ToTheFile},
                      ReplaceCase{"SettingsThroughADanglingLink", "x.INI", SettingsFile, false, Link::Dangling},
                      ReplaceCase{"SettingsSyncFails", "x.INI", SettingsFile, true},
                      ReplaceCase{"Save", "take.wav", SavedRecording},
                      ReplaceCase{"SaveBesideALinkPlantedAtThePart", "take.wav", SavedRecording, false,
                                  Link::PlantedAtThePart},
                      ReplaceCase{"RingPositionBesideALinkPlantedAtThePart", "Orvane.pos", RingPositionFile, false,
                                  Link::PlantedAtThePart},
                      ReplaceCase{"SaveSyncFails", "take.wav", SavedRecording, true}),
    [](const ::testing::TestParamInfo<ReplaceCase>& info) { return std::string(info.param.Name); });

// A recording that a crash interrupted is kept at the next start under the
// found recording's name: a wrapped ring copied in time order, else moved.
// Either way the recording is on the disk under its new name before the raw
// file goes, so that a power cut just after leaves it under one of the two.
TEST(PowerCut, AKeptRecordingIsOnTheDiskBeforeTheRawFileGoes) {
    for (const bool wrapped : {true, false}) {
        SCOPED_TRACE(wrapped ? "a wrapped ring" : "a continuous recording");
        test::TempDir dir;
        const WorkingFiles files = NameWorkingFiles(dir.path());
        std::ofstream(files.RawFileName, std::ios::binary) << std::string(2 * HalfBlocks * BlockBytes, '\x22');
        std::string error;
        ASSERT_TRUE(!wrapped || WriteRingPositionFile(files.RingFileName, {2 * HalfBlocks, HalfBlocks, true}, error));

        test::WatchDiskOrder(dir.path());
        EXPECT_NE(ClearStaleWorkingFiles(files), "");
        const std::string temp = ".test.part-" + std::to_string(::getpid()) + "-0";
        const std::vector<std::string> copied{"sync " + temp, "rename " + temp + " test", "sync .",
                                              "remove Orvane.raw", "remove Orvane.pos"};
        const std::vector<std::string> moved{"sync Orvane.raw", "rename Orvane.raw test", "sync ."};
        EXPECT_EQ(test::StopWatchingDiskOrder(), wrapped ? copied : moved);
        EXPECT_EQ(platform::fileSize(files.FoundRecordingName), int64_t{2} * HalfBlocks * BlockBytes);
    }
}

}  // namespace
}  // namespace orv
