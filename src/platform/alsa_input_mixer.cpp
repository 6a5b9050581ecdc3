// Input mixer over the ALSA simple mixer: the capture elements of the control
// are the inputs, the capture switch is on/off, the capture volume maps
// linearly to 0 … 100.
#include <alsa/asoundlib.h>

#include <algorithm>
#include <cmath>
#include <string_view>
#include <vector>

#include "platform/input_mixer.h"

namespace orv::platform {
namespace {

struct MixerClose {
    void operator()(snd_mixer_t* m) const { snd_mixer_close(m); }
};
using MixerHandle = std::unique_ptr<snd_mixer_t, MixerClose>;

bool IsCaptureElement(snd_mixer_elem_t* e) {
    return snd_mixer_selem_is_active(e) &&
           (snd_mixer_selem_has_capture_volume(e) || snd_mixer_selem_has_capture_switch(e));
}

class AlsaInputMixer final : public InputMixer {
public:
    explicit AlsaInputMixer(std::string ctlName) : ctlName_(std::move(ctlName)) {}

    // Only the recording side is backed by ALSA; there is nothing to set up
    // for output.
    bool init(int, uint32_t) override { return true; }

    bool recordInit(int device) override {
        // Re-initialising picks up a device that changed behind our back.
        mixer_.reset();
        if (device != 0 && device != -1) return false;
        snd_mixer_t* raw = nullptr;
        if (snd_mixer_open(&raw, 0) < 0) return false;
        MixerHandle m(raw);
        if (snd_mixer_attach(m.get(), ctlName_.c_str()) < 0 ||
            snd_mixer_selem_register(m.get(), nullptr, nullptr) < 0 || snd_mixer_load(m.get()) < 0)
            return false;
        mixer_ = std::move(m);
        return true;
    }

    // There is one recording device, number 0.
    bool recordSetDevice(int device) override { return mixer_ && device == 0; }

    bool recordFree() override {
        const bool wasOpen = mixer_ != nullptr;
        mixer_.reset();
        return wasOpen;
    }

    uint32_t recordGetInput(int input) override {
        snd_mixer_elem_t* e = Element(input);
        if (!e) return INPUT_INVALID;
        uint32_t state = Volume(e);
        if (!SwitchedOn(e)) state |= INPUT_OFF;
        return state;
    }

    bool recordSetInput(int input, uint32_t setting) override {
        snd_mixer_elem_t* e = Element(input);
        if (!e) return false;
        bool ok = true;
        if (setting & (INPUT_ON | INPUT_OFF)) {
            if (snd_mixer_selem_has_capture_switch(e))
                ok = snd_mixer_selem_set_capture_switch_all(e, (setting & INPUT_ON) ? 1 : 0) >= 0 && ok;
        }
        if (setting & INPUT_VOLUME) {
            if (!snd_mixer_selem_has_capture_volume(e)) return false;
            long min = 0, max = 0;
            snd_mixer_selem_get_capture_volume_range(e, &min, &max);
            const long percent = std::min<long>(setting & 0xFFFF, 100);
            const long value = min + std::lround(static_cast<double>(max - min) * percent / 100.0);
            ok = snd_mixer_selem_set_capture_volume_all(e, value) >= 0 && ok;
        }
        return ok;
    }

    std::string recordGetInputName(int input) override {
        snd_mixer_elem_t* e = Element(input);
        return e ? snd_mixer_selem_get_name(e) : std::string();
    }

private:
    // Input n of the current element list, -1 the master. Pending events are
    // taken first so that changes made elsewhere (and vanished elements) show.
    snd_mixer_elem_t* Element(int input) {
        if (!mixer_ || input < -1) return nullptr;
        snd_mixer_handle_events(mixer_.get());
        std::vector<snd_mixer_elem_t*> inputs;
        for (snd_mixer_elem_t* e = snd_mixer_first_elem(mixer_.get()); e; e = snd_mixer_elem_next(e))
            if (IsCaptureElement(e)) inputs.push_back(e);
        if (inputs.empty()) return nullptr;
        if (input >= 0) return static_cast<size_t>(input) < inputs.size() ? inputs[input] : nullptr;
        // The master: the element that carries the overall capture level when
        // the card has one, else the first input.
        for (snd_mixer_elem_t* e : inputs)
            if (std::string_view(snd_mixer_selem_get_name(e)) == "Capture") return e;
        return inputs.front();
    }

    // Highest channel volume as 0 … 100; an element without a volume passes
    // its input at full level.
    static uint32_t Volume(snd_mixer_elem_t* e) {
        if (!snd_mixer_selem_has_capture_volume(e)) return 100;
        long min = 0, max = 0;
        snd_mixer_selem_get_capture_volume_range(e, &min, &max);
        if (max <= min) return 0;
        long best = min;
        for (int c = 0; c <= SND_MIXER_SCHN_LAST; ++c) {
            const auto ch = static_cast<snd_mixer_selem_channel_id_t>(c);
            long v = 0;
            if (snd_mixer_selem_has_capture_channel(e, ch) && snd_mixer_selem_get_capture_volume(e, ch, &v) >= 0)
                best = std::max(best, v);
        }
        const double percent = static_cast<double>(best - min) * 100.0 / static_cast<double>(max - min);
        return static_cast<uint32_t>(std::clamp<long>(std::lround(percent), 0, 100));
    }

    // On when any channel's capture switch is on; no switch means always on.
    static bool SwitchedOn(snd_mixer_elem_t* e) {
        if (!snd_mixer_selem_has_capture_switch(e)) return true;
        for (int c = 0; c <= SND_MIXER_SCHN_LAST; ++c) {
            const auto ch = static_cast<snd_mixer_selem_channel_id_t>(c);
            int on = 0;
            if (snd_mixer_selem_has_capture_channel(e, ch) && snd_mixer_selem_get_capture_switch(e, ch, &on) >= 0 && on)
                return true;
        }
        return false;
    }

    const std::string ctlName_;
    MixerHandle mixer_;
};

}  // namespace

std::unique_ptr<InputMixer> makeAlsaInputMixer(const std::string& ctlName) {
    return std::make_unique<AlsaInputMixer>(ctlName);
}

}  // namespace orv::platform
