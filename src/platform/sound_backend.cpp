#include "platform/sound_backend.h"
#include "platform/input_mixer.h"
#include "platform/wave_in.h"
#include "platform/wave_out.h"

#include <cstdlib>
#include <string_view>

#include "platform/pulse_connection.h"

namespace orv::platform {

SoundBackend chooseSoundBackend(std::chrono::milliseconds budget) {
    if (const char* forced = std::getenv("ORV_SOUND_BACKEND")) {
        if (std::string_view(forced) == "pulse") return SoundBackend::Pulse;
        if (std::string_view(forced) == "alsa") return SoundBackend::Alsa;
    }
    // Open returns as soon as the context fails, so a refused connection
    // (no server) ends the wait at once; only a server that accepted the
    // connection and has not answered yet is waited for.
    return PulseConnection::Open(budget) ? SoundBackend::Pulse : SoundBackend::Alsa;
}

const char* soundBackendName(SoundBackend backend) {
    return backend == SoundBackend::Pulse ? "PulseAudio" : "ALSA";
}

std::unique_ptr<WaveIn> makeWaveIn(SoundBackend backend, std::unique_ptr<SourceNames> names) {
    if (backend == SoundBackend::Pulse) return makePulseWaveIn(std::move(names));
    return makeAlsaWaveIn("default", std::move(names));
}

std::unique_ptr<InputMixer> makeInputMixer(const WaveIn& recorder) {
    if (dynamic_cast<const PulseRecorder*>(&recorder)) return makePulseInputMixer(&recorder);
    return makeAlsaInputMixer("default");
}

std::unique_ptr<WaveOut> makeWaveOut(SoundBackend backend) {
    if (backend == SoundBackend::Pulse) return makePulseWaveOut();
    return makeAlsaWaveOut("default");
}

}  // namespace orv::platform
