// The settings file: reading rules, in-place writing rules, the file on disk.
#include <gtest/gtest.h>

#include <array>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>
#include <sys/stat.h>

#include "platform/text_file.h"
#include "shell/ini_file.h"
#include "support/temp_dir.h"

namespace orv {
namespace {

// Every field, so that a failure names the one that differs.
std::string Describe(const Settings& s) {
    std::ostringstream o;
    o << "wav=" << s.SaveAsWav << " mp3=" << s.SaveAsMp3 << " rate=" << s.Wav.WavSampleRate
      << " bits=" << s.Wav.WavBitsPerSample << " ch=" << s.Wav.WavChannels << " br=" << s.Mp3.Mp3BitRate
      << " mode=" << s.Mp3.Mp3Mode << " vbr=" << s.Mp3.Mp3Vbr << " min=" << s.Mp3.Mp3MinBitRate
      << " max=" << s.Mp3.Mp3MaxBitRate << " q=" << s.Mp3.Mp3VbrQuality << " c=" << s.Mp3.Mp3Copyright
      << " o=" << s.Mp3.Mp3Original << " p=" << s.Mp3.Mp3Private << " folder=[" << s.OutputFolder
      << "] index=" << s.RecordingModeIndex << " colour=" << s.ColourScheme;
    return o.str();
}

std::string ReadAll(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), {}};
}

void WriteAll(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

const char* const DefaultFile =
    "[Save Format]\nWav=0\nSamplePerSecond=44100\nBitPerSample=16\nChannels=2\nMP3=1\nBitRate=128\nMode=0\n"
    "VBR=0\nMinBitRate=32\nMaxBitRate=320\nVBRQuality=0\nCopyright=0\nOriginal=0\nPrivate=0\n"
    "[Output Folder]\nName=\n[Recording Mode]\nIndex=0\n[Window Colors]\nColor=1\n";

// Text in, record out, text out (the record merged back into the same text).
struct IniRow {
    const char* Name;
    std::string In;
    std::function<void(Settings&)> Expect;  // applied to a default record
    std::string Out;
};

class IniTable : public ::testing::TestWithParam<IniRow> {};

TEST_P(IniTable, ReadsAndWritesBackInPlace) {
    const IniRow& row = GetParam();
    Settings expected;
    row.Expect(expected);
    const Settings got = ParseSettings(row.In);
    EXPECT_EQ(Describe(got), Describe(expected));
    EXPECT_EQ(MergeSettings(row.In, got), row.Out);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, IniTable,
    ::testing::Values(
        IniRow{"NoFileGivesDefaultsAndEveryKeyInOrder", "", [](Settings&) {}, DefaultFile},
        IniRow{"ValuesReplacedWhereTheyStandWithEverythingElseKept",
               "; mine\r\n[Other]\r\nIndex=7\r\n\r\n[save format]\r\nwav = 1\r\nMP3=0\r\nSamplePerSecond=22050\r\n"
               "BitPerSample=0x8\r\nChannels=65537\r\nbitrate=0x100\r\nMode=3\r\nVBR=2\r\nMinBitRate=64\r\n"
               "MaxBitRate=256\r\nVBRQuality=8\r\nCopyright=1\r\nOriginal=-1\r\nPrivate=0\r\nExtra=keep me\r\n\r\n"
               "[Output Folder]\r\nName = /home/u/My Music \r\n[RECORDING MODE]\r\nIndex=0x3\r\n"
               "[Window Colors]\r\nColor=letters\r\n; end",
               [](Settings& s) {
                   s.SaveAsWav = true;
                   s.SaveAsMp3 = false;
                   s.Wav = {22050, 1, 8};
                   s.Mp3 = {256, 3, true, 64, 256, 8, true, true, false};
                   s.OutputFolder = "/home/u/My Music";
                   s.RecordingModeIndex = 3;
               },
               "; mine\r\n[Other]\r\nIndex=7\r\n\r\n[save format]\r\nwav = 1\r\nMP3=0\r\nSamplePerSecond=22050\r\n"
               "BitPerSample=8\r\nChannels=1\r\nbitrate=256\r\nMode=3\r\nVBR=1\r\nMinBitRate=64\r\n"
               "MaxBitRate=256\r\nVBRQuality=8\r\nCopyright=1\r\nOriginal=1\r\nPrivate=0\r\nExtra=keep me\r\n\r\n"
               "[Output Folder]\r\nName = /home/u/My Music\r\n[RECORDING MODE]\r\nIndex=3\r\n"
               "[Window Colors]\r\nColor=1\r\n; end"},
        IniRow{"MissingKeysEndTheirSectionMissingSectionsEndTheFile",
               "[Window Colors]\nColor=4\n\n[Save Format]\nVBR=1\n# note\n\n[Recording Mode]\nIndex=9",
               [](Settings& s) {
                   s.ColourScheme = 4;
                   s.Mp3.Mp3Vbr = true;
               },
               "[Window Colors]\nColor=4\n\n[Save Format]\nVBR=1\n# note\nWav=0\nSamplePerSecond=44100\n"
               "BitPerSample=16\nChannels=2\nMP3=1\nBitRate=128\nMode=0\nMinBitRate=32\nMaxBitRate=320\n"
               "VBRQuality=0\nCopyright=0\nOriginal=0\nPrivate=0\n\n[Recording Mode]\nIndex=0\n"
               "[Output Folder]\nName=\n"},
        IniRow{"ValuesOutsideTheListsReadAsDefaults",
               "[Save Format]\nWav=0\nMP3=0\nSamplePerSecond=48000\nBitPerSample=24\nChannels=0\nBitRate=100\n"
               "Mode=2\nVBR=\nMinBitRate=8\nMaxBitRate=0x7FFFFFFFF\nVBRQuality=9\nCopyright=1x\nOriginal=0x\n"
               "Private=99999999999\n[Window Colors]\nColor=6\n[Recording Mode]\nIndex=-1\n"
               "[Output Folder]\nName=\"  spaced  \"\n",
               [](Settings& s) { s.OutputFolder = "  spaced  "; },
               "[Save Format]\nWav=0\nMP3=1\nSamplePerSecond=44100\nBitPerSample=16\nChannels=2\nBitRate=128\n"
               "Mode=0\nVBR=0\nMinBitRate=32\nMaxBitRate=320\nVBRQuality=0\nCopyright=0\nOriginal=0\n"
               "Private=0\n[Window Colors]\nColor=1\n[Recording Mode]\nIndex=0\n"
               "[Output Folder]\nName=\"  spaced  \"\n"},
        IniRow{"FirstSectionAndFirstKeyOfANameCount",
               "[Recording Mode]\nIndex=2\nindex=4\n[recording mode]\nIndex=5\n[Save Format]\nWav=1\n"
               "[Output Folder]\nName=/srv/a=b\n[Window Colors]\nColor=0x5\nColor=2\n",
               [](Settings& s) {
                   s.RecordingModeIndex = 2;
                   // Wav=1 with MP3 left at its default: both set reads as MP3.
                   s.OutputFolder = "/srv/a=b";
                   s.ColourScheme = 5;
               },
               "[Recording Mode]\nIndex=2\nindex=4\n[recording mode]\nIndex=5\n[Save Format]\nWav=0\n"
               "SamplePerSecond=44100\nBitPerSample=16\nChannels=2\nMP3=1\nBitRate=128\nMode=0\nVBR=0\n"
               "MinBitRate=32\nMaxBitRate=320\nVBRQuality=0\nCopyright=0\nOriginal=0\nPrivate=0\n"
               "[Output Folder]\nName=/srv/a=b\n[Window Colors]\nColor=5\nColor=2\n"},
        // A write cut off between "\r" and "\n": the new lines must not add a second "\r".
        IniRow{"FileCutOffAfterACarriageReturn", "[Output Folder]\r\nName=/music\r",
               [](Settings& s) { s.OutputFolder = "/music"; },
               "[Output Folder]\r\nName=/music\r\n[Save Format]\r\nWav=0\r\nSamplePerSecond=44100\r\n"
               "BitPerSample=16\r\nChannels=2\r\nMP3=1\r\nBitRate=128\r\nMode=0\r\nVBR=0\r\nMinBitRate=32\r\n"
               "MaxBitRate=320\r\nVBRQuality=0\r\nCopyright=0\r\nOriginal=0\r\nPrivate=0\r\n"
               "[Recording Mode]\r\nIndex=0\r\n[Window Colors]\r\nColor=1\r\n"}),
    [](const ::testing::TestParamInfo<IniRow>& info) { return std::string(info.param.Name); });

// Random records in valid ranges, random texts around them.
class IniRandom : public ::testing::Test {
protected:
    std::mt19937 rng{20261207};
    int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); }

    Settings RandomRecord() {
        static const int32_t rates[] = {44100, 22050, 11025};
        static const int32_t bitRates[] = {32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
        static const int32_t modes[] = {0, 1, 3};
        Settings s;
        s.SaveAsWav = Pick(2);
        s.SaveAsMp3 = !s.SaveAsWav;
        s.Wav = {rates[Pick(3)], uint16_t(1 + Pick(2)), uint16_t(Pick(2) ? 8 : 16)};
        s.Mp3 = {bitRates[Pick(14)], modes[Pick(3)], bool(Pick(2)), bitRates[Pick(14)], bitRates[Pick(14)],
                 Pick(9), bool(Pick(2)), bool(Pick(2)), bool(Pick(2))};
        const char pool[] = " \t\"=[];#/aZ\x01\xe4\xb8\xad";
        const int n = Pick(12);
        for (int i = 0; i < n; ++i) s.OutputFolder += pool[Pick(int(sizeof pool) - 1)];
        s.RecordingModeIndex = Pick(8);
        s.ColourScheme = 1 + Pick(5);
        return s;
    }

    // Lines built from the pieces a settings file is made of, and raw bytes.
    std::string RandomText(std::vector<std::string>* marked) {
        static const char* const parts[] = {"[", "]", "=", " ", "\t", "\r", "0x", "Save Format", "save format",
                                            "Recording Mode", "Index", "Wav", "MP3", "Name", "Output Folder",
                                            "Window Colors", "Color", "VBR", "1", "-", "9", ";", "\""};
        std::string text;
        const int lines = Pick(Pick(2) ? 8 : 40);
        for (int l = 0; l < lines; ++l) {
            std::string line;
            const int kind = Pick(5);
            if (kind == 0 && marked) {
                // A line the program never owns: no "=", not a section of its own.
                line = "kept " + std::to_string(marked->size()) + (Pick(2) ? "| [x]" : "| ;c");
                marked->push_back(line);
            } else if (kind <= 3) {
                for (int i = Pick(6); i >= 0; --i) line += parts[Pick(int(std::size(parts)))];
            } else {
                for (int i = Pick(20); i >= 0; --i) line += char(Pick(256));
            }
            text += line;
            if (l + 1 < lines) text += Pick(3) ? "\n" : "\r\n";
            else text += std::array<const char*, 3>{"", "\n", "\r"}[size_t(Pick(3))];
        }
        return text;
    }
};

TEST_F(IniRandom, AnyBytesReadSafelyAndWriteThenReadGivesTheRecordBack) {
    for (int round = 0; round < 3000; ++round) {
        std::vector<std::string> marked;
        const std::string text = RandomText(&marked);
        const Settings read = ParseSettings(text);
        // Whatever was read is within what the program handles.
        Settings checked = read;
        ValidateSettings(checked);
        ASSERT_EQ(Describe(checked), Describe(read)) << "round " << round;

        const Settings rec = RandomRecord();
        const std::string merged = MergeSettings(text, rec);
        ASSERT_EQ(Describe(ParseSettings(merged)), Describe(rec)) << "round " << round;
        ASSERT_EQ(MergeSettings(merged, rec), merged) << "a second write changed the file, round " << round;
        // The program's own lines aside, every line survives, in order.
        size_t at = 0;
        for (const std::string& line : marked) {
            const size_t found = merged.find(line, at);
            ASSERT_NE(found, std::string::npos) << "lost \"" << line << "\" in round " << round;
            at = found + line.size();
        }
    }
}

TEST(IniFile, TheFileOnDisk) {
    test::TempDir dir;
    // A file that does not exist yet, in a folder that does not exist yet.
    const std::string path = dir.file("config/orvane-recorder/orvane-recorder.INI");
    Settings s;
    s.RecordingModeIndex = 6;
    s.OutputFolder = "/music";
    std::string error;
    ASSERT_TRUE(WriteSettingsFile(path, s, error)) << error;
    EXPECT_EQ(ReadSettingsFile(path).RecordingModeIndex, 6);
    EXPECT_EQ(ReadSettingsFile(path).OutputFolder, "/music");

    // A line of a megabyte and bytes that are no text survive a write.
    const std::string big(1 << 20, 'x');
    const std::string foreign = "[Junk]\n" + big + "\n\x00\xff\xfe=\x01\n";
    WriteAll(path, foreign + ReadAll(path));
    s.ColourScheme = 3;
    ASSERT_TRUE(WriteSettingsFile(path, s, error)) << error;
    const std::string after = ReadAll(path);
    EXPECT_EQ(after.substr(0, foreign.size()), foreign);
    EXPECT_EQ(ReadSettingsFile(path).ColourScheme, 3);
    EXPECT_EQ(ReadSettingsFile(path).RecordingModeIndex, 6);
    EXPECT_EQ(::chmod(path.c_str(), 0600), 0);
    ASSERT_TRUE(WriteSettingsFile(path, s, error)) << error;
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u) << "the permissions of the old file are kept";

    // Too big to rewrite safely: defaults on reading, left alone on writing.
    const std::string huge = ReadAll(path) + std::string(MaxSettingsFileBytes, ';');
    WriteAll(path, huge);
    EXPECT_EQ(ReadSettingsFile(path).ColourScheme, 1);
    EXPECT_FALSE(WriteSettingsFile(path, s, error));
    EXPECT_EQ(error.rfind("无法写入到 " + path, 0), 0u) << error;
    EXPECT_EQ(ReadAll(path).size(), huge.size());

    // Not a file at all, and a folder that cannot be made.
    const std::string folder = dir.file("a folder.INI");
    ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
    EXPECT_EQ(ReadSettingsFile(folder).ColourScheme, 1);
    EXPECT_FALSE(WriteSettingsFile(folder, s, error));
    WriteAll(dir.file("plain"), "x");
    EXPECT_FALSE(WriteSettingsFile(dir.file("plain/sub/x.INI"), s, error));
    EXPECT_EQ(error.rfind("无法写入到 " + dir.file("plain/sub/x.INI"), 0), 0u) << error;
    // No temporary file is left behind by the failures.
    EXPECT_EQ(ReadAll(dir.file("plain")), "x");
}

TEST(IniFile, LivesBesideTheExecutableUnlessThatFolderIsNotWritable) {
    test::TempDir dir;
    EXPECT_EQ(LocateSettingsFile(dir.file("orvane-recorder"), "/cfg", "/home/u"), dir.file("orvane-recorder.INI"));
    EXPECT_EQ(LocateSettingsFile(dir.file("missing/orvane-recorder"), "/cfg", "/home/u"),
              "/cfg/orvane-recorder/orvane-recorder.INI");
    EXPECT_EQ(LocateSettingsFile(dir.file("missing/orvane-recorder"), "", "/home/u"),
              "/home/u/.config/orvane-recorder/orvane-recorder.INI");
    // An installed tree (its encoder library in lib/orvane-recorder): never beside
    // the executable, even when the folder is writable.
    ASSERT_TRUE(platform::makeDirs(dir.file("usr/bin")));
    ASSERT_TRUE(platform::makeDirs(dir.file("usr/lib/orvane-recorder")));
    WriteAll(dir.file("usr/lib/orvane-recorder/liblame_enc.so"), "x");
    EXPECT_EQ(LocateSettingsFile(dir.file("usr/bin/orvane-recorder"), "/cfg", "/home/u"),
              "/cfg/orvane-recorder/orvane-recorder.INI");
}

}  // namespace
}  // namespace orv
