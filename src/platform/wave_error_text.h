#pragma once
// The fixed texts of the wave-device results, shared by every backend so that
// the user reads the same message whichever one runs underneath.
#include <string>

#include "platform/wave_in.h"

namespace orv::platform {

inline std::string WaveInErrorText(MMResult result) {
    switch (result) {
        case MMSYSERR_NOERROR: return "No error.";
        case MMSYSERR_ERROR: return "The sound device reported an error.";
        case MMSYSERR_BADDEVICEID: return "There is no such sound device.";
        case MMSYSERR_ALLOCATED: return "The sound device is already in use.";
        case MMSYSERR_INVALHANDLE: return "The sound device is not open.";
        case MMSYSERR_NODRIVER: return "No sound driver is available.";
        case MMSYSERR_NOMEM: return "Not enough memory for the sound device.";
        case WAVERR_BADFORMAT: return "The sound device does not take this recording format.";
        case WAVERR_STILLPLAYING: return "Buffers are still queued to the sound device.";
        case WAVERR_UNPREPARED: return "The buffer was not prepared.";
        default: return "Unknown sound device error " + std::to_string(result) + ".";
    }
}

inline std::string WaveOutErrorText(MMResult result) {
    switch (result) {
        case MMSYSERR_NOERROR: return "No error.";
        case MMSYSERR_ERROR: return "The sound output device reported an error.";
        case MMSYSERR_BADDEVICEID: return "There is no sound output device.";
        case MMSYSERR_ALLOCATED: return "The sound output device is already in use.";
        case MMSYSERR_INVALHANDLE: return "The sound output device is not open.";
        case MMSYSERR_NODRIVER: return "No sound driver is available.";
        case MMSYSERR_NOMEM: return "Not enough memory for the sound output device.";
        case WAVERR_BADFORMAT: return "The sound output device does not play this format.";
        case WAVERR_STILLPLAYING: return "Buffers are still playing on the sound output device.";
        case WAVERR_UNPREPARED: return "The buffer was not prepared.";
        default: return "Unknown sound output device error " + std::to_string(result) + ".";
    }
}

}  // namespace orv::platform
