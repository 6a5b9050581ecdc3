#pragma once
// Which sound backend the devices talk to: the sound server in its own
// protocol when one answers (PulseAudio, or PipeWire through its pulse
// server), ALSA's "default" device otherwise. ORV_SOUND_BACKEND=pulse or
// ORV_SOUND_BACKEND=alsa forces one (tests run each). The factories are
// makeWaveIn, makeWaveOut and makeInputMixer beside each contract.
namespace orv::platform {

enum class SoundBackend { Pulse, Alsa };

SoundBackend chooseSoundBackend();

}  // namespace orv::platform
