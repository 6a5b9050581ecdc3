// The editor's input boxes: every text gives a value or a message, never a throw.
#include <gtest/gtest.h>

#include <ostream>
#include <random>
#include <string>

#include "editor/edit_input.h"
#include "record/format.h"

namespace orv {
namespace {

struct AmplifyCase {
    const char* text;
    bool ok;
    int32_t percent;
};

void PrintTo(const AmplifyCase& c, std::ostream* o) { *o << "'" << c.text << "'"; }

class AmplifyText : public ::testing::TestWithParam<AmplifyCase> {};

TEST_P(AmplifyText, GivesPercentOrMessage) {
    const AmplifyCase c = GetParam();
    const AmplifyInput r = ParseAmplifyPercent(c.text);
    EXPECT_EQ(r.Ok, c.ok);
    if (c.ok) {
        EXPECT_EQ(r.Percent, c.percent);
        EXPECT_TRUE(r.Error.empty());
    } else {
        EXPECT_FALSE(r.Error.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, AmplifyText,
    ::testing::Values(AmplifyCase{"100", true, 100}, AmplifyCase{" 50 ", true, 50}, AmplifyCase{"0", true, 0},
                      AmplifyCase{"1000", true, 1000}, AmplifyCase{"+7", true, 7}, AmplifyCase{"-0", true, 0},
                      AmplifyCase{"1001", false, 0}, AmplifyCase{"-5", false, 0}, AmplifyCase{"", false, 0},
                      AmplifyCase{"12.5", false, 0}, AmplifyCase{"1e2", false, 0}, AmplifyCase{"abc", false, 0},
                      AmplifyCase{"99999999999999999999", false, 0}, AmplifyCase{"+", false, 0},
                      AmplifyCase{"5 0", false, 0}));

TEST(AmplifyMessages, NameTheTextOrTheRange) {
    EXPECT_EQ(ParseAmplifyPercent("x1").Error, "'x1' 不是一个有效的整数值");
    const std::string range = ParseAmplifyPercent("2000").Error;
    EXPECT_NE(range.find("0"), std::string::npos);
    EXPECT_NE(range.find("1000"), std::string::npos);
}

struct SilenceCase {
    const char* text;
    const char* point;
    uint32_t current;
    bool ok;
    uint32_t blocks;
};

void PrintTo(const SilenceCase& c, std::ostream* o) { *o << "'" << c.text << "' with '" << c.point << "'"; }

class SilenceText : public ::testing::TestWithParam<SilenceCase> {};

TEST_P(SilenceText, GivesBlocksOrMessage) {
    const SilenceCase c = GetParam();
    const SilenceInput r = ParseSilenceSeconds(c.text, c.point, c.current, PeakTableSize);
    EXPECT_EQ(r.Ok, c.ok) << r.Error;
    if (c.ok)
        EXPECT_EQ(r.Blocks, c.blocks);
    else
        EXPECT_FALSE(r.Error.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Table, SilenceText,
    ::testing::Values(
        // Halves to even on the single-precision value.
        SilenceCase{"1.25", ".", 0, true, 12}, SilenceCase{"1.35", ".", 0, true, 14},
        SilenceCase{"0.05", ".", 0, true, 0}, SilenceCase{"0.04", ".", 0, true, 0}, SilenceCase{"0", ".", 0, true, 0},
        SilenceCase{"", ".", 0, true, 0}, SilenceCase{"  3 ", ".", 0, true, 30}, SilenceCase{"2,5", ",", 0, true, 25},
        SilenceCase{"2.5", ",", 0, false, 0}, SilenceCase{"1e1", ".", 0, true, 100}, SilenceCase{".5", ".", 0, true, 5},
        SilenceCase{"-1", ".", 0, false, 0}, SilenceCase{"nan", ".", 0, false, 0}, SilenceCase{"inf", ".", 0, false, 0},
        SilenceCase{"-inf", ".", 0, false, 0}, SilenceCase{"1e39", ".", 0, false, 0},
        SilenceCase{"1e400", ".", 0, false, 0}, SilenceCase{"0x10", ".", 0, false, 0},
        SilenceCase{"1e", ".", 0, false, 0}, SilenceCase{".", ".", 0, false, 0}, SilenceCase{"abc", ".", 0, false, 0},
        // The 10-hour timeline: 36000 s fit an empty one, one block more does not.
        SilenceCase{"36000", ".", 0, true, 360000}, SilenceCase{"36000.1", ".", 0, false, 0},
        SilenceCase{"0.1", ".", 360000, false, 0}, SilenceCase{"0.1", ".", 359999, true, 1}));

TEST(SilenceMessages, NotANumberNamesTheText) {
    EXPECT_EQ(ParseSilenceSeconds("1.2.3", ".", 0, PeakTableSize).Error, "'1.2.3' 不是一个有效的浮点值");
}

TEST(InputBoxes, AnyBytesGiveAnAnswer) {
    std::mt19937 rng(7);
    const std::string alphabet = "0123456789+-.,eE xn\t\xff\x80";
    for (int i = 0; i < 20000; ++i) {
        std::string text(rng() % 12, ' ');
        for (char& ch : text) ch = (rng() % 4 == 0) ? char(rng() % 256) : alphabet[rng() % alphabet.size()];
        const AmplifyInput a = ParseAmplifyPercent(text);
        ASSERT_TRUE(a.Ok ? a.Percent >= 0 && a.Percent <= 1000 : !a.Error.empty()) << text;
        const SilenceInput s = ParseSilenceSeconds(text, i % 2 ? "." : ",", 1000, PeakTableSize);
        ASSERT_TRUE(s.Ok ? s.Blocks <= PeakTableSize - 1000 : !s.Error.empty()) << text;
    }
}

}  // namespace
}  // namespace orv
