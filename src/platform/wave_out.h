#pragma once
// The wave-out device as playback sees it: buffers are written in order, a
// driver plays them and sets each header's done flag once the device has
// played its last sample (not when the samples were merely handed on), so
// that a position taken from the done flags follows what the user hears.
// Nothing calls back into the program; playback polls the headers.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/wave_in.h"

namespace orv::platform {

// Header of one written buffer. flags is shared with the driver thread: it
// sets WHDR_DONE (release) when the buffer has been played or handed back by
// reset; the program reads it (acquire). data and bufferLength must not
// change while the header is queued. The user field belongs to the program.
struct WaveOutHeader {
    uint8_t* data = nullptr;
    uint32_t bufferLength = 0;
    uint32_t bytesRecorded = 0;
    uint64_t user = 0;
    std::atomic<uint32_t> flags{0};
    uint32_t loops = 0;
    WaveOutHeader* next = nullptr;
    uint64_t reserved = 0;

    bool Done() const { return (flags.load(std::memory_order_acquire) & WHDR_DONE) != 0; }
};

// Volume word: low 16 bits left, high 16 bits right; 0xFFFF is unity gain
// (the samples pass bit for bit), 0 silence, in between a linear gain.
inline constexpr uint32_t WaveOutFullVolume = 0xFFFFFFFFu;

class WaveOut {
public:
    virtual ~WaveOut() = default;
    // Device 0 only; one open handle at a time.
    virtual MMResult open(uint32_t device, const WaveFormat& format) = 0;
    virtual MMResult prepareHeader(WaveOutHeader& header) = 0;
    // Queues the buffer behind the others; playing starts with the first write.
    virtual MMResult write(WaveOutHeader& header) = 0;
    // Stops the sound and hands every queued buffer back at once, marked done.
    virtual MMResult reset() = 0;
    virtual MMResult unprepareHeader(WaveOutHeader& header) = 0;
    virtual MMResult close() = 0;
    virtual MMResult getVolume(uint32_t& volume) = 0;
    virtual MMResult setVolume(uint32_t volume) = 0;
    virtual std::string getErrorText(MMResult result) = 0;
    // MMSYSERR_NOERROR while the device plays (underruns are recovered and
    // do not count); else the error it has failed with since open. A failed
    // device completes no more buffers (reset still hands them back) until
    // it is closed and opened again.
    virtual MMResult failure() = 0;
};

// Counters of the real device that the interface has no room for; reached
// with dynamic_cast on the WaveOut. Counted since the last successful open.
struct PlaybackStats {
    uint64_t framesWritten = 0;  // handed to the PCM since the last reset
    uint64_t framesPlayed = 0;   // of those, played by the device when last measured
    std::chrono::steady_clock::time_point measuredAt{};
    uint64_t underruns = 0;      // device underruns, each recovered
    int lastDriverError = 0;     // last negative ALSA error, 0 for none
};

class PlaybackStatsSource {
public:
    virtual ~PlaybackStatsSource() = default;
    virtual PlaybackStats playbackStats() const = 0;
};

// The real device: ALSA PCM "default" (or the given PCM name), playback.
// bufferMillis is the PCM's buffer wish; reset stops the sound within one
// period (a quarter of it), except in the last period or so of what was
// written, which it lets play out: the last done flag waits for it anyway.
std::unique_ptr<WaveOut> makeAlsaWaveOut(const std::string& pcmName = "default",
                                         unsigned bufferMillis = 500);

// A playback stream of the sound server; the volume is the stream's volume
// at the server, so the desktop's volume control shows it.
std::unique_ptr<WaveOut> makePulseWaveOut(unsigned bufferMillis = 500);

// The device of the backend chosen for this run (see sound_backend.h).
std::unique_ptr<WaveOut> makeWaveOut(SoundBackend backend);

}  // namespace orv::platform
