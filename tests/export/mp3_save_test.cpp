#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>

#include <cstring>
#include <memory>
#include <ostream>
#include <vector>

#include "export/mp3_save.h"
#include "export_test_support.h"
#include "record/format.h"
#include "support/temp_dir.h"

namespace orv {
namespace {

using test::Le32;
using test::ReadAll;

int32_t At(const BE_CONFIG& c, size_t offset) {
    int32_t v;
    std::memcpy(&v, reinterpret_cast<const uint8_t*>(&c) + offset, 4);
    return v;
}

struct ConfigRow {
    const char* name;
    Mp3Parameters format;
    // (offset, value) of every 32-bit field
    std::vector<std::pair<size_t, int32_t>> fields;
};
void PrintTo(const ConfigRow& row, std::ostream* os) { *os << row.name; }

class EncoderConfigTest : public ::testing::TestWithParam<ConfigRow> {};

TEST_P(EncoderConfigTest, FieldsAtTheirOffsets) {
    const BE_CONFIG c = BuildEncoderConfig(GetParam().format);
    for (const auto& [offset, value] : GetParam().fields) EXPECT_EQ(At(c, offset), value) << "offset " << offset;
    const auto* bytes = reinterpret_cast<const uint8_t*>(&c);
    EXPECT_EQ(bytes[92], 0x02);
    EXPECT_EQ(bytes[93], 0xFD);
    for (size_t i = 94; i < 331; ++i) ASSERT_EQ(bytes[i], 0) << "reserved byte " << i;
}

std::vector<std::pair<size_t, int32_t>> Fields(int32_t mode, int32_t bitrate, int32_t maxBitrate, int32_t priv,
                                               int32_t copyright, int32_t original, int32_t vbr, int32_t quality) {
    return {{0, 256},  {4, 1},         {8, 331},       {12, 44100}, {16, 0},   {20, mode},    {24, bitrate},
            {28, maxBitrate}, {32, -1}, {36, 1},       {40, 0},     {44, 0},   {48, priv},    {52, 0},
            {56, copyright},  {60, original}, {64, vbr}, {68, vbr},   {72, quality}, {76, 0},   {80, 0},
            {84, -1},  {88, 0}};
}

INSTANTIATE_TEST_SUITE_P(
    Records, EncoderConfigTest,
    ::testing::Values(
        // VBR off: the bit rate goes to dwBitrate and the maximum is still carried.
        ConfigRow{"Cbr", {192, 1, false, 48, 256, 4, true, false, true}, Fields(1, 192, 256, -1, -1, 0, 0, 4)},
        // VBR on: dwBitrate is the minimum.
        ConfigRow{"Vbr", {128, 3, true, 64, 224, 7, false, true, false}, Fields(3, 64, 224, 0, 0, -1, -1, 7)}),
    [](const auto& info) { return std::string(info.param.name); });

// Encoder double: records what the writer passes and answers like the real
// library, returning a few marker bytes per chunk.
struct FakeEncoderLog {
    int versionCalls = 0, initCalls = 0, deinitCalls = 0, closeCalls = 0, unloads = 0;
    BE_CONFIG config{};
    std::vector<uint32_t> chunkSamples;
    std::vector<uint8_t> samplesSeen;  // every byte passed, in order
    BE_ERR initResult = BE_ERR_SUCCESSFUL;
    BE_ERR deinitResult = BE_ERR_SUCCESSFUL;
    size_t failingChunk = 0;  // 1-based chunk answered with BE_ERR_BUFFER_TOO_SMALL; 0: none
    uint32_t samplesPerChunk = 2304;
    uint32_t bufferSize = 8640;
};

class FakeEncoder final : public platform::EncoderLibrary {
public:
    explicit FakeEncoder(FakeEncoderLog& log) : log_(log) {}
    ~FakeEncoder() override { ++log_.unloads; }
    void beVersion(BE_VERSION*) override { ++log_.versionCalls; }
    BE_ERR beInitStream(BE_CONFIG* c, uint32_t* samples, uint32_t* size, HBE_STREAM* s) override {
        ++log_.initCalls;
        log_.config = *c;
        *samples = log_.samplesPerChunk;
        *size = log_.bufferSize;
        *s = 77;
        return log_.initResult;
    }
    BE_ERR beEncodeChunk(HBE_STREAM s, uint32_t n, const int16_t* in, uint8_t* out, uint32_t* done) override {
        EXPECT_EQ(s, 77u);
        log_.chunkSamples.push_back(n);
        const auto* b = reinterpret_cast<const uint8_t*>(in);
        log_.samplesSeen.insert(log_.samplesSeen.end(), b, b + 2 * n);
        out[0] = 'C';
        out[1] = static_cast<uint8_t>(log_.chunkSamples.size());
        *done = 2;
        return log_.chunkSamples.size() == log_.failingChunk ? BE_ERR_BUFFER_TOO_SMALL : BE_ERR_SUCCESSFUL;
    }
    BE_ERR beDeinitStream(HBE_STREAM, uint8_t* out, uint32_t* done) override {
        ++log_.deinitCalls;
        std::memcpy(out, "END", 3);
        *done = 3;
        return log_.deinitResult;
    }
    BE_ERR beCloseStream(HBE_STREAM) override {
        ++log_.closeCalls;
        return BE_ERR_SUCCESSFUL;
    }
    BE_ERR beWriteVBRHeader(const char*) override {
        ADD_FAILURE() << "the writer never asks for a VBR header";
        return BE_ERR_SUCCESSFUL;
    }

private:
    FakeEncoderLog& log_;
};

class Mp3ExportTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::WriteSourceFile(dir.file("Orvane.raw"), 30, 1);
        test::WriteSourceFile(dir.file("Edit.raw"), 20, 2);
        ASSERT_TRUE(files.recording.open(dir.file("Orvane.raw"), platform::RawFile::Mode::Read));
        ASSERT_TRUE(files.edit.open(dir.file("Edit.raw"), platform::RawFile::Mode::Read));
    }

    SaveResult Save(SaveRange range, std::span<const Piece> pieces) {
        platform::EncoderLoader loader = [this] { return std::make_unique<FakeEncoder>(log); };
        return WriteMp3File(target, Mp3Parameters{}, range, pieces, files.sources(), progress, loader);
    }

    std::vector<uint8_t> SourceBytes(const platform::RawFile& f, uint32_t firstBlock, uint32_t blocks) {
        std::vector<uint8_t> b(uint64_t{blocks} * BlockBytes);
        EXPECT_EQ(f.readAt(BlockOffset(firstBlock), b.data(), b.size()), b.size());
        return b;
    }

    test::TempDir dir;
    test::SourceFiles files;
    SaveProgress progress;
    FakeEncoderLog log;
    std::string target = dir.file("out.mp3");
};

TEST_F(Mp3ExportTest, TenBlockPieceIsReadInLibrarySizedChunks) {
    const std::vector<Piece> one{{1, 10, 4, true}};
    ASSERT_TRUE(Save({1, 10}, one).ok());
    std::vector<uint32_t> expected(38, 2304);
    expected.push_back(648);  // 1296 bytes
    EXPECT_EQ(log.chunkSamples, expected);
    EXPECT_EQ(log.samplesSeen, SourceBytes(files.recording, 4, 10));
    EXPECT_EQ(log.versionCalls, 1);
    EXPECT_EQ(log.deinitCalls, 1);
    EXPECT_EQ(log.closeCalls, 1);
    EXPECT_EQ(log.unloads, 1);
    EXPECT_EQ(log.config.dwConfig, BE_CONFIG_LAME);

    const std::vector<uint8_t> f = ReadAll(target);
    ASSERT_EQ(f.size(), 39u * 2 + 3);
    for (size_t i = 0; i < 39; ++i) {
        EXPECT_EQ(f[2 * i], 'C');
        EXPECT_EQ(f[2 * i + 1], i + 1);
    }
    EXPECT_EQ(std::string(f.end() - 3, f.end()), "END");
}

TEST_F(Mp3ExportTest, ChunksStopAtPieceBoundariesAndFollowTheRange) {
    // Timeline 1-4: recording 11-14; 5-7: Edit.raw 2-4; 8-12: recording 1-5. Range 3..9.
    const std::vector<Piece> pieces{{1, 4, 11, true}, {5, 3, 2, false}, {8, 5, 1, true}, {13, 2, 20, true}};
    ASSERT_TRUE(Save({3, 9}, pieces).ok());
    // 2 blocks (35280 bytes), 3 blocks (52920), 2 blocks (35280), each ending in a short chunk.
    std::vector<uint32_t> expected;
    for (uint32_t bytes : {35280u, 52920u, 35280u}) {
        expected.insert(expected.end(), bytes / 4608, 2304);
        expected.push_back(bytes % 4608 / 2);
    }
    EXPECT_EQ(log.chunkSamples, expected);
    std::vector<uint8_t> source = SourceBytes(files.recording, 13, 2);
    for (const auto& part : {SourceBytes(files.edit, 2, 3), SourceBytes(files.recording, 1, 2)})
        source.insert(source.end(), part.begin(), part.end());
    EXPECT_EQ(log.samplesSeen, source);
}

TEST_F(Mp3ExportTest, ProgressCountsBytesOfTheRange) {
    std::vector<float> seen;
    progress.pump = [&] { seen.push_back(progress.ProgressPercent); };
    const std::vector<Piece> one{{1, 10, 1, true}};
    ASSERT_TRUE(Save({1, 10}, one).ok());
    ASSERT_EQ(seen.size(), 39u);
    EXPECT_FLOAT_EQ(seen[0], 0);
    EXPECT_FLOAT_EQ(seen[1], 4608.0f / 176400 * 100);
    EXPECT_FLOAT_EQ(seen[38], 38 * 4608.0f / 176400 * 100);
}

TEST_F(Mp3ExportTest, CancelFlushesClosesAndRemovesTheFile) {
    int pumps = 0;
    progress.pump = [&] {
        if (++pumps == 5) progress.SaveContinue = false;
    };
    const std::vector<Piece> pieces{{1, 10, 1, true}, {11, 5, 1, false}};
    const SaveResult r = Save({1, 15}, pieces);
    EXPECT_EQ(r.outcome, SaveOutcome::Cancelled);
    EXPECT_EQ(log.chunkSamples.size(), 5u);  // the chunk being processed is still encoded
    EXPECT_EQ(log.deinitCalls, 1);
    EXPECT_EQ(log.closeCalls, 1);
    EXPECT_EQ(log.unloads, 1);
    EXPECT_FALSE(platform::fileExists(target));
}

TEST_F(Mp3ExportTest, MissingLibraryLeavesNoFile) {
    const std::vector<Piece> one{{1, 10, 1, true}};
    const SaveResult r = WriteMp3File(target, {}, {1, 10}, one, files.sources(), progress,
                                      [] { return std::unique_ptr<platform::EncoderLibrary>(); });
    EXPECT_EQ(r.outcome, SaveOutcome::Failed);
    EXPECT_EQ(r.message, "Lame_enc.dll did not found");
    EXPECT_FALSE(platform::fileExists(target));
}

TEST_F(Mp3ExportTest, StreamThatCannotOpenShowsItsCode) {
    log.initResult = BE_ERR_INVALID_FORMAT_PARAMETERS;
    const std::vector<Piece> one{{1, 10, 1, true}};
    const SaveResult r = Save({1, 10}, one);
    EXPECT_EQ(r.outcome, SaveOutcome::Failed);
    EXPECT_EQ(r.message, "BE_ERR code-2");
    EXPECT_FALSE(platform::fileExists(target));
    EXPECT_TRUE(log.chunkSamples.empty());
    EXPECT_EQ(log.closeCalls, 0);
    EXPECT_EQ(log.unloads, 1);
}

// A shortened MP3 must never pass for a saved one.
TEST_F(Mp3ExportTest, EncoderErrorsAreReportedAndLeaveNoFile) {
    const std::vector<Piece> one{{1, 10, 1, true}};
    for (const bool inFlush : {true, false}) {
        log = {};
        if (inFlush)
            log.deinitResult = BE_ERR_BUFFER_TOO_SMALL;
        else
            log.failingChunk = 3;
        const SaveResult r = Save({1, 10}, one);
        EXPECT_EQ(r.outcome, SaveOutcome::Failed) << inFlush;
        EXPECT_EQ(r.message, "BE_ERR code-5");
        EXPECT_FALSE(platform::fileExists(target));
        EXPECT_EQ(log.chunkSamples.size(), inFlush ? 39u : 3u);  // nothing encoded after a failing chunk
        EXPECT_EQ(log.closeCalls, 1);
    }
}

class Mp3FailureTest : public Mp3ExportTest {
protected:
    void ExpectFailedWithoutFile(const SaveResult& r, const std::string& messagePart) {
        EXPECT_EQ(r.outcome, SaveOutcome::Failed);
        EXPECT_NE(r.message.find(messagePart), std::string::npos) << r.message;
        EXPECT_FALSE(platform::fileExists(target));
        EXPECT_EQ(log.closeCalls, log.initCalls);
        EXPECT_EQ(log.unloads, 1);
    }
};

TEST_F(Mp3FailureTest, UncreatableTarget) {
    target = dir.file("missing/out.mp3");
    const std::vector<Piece> one{{1, 2, 1, true}};
    ExpectFailedWithoutFile(Save({1, 2}, one), "Cannot create");
}

TEST_F(Mp3FailureTest, ShortRead) {
    const std::vector<Piece> pastEnd{{1, 4, 18, false}};  // Edit.raw has 20 blocks
    ExpectFailedWithoutFile(Save({1, 4}, pastEnd), "Cannot read");
}

TEST_F(Mp3FailureTest, FailedWriteAsOnAFullDisk) {
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 10;  // the fake writes 2 bytes per chunk
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const std::vector<Piece> one{{1, 2, 1, true}};
    const SaveResult r = Save({1, 2}, one);
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    ExpectFailedWithoutFile(r, "Cannot write");
}

}  // namespace
}  // namespace orv
