#pragma once
// What the ALSA capture and playback layers share: the owned PCM handle and
// the mapping of an open error to the wave-device result codes.
#include <alsa/asoundlib.h>

#include <cerrno>
#include <memory>

#include "platform/wave_in.h"

namespace orv::platform {

struct PcmCloser {
    void operator()(snd_pcm_t* p) const { snd_pcm_close(p); }
};
using PcmHandle = std::unique_ptr<snd_pcm_t, PcmCloser>;

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
