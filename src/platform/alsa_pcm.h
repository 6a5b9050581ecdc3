#pragma once
// What the ALSA capture and playback layers share: the owned PCM handle and
// the mapping of an open error to the wave-device result codes.
#include <alsa/asoundlib.h>

#include <cerrno>
#include <chrono>
#include <memory>

#include "platform/wave_in.h"

namespace orv::platform {

struct PcmCloser {
    void operator()(snd_pcm_t* p) const { snd_pcm_close(p); }
};
using PcmHandle = std::unique_ptr<snd_pcm_t, PcmCloser>;

// The longest the program thread waits for a driver thread to stop. Through
// a sound server's plug-in a drop, drain or close waits for the server
// without a limit of its own; a driver that does not answer in time is let
// go: it keeps its PCM and closes it whenever its call returns, and touches
// no buffer of the program again.
inline constexpr auto kDriverAnswerBudget = std::chrono::milliseconds(3000);

inline MMResult ResultOfOpenError(int err) {
    switch (err) {
        case -ENOENT:
        case -ENODEV:
        case -ENXIO: return MMSYSERR_BADDEVICEID;
        case -EBUSY:
        case -EAGAIN: return MMSYSERR_ALLOCATED;
        case -ENOMEM: return MMSYSERR_NOMEM;
        default: return MMSYSERR_ERROR;
    }
}

}  // namespace orv::platform
