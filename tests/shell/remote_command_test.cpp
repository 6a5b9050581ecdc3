// The command line and the names of saves made without a dialog.
#include <gtest/gtest.h>

#include <cstdlib>
#include <set>

#include "shell/remote_command.h"

namespace orv {
namespace {

struct ParseRow {
    std::vector<std::string> args;
    CommandKind kind;
    std::string folder;
};

void PrintTo(const ParseRow& row, std::ostream* os) {
    for (const std::string& a : row.args) *os << "[" << a << "]";
}

class ParseCommandLineTable : public ::testing::TestWithParam<ParseRow> {};

TEST_P(ParseCommandLineTable, KindAndFolder) {
    const CommandLine c = ParseCommandLine(GetParam().args);
    EXPECT_EQ(c.Kind, GetParam().kind) << c.Error;
    EXPECT_EQ(c.Folder, GetParam().folder);
    EXPECT_EQ(c.Error.empty(), c.Kind != CommandKind::Bad);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ParseCommandLineTable,
    ::testing::Values(ParseRow{{}, CommandKind::Start, ""}, ParseRow{{"--stop"}, CommandKind::Stop, ""},
                      ParseRow{{"--save-recent"}, CommandKind::SaveRecent, ""},
                      ParseRow{{"--save-recent", "My Music"}, CommandKind::SaveRecent, "My Music"},
                      // A folder that looks like an option only after "--".
                      ParseRow{{"--save-recent", "--", "-x"}, CommandKind::SaveRecent, "-x"},
                      ParseRow{{"--save-recent", "--stop"}, CommandKind::Bad, ""},
                      ParseRow{{"--save-recent", ""}, CommandKind::Bad, ""},
                      ParseRow{{"--record", "--stop"}, CommandKind::Bad, ""},
                      ParseRow{{"--mark", "somewhere"}, CommandKind::Bad, ""},
                      ParseRow{{"--recording"}, CommandKind::Bad, ""}));

// Two saves in the same second never share a name, and no name holds ':'.
TEST(RecentSavePath, DateTimeThenANumberWhenTaken) {
    setenv("TZ", "UTC", 1);
    tzset();
    const std::time_t t = 1796712009;  // 2026-12-08 06:40:09 UTC
    std::set<std::string> taken;
    auto exists = [&](const std::string& p) { return taken.count(p) > 0; };
    const std::string first = RecentSavePath("/music/", t, "wav", exists);
    EXPECT_EQ(first, "/music/Orvane 2026-12-08 06-40-09.wav");
    taken.insert(first);
    EXPECT_EQ(RecentSavePath("/music", t, "wav", exists), "/music/Orvane 2026-12-08 06-40-09 (2).wav");
    taken.insert("/music/Orvane 2026-12-08 06-40-09 (2).wav");
    EXPECT_EQ(RecentSavePath("/music", t, "wav", exists), "/music/Orvane 2026-12-08 06-40-09 (3).wav");
    EXPECT_EQ(RecentSavePath("/music", t, "mp3", exists), "/music/Orvane 2026-12-08 06-40-09.mp3");
}

}  // namespace
}  // namespace orv
