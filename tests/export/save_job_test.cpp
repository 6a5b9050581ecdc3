// The save job around the writers: exact size check, refused targets, and a
// target that stays exactly as it was unless the save completes; markers read
// back from what the writers wrote.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>

#include <sndfile.h>
#include <taglib/chapterframe.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/tableofcontentsframe.h>

#include "export/save_job.h"
#include "export_test_support.h"
#include "record/format.h"
#include "platform/encoder_library.h"
#include "support/temp_dir.h"

namespace orv {
namespace {

// The twelve formats: the size check must give the size of the file written.
class ExactSizeTest : public ::testing::TestWithParam<WavParameters> {};

TEST_P(ExactSizeTest, IsTheSizeOfTheFileWritten) {
    test::TempDir dir;
    test::WriteSourceFile(dir.file("Orvane.raw"), 12, 1);
    platform::RawFile raw;
    ASSERT_TRUE(raw.open(dir.file("Orvane.raw"), platform::RawFile::Mode::Read));
    SaveJob job{{{1, 12, 1, true}}, {3, 11}, true, GetParam(), {}, dir.file("x.wav")};
    SaveProgress progress;
    ASSERT_TRUE(RunSaveJob(job, {&raw, nullptr}, progress, {}).ok());
    EXPECT_EQ(uint64_t(platform::fileSize(job.TargetPath)), ExactWavSize(job.Range, job.Wav));
}

INSTANTIATE_TEST_SUITE_P(Formats, ExactSizeTest,
                         ::testing::Values(WavParameters{44100, 2, 16}, WavParameters{44100, 1, 16},
                                           WavParameters{44100, 2, 8}, WavParameters{44100, 1, 8},
                                           WavParameters{22050, 2, 16}, WavParameters{22050, 1, 16},
                                           WavParameters{22050, 2, 8}, WavParameters{22050, 1, 8},
                                           WavParameters{11025, 2, 16}, WavParameters{11025, 1, 16},
                                           WavParameters{11025, 2, 8}, WavParameters{11025, 1, 8}));

// Markers at blocks 1, 4, 9 and 12 of a timeline of two pieces, one from each
// file; a selection keeps those inside it, counted from its start.
struct MarkerRow {
    const char* name;
    bool wav;
    WavParameters format;
    bool vbr;
};

class MarkerReadBackTest : public ::testing::TestWithParam<std::tuple<MarkerRow, bool>> {
protected:
    void SetUp() override {
        test::WriteSourceFile(dir.file("Orvane.raw"), 12, 1);
        test::WriteSourceFile(dir.file("Edit.raw"), 12, 2);
        ASSERT_TRUE(files.recording.open(dir.file("Orvane.raw"), platform::RawFile::Mode::Read));
        ASSERT_TRUE(files.edit.open(dir.file("Edit.raw"), platform::RawFile::Mode::Read));
    }
    test::TempDir dir;
    test::SourceFiles files;
};

TEST_P(MarkerReadBackTest, ReaderFindsThemAtTheirBlocks) {
    const auto& [row, selection] = GetParam();
    SaveJob job;
    job.Pieces = {{1, 6, 1, true}, {7, 6, 3, false}};
    job.Range = selection ? SaveRange{4, 11, {1, 4, 9, 12}} : SaveRange{1, 12, {1, 4, 9, 12}};
    job.SaveAsWav = row.wav;
    job.Wav = row.format;
    job.Mp3.Mp3Vbr = row.vbr;
    job.TargetPath = dir.file(row.wav ? "m.wav" : "m.mp3");
    const uint32_t blocks = job.Range.SaveLastBlock - job.Range.SaveFirstBlock + 1;
    const std::vector<uint32_t> markerBlocks = selection ? std::vector<uint32_t>{0, 5} : std::vector<uint32_t>{0, 3, 8, 11};
    SaveProgress progress;
    ASSERT_TRUE(RunSaveJob(job, files.sources(), progress, platform::EncoderLoaderFor(ORV_LAME_ENC_PATH)).ok());
    if (row.wav) {
        EXPECT_EQ(uint64_t(platform::fileSize(job.TargetPath)), ExactWavSize(job.Range, job.Wav));
        SF_INFO info{};
        std::unique_ptr<SNDFILE, int (*)(SNDFILE*)> f(sf_open(job.TargetPath.c_str(), SFM_READ, &info), &sf_close);
        ASSERT_TRUE(f) << sf_strerror(nullptr);
        ASSERT_EQ(info.frames % blocks, 0);
        const uint32_t framesPerBlock = static_cast<uint32_t>(info.frames / blocks);
        SF_CUES cues{};
        ASSERT_EQ(sf_command(f.get(), SFC_GET_CUE, &cues, sizeof cues), SF_TRUE);
        ASSERT_EQ(cues.cue_count, markerBlocks.size());
        for (size_t i = 0; i < markerBlocks.size(); ++i) {
            EXPECT_EQ(cues.cue_points[i].sample_offset, markerBlocks[i] * framesPerBlock) << "marker " << i + 1;
            EXPECT_EQ(cues.cue_points[i].position, markerBlocks[i] * framesPerBlock) << "marker " << i + 1;
        }
        return;
    }
    TagLib::MPEG::File mp3(job.TargetPath.c_str());
    ASSERT_TRUE(mp3.isValid() && mp3.hasID3v2Tag());
    const TagLib::ID3v2::FrameList chapters = mp3.ID3v2Tag()->frameList("CHAP");
    ASSERT_EQ(chapters.size(), markerBlocks.size());
    size_t i = 0;
    for (const TagLib::ID3v2::Frame* frame : chapters) {
        const auto* chapter = dynamic_cast<const TagLib::ID3v2::ChapterFrame*>(frame);
        ASSERT_TRUE(chapter);
        EXPECT_EQ(chapter->startTime(), markerBlocks[i] * 100) << "marker " << i + 1;
        EXPECT_EQ(chapter->endTime(), i + 1 < markerBlocks.size() ? markerBlocks[i + 1] * 100 : blocks * 100);
        ++i;
    }
    const TagLib::ID3v2::FrameList toc = mp3.ID3v2Tag()->frameList("CTOC");
    ASSERT_EQ(toc.size(), 1u);
    EXPECT_EQ(dynamic_cast<const TagLib::ID3v2::TableOfContentsFrame*>(toc.front())->entryCount(), markerBlocks.size());
    // The audio behind the tag keeps its length: a VBR file's header frame sits after the tag.
    ASSERT_TRUE(mp3.audioProperties());
    EXPECT_NEAR(mp3.audioProperties()->lengthInMilliseconds(), blocks * 100, 60);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, MarkerReadBackTest,
    ::testing::Combine(::testing::Values(MarkerRow{"Wav44100Stereo16", true, {44100, 2, 16}, false},
                                         MarkerRow{"Wav44100Mono8", true, {44100, 1, 8}, false},
                                         MarkerRow{"Wav22050Stereo8", true, {22050, 2, 8}, false},
                                         MarkerRow{"Wav22050Mono16", true, {22050, 1, 16}, false},
                                         MarkerRow{"Wav11025Stereo16", true, {11025, 2, 16}, false},
                                         MarkerRow{"Wav11025Mono8", true, {11025, 1, 8}, false},
                                         MarkerRow{"Mp3Cbr", false, {}, false}, MarkerRow{"Mp3Vbr", false, {}, true}),
                       ::testing::Bool()),
    [](const ::testing::TestParamInfo<std::tuple<MarkerRow, bool>>& info) {
        return std::string(std::get<0>(info.param).name) + (std::get<1>(info.param) ? "Selection" : "Whole");
    });

struct LimitRow {
    const char* name;
    bool wav;
    WavParameters format;
    uint32_t blocks;
    bool refused;
};

class SizeLimitTest : public ::testing::TestWithParam<LimitRow> {};

TEST_P(SizeLimitTest, RefusesWhatWouldWrapTheHeaderLengths) {
    const LimitRow& row = GetParam();
    SaveJob job;
    job.SaveAsWav = row.wav;
    job.Wav = row.format;
    job.Range = {5, 5 + row.blocks - 1};
    const auto refusal = SaveSizeRefusal(job);
    EXPECT_EQ(refusal.has_value(), row.refused);
    if (refusal) {
        EXPECT_EQ(*refusal, "File size is more 4GB!");
    }
}

// 243,478 stereo 16-bit blocks make 4,294,951,964 bytes; one more block would
// need 4,294,969,604, past what the RIFF lengths hold (the whole-second
// estimate comes to 4,294,810,844 for it and would let it through).
INSTANTIATE_TEST_SUITE_P(
    Rows, SizeLimitTest,
    ::testing::Values(LimitRow{"StereoLargestThatFits", true, {44100, 2, 16}, 243478, false},
                      LimitRow{"StereoOneBlockMore", true, {44100, 2, 16}, 243479, true},
                      LimitRow{"TenHoursStereo", true, {44100, 2, 16}, 360000, true},
                      LimitRow{"TenHoursMono8At11025", true, {11025, 1, 8}, 360000, false},
                      LimitRow{"Mp3HasNoLimit", false, {44100, 2, 16}, 360000, false}),
    [](const auto& info) { return std::string(info.param.name); });

class TargetRefusalTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(::mkdir(dir.file("work").c_str(), 0755), 0);
        ASSERT_EQ(::symlink(dir.file("work").c_str(), dir.file("link").c_str()), 0);
        std::ofstream(dir.file("work/Orvane.raw")) << "r";
    }
    std::vector<std::string> Working() const {
        return {dir.file("work/Orvane.raw"), dir.file("work/Edit.raw"), dir.file("work/Clp.raw"),
                dir.file("work/Orvane.spv"), dir.file("work/test")};
    }
    test::TempDir dir;
};

TEST_F(TargetRefusalTest, WorkingFilesAreRefusedUnderAnySpelling) {
    for (const std::string& t : {dir.file("work/Orvane.raw"), dir.file("work/./Edit.raw"), dir.file("link/Clp.raw"),
                                dir.file("work/../work/test"), dir.file("link/Orvane.spv")}) {
        const auto refusal = SaveTargetRefusal(t, Working());
        ASSERT_TRUE(refusal.has_value()) << t;
        EXPECT_NE(refusal->find("working files"), std::string::npos);
    }
    for (const std::string& t : {dir.file("work/Orvane.raw.wav"), dir.file("Orvane.raw"), dir.file("link/take.mp3")})
        EXPECT_FALSE(SaveTargetRefusal(t, Working()).has_value()) << t;
}

// An encoder that fails its second chunk.
class FailingEncoder final : public platform::EncoderLibrary {
public:
    void beVersion(BE_VERSION*) override {}
    BE_ERR beInitStream(BE_CONFIG*, uint32_t* samples, uint32_t* size, HBE_STREAM* s) override {
        *samples = 2304;
        *size = 8640;
        *s = 1;
        return BE_ERR_SUCCESSFUL;
    }
    BE_ERR beEncodeChunk(HBE_STREAM, uint32_t, const int16_t*, uint8_t* out, uint32_t* done) override {
        std::memset(out, 0xAB, 100);
        *done = 100;
        return ++chunks_ == 2 ? BE_ERR_INVALID_FORMAT : BE_ERR_SUCCESSFUL;
    }
    BE_ERR beDeinitStream(HBE_STREAM, uint8_t*, uint32_t* done) override {
        *done = 0;
        return BE_ERR_SUCCESSFUL;
    }
    BE_ERR beCloseStream(HBE_STREAM) override { return BE_ERR_SUCCESSFUL; }
    BE_ERR beWriteVBRHeader(const char*) override { return BE_ERR_SUCCESSFUL; }

private:
    int chunks_ = 0;
};

class ExistingTargetTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::WriteSourceFile(dir.file("Orvane.raw"), 40, 3);
        ASSERT_TRUE(raw.open(dir.file("Orvane.raw"), platform::RawFile::Mode::Read));
        std::ofstream(target, std::ios::binary) << "the user's older file, not to be touched";
        before = test::ReadAll(target);
        job = {{{1, 40, 1, true}}, {1, 40}, true, {44100, 2, 16}, {}, target};
    }
    SaveResult Run() { return RunSaveJob(job, {&raw, nullptr}, progress, loader); }
    // Nothing but the source and the target in the folder.
    void ExpectNoLeftovers() {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(dir.path())) names.push_back(e.path().filename());
        std::sort(names.begin(), names.end());
        EXPECT_EQ(names, (std::vector<std::string>{"Orvane.raw", "take.wav"}));
    }

    test::TempDir dir;
    platform::RawFile raw;
    std::string target = dir.file("take.wav");
    std::vector<uint8_t> before;
    SaveJob job;
    SaveProgress progress;
    platform::EncoderLoader loader = [] { return std::make_unique<FailingEncoder>(); };
};

TEST_F(ExistingTargetTest, CancelLeavesItByteForByte) {
    progress.pump = [&] { progress.SaveContinue = false; };
    EXPECT_EQ(Run().outcome, SaveOutcome::Cancelled);
    EXPECT_EQ(test::ReadAll(target), before);
    ExpectNoLeftovers();
}

TEST_F(ExistingTargetTest, FailedWriteLeavesItByteForByte) {
    // A file size limit makes writes fail the way a full disk does.
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 5 * BlockBytes;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const SaveResult r = Run();
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(r.outcome, SaveOutcome::Failed);
    EXPECT_NE(r.message.find("Cannot write"), std::string::npos) << r.message;
    EXPECT_EQ(test::ReadAll(target), before);
    ExpectNoLeftovers();
}

TEST_F(ExistingTargetTest, EncoderErrorLeavesItByteForByte) {
    job.SaveAsWav = false;
    const SaveResult r = Run();
    EXPECT_EQ(r.outcome, SaveOutcome::Failed);
    EXPECT_EQ(r.message, "BE_ERR code-1");
    EXPECT_EQ(test::ReadAll(target), before);
    ExpectNoLeftovers();
}

TEST_F(ExistingTargetTest, CompletedSaveReplacesItAsAnOrdinaryFile) {
    const mode_t mask = ::umask(022);
    ::umask(mask);
    ASSERT_TRUE(Run().ok());
    const std::vector<uint8_t> after = test::ReadAll(target);
    ASSERT_EQ(after.size(), 44u + 40 * BlockBytes);
    EXPECT_EQ(std::string(after.begin(), after.begin() + 4), "RIFF");
    struct stat st {};
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644 & ~mask);  // as any file the program writes, not private
    ExpectNoLeftovers();
}

}  // namespace
}  // namespace orv
