// The real input mixer: without a control it must refuse quietly; on the
// sound server's "default" control it must really change the capture
// element, which a second, independent ALSA handle confirms.
#include <alsa/asoundlib.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "platform/input_mixer.h"
#include "sound_server.h"

namespace orv::test {
namespace {

using namespace platform;

constexpr uint32_t kVolumeMask = 0xFFFF;

// One capture element seen through a handle of its own. Remembers the
// element's settings and puts them back, so the signal stays at 0 dB for the
// capture tests.
class CaptureElement {
public:
    explicit CaptureElement(const std::string& name) {
        snd_mixer_t* raw = nullptr;
        if (snd_mixer_open(&raw, 0) < 0) return;
        mixer_.reset(raw);
        if (snd_mixer_attach(raw, "default") < 0 || snd_mixer_selem_register(raw, nullptr, nullptr) < 0 ||
            snd_mixer_load(raw) < 0)
            return;
        snd_mixer_selem_id_t* id = nullptr;
        snd_mixer_selem_id_malloc(&id);
        snd_mixer_selem_id_set_name(id, name.c_str());
        elem_ = snd_mixer_find_selem(raw, id);
        snd_mixer_selem_id_free(id);
        if (!elem_) return;
        for (int c = 0; c <= SND_MIXER_SCHN_LAST; ++c) {
            const auto ch = static_cast<snd_mixer_selem_channel_id_t>(c);
            if (!snd_mixer_selem_has_capture_channel(elem_, ch)) continue;
            Saved s{ch};
            if (snd_mixer_selem_has_capture_volume(elem_)) snd_mixer_selem_get_capture_volume(elem_, ch, &s.volume);
            if (snd_mixer_selem_has_capture_switch(elem_)) snd_mixer_selem_get_capture_switch(elem_, ch, &s.on);
            saved_.push_back(s);
        }
    }
    ~CaptureElement() {
        if (!elem_) return;
        for (const Saved& s : saved_) {
            if (snd_mixer_selem_has_capture_volume(elem_)) snd_mixer_selem_set_capture_volume(elem_, s.channel, s.volume);
            if (snd_mixer_selem_has_capture_switch(elem_)) snd_mixer_selem_set_capture_switch(elem_, s.channel, s.on);
        }
    }
    CaptureElement(const CaptureElement&) = delete;
    CaptureElement& operator=(const CaptureElement&) = delete;

    bool found() const { return elem_ != nullptr; }
    bool hasSwitch() const { return elem_ && snd_mixer_selem_has_capture_switch(elem_); }
    bool SwitchOff() { return snd_mixer_selem_set_capture_switch_all(elem_, 0) >= 0; }

private:
    struct MixerClose {
        void operator()(snd_mixer_t* m) const { snd_mixer_close(m); }
    };
    struct Saved {
        snd_mixer_selem_channel_id_t channel;
        long volume = 0;
        int on = 1;
    };
    std::unique_ptr<snd_mixer_t, MixerClose> mixer_;
    snd_mixer_elem_t* elem_ = nullptr;
    std::vector<Saved> saved_;
};

// A mixer freshly loaded, so that what it reports comes from the device and
// not from the cache of the mixer that made the change.
uint32_t FreshState(int input) {
    auto m = makeAlsaInputMixer();
    if (!m->recordInit(0)) return INPUT_INVALID;
    return m->recordGetInput(input);
}

int CountInputs(InputMixer& m) {
    int n = 0;
    while (n < 256 && !m.recordGetInputName(n).empty()) ++n;
    return n;
}

TEST(AlsaInputMixerWithoutControl, RefusesEveryCallWithoutCrashing) {
    auto m = makeAlsaInputMixer("orv_no_such_ctl");
    ASSERT_NE(m, nullptr);
    // Before any initialisation nothing is there.
    EXPECT_EQ(m->recordGetInput(0), INPUT_INVALID);
    EXPECT_EQ(m->recordGetInput(-1), INPUT_INVALID);
    EXPECT_FALSE(m->recordSetInput(0, INPUT_ON));
    EXPECT_TRUE(m->recordGetInputName(0).empty());
    EXPECT_FALSE(m->recordFree());

    m->init(-1, 44100);
    EXPECT_FALSE(m->recordInit(0));
    EXPECT_FALSE(m->recordSetDevice(0));
    EXPECT_EQ(m->recordGetInput(0), INPUT_INVALID);
    EXPECT_EQ(m->recordGetInput(-1), INPUT_INVALID);
    EXPECT_FALSE(m->recordSetInput(-1, INPUT_ON));
    EXPECT_FALSE(m->recordSetInput(0, INPUT_VOLUME | 50));
    EXPECT_TRUE(m->recordGetInputName(0).empty());
    EXPECT_FALSE(m->recordFree());
}

TEST(AlsaInputMixerDefaultControl, ListsInputsAndAnswersOnlyAfterInitUntilFree) {
    ORV_SKIP_WITHOUT_SOUND_SERVER();
    auto m = makeAlsaInputMixer();
    EXPECT_EQ(m->recordGetInput(0), INPUT_INVALID) << "no answers before the recording side is set up";
    EXPECT_TRUE(m->init(-1, 44100));
    ASSERT_TRUE(m->recordInit(0));
    EXPECT_TRUE(m->recordSetDevice(0));
    EXPECT_FALSE(m->recordSetDevice(1));

    const int inputs = CountInputs(*m);
    ASSERT_GE(inputs, 1);
    for (int i = 0; i < inputs; ++i) {
        const uint32_t state = m->recordGetInput(i);
        ASSERT_NE(state, INPUT_INVALID) << i;
        EXPECT_LE(state & kVolumeMask, 100u) << i;
        EXPECT_EQ(state & ~(kVolumeMask | INPUT_OFF), 0u) << "stray bits in input " << i;
    }
    EXPECT_NE(m->recordGetInput(-1), INPUT_INVALID) << "the master";
    EXPECT_EQ(m->recordGetInput(inputs), INPUT_INVALID);
    EXPECT_EQ(m->recordGetInput(-2), INPUT_INVALID);
    EXPECT_TRUE(m->recordGetInputName(inputs).empty());
    EXPECT_FALSE(m->recordSetInput(inputs, INPUT_ON));

    EXPECT_TRUE(m->recordFree());
    EXPECT_EQ(m->recordGetInput(0), INPUT_INVALID);
    EXPECT_TRUE(m->recordGetInputName(0).empty());
}

TEST(AlsaInputMixerDefaultControl, VolumeAndSwitchReachTheDevice) {
    ORV_SKIP_WITHOUT_SOUND_SERVER();
    auto m = makeAlsaInputMixer();
    ASSERT_TRUE(m->recordInit(0));
    const std::string name = m->recordGetInputName(0);
    ASSERT_FALSE(name.empty());
    CaptureElement element(name);  // puts the settings back at the end
    ASSERT_TRUE(element.found()) << name;

    for (uint32_t volume : {40u, 0u, 99u, 100u}) {
        ASSERT_TRUE(m->recordSetInput(0, INPUT_VOLUME | volume)) << volume;
        EXPECT_NEAR(static_cast<int>(m->recordGetInput(0) & kVolumeMask), static_cast<int>(volume), 1);
        EXPECT_NEAR(static_cast<int>(FreshState(0) & kVolumeMask), static_cast<int>(volume), 1)
            << "the device did not take volume " << volume;
    }
    // The master is one of the inputs and takes a volume too.
    ASSERT_TRUE(m->recordSetInput(-1, INPUT_VOLUME | 40));
    EXPECT_NEAR(static_cast<int>(FreshState(-1) & kVolumeMask), 40, 1);

    ASSERT_TRUE(element.hasSwitch()) << "the server's capture element has a switch";
    ASSERT_TRUE(element.SwitchOff());
    auto other = makeAlsaInputMixer();
    ASSERT_TRUE(other->recordInit(0));
    EXPECT_EQ(other->recordGetInput(0) & INPUT_OFF, INPUT_OFF) << "switched off elsewhere";
    ASSERT_TRUE(other->recordSetInput(0, INPUT_ON));
    EXPECT_EQ(other->recordGetInput(0) & INPUT_OFF, 0u);
    EXPECT_EQ(FreshState(0) & INPUT_OFF, 0u) << "the device did not switch on";
}

}  // namespace
}  // namespace orv::test
