// Device 0's name: the sound server's default source when it answers, the
// ALSA card name otherwise, a hiccup of the server no change of device.
#include <gtest/gtest.h>

#include <chrono>
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

}  // namespace
}  // namespace orv::platform
