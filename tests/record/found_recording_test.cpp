// Loading the recording found in the working folder: which peak summary is
// trusted, what the computation reports, what a refusal or failure leaves
// behind, and the recording just made surviving the load.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <fstream>
#include <string>
#include <tuple>
#include <vector>

#include "platform/raw_file.h"
#include "record/found_recording.h"
#include "record/marker_file.h"
#include "record/ring_position.h"
#include "support/temp_dir.h"

namespace orv {
namespace {

namespace fs = std::filesystem;

// Block b's extremes by construction: left max 3000+b at one frame, left
// min -(2000+b), right max 500+b, right min -(700+b).
struct Extremes {
    int16_t maxL, minL, maxR, minR;
};
Extremes Expected(uint32_t b) {
    return {int16_t(3000 + b), int16_t(-2000 - int(b)), int16_t(500 + b), int16_t(-700 - int(b))};
}

void WriteRecording(const std::string& path, uint32_t blocks, uint32_t tailBytes = 0) {
    std::vector<uint8_t> data(size_t{blocks} * BlockBytes + tailBytes, 0x55);
    for (uint32_t b = 1; b <= blocks; ++b) {
        const Extremes e = Expected(b);
        uint8_t* d = data.data() + BlockOffset(b);
        for (uint32_t i = 0; i < BlockFrames; ++i) {
            PutSample(d + 4 * i, i % 2 ? int16_t(e.maxL - 1000) : e.minL);
            PutSample(d + 4 * i + 2, i % 3 ? int16_t(e.minR + 1) : e.maxR);
        }
        PutSample(d + 4 * (b % BlockFrames), e.maxL);
        PutSample(d + 4 * ((b * 7) % BlockFrames) + 2, e.minR);
    }
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(data.data()), data.size());
}

std::vector<int16_t> ReadValues(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<int16_t> v;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) v.push_back(SampleAt(reinterpret_cast<uint8_t*>(&bytes[i])));
    return v;
}

// A summary that no computation would produce: value k is 11000 + k.
void WriteMarkedSummary(const std::string& path, size_t bytes) {
    std::vector<uint8_t> d(bytes);
    for (size_t k = 0; k + 1 < bytes; k += 2) PutSample(&d[k], int16_t(11000 + k / 2));
    if (bytes % 2) d.back() = 0x7F;
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(d.data()), d.size());
}

// Times relative to one fixed moment, so that equal offsets give equal times.
void SetAge(const std::string& path, int seconds) {
    static const fs::file_time_type base = fs::file_time_type::clock::now();
    fs::last_write_time(path, base + std::chrono::seconds(seconds));
}

class FoundRecordingTest : public ::testing::Test {
protected:
    FoundRecordingTest() {
        AllocateCaptureBuffers(buffers);
        // The recording just made: 5 blocks in Orvane.raw, its peaks marked.
        capture.RawFileName = dir.file("Orvane.raw");
        WriteRecording(capture.RawFileName, 5);
        EXPECT_TRUE(capture.RawStream.open(capture.RawFileName, platform::RawFile::Mode::ReadWrite));
        capture.TotalBlocks = 5;
        capture.LastBlockSeen = 5;
        capture.LastWrittenBlock = 3;
        capture.RingFilled = true;
        capture.RecordedLoopMode = true;
        for (uint32_t n = 0; n <= 7; ++n) buffers.Peaks.PeakMaxLeft[n] = int16_t(-5000 - n);
    }

    FoundLoadResult Load() {
        return LoadFoundRecording(found, capture, buffers, busy, foundName, summaryName, [&](float p) {
            percents.push_back(p);
            busyDuringProgress = busyDuringProgress && busy.Busy();
        });
    }

    // The recording just made, exactly as the fixture set it up.
    void ExpectRecordingJustMade() {
        EXPECT_EQ(capture.RawFileName, dir.file("Orvane.raw"));
        EXPECT_EQ(capture.RawStream.path(), dir.file("Orvane.raw"));
        EXPECT_TRUE(capture.RawStream.isOpen());
        EXPECT_EQ(platform::fileSize(capture.RawFileName), 5 * int64_t{BlockBytes});
        EXPECT_EQ(capture.TotalBlocks, 5u);
        EXPECT_EQ(capture.LastBlockSeen, 5u);
        EXPECT_EQ(capture.LastWrittenBlock, 3u);
        EXPECT_TRUE(capture.RingFilled);
        EXPECT_TRUE(capture.RecordedLoopMode);
        for (uint32_t n = 0; n <= 5; ++n) EXPECT_EQ(buffers.Peaks.PeakMaxLeft[n], -5000 - int(n)) << n;
    }

    test::TempDir dir;
    std::string foundName = dir.file("test");
    std::string summaryName = dir.file("Orvane.spv");
    CaptureState capture;
    RecordBuffers buffers;
    FoundRecordingState found;
    BusyState busy;
    std::vector<float> percents;
    bool busyDuringProgress = true;
};

struct SummaryCase {
    const char* name;
    int64_t bytes;   // -1: no summary
    int age;         // seconds relative to "test"
    bool read;
};

class SummaryRule : public FoundRecordingTest, public ::testing::WithParamInterface<SummaryCase> {};

TEST_P(SummaryRule, IsReadOnlyWhenItFitsAndIsNewer) {
    const SummaryCase c = GetParam();
    WriteRecording(foundName, 10);  // 176400 bytes
    SetAge(foundName, -100);
    if (c.bytes >= 0) {
        WriteMarkedSummary(summaryName, size_t(c.bytes));
        SetAge(summaryName, -100 + c.age);
    }
    const FoundLoadResult r = Load();
    ASSERT_EQ(r.Outcome, FoundLoad::Loaded) << r.Message;
    EXPECT_EQ(capture.TotalBlocks, 10u);
    EXPECT_EQ(capture.LastBlockSeen, 10u);
    EXPECT_EQ(capture.RawFileName, foundName);
    EXPECT_EQ(r.SummaryRead, c.read);
    for (uint32_t n = 1; n <= 10; ++n) {
        if (c.read) {
            EXPECT_EQ(buffers.Peaks.PeakMaxLeft[n], 11000 + 4 * (n - 1));
            EXPECT_EQ(buffers.Peaks.PeakMinRight[n], 11000 + 4 * (n - 1) + 3);
        } else {
            const Extremes e = Expected(n);
            EXPECT_EQ(buffers.Peaks.PeakMaxLeft[n], e.maxL) << n;
            EXPECT_EQ(buffers.Peaks.PeakMinLeft[n], e.minL) << n;
            EXPECT_EQ(buffers.Peaks.PeakMaxRight[n], e.maxR) << n;
            EXPECT_EQ(buffers.Peaks.PeakMinRight[n], e.minR) << n;
        }
    }
    if (c.read) {
        EXPECT_TRUE(percents.empty());
        EXPECT_EQ(platform::fileSize(summaryName), c.bytes);  // left as it was
    } else {
        EXPECT_EQ(platform::fileSize(summaryName), 80);
        EXPECT_EQ(percents.size(), 10u);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, SummaryRule,
    ::testing::Values(SummaryCase{"Fits80", 80, 10, true}, SummaryCase{"OddTail82", 82, 10, true},
                      SummaryCase{"OddTail87", 87, 10, true}, SummaryCase{"Short72", 72, 10, false},
                      SummaryCase{"Long88", 88, 10, false}, SummaryCase{"None", -1, 0, false},
                      SummaryCase{"SameAge", 80, 0, false}, SummaryCase{"Older", 80, -10, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(FoundRecordingTest, ComputationReportsEachBlockAndWritesTheSummary) {
    WriteRecording(foundName, 10, 1000);  // the incomplete tail block is ignored
    SetAge(foundName, -100);  // file times tick coarser than this test runs
    const FoundLoadResult r = Load();
    ASSERT_EQ(r.Outcome, FoundLoad::Loaded);
    EXPECT_TRUE(r.SummaryWritten);
    EXPECT_TRUE(busyDuringProgress);
    EXPECT_FALSE(busy.Busy());
    EXPECT_EQ(percents, (std::vector<float>{10, 20, 30, 40, 50, 60, 70, 80, 90, 100}));
    const std::vector<int16_t> v = ReadValues(summaryName);
    ASSERT_EQ(v.size(), 40u);
    const Extremes e1 = Expected(1), e10 = Expected(10);
    EXPECT_EQ(v[0], e1.maxL);
    EXPECT_EQ(v[1], e1.minL);
    EXPECT_EQ(v[2], e1.maxR);
    EXPECT_EQ(v[3], e1.minR);
    EXPECT_EQ(v[39], e10.minR);
    // "test" reads in time order from its first block, whatever the last recording was.
    EXPECT_EQ(capture.LastWrittenBlock, 10u);
    EXPECT_FALSE(capture.RecordedLoopMode);
    EXPECT_FALSE(capture.RingFilled);

    // The next load takes the summary just written.
    RestoreRecordingJustMade(found, capture, buffers);
    percents.clear();
    const FoundLoadResult again = Load();
    EXPECT_TRUE(again.SummaryRead);
    EXPECT_TRUE(percents.empty());
    EXPECT_EQ(buffers.Peaks.PeakMinRight[10], e10.minR);
}

TEST_F(FoundRecordingTest, RecordingJustMadeSurvivesLoadAndDiscard) {
    WriteRecording(foundName, 10);
    // Discard: nothing was loaded, nothing to put back.
    EXPECT_EQ(RestoreRecordingJustMade(found, capture, buffers), "");
    ExpectRecordingJustMade();

    ASSERT_EQ(Load().Outcome, FoundLoad::Loaded);
    ASSERT_EQ(Load().Outcome, FoundLoad::Loaded);  // a second load keeps the first copy aside
    EXPECT_EQ(capture.TotalBlocks, 10u);
    EXPECT_EQ(RestoreRecordingJustMade(found, capture, buffers), "");
    ExpectRecordingJustMade();
    EXPECT_EQ(platform::fileSize(foundName), 10 * int64_t{BlockBytes});  // "test" untouched
}

TEST_F(FoundRecordingTest, RefusedUnopenableOrBusyLeavesTheRecordingJustMade) {
    {
        platform::RawFile sparse;
        ASSERT_TRUE(sparse.open(foundName, platform::RawFile::Mode::Create));
        ASSERT_TRUE(sparse.truncate(uint64_t{360000} * BlockBytes));
    }
    FoundLoadResult r = Load();
    EXPECT_EQ(r.Outcome, FoundLoad::Refused);
    EXPECT_NE(r.Message.find("360000 blocks"), std::string::npos) << r.Message;
    EXPECT_NE(r.Message.find("359999 blocks"), std::string::npos) << r.Message;
    EXPECT_NE(r.Message.find("10:00:00.0"), std::string::npos) << r.Message;
    ExpectRecordingJustMade();
    EXPECT_FALSE(platform::fileExists(summaryName));

    platform::removeFile(foundName);
    fs::create_directory(foundName);
    r = Load();
    EXPECT_EQ(r.Outcome, FoundLoad::OpenFailed);
    EXPECT_EQ(r.Message.rfind("Can not open " + foundName, 0), 0u) << r.Message;
    ExpectRecordingJustMade();
    EXPECT_EQ(RestoreRecordingJustMade(found, capture, buffers), "");
    ExpectRecordingJustMade();

    // While another operation holds the guard.
    fs::remove(foundName);
    WriteRecording(foundName, 10);
    BusyGuard other(busy);
    r = Load();
    EXPECT_EQ(r.Outcome, FoundLoad::Busy);
    EXPECT_NE(r.Message, "");
    ExpectRecordingJustMade();
    EXPECT_FALSE(platform::fileExists(summaryName));
}

TEST_F(FoundRecordingTest, LongestRecordingTheTablesHoldLoadsFromItsSummary) {
    {
        platform::RawFile sparse;
        ASSERT_TRUE(sparse.open(foundName, platform::RawFile::Mode::Create));
        ASSERT_TRUE(sparse.truncate(uint64_t{359999} * BlockBytes + BlockBytes - 1));
    }
    SetAge(foundName, -100);
    WriteMarkedSummary(summaryName, 359999 * 8);
    const FoundLoadResult r = Load();
    ASSERT_EQ(r.Outcome, FoundLoad::Loaded) << r.Message;
    EXPECT_TRUE(r.SummaryRead);
    EXPECT_EQ(capture.TotalBlocks, 359999u);
    EXPECT_EQ(buffers.Peaks.PeakMaxLeft[2], int16_t(11000 + 4));
}

TEST(PeakSummary, ParseRefusesWhatDoesNotFit) {
    PeakTables peaks;
    peaks.Allocate(8);
    const std::vector<uint8_t> bytes(57, 0x01);
    EXPECT_FALSE(ParsePeakSummary(bytes.data(), 48, 7, peaks));   // 6 blocks' worth
    EXPECT_FALSE(ParsePeakSummary(bytes.data(), 64, 8, peaks));   // beyond the tables
    EXPECT_FALSE(ParsePeakSummary(nullptr, 56, 7, peaks));
    EXPECT_EQ(peaks.PeakMaxLeft[1], 0);
    EXPECT_TRUE(ParsePeakSummary(bytes.data(), 57, 7, peaks));
    EXPECT_EQ(peaks.PeakMinRight[7], 0x0101);
    EXPECT_TRUE(ParsePeakSummary(nullptr, 0, 0, peaks));
}

// The ring position file: what start-up trusts.
TEST(RingPositionFile, OnlyAnIntactDescriptionOfARingIsTrusted) {
    const RingPosition p{1800, 640, true};
    const auto good = EncodeRingPosition(p);
    ASSERT_EQ(ParseRingPosition(good.data(), good.size()), p);
    EXPECT_FALSE(ParseRingPosition(good.data(), good.size() - 1));
    EXPECT_FALSE(ParseRingPosition(nullptr, good.size()));
    // Any one byte changed is noticed.
    for (size_t i = 0; i < good.size(); ++i) {
        auto bad = good;
        bad[i] ^= 0x10;
        EXPECT_FALSE(ParseRingPosition(bad.data(), bad.size())) << "byte " << i;
    }
    // Well-formed but describing no ring.
    for (const RingPosition& q : {RingPosition{1800, 1801, true}, RingPosition{0, 5, true}, RingPosition{1800, 0, true},
                                  RingPosition{1800, 40, false, true, 7}}) {
        const auto b = EncodeRingPosition(q);
        EXPECT_FALSE(ParseRingPosition(b.data(), b.size())) << q.RingBlocks << " " << q.LastWrittenBlock;
    }
    const auto continuous = EncodeRingPosition({0, 90000, false});
    EXPECT_TRUE(ParseRingPosition(continuous.data(), continuous.size()));
}

// The marker file: what start-up trusts of its bytes.
struct MarkerBytesCase {
    const char* what;
    std::function<void(std::vector<uint8_t>&)> damage;
    std::vector<MarkerRecord> trusted;
};
class MarkerFileBytes : public ::testing::TestWithParam<MarkerBytesCase> {};

const MarkerRecord MarkA{7, 7, 0x1234}, MarkB{1900, 100, 0xBEEF}, MarkC{30, 30, 0};

TEST_P(MarkerFileBytes, OnlyIntactRecordsAreTrusted) {
    std::vector<uint8_t> bytes;
    const auto header = MarkerFileHeader();
    bytes.insert(bytes.end(), header.begin(), header.end());
    for (const MarkerRecord& r : {MarkA, MarkB, MarkC}) {
        const auto b = EncodeMarkerRecord(r);
        bytes.insert(bytes.end(), b.begin(), b.end());
    }
    GetParam().damage(bytes);
    EXPECT_EQ(ParseMarkerFile(bytes.data(), bytes.size()), GetParam().trusted) << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(
    Damage, MarkerFileBytes,
    ::testing::Values(
        MarkerBytesCase{"intact", [](auto&) {}, {MarkA, MarkB, MarkC}},
        MarkerBytesCase{"torn last record", [](auto& b) { b.resize(b.size() - 5); }, {MarkA, MarkB}},
        MarkerBytesCase{"a bit of the middle record", [](auto& b) { b[8 + 16 + 9] ^= 0x04; }, {MarkA, MarkC}},
        MarkerBytesCase{"a record's check word", [](auto& b) { b[8 + 15] ^= 0x80; }, {MarkB, MarkC}},
        MarkerBytesCase{"a zeroed record", [](auto& b) { std::fill(b.begin() + 8, b.begin() + 24, 0); }, {MarkB, MarkC}},
        MarkerBytesCase{"the header", [](auto& b) { b[3] = 'X'; }, {}},
        MarkerBytesCase{"nothing", [](auto& b) { b.clear(); }, {}},
        MarkerBytesCase{"garbage", [](auto& b) { for (size_t i = 8; i < b.size(); ++i) b[i] = uint8_t(i * 37 + 11); }, {}},
        MarkerBytesCase{"a block past its count",
                        [](auto& b) { std::ranges::copy(EncodeMarkerRecord({5, 6, 1}), b.begin() + 8); }, {MarkB, MarkC}}));

TEST(RingPositionFile, ReplacedWholeAndSplitOnlyWhenItFitsTheFile) {
    test::TempDir dir;
    const std::string path = dir.file("Orvane.pos");
    std::string error;
    EXPECT_FALSE(ReadRingPositionFile(path));
    ASSERT_TRUE(WriteRingPositionFile(path, {1800, 20, true}, error)) << error;
    ASSERT_TRUE(WriteRingPositionFile(path, {1800, 40, true}, error)) << error;
    EXPECT_EQ(ReadRingPositionFile(path), (RingPosition{1800, 40, true}));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), std::filesystem::directory_iterator()), 1)
        << "a partial file was left";
    EXPECT_FALSE(WriteRingPositionFile(dir.file("missing/Orvane.pos"), {1800, 40, true}, error));
    EXPECT_NE(error, "");

    const int64_t ring = 1800 * int64_t{BlockBytes};
    EXPECT_EQ(RingSplitBlock({1800, 40, true}, ring), 40u);
    EXPECT_FALSE(RingSplitBlock({1800, 1800, true}, ring));      // ends at the ring's end: in order
    EXPECT_FALSE(RingSplitBlock({1800, 40, false}, 40 * int64_t{BlockBytes}));  // first pass
    EXPECT_FALSE(RingSplitBlock({1800, 40, true}, ring - BlockBytes));  // another file
    EXPECT_FALSE(RingSplitBlock({1800, 40, true}, ring + 1));
    EXPECT_FALSE(RingSplitBlock({0, 40, false}, ring));
    // The next half reached the disk, its position did not.
    const RingPosition checked{1800, 580, true, true, 0xABCD};
    EXPECT_EQ(RingSplitBlock(checked, ring, 0xABCD), 580u);
    EXPECT_EQ(RingSplitBlock(checked, ring, 0x1234), 600u);
    EXPECT_EQ(RingSplitBlock({1800, 1800, true, true, 5}, ring, 6), 20u);
    EXPECT_FALSE(RingSplitBlock({1800, 1780, true, true, 5}, ring, 6));  // that half ended the ring
    // A kill in the middle of the next half's write: its first and last block
    // disagree, and the half (new sound, then old) is left out.
    const RingPosition both{1800, 580, true, true, 0xABCD, true, 0x5555};
    struct Seen { uint32_t first, last, split, skip; };
    for (const Seen& k : {Seen{0xABCD, 0x5555, 580, 0}, Seen{0x1234, 0x6666, 600, 0}, Seen{0x1234, 0x5555, 580, 20},
                          Seen{0xABCD, 0x6666, 580, 20}}) {
        uint32_t skip = 99;
        EXPECT_EQ(RingSplitBlock(both, ring, k.first, k.last, &skip), k.split) << std::hex << k.first << " " << k.last;
        EXPECT_EQ(skip, k.skip) << std::hex << k.first << " " << k.last;
    }
    uint32_t skip = 0;
    EXPECT_EQ(RingSplitBlock({1800, 1800, true, true, 5, true, 7}, ring, 6, 7, &skip), 1800u);  // the ring's first half
    EXPECT_EQ(skip, 20u);
    EXPECT_FALSE(RingSplitBlock(both, ring, 0x1234, 0x5555));  // a caller that cannot leave it out keeps the file as it lies

    // The copy puts block split+1 first.
    const std::string raw = dir.file("raw");
    {
        std::vector<uint8_t> d(size_t{BlockBytes} * 4);
        for (uint32_t b = 0; b < 4; ++b) std::fill_n(d.begin() + b * BlockBytes, BlockBytes, uint8_t(b + 1));
        std::ofstream(raw, std::ios::binary).write(reinterpret_cast<const char*>(d.data()), d.size());
    }
    ASSERT_TRUE(CopyRingInTimeOrder(raw, 3, dir.file("ordered"), error)) << error;
    const std::vector<int16_t> v = ReadValues(dir.file("ordered"));
    ASSERT_EQ(v.size(), 4u * BlockBytes / 2);
    EXPECT_EQ(v[0], 0x0404);
    EXPECT_EQ(v[BlockBytes / 2], 0x0101);
    EXPECT_EQ(v.back(), 0x0303);
    // Left out after split, and round the end.
    for (const auto& [split, skip, want] : {std::tuple{1u, 1u, std::vector<int>{3, 4, 1}},
                                             std::tuple{4u, 1u, std::vector<int>{2, 3, 4}},
                                             std::tuple{3u, 2u, std::vector<int>{2, 3}}}) {
        ASSERT_TRUE(CopyRingInTimeOrder(raw, split, dir.file("cut"), error, skip)) << error;
        const std::vector<int16_t> c = ReadValues(dir.file("cut"));
        std::vector<int> blocks;
        for (size_t i = 0; i < c.size(); i += BlockBytes / 2) blocks.push_back(c[i] & 0xFF);
        EXPECT_EQ(blocks, want) << "split " << split << " skip " << skip;
    }
    EXPECT_FALSE(CopyRingInTimeOrder(raw, 5, dir.file("bad"), error));
    EXPECT_FALSE(platform::fileExists(dir.file("bad")));
}

}  // namespace
}  // namespace orv
