#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <ostream>
#include <vector>

#include "export/mp3_save.h"
#include "export_test_support.h"
#include "platform/encoder_library.h"
#include "record/format.h"
#include "support/temp_dir.h"

namespace orv {
namespace {

using test::Le16;
using test::Le32;
using test::ReadAll;

constexpr uint32_t Mpeg1Kbps[16] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0};

struct FrameHeader {
    uint32_t kbps;
    uint32_t mode;  // 0 stereo, 1 joint, 2 dual, 3 mono
    bool privateBit, copyright, original;
};

// Walks the file frame by frame; every frame must be MPEG-1 Layer III at 44100 Hz.
std::vector<FrameHeader> ReadFrames(const std::vector<uint8_t>& f) {
    std::vector<FrameHeader> frames;
    size_t at = 0;
    while (at + 4 <= f.size()) {
        const uint8_t* h = &f[at];
        const bool sync = h[0] == 0xFF && (h[1] & 0xE0) == 0xE0;
        const bool mpeg1Layer3 = ((h[1] >> 3) & 3) == 3 && ((h[1] >> 1) & 3) == 1;
        const uint32_t kbps = Mpeg1Kbps[h[2] >> 4];
        if (!sync || !mpeg1Layer3 || kbps == 0 || ((h[2] >> 2) & 3) != 0) {
            ADD_FAILURE() << "no MPEG-1 Layer III 44100 Hz frame header at byte " << at;
            return frames;
        }
        frames.push_back({kbps, uint32_t(h[3] >> 6), (h[2] & 1) != 0, ((h[3] >> 3) & 1) != 0, ((h[3] >> 2) & 1) != 0});
        at += 144000 * kbps / 44100 + ((h[2] >> 1) & 1);
    }
    EXPECT_EQ(at, f.size()) << "the last frame is cut short";
    return frames;
}

// Frames in the data chunk of a 16-bit WAV file.
uint64_t WavFrames(const std::vector<uint8_t>& w) {
    uint32_t channels = 0;
    for (size_t at = 12; at + 8 <= w.size();) {
        const std::string id(w.begin() + at, w.begin() + at + 4);
        const uint32_t len = Le32(w, at + 4);
        if (id == "fmt ") channels = Le16(w, at + 10);
        if (id == "data" && channels) return std::min<uint64_t>(len, w.size() - at - 8) / (2 * channels);
        at += 8 + len + (len & 1);
    }
    ADD_FAILURE() << "no data chunk";
    return 0;
}

class EncoderLibraryTest : public ::testing::Test {
protected:
    void SetUp() override {
        lib = platform::LoadEncoderLibrary(ORV_LAME_ENC_PATH);
        ASSERT_TRUE(lib) << "cannot load " << ORV_LAME_ENC_PATH;
    }
    std::unique_ptr<platform::EncoderLibrary> lib;
    test::TempDir dir;
};

TEST_F(EncoderLibraryTest, DefaultPathIsBesideTheExecutable) {
    EXPECT_TRUE(platform::LoadEncoderLibrary(platform::DefaultEncoderLibraryPath()));
}

TEST_F(EncoderLibraryTest, MissingOrIncompleteLibraryDoesNotLoad) {
    EXPECT_FALSE(platform::LoadEncoderLibrary(dir.file("liblame_enc.so")));
    EXPECT_FALSE(platform::LoadEncoderLibrary(ORV_PARTIAL_ENC_PATH));
}

TEST_F(EncoderLibraryTest, AsksForOneFrameOfStereoSamplesInEveryMode) {
    for (int32_t mode : {BE_MP3_MODE_STEREO, BE_MP3_MODE_JSTEREO, BE_MP3_MODE_MONO}) {
        Mp3Parameters p;
        p.Mp3Mode = mode;
        BE_CONFIG c = BuildEncoderConfig(p);
        uint32_t samples = 0, size = 0;
        HBE_STREAM s = 0;
        ASSERT_EQ(lib->beInitStream(&c, &samples, &size, &s), BE_ERR_SUCCESSFUL) << "mode " << mode;
        EXPECT_EQ(samples, 2304u);
        EXPECT_EQ(size, 8640u);  // 1.25 x 1152 + 7200
        EXPECT_EQ(lib->beCloseStream(s), BE_ERR_SUCCESSFUL);
    }
}

struct BadRecordRow {
    const char* name;
    void (*spoil)(BE_CONFIG&);
    BE_ERR code;
};
void PrintTo(const BadRecordRow& row, std::ostream* os) { *os << row.name; }

class EncoderRecordCheckTest : public EncoderLibraryTest, public ::testing::WithParamInterface<BadRecordRow> {};

TEST_P(EncoderRecordCheckTest, RefusesTheRecord) {
    BE_CONFIG c = BuildEncoderConfig({});
    GetParam().spoil(c);
    uint32_t samples = 0, size = 0;
    HBE_STREAM s = 0;
    EXPECT_EQ(lib->beInitStream(&c, &samples, &size, &s), GetParam().code);
}

INSTANTIATE_TEST_SUITE_P(
    Records, EncoderRecordCheckTest,
    ::testing::Values(BadRecordRow{"OldLayout", [](BE_CONFIG& c) { c.dwConfig = 0; }, BE_ERR_INVALID_FORMAT},
                      BadRecordRow{"OddBitrate", [](BE_CONFIG& c) { c.format.LHV1.dwBitrate = 130; },
                                   BE_ERR_INVALID_FORMAT_PARAMETERS},
                      BadRecordRow{"UnknownMode", [](BE_CONFIG& c) { c.format.LHV1.nMode = 5; },
                                   BE_ERR_INVALID_FORMAT_PARAMETERS},
                      BadRecordRow{"VbrMinAboveMax",
                                   [](BE_CONFIG& c) {
                                       c.format.LHV1.bEnableVBR = -1;
                                       c.format.LHV1.dwBitrate = 256;
                                       c.format.LHV1.dwMaxBitrate = 128;
                                   },
                                   BE_ERR_INVALID_FORMAT_PARAMETERS},
                      BadRecordRow{"WrongSize", [](BE_CONFIG& c) { c.format.LHV1.dwStructSize = 330; },
                                   BE_ERR_INVALID_FORMAT_PARAMETERS},
                      BadRecordRow{"UnsupportedRate", [](BE_CONFIG& c) { c.format.LHV1.dwSampleRate = 44000; },
                                   BE_ERR_INVALID_FORMAT_PARAMETERS}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(EncoderLibraryTest, RefusesBadHandlesAndOversizedChunks) {
    std::vector<int16_t> in(4608);
    std::vector<uint8_t> out(8640);
    uint32_t n = 0;
    EXPECT_EQ(lib->beEncodeChunk(0, 2304, in.data(), out.data(), &n), BE_ERR_INVALID_HANDLE);
    EXPECT_EQ(lib->beDeinitStream(0, out.data(), &n), BE_ERR_INVALID_HANDLE);
    EXPECT_EQ(lib->beCloseStream(0), BE_ERR_INVALID_HANDLE);

    BE_CONFIG c = BuildEncoderConfig({});
    uint32_t samples = 0, size = 0;
    HBE_STREAM s = 0;
    ASSERT_EQ(lib->beInitStream(&c, &samples, &size, &s), BE_ERR_SUCCESSFUL);
    EXPECT_EQ(lib->beEncodeChunk(s, samples + 2, in.data(), out.data(), &n), BE_ERR_INVALID_FORMAT_PARAMETERS);
    EXPECT_EQ(lib->beEncodeChunk(s, 3, in.data(), out.data(), &n), BE_ERR_INVALID_FORMAT_PARAMETERS);
    EXPECT_EQ(lib->beEncodeChunk(s, samples, in.data(), out.data(), &n), BE_ERR_SUCCESSFUL);
    EXPECT_EQ(lib->beCloseStream(s), BE_ERR_SUCCESSFUL);
}

TEST_F(EncoderLibraryTest, VbrHeaderGoesOverTheReservedFirstFrame) {
    Mp3Parameters p;
    p.Mp3Vbr = true;
    BE_CONFIG c = BuildEncoderConfig(p);
    c.format.LHV1.bWriteVBRHeader = -1;
    uint32_t samples = 0, size = 0;
    HBE_STREAM s = 0;
    ASSERT_EQ(lib->beInitStream(&c, &samples, &size, &s), BE_ERR_SUCCESSFUL);
    std::vector<int16_t> in(samples);
    std::vector<uint8_t> out(size), file;
    for (int chunk = 0; chunk < 40; ++chunk) {
        for (uint32_t i = 0; i < samples; ++i) in[i] = test::SourceSample(3, uint64_t(chunk) * samples + i, 0);
        uint32_t n = 0;
        ASSERT_EQ(lib->beEncodeChunk(s, samples, in.data(), out.data(), &n), BE_ERR_SUCCESSFUL);
        file.insert(file.end(), out.begin(), out.begin() + n);
    }
    uint32_t n = 0;
    ASSERT_EQ(lib->beDeinitStream(s, out.data(), &n), BE_ERR_SUCCESSFUL);
    file.insert(file.end(), out.begin(), out.begin() + n);
    ASSERT_EQ(lib->beCloseStream(s), BE_ERR_SUCCESSFUL);
    const std::string path = dir.file("vbr.mp3");
    {
        platform::RawFile f;
        ASSERT_TRUE(f.open(path, platform::RawFile::Mode::Create));
        ASSERT_EQ(f.write(file.data(), file.size()), file.size());
    }
    ASSERT_EQ(lib->beWriteVBRHeader(path.c_str()), BE_ERR_SUCCESSFUL);
    const std::vector<uint8_t> tagged = ReadAll(path);
    ASSERT_EQ(tagged.size(), file.size());
    EXPECT_EQ(std::string(tagged.begin() + 36, tagged.begin() + 40), "Xing");
    // The tag belongs to the stream just closed; there is none left to write.
    EXPECT_NE(lib->beWriteVBRHeader(path.c_str()), BE_ERR_SUCCESSFUL);
}

struct EncodeRow {
    const char* name;
    Mp3Parameters format;
};
void PrintTo(const EncodeRow& row, std::ostream* os) { *os << row.name; }

class RealEncoderSaveTest : public ::testing::TestWithParam<EncodeRow> {
protected:
    test::TempDir dir;
};

TEST_P(RealEncoderSaveTest, FramesCarryTheSettingsAndDecodeToTheRangeLength) {
    test::WriteSourceFile(dir.file("Orvane.raw"), 60, 5);
    test::SourceFiles files;
    ASSERT_TRUE(files.recording.open(dir.file("Orvane.raw"), platform::RawFile::Mode::Read));
    const std::vector<Piece> pieces{{1, 30, 31, true}, {31, 30, 1, true}};
    const SaveRange range{6, 55};  // 50 blocks
    SaveProgress progress;
    const std::string mp3 = dir.file("out.mp3");
    const Mp3Parameters& p = GetParam().format;
    const SaveResult r =
        WriteMp3File(mp3, p, range, pieces, files.sources(), progress, platform::EncoderLoaderFor(ORV_LAME_ENC_PATH));
    ASSERT_TRUE(r.ok()) << r.message;

    const std::vector<uint8_t> bytes = ReadAll(mp3);
    const std::vector<FrameHeader> frames = ReadFrames(bytes);
    ASSERT_FALSE(frames.empty());
    EXPECT_GE(frames.size() * 1152, 50u * BlockFrames);
    // A VBR file opens with a Xing frame (after 17 bytes of side information
    // in mono, 32 in stereo) counting the frames after it; CBR has none.
    const size_t tag = 4 + (p.Mp3Mode == 3 ? 17 : 32);
    ASSERT_EQ(std::string(bytes.begin() + tag, bytes.begin() + tag + 4) == "Xing", p.Mp3Vbr);
    if (p.Mp3Vbr) {
        EXPECT_EQ(bytes[tag + 7] & 1, 1) << "no frame count";
        EXPECT_EQ(uint32_t(bytes[tag + 8] << 24 | bytes[tag + 9] << 16 | bytes[tag + 10] << 8 | bytes[tag + 11]),
                  frames.size() - 1);
    }
    for (size_t i = p.Mp3Vbr ? 1 : 0; i < frames.size(); ++i) {
        const FrameHeader& h = frames[i];
        SCOPED_TRACE("frame " + std::to_string(i));
        ASSERT_EQ(h.mode, uint32_t(p.Mp3Mode));
        if (p.Mp3Vbr) {
            ASSERT_GE(h.kbps, uint32_t(p.Mp3MinBitRate));
            ASSERT_LE(h.kbps, uint32_t(p.Mp3MaxBitRate));
        } else {
            ASSERT_EQ(h.kbps, uint32_t(p.Mp3BitRate));
        }
        ASSERT_EQ(h.copyright, p.Mp3Copyright);
        ASSERT_EQ(h.original, p.Mp3Original);
        ASSERT_EQ(h.privateBit, p.Mp3Private);
    }
    if (p.Mp3Vbr) {
        size_t distinct = 0;
        for (size_t i = 2; i < frames.size(); ++i) distinct += frames[i].kbps != frames[1].kbps;
        EXPECT_GT(distinct, 0u) << "a VBR file with a single bit rate";
    }

    if (!test::ToolAvailable("lame")) GTEST_SKIP() << "lame is not installed; cannot check the decoded length";
    const std::string wav = dir.file("decoded.wav");
    ASSERT_EQ(std::system(("lame --quiet --decode '" + mp3 + "' '" + wav + "'").c_str()), 0);
    // The VBR header carries the delay and padding: the decoder trims to the
    // range. Without it the output is longer than the range by the net
    // delay (576 encoder - 529 decoder = 47 frames), the last frame's padding
    // and lame's closing frame, which stays under two frames.
    const int64_t excess = static_cast<int64_t>(WavFrames(ReadAll(wav))) - int64_t{50} * BlockFrames;
    if (p.Mp3Vbr) {
        EXPECT_EQ(excess, 0);
        return;
    }
    EXPECT_GE(excess, 47) << "part of the range is missing";
    EXPECT_LT(excess, 47 + 2 * 1152) << "more than the range was encoded";
}

Mp3Parameters Cbr(int32_t kbps, int32_t mode, bool copyright, bool original, bool priv) {
    Mp3Parameters p;
    p.Mp3BitRate = kbps;
    p.Mp3Mode = mode;
    p.Mp3Copyright = copyright;
    p.Mp3Original = original;
    p.Mp3Private = priv;
    return p;
}

Mp3Parameters Vbr(int32_t minKbps, int32_t maxKbps, int32_t quality, int32_t mode) {
    Mp3Parameters p;
    p.Mp3Vbr = true;
    p.Mp3MinBitRate = minKbps;
    p.Mp3MaxBitRate = maxKbps;
    p.Mp3VbrQuality = quality;
    p.Mp3Mode = mode;
    return p;
}

INSTANTIATE_TEST_SUITE_P(Settings, RealEncoderSaveTest,
                         ::testing::Values(EncodeRow{"Stereo128Copyright", Cbr(128, 0, true, false, false)},
                                           EncodeRow{"Joint192Original", Cbr(192, 1, false, true, false)},
                                           EncodeRow{"Mono64Private", Cbr(64, 3, false, false, true)},
                                           EncodeRow{"StereoVbr96To256", Vbr(96, 256, 4, 0)},
                                           EncodeRow{"MonoVbr32To128", Vbr(32, 128, 6, 3)}),
                         [](const auto& info) { return std::string(info.param.name); });

class RealEncoderMissingTest : public ::testing::TestWithParam<std::string> {};

TEST_P(RealEncoderMissingTest, ReportedAsMissingWithoutAFile) {
    test::TempDir dir;
    test::WriteSourceFile(dir.file("Orvane.raw"), 2, 1);
    test::SourceFiles files;
    ASSERT_TRUE(files.recording.open(dir.file("Orvane.raw"), platform::RawFile::Mode::Read));
    const std::vector<Piece> one{{1, 2, 1, true}};
    SaveProgress progress;
    const std::string libraryPath = GetParam().empty() ? dir.file("liblame_enc.so") : GetParam();
    const SaveResult r = WriteMp3File(dir.file("out.mp3"), {}, {1, 2}, one, files.sources(), progress,
                                      platform::EncoderLoaderFor(libraryPath));
    EXPECT_EQ(r.outcome, SaveOutcome::Failed);
    EXPECT_EQ(r.message, "Lame_enc.dll did not found");
    EXPECT_FALSE(platform::fileExists(dir.file("out.mp3")));
}

INSTANTIATE_TEST_SUITE_P(Libraries, RealEncoderMissingTest,
                         ::testing::Values(std::string(), std::string(ORV_PARTIAL_ENC_PATH)),
                         [](const auto& info) { return info.param.empty() ? std::string("Absent") : "Incomplete"; });

}  // namespace
}  // namespace orv
