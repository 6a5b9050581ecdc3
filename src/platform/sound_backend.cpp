#include "platform/sound_backend.h"
#include "platform/input_mixer.h"
#include "platform/wave_in.h"
#include "platform/wave_out.h"

#include <cstdlib>
#include <string_view>

#include "platform/pulse_connection.h"

namespace orv::platform {

SoundBackend chooseSoundBackend() {
    if (const char* forced = std::getenv("ORV_SOUND_BACKEND")) {
        if (std::string_view(forced) == "pulse") return SoundBackend::Pulse;
        if (std::string_view(forced) == "alsa") return SoundBackend::Alsa;
    }
    return PulseConnection::Open(kPulseConnectBudget) ? SoundBackend::Pulse : SoundBackend::Alsa;
}

std::unique_ptr<WaveIn> makeWaveIn(std::unique_ptr<SourceNames> names) {
    if (chooseSoundBackend() == SoundBackend::Pulse) return makePulseWaveIn(std::move(names));
    return makeAlsaWaveIn("default", std::move(names));
}

std::unique_ptr<InputMixer> makeInputMixer(const WaveIn& recorder) {
    if (dynamic_cast<const PulseRecorder*>(&recorder)) return makePulseInputMixer(&recorder);
    return makeAlsaInputMixer("default");
}

std::unique_ptr<WaveOut> makeWaveOut() {
    if (chooseSoundBackend() == SoundBackend::Pulse) return makePulseWaveOut();
    return makeAlsaWaveOut("default");
}

}  // namespace orv::platform
