#include <gtest/gtest.h>

#include <csignal>
#include <sndfile.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <ostream>
#include <utility>
#include <vector>

#include "export/wav_save.h"
#include "export_test_support.h"
#include "record/format.h"
#include "support/temp_dir.h"

namespace orv {
namespace {

using test::Le16;
using test::Le32;
using test::ReadAll;
using test::SourceSample;

constexpr uint32_t RecordingTag = 1;
constexpr uint32_t EditTag = 2;

// Timeline 1-4: recording 11-14; 5-7: Edit.raw 2-4; 8-12: recording 1-5.
const std::vector<Piece> Timeline{
    {1, 4, 11, true},
    {5, 3, 2, false},
    {8, 5, 1, true},
};
// (source tag, source block) of timeline blocks 3 to 10.
const std::vector<std::pair<uint32_t, uint32_t>> Range3To10{
    {RecordingTag, 13}, {RecordingTag, 14}, {EditTag, 2}, {EditTag, 3},
    {EditTag, 4},       {RecordingTag, 1},  {RecordingTag, 2}, {RecordingTag, 3},
};

class WavExportTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::WriteSourceFile(dir.file("Orvane.raw"), 30, RecordingTag);
        test::WriteSourceFile(dir.file("Edit.raw"), 20, EditTag);
        ASSERT_TRUE(files.recording.open(dir.file("Orvane.raw"), platform::RawFile::Mode::Read));
        ASSERT_TRUE(files.edit.open(dir.file("Edit.raw"), platform::RawFile::Mode::Read));
    }

    SaveResult Save(const WavParameters& format, SaveRange range, std::span<const Piece> pieces = Timeline) {
        return WriteWavFile(target, format, range, pieces, files.sources(), progress);
    }

    test::TempDir dir;
    test::SourceFiles files;
    SaveProgress progress;
    std::string target = dir.file("out.wav");
};

struct FormatRow {
    int32_t rate;
    uint16_t channels;
    uint16_t bits;
    uint32_t framesPerBlock;
    uint32_t stride;
    uint32_t bytesPerBlock;
};

void PrintTo(const FormatRow& r, std::ostream* os) {
    *os << r.rate << " Hz, " << r.channels << " ch, " << r.bits << " bit";
}

std::string FormatName(const ::testing::TestParamInfo<FormatRow>& info) {
    const FormatRow& r = info.param;
    return std::to_string(r.rate) + (r.channels == 2 ? "_stereo_" : "_mono_") + std::to_string(r.bits) + "bit";
}

const std::array<FormatRow, 12> AllFormats{{
    {44100, 2, 16, 4410, 1, 17640},
    {44100, 1, 16, 4410, 1, 8820},
    {44100, 2, 8, 4410, 1, 8820},
    {44100, 1, 8, 4410, 1, 4410},
    {22050, 2, 16, 2205, 2, 8820},
    {22050, 1, 16, 2205, 2, 4410},
    {22050, 2, 8, 2205, 2, 4410},
    {22050, 1, 8, 2205, 2, 2205},
    {11025, 2, 16, 1102, 4, 4408},
    {11025, 1, 16, 1103, 4, 2206},
    {11025, 2, 8, 1103, 4, 2206},
    {11025, 1, 8, 1102, 4, 1102},
}};

class WavFormatTest : public WavExportTest, public ::testing::WithParamInterface<FormatRow> {
protected:
    WavParameters Format() const { return {GetParam().rate, GetParam().channels, GetParam().bits}; }
};

TEST_P(WavFormatTest, HeaderDescribesTheData) {
    const FormatRow& row = GetParam();
    ASSERT_TRUE(Save(Format(), {3, 10}).ok());
    const std::vector<uint8_t> f = ReadAll(target);
    const uint32_t dataLength = 8 * row.bytesPerBlock;
    ASSERT_EQ(f.size(), 44u + dataLength);
    EXPECT_EQ(std::string(f.begin(), f.begin() + 4), "RIFF");
    EXPECT_EQ(Le32(f, 4), dataLength + 36);
    EXPECT_EQ(std::string(f.begin() + 8, f.begin() + 16), "WAVEfmt ");
    EXPECT_EQ(Le32(f, 16), 16u);
    EXPECT_EQ(Le16(f, 20), 1u);
    EXPECT_EQ(Le16(f, 22), row.channels);
    EXPECT_EQ(Le32(f, 24), uint32_t(row.rate));
    EXPECT_EQ(Le32(f, 28), uint32_t(row.rate) * row.channels * row.bits / 8);
    EXPECT_EQ(Le16(f, 32), row.channels * row.bits / 8);
    EXPECT_EQ(Le16(f, 34), row.bits);
    EXPECT_EQ(std::string(f.begin() + 36, f.begin() + 40), "data");
    EXPECT_EQ(Le32(f, 40), dataLength);
}

TEST_P(WavFormatTest, SamplesAreDecimatedLeftOnlyForMonoAndHighByteForEightBits) {
    const FormatRow& row = GetParam();
    ASSERT_TRUE(Save(Format(), {3, 10}).ok());
    const std::vector<uint8_t> f = ReadAll(target);
    ASSERT_EQ(f.size(), 44u + Range3To10.size() * row.bytesPerBlock);
    size_t at = 44;
    int mismatches = 0;
    for (const auto& [tag, block] : Range3To10) {
        for (uint32_t k = 0; k < row.framesPerBlock; ++k) {
            const uint64_t frame = uint64_t{block - 1} * BlockFrames + uint64_t{k} * row.stride;
            for (int ch = 0; ch < row.channels; ++ch) {
                const uint16_t v = static_cast<uint16_t>(SourceSample(tag, frame, ch));
                bool same;
                if (row.bits == 16) {
                    same = Le16(f, at) == v;
                    at += 2;
                } else {
                    same = f[at] == ((v >> 8) ^ 0x80);
                    at += 1;
                }
                if (!same && ++mismatches <= 3)
                    ADD_FAILURE() << "source block " << block << " of tag " << tag << ", frame " << k << ", channel "
                                  << ch;
            }
        }
    }
    EXPECT_EQ(at, f.size());
    EXPECT_EQ(mismatches, 0);
}

TEST_P(WavFormatTest, IndependentReaderAgrees) {
    if (!test::ToolAvailable("sox")) GTEST_SKIP() << "sox is not installed; the independent reader check needs it";
    const FormatRow& row = GetParam();
    ASSERT_TRUE(Save(Format(), {3, 10}).ok());
    const std::string scratch = dir.file("sox.txt");
    auto info = [&](const char* option) {
        return test::RunCommand("sox --i " + std::string(option) + " '" + target + "'", scratch).output;
    };
    EXPECT_EQ(std::stol(info("-r")), row.rate);
    EXPECT_EQ(std::stol(info("-c")), row.channels);
    EXPECT_EQ(std::stol(info("-b")), row.bits);
    EXPECT_EQ(std::stol(info("-s")), long(8 * row.framesPerBlock));
    EXPECT_EQ(info("-e").rfind(row.bits == 8 ? "Unsigned Integer PCM" : "Signed Integer PCM", 0), 0u);
}

INSTANTIATE_TEST_SUITE_P(TwelveFormats, WavFormatTest, ::testing::ValuesIn(AllFormats), FormatName);

// The recording's own format, byte for byte, as libsndfile reads it back.
struct CopyRow {
    const char* name;
    SaveRange range;
    std::vector<Piece> pieces;
    const char* targetFolder;  // empty: beside the sources
};
void PrintTo(const CopyRow& r, std::ostream* os) { *os << r.name; }

class WavCopyTest : public WavExportTest, public ::testing::WithParamInterface<CopyRow> {};

TEST_P(WavCopyTest, SameBytesAsTheSources) {
    const CopyRow& row = GetParam();
    struct stat here {}, there {};
    ::stat(dir.path().c_str(), &here);
    if (*row.targetFolder && (::stat(row.targetFolder, &there) != 0 || here.st_dev == there.st_dev))
        GTEST_SKIP() << row.targetFolder << " is not another file system here";
    if (*row.targetFolder) target = std::string(row.targetFolder) + "/orv-wav-copy-" + std::to_string(::getpid());
    platform::RawFile edit;
    ASSERT_TRUE(edit.open(dir.file("Edit.raw"), platform::RawFile::Mode::ReadWrite));
    std::vector<uint8_t> expected, block(BlockBytes);
    for (uint32_t t = row.range.SaveFirstBlock; t <= row.range.SaveLastBlock; ++t)
        for (const Piece& p : row.pieces)
            if (t >= p.PieceStart && t < p.PieceStart + p.PieceLength) {
                const uint32_t b = p.PieceOffset + t - p.PieceStart;
                if (b > 30) {  // far pieces: data of their own in a sparse Edit.raw
                    for (uint32_t k = 0; k < BlockBytes; ++k) block[k] = uint8_t(k * 13 + b);
                    ASSERT_EQ(edit.writeAt(BlockOffset(b), block.data(), BlockBytes), BlockBytes);
                }
                ASSERT_EQ(files.sources().For(p)->readAt(BlockOffset(b), block.data(), BlockBytes), BlockBytes);
                expected.insert(expected.end(), block.begin(), block.end());
            }
    const SaveResult saved = Save({44100, 2, 16}, row.range, row.pieces);
    SF_INFO info{};
    SNDFILE* wav = sf_open(target.c_str(), SFM_READ, &info);
    std::vector<uint8_t> samples(expected.size() + 4);  // room for a frame too many
    const sf_count_t frames =
        wav ? sf_readf_short(wav, reinterpret_cast<short*>(samples.data()), sf_count_t(samples.size() / 4)) : -1;
    if (wav) sf_close(wav);
    const int64_t size = platform::fileSize(target);
    if (*row.targetFolder) platform::removeFile(target);
    ASSERT_TRUE(saved.ok()) << saved.message;
    EXPECT_EQ(size, int64_t(44 + expected.size()));
    EXPECT_EQ(info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    EXPECT_EQ(info.samplerate, 44100);
    EXPECT_EQ(info.channels, 2);
    ASSERT_EQ(frames, sf_count_t(expected.size() / 4));
    samples.resize(expected.size());
    EXPECT_EQ(samples, expected);
}

// Block 243479 of Edit.raw crosses the 4 GB mark in the file; a piece of 250
// blocks takes more than one copy step.
INSTANTIATE_TEST_SUITE_P(
    Copies, WavCopyTest,
    ::testing::Values(CopyRow{"Whole", {1, 12}, Timeline, ""}, CopyRow{"SelectionFromBothFiles", {3, 10}, Timeline, ""},
                      CopyRow{"PieceAcrossFourGigabytes", {1, 250}, {{1, 250, 243400, false}}, ""},
                      // The kernel copies only within one file system: the rest goes by hand.
                      CopyRow{"TargetOnAnotherFileSystem", {2, 250}, {{1, 5, 11, true}, {6, 245, 243400, false}},
                              "/dev/shm"}),
    [](const ::testing::TestParamInfo<CopyRow>& info) { return std::string(info.param.name); });

TEST_F(WavExportTest, BlocksNoPieceCoversProduceNothing) {
    const std::vector<Piece> gapped{{1, 2, 1, true}, {5, 2, 3, true}};
    ASSERT_TRUE(Save({44100, 2, 16}, {1, 6}, gapped).ok());
    EXPECT_EQ(Le32(ReadAll(target), 40), 4 * BlockBytes);
}

struct TenBlockRow {
    WavParameters format;
    uint32_t dataBytes;
};
void PrintTo(const TenBlockRow& r, std::ostream* os) {
    *os << r.format.WavSampleRate << " Hz, " << r.format.WavChannels << " ch, " << r.format.WavBitsPerSample
        << " bit: " << r.dataBytes << " bytes";
}

class WavTenBlockTest : public WavExportTest, public ::testing::WithParamInterface<TenBlockRow> {};

TEST_P(WavTenBlockTest, DataLength) {
    const std::vector<Piece> one{{1, 10, 1, true}};
    ASSERT_TRUE(Save(GetParam().format, {1, 10}, one).ok());
    const std::vector<uint8_t> f = ReadAll(target);
    EXPECT_EQ(Le32(f, 40), GetParam().dataBytes);
    EXPECT_EQ(f.size(), 44u + GetParam().dataBytes);
}

INSTANTIATE_TEST_SUITE_P(Lengths, WavTenBlockTest,
                         ::testing::Values(TenBlockRow{{44100, 1, 8}, 44100}, TenBlockRow{{11025, 1, 16}, 22060},
                                           TenBlockRow{{11025, 1, 8}, 11020}, TenBlockRow{{11025, 2, 16}, 44080}));

TEST_F(WavExportTest, EightBitMapsSignedExtremesAroundMidScale) {
    // (source sample, expected 8-bit value)
    const std::vector<std::pair<int16_t, uint8_t>> cases{
        {-32768, 0}, {0, 128}, {32767, 255}, {-1, 127}, {1, 128}, {255, 128}, {256, 129}, {-256, 127},
    };
    std::vector<uint8_t> block(BlockBytes);
    for (uint32_t f = 0; f < BlockFrames; ++f) {
        PutSample(&block[f * 4], cases[f % cases.size()].first);
        PutSample(&block[f * 4 + 2], cases[(f + 1) % cases.size()].first);
    }
    const WavParameters stereo8{44100, 2, 8};
    std::vector<uint8_t> out(BlockBytes);
    ASSERT_EQ(ConvertBlock(block.data(), out.data(), stereo8, *WavLayoutFor(stereo8)), 8820u);
    for (uint32_t f = 0; f < cases.size(); ++f) {
        EXPECT_EQ(out[2 * f], cases[f].second) << "left " << cases[f].first;
        EXPECT_EQ(out[2 * f + 1], cases[(f + 1) % cases.size()].second) << "right";
    }
}

TEST_F(WavExportTest, ProgressRunsFromZeroToHundredWithOnePumpPerBlock) {
    std::vector<float> seen;
    progress.pump = [&] { seen.push_back(progress.ProgressPercent); };
    ASSERT_TRUE(Save({22050, 1, 16}, {3, 7}).ok());
    EXPECT_EQ(seen, (std::vector<float>{0, 25, 50, 75, 100}));
}

TEST_F(WavExportTest, SingleBlockSaveShowsFullProgress) {
    std::vector<float> seen;
    progress.pump = [&] { seen.push_back(progress.ProgressPercent); };
    ASSERT_TRUE(Save({44100, 2, 16}, {6, 6}).ok());
    EXPECT_EQ(seen, std::vector<float>{100});
    EXPECT_EQ(Le32(ReadAll(target), 40), BlockBytes);
}

TEST_F(WavExportTest, CancelFinishesTheBlockThenRemovesTheFile) {
    test::WriteSourceFile(target, 1, 9);  // an older file the user chose to replace
    int pumps = 0;
    progress.pump = [&] {
        if (++pumps == 3) progress.SaveContinue = false;
    };
    const SaveResult r = Save({44100, 2, 16}, {1, 12});
    EXPECT_EQ(r.outcome, SaveOutcome::Cancelled);
    EXPECT_EQ(pumps, 3);
    EXPECT_FALSE(platform::fileExists(target));
}

class WavFailureTest : public WavExportTest {
protected:
    void ExpectFailedWithoutFile(const SaveResult& r, const std::string& messagePart) {
        EXPECT_EQ(r.outcome, SaveOutcome::Failed);
        EXPECT_FALSE(r.ok());
        EXPECT_NE(r.message.find(messagePart), std::string::npos) << r.message;
        EXPECT_FALSE(platform::fileExists(target));
    }
};

TEST_F(WavFailureTest, UncreatableTarget) {
    target = dir.file("no-such-folder/out.wav");
    ExpectFailedWithoutFile(Save({44100, 2, 16}, {1, 3}), "Cannot create");
}

TEST_F(WavFailureTest, ShortReadOfTheRecording) {
    const std::vector<Piece> pastEnd{{1, 3, 29, true}};  // the recording has 30 blocks
    ExpectFailedWithoutFile(Save({44100, 2, 16}, {1, 3}, pastEnd), "Cannot read");
}

TEST_F(WavFailureTest, MissingSourceFile) {
    files.edit.close();
    ExpectFailedWithoutFile(Save({44100, 2, 16}, {4, 6}), "Cannot read");
}

TEST_F(WavFailureTest, UnsupportedFormat) {
    ExpectFailedWithoutFile(Save({48000, 2, 16}, {1, 3}), "Unsupported");
}

TEST_F(WavFailureTest, FailedWriteAsOnAFullDisk) {
    // A file size limit makes writes fail the way a full disk does.
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 3 * BlockBytes;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const SaveResult r = Save({44100, 2, 16}, {1, 10});
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    ExpectFailedWithoutFile(r, "Cannot write");
}

}  // namespace
}  // namespace orv
