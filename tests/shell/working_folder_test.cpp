// Where the working files live, and what a start finds left over from a crash.
#include <gtest/gtest.h>

#include <sndfile.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "platform/raw_file.h"
#include "platform/program_files.h"
#include "shell/working_folder.h"
#include "support/temp_dir.h"

namespace orv {
namespace {

void WriteBytes(const std::string& path, size_t n) {
    std::ofstream(path, std::ios::binary) << std::string(n, '\x11');
}

TEST(WorkingFolder, UsesTheDataFolderOnlyWhenItsSubfolderExists) {
    test::TempDir data, exe;
    EXPECT_EQ(ChooseWorkingFolder(data.path(), exe.path()), exe.path() + "/Temp");
    ASSERT_EQ(::mkdir(data.file("Orvane Recorder").c_str(), 0755), 0);
    EXPECT_EQ(ChooseWorkingFolder(data.path(), exe.path()), data.path() + "/Orvane Recorder");
    EXPECT_EQ(ChooseWorkingFolder("", exe.path()), exe.path() + "/Temp");
}

// An installed program's folder cannot take a Temp folder (a path under a
// plain file fails even for root): the data folder is made, parents included.
TEST(WorkingFolder, AnInstalledProgramRecordsIntoTheDataFolder) {
    test::TempDir scratch;
    WriteBytes(scratch.file("usr-bin"), 1);
    const std::string exe = scratch.file("usr-bin/bin");
    const std::string data = scratch.file("home/.local/share");

    const std::string folder = ChooseWorkingFolder(data, exe);
    EXPECT_EQ(folder, data + "/Orvane Recorder");
    std::string error;
    EXPECT_TRUE(PrepareWorkingFolder(folder, error)) << error;
    EXPECT_TRUE(platform::dirExists(folder));
    EXPECT_EQ(ChooseWorkingFolder(data, exe), folder);  // the next start finds it

    // Without a data folder there is nowhere to go: the error names the folder beside the program.
    const std::string none = ChooseWorkingFolder("", exe);
    EXPECT_EQ(none, exe + "/Temp");
    EXPECT_FALSE(PrepareWorkingFolder(none, error));
    EXPECT_EQ(error, "Can not create " + exe + "/Temp");
}

// Run as root, an installed program could write into its bin folder; it must
// not litter it with a Temp folder, and takes the data folder instead.
TEST(WorkingFolder, AnInstalledTreeNeverWritesBesideItsExecutable) {
    test::TempDir prefix;
    ASSERT_EQ(::mkdir(prefix.file("bin").c_str(), 0755), 0);
    ASSERT_EQ(::mkdir(prefix.file("lib").c_str(), 0755), 0);
    ASSERT_EQ(::mkdir(prefix.file("lib/orvane-recorder").c_str(), 0755), 0);
    WriteBytes(prefix.file("lib/orvane-recorder/liblame_enc.so"), 1);
    const std::string exe = prefix.file("bin/orvane-recorder");
    ASSERT_TRUE(platform::RunsInstalled(exe));
    const std::string data = prefix.file("share");
    EXPECT_EQ(ChooseWorkingFolder(data, prefix.file("bin"), platform::RunsInstalled(exe)), data + "/Orvane Recorder");
    EXPECT_FALSE(platform::dirExists(prefix.file("bin/Temp")));

    // The same tree as a build: the library beside the executable.
    WriteBytes(prefix.file("bin/liblame_enc.so"), 1);
    EXPECT_FALSE(platform::RunsInstalled(exe));
}

TEST(WorkingFolder, CreatesOneLevelOrSaysWhyNot) {
    test::TempDir exe;
    std::string error;
    EXPECT_TRUE(PrepareWorkingFolder(exe.file("Temp"), error));
    EXPECT_TRUE(platform::dirExists(exe.file("Temp")));
    const std::string deep = exe.file("missing/Temp");
    EXPECT_FALSE(PrepareWorkingFolder(deep, error));
    EXPECT_EQ(error, "Can not create " + deep);
}

class StaleFiles : public ::testing::Test {
protected:
    test::TempDir dir;
    WorkingFiles files = NameWorkingFiles(dir.path());
};

// Also the copy of a loop that a kill left in the middle of its save.
TEST_F(StaleFiles, EditorFilesGoAndThePeakSummaryStays) {
    WriteBytes(files.EditFileName, 100);
    WriteBytes(files.ClipFileName, 100);
    WriteBytes(files.RecentFileName, 100);
    WriteBytes(files.PeakFileName, 80);
    EXPECT_EQ(ClearStaleWorkingFiles(files), "");
    EXPECT_FALSE(platform::fileExists(files.EditFileName));
    EXPECT_FALSE(platform::fileExists(files.ClipFileName));
    EXPECT_FALSE(platform::fileExists(files.RecentFileName));
    EXPECT_TRUE(platform::fileExists(files.PeakFileName));
}

TEST_F(StaleFiles, InterruptedRecordingBecomesTheFoundRecording) {
    WriteBytes(files.RawFileName, 3 * 17640);
    const std::string note = ClearStaleWorkingFiles(files);
    // Told once, with its length and where to open it.
    EXPECT_NE(note.find("(00:00:00.3 long)"), std::string::npos) << note;
    EXPECT_NE(note.find("\"载入\""), std::string::npos) << note;
    EXPECT_FALSE(platform::fileExists(files.RawFileName));
    EXPECT_EQ(platform::fileSize(files.FoundRecordingName), 3 * 17640);
}

TEST_F(StaleFiles, InterruptedRecordingIsKeptBesideAnEarlierFoundRecording) {
    WriteBytes(files.FoundRecordingName, 17640);
    WriteBytes(files.RawFileName, 2 * 17640);
    const std::string note = ClearStaleWorkingFiles(files);
    ASSERT_NE(note, "");
    const std::string kept = note.substr(note.find('\n') + 1);
    EXPECT_EQ(kept.rfind(dir.path() + "/Orvane ", 0), 0u) << kept;
    ASSERT_EQ(kept.substr(kept.size() - 4), ".wav") << kept;
    // A WAV file any player opens: a 44-byte header, then the same samples.
    std::ifstream in(kept, std::ios::binary);
    const std::string wav((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(wav.substr(0, 44), std::string("RIFF\xf4\x89\0\0WAVEfmt \x10\0\0\0\x01\0\x02\0\x44\xac\0\0\x10\xb1\x02\0"
                                             "\x04\0\x10\0data\xd0\x89\0\0", 44));
    EXPECT_EQ(wav.substr(44), std::string(2 * 17640, '\x11'));
    EXPECT_EQ(platform::fileSize(files.FoundRecordingName), 17640);  // untouched
    EXPECT_FALSE(platform::fileExists(files.RawFileName));

    // A second crash on the same second does not overwrite the first one kept.
    WriteBytes(files.RawFileName, 4 * 17640);
    const std::string note2 = ClearStaleWorkingFiles(files);
    const std::string kept2 = note2.substr(note2.find('\n') + 1);
    EXPECT_NE(kept2, kept);
    EXPECT_EQ(platform::fileSize(kept), 44 + 2 * 17640);
    EXPECT_EQ(platform::fileSize(kept2), 44 + 4 * 17640);
}

// Hours of recording past what a 44-byte header can describe: RF64, which
// readers take, and exactly the canonical header up to its last byte. Sparse
// files: only the frames written near the end take room on the disk.
struct LongRecording {
    const char* Name;
    uint64_t Frames;
    int Format;  // as the reader names it
};

class KeptPastFourGigabytes : public StaleFiles, public ::testing::WithParamInterface<LongRecording> {};

TEST_P(KeptPastFourGigabytes, IsReadBackWhole) {
    const LongRecording& c = GetParam();
    WriteBytes(files.FoundRecordingName, 17640);  // so that it is kept as a WAV file
    std::vector<int16_t> last(2 * 4410);
    for (size_t i = 0; i < last.size(); ++i) last[i] = int16_t(i * 7 - 30000);
    {
        platform::RawFile raw;
        ASSERT_TRUE(raw.open(files.RawFileName, platform::RawFile::Mode::Create));
        ASSERT_TRUE(raw.truncate(c.Frames * 4));
        const uint64_t at = (c.Frames - 4410) * 4;
        ASSERT_EQ(raw.writeAt(at, last.data(), last.size() * 2), last.size() * 2);
    }
    std::vector<float> seen;
    const std::string note = ClearStaleWorkingFiles(files, [&](float percent) { seen.push_back(percent); });
    const std::string kept = note.substr(note.find('\n') + 1);
    ASSERT_EQ(kept.substr(kept.size() - 4), ".wav") << note;
    EXPECT_FALSE(platform::fileExists(files.RawFileName));
    EXPECT_TRUE(!seen.empty() && std::is_sorted(seen.begin(), seen.end()) && seen.back() == 100.0f);

    SF_INFO info{};
    SNDFILE* wav = sf_open(kept.c_str(), SFM_READ, &info);
    ASSERT_NE(wav, nullptr) << sf_strerror(nullptr);
    EXPECT_EQ(info.format, c.Format | SF_FORMAT_PCM_16);
    EXPECT_TRUE(info.channels == 2 && info.samplerate == 44100);
    EXPECT_EQ(uint64_t(info.frames), c.Frames);
    std::vector<int16_t> back(last.size() + 2, 1);
    ASSERT_EQ(sf_seek(wav, sf_count_t(c.Frames - 4411), SEEK_SET), sf_count_t(c.Frames - 4411));
    EXPECT_EQ(sf_readf_short(wav, back.data(), 4411), 4411);
    sf_close(wav);
    EXPECT_EQ(back[0], 0);  // the hole before them is silence
    EXPECT_TRUE(std::equal(last.begin(), last.end(), back.begin() + 2)) << "the last frames moved";
}

INSTANTIATE_TEST_SUITE_P(
    StaleFiles, KeptPastFourGigabytes,
    ::testing::Values(LongRecording{"LargestCanonical", (0xFFFFFFFFull - 36) / 4, SF_FORMAT_WAV},
                      LongRecording{"SmallestRf64", (0xFFFFFFFFull - 36) / 4 + 1, SF_FORMAT_RF64},
                      LongRecording{"FourAndAHalfGigabytes", 4500000000ull / 4, SF_FORMAT_RF64}),
    [](const ::testing::TestParamInfo<LongRecording>& info) { return std::string(info.param.Name); });

// A start killed while it kept a recording leaves its hidden part file; the
// next start keeps the recording again and removes the part, but never the
// part of a program still running.
TEST_F(StaleFiles, PartFilesOfProcessesGoneAreRemoved) {
    const pid_t gone = fork();
    if (gone == 0) _exit(0);
    ASSERT_EQ(waitpid(gone, nullptr, 0), gone);
    const std::string dead = std::to_string(gone), running = std::to_string(getppid());
    const std::vector<std::string> left{".Orvane 2024-05-01 10-00-00.wav.part-" + dead + "-0", ".test.part-" + dead + "-3",
                                        ".Orvane.pos.part-" + std::to_string(getpid()) + "-0", "test.part"};
    const std::vector<std::string> kept{".Orvane 2024-05-01 10-00-00.wav.part-" + running + "-0",
                                        ".test.part-" + running + "-0", "take.part-" + dead + "-0", "test"};
    for (const auto& name : left) WriteBytes(dir.file(name), 100);
    for (const auto& name : kept) WriteBytes(dir.file(name), 100);
    WriteBytes(files.RawFileName, 17640);
    ClearStaleWorkingFiles(files);
    for (const auto& name : left) EXPECT_FALSE(platform::fileExists(dir.file(name))) << name;
    for (const auto& name : kept) EXPECT_TRUE(platform::fileExists(dir.file(name))) << name;
}

TEST_F(StaleFiles, EmptyRawFileIsSimplyRemoved) {
    WriteBytes(files.RawFileName, 0);
    EXPECT_EQ(ClearStaleWorkingFiles(files), "");
    EXPECT_FALSE(platform::fileExists(files.RawFileName));
    EXPECT_FALSE(platform::fileExists(files.FoundRecordingName));
}

}  // namespace
}  // namespace orv
