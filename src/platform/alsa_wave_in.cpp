// Placeholder until the ALSA layer lands.
#include "platform/wave_in.h"
namespace orv::platform {
std::unique_ptr<WaveIn> makeAlsaWaveIn(const std::string&) { return nullptr; }
}
