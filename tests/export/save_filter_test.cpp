// The one entry the save dialog offers, for each save format.
#include <gtest/gtest.h>

#include "export/save_filter.h"

namespace orv {
namespace {

struct FilterCase {
    bool wav;
    WavParameters w;
    Mp3Parameters m;
    const char* filter;
    const char* extension;
};

class SaveFilterTable : public ::testing::TestWithParam<FilterCase> {};

TEST_P(SaveFilterTable, DescribesTheChosenFormat) {
    const FilterCase& c = GetParam();
    const SaveFilter f = UpdateSaveFilter(c.wav, c.w, c.m);
    EXPECT_EQ(f.Filter, c.filter);
    EXPECT_EQ(f.DefaultExtension, c.extension);
}

Mp3Parameters Mp3(int rate, int mode, bool vbr = false, int lo = 32, int hi = 320) {
    Mp3Parameters m;
    m.Mp3BitRate = rate;
    m.Mp3Mode = mode;
    m.Mp3Vbr = vbr;
    m.Mp3MinBitRate = lo;
    m.Mp3MaxBitRate = hi;
    return m;
}

INSTANTIATE_TEST_SUITE_P(
    Formats, SaveFilterTable,
    ::testing::Values(
        FilterCase{false, {}, Mp3(128, 0), "128 kbps stereo (*.mp3)|*.MP3", "mp3"},
        FilterCase{false, {}, Mp3(192, 1), "192 kbps joint stereo (*.mp3)|*.MP3", "mp3"},
        FilterCase{false, {}, Mp3(64, 3), "64 kbps mono (*.mp3)|*.MP3", "mp3"},
        FilterCase{false, {}, Mp3(64, 2), "64 kbps (*.mp3)|*.MP3", "mp3"},
        FilterCase{false, {}, Mp3(128, 0, true, 40, 256), "VBR 40-256 kbps stereo (*.mp3)|*.MP3", "mp3"},
        FilterCase{true, {44100, 1, 16}, {}, "44100Hz 16bit mono (*.wav)|*.WAV", "wav"},
        FilterCase{true, {11025, 2, 8}, {}, "11025Hz 8bit stereo (*.wav)|*.WAV", "wav"}));

}  // namespace
}  // namespace orv
