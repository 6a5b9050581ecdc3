#pragma once
// Which sound backend the devices talk to: the sound server in its own
// protocol when one answers (PulseAudio, or PipeWire through its pulse
// server), ALSA's "default" device otherwise. The choice is made once per
// run and handed to both factories (makeWaveIn, makeWaveOut), so that
// capture and playback never end up on different backends; makeInputMixer
// follows the capture device. ORV_SOUND_BACKEND=pulse or
// ORV_SOUND_BACKEND=alsa forces one (tests run each).
#include <chrono>

namespace orv::platform {

enum class SoundBackend { Pulse, Alsa };

// A server that is there but slow (starting with the session, stopped for a
// moment) is waited for this long. Where nothing listens the connection is
// refused at once, so the wait costs nothing on a desktop without a server.
inline constexpr auto kBackendChoiceBudget = std::chrono::milliseconds(5000);

SoundBackend chooseSoundBackend(std::chrono::milliseconds budget = kBackendChoiceBudget);

// "PulseAudio" or "ALSA", as the user knows them.
const char* soundBackendName(SoundBackend backend);

}  // namespace orv::platform
