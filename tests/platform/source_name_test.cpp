// Device 0's name: the sound server's default source when it answers, the
// ALSA card name otherwise, a hiccup of the server no change of device.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "platform/sound_server.h"
#include "platform/wave_in.h"
#include "support/fake_source_names.h"

namespace orv::platform {
namespace {

using R = SourceLookup::Result;

struct Answer {
    SourceLookup lookup;
    const char* name;  // device 0's name after it
};

struct NameCase {
    const char* title;
    std::vector<Answer> answers;
};

class DeviceZeroNames : public ::testing::TestWithParam<NameCase> {};

TEST_P(DeviceZeroNames, FollowTheServerAndKeepTheLastNameThroughHiccups) {
    DeviceZeroName chooser;
    for (size_t i = 0; i < GetParam().answers.size(); ++i) {
        const Answer& a = GetParam().answers[i];
        EXPECT_EQ(chooser.choose(a.lookup, "HDA Intel PCH"), a.name) << "answer " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Answers, DeviceZeroNames,
    ::testing::Values(
        NameCase{"NoServerGivesTheCardName", {{{R::NoServer, ""}, "HDA Intel PCH"}, {{R::Failed, ""}, "HDA Intel PCH"}}},
        NameCase{"ServerNameThenHiccups",
                 {{{R::Named, "Built-in Audio Analog Stereo"}, "Built-in Audio Analog Stereo"},
                  {{R::Failed, ""}, "Built-in Audio Analog Stereo"},
                  {{R::NoServer, ""}, "Built-in Audio Analog Stereo"},
                  {{R::Named, ""}, "Built-in Audio Analog Stereo"},
                  {{R::Named, "USB Mic"}, "USB Mic"}}},
        NameCase{"CutTo31BytesAtAWholeCharacter",
                 {{{R::Named, "Monitor of Built-in Audio Analog Stereo"}, "Monitor of Built-in Audio Analo"},
                  // 29 ASCII bytes, then a three-byte character that would straddle byte 31.
                  {{R::Named, "Monitor of Built-in Audio 123\xe9\xba\xa6\xe5\x85\x8b"},
                   "Monitor of Built-in Audio 123"},
                  // Eleven three-byte characters: ten fit.
                  {{R::Named, "\xe9\xba\xa6\xe5\x85\x8b\xe9\xa3\x8e\xe9\xba\xa6\xe5\x85\x8b\xe9\xa3\x8e"
                              "\xe9\xba\xa6\xe5\x85\x8b\xe9\xa3\x8e\xe9\xba\xa6\xe5\x85\x8b"},
                   "\xe9\xba\xa6\xe5\x85\x8b\xe9\xa3\x8e\xe9\xba\xa6\xe5\x85\x8b\xe9\xa3\x8e\xe9\xba\xa6\xe5\x85\x8b"
                   "\xe9\xa3\x8e\xe9\xba\xa6"}}}),
    [](const auto& info) { return std::string(info.param.title); });

// On the real device: the capability record carries the server's name.
TEST(SourceNamesOnTheDevice, CapsCarryTheServersNameAndKeepItThroughAFailedLookup) {
    ORV_SKIP_WITHOUT_SOUND_SERVER();
    auto names = std::make_unique<test::FakeSourceNames>();
    test::FakeSourceNames& fake = *names;
    fake.answer = {R::Named, "Line In on the Back of the Computer"};
    auto device = makeAlsaWaveIn("default", std::move(names));
    ASSERT_EQ(device->getNumDevs(), 1u);
    WaveInCaps caps;
    ASSERT_EQ(device->getDevCaps(0, caps), MMSYSERR_NOERROR);
    EXPECT_STREQ(caps.name, "Line In on the Back of the Comp");
    EXPECT_EQ(fake.lookups, 1) << "one lookup per probe";
    fake.answer = {R::Failed, ""};
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));  // the probe's answer is kept for a second
    ASSERT_EQ(device->getDevCaps(0, caps), MMSYSERR_NOERROR);
    EXPECT_EQ(fake.lookups, 2);
    EXPECT_STREQ(caps.name, "Line In on the Back of the Comp");
    // And the real server names its default source.
    const SourceLookup real = makePulseSourceNames()->defaultSource();
    EXPECT_EQ(real.result, R::Named);
    EXPECT_FALSE(real.description.empty());
}


// One connection kept for the program's life: a change of the server's
// default source shows at the next lookup, and a lookup with nothing changed
// gives the same name.
TEST(SourceNamesOnTheDevice, AKeptConnectionFollowsTheDefaultSource) {
    ORV_SKIP_WITHOUT_SOUND_SERVER();
    auto names = makePulseSourceNames();
    const SourceLookup before = names->defaultSource();
    ASSERT_EQ(before.result, R::Named);
    EXPECT_EQ(names->defaultSource().description, before.description);
    auto firstLine = [](const char* command) {
        std::string out;
        if (FILE* f = popen(command, "r")) {
            char line[256] = {};
            if (fgets(line, sizeof line, f)) out = line;
            pclose(f);
        }
        while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
        return out;
    };
    const std::string original = firstLine("pactl get-default-source");
    ASSERT_FALSE(original.empty());
    const std::string module =
        firstLine("pactl load-module module-null-sink sink_name=orv_probe_two sink_properties=device.description=ProbeTwo");
    ASSERT_FALSE(module.empty());
    ASSERT_EQ(std::system("pactl set-default-source orv_probe_two.monitor"), 0);
    SourceLookup changed = before;
    for (int i = 0; i < 50 && changed.description == before.description; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        changed = names->defaultSource();
    }
    EXPECT_EQ(changed.result, R::Named);
    EXPECT_NE(changed.description.find("ProbeTwo"), std::string::npos) << changed.description;
    std::system(("pactl set-default-source '" + original + "'").c_str());
    std::system(("pactl unload-module " + module).c_str());
    SourceLookup back = changed;
    for (int i = 0; i < 50 && back.description != before.description; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        back = names->defaultSource();
    }
    EXPECT_EQ(back.description, before.description);
}

}  // namespace
}  // namespace orv::platform
