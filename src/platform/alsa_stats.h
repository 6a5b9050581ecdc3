#pragma once
// Counters of the real capture device that the wave-in interface has no room
// for. Tests and diagnostics reach them with dynamic_cast on the WaveIn.
#include <cstdint>

namespace orv::platform {

struct CaptureStats {
    uint64_t framesCaptured = 0;  // read from the device into queued buffers
    uint64_t framesDropped = 0;   // read while no buffer was queued
    uint64_t overruns = 0;        // device overruns, each recovered
    // Stretches of sound that never reached a buffer (overruns, a failing
    // device, no buffer queued), and the frames they held, estimated from the
    // time the device did not deliver.
    uint64_t gaps = 0;
    uint64_t framesLost = 0;
    int lastDriverError = 0;      // last negative ALSA error seen while capturing, 0 for none
};

class CaptureStatsSource {
public:
    virtual ~CaptureStatsSource() = default;
    // Counted since the last successful open.
    virtual CaptureStats captureStats() const = 0;
};

}  // namespace orv::platform
