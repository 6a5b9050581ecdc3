#pragma once
// The wave-in device as the capture engine sees it: buffers are queued in
// order, a driver fills them and raises each header's bytes-recorded field.
// Nothing calls back into the program; the engine polls the headers.
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/sound_backend.h"
#include "platform/source_name.h"

namespace orv::platform {

using MMResult = uint32_t;
inline constexpr MMResult MMSYSERR_NOERROR = 0;
inline constexpr MMResult MMSYSERR_ERROR = 1;
inline constexpr MMResult MMSYSERR_BADDEVICEID = 2;
inline constexpr MMResult MMSYSERR_ALLOCATED = 4;
inline constexpr MMResult MMSYSERR_INVALHANDLE = 5;
inline constexpr MMResult MMSYSERR_NODRIVER = 6;
inline constexpr MMResult MMSYSERR_NOMEM = 7;
inline constexpr MMResult WAVERR_BADFORMAT = 32;
inline constexpr MMResult WAVERR_STILLPLAYING = 33;
inline constexpr MMResult WAVERR_UNPREPARED = 34;

inline constexpr uint32_t WAVE_FORMAT_4S16 = 0x800;  // 44.1 kHz, stereo, 16-bit

struct WaveFormat {
    uint16_t formatTag = 1;
    uint16_t channels = 2;
    uint32_t samplesPerSec = 44100;
    uint32_t avgBytesPerSec = 176400;
    uint16_t blockAlign = 4;
    uint16_t bitsPerSample = 16;
    uint16_t cbSize = 0;
};

// Header of one queued buffer. bytesRecorded is written by the driver thread
// (release) after the data bytes; the program reads it (acquire) before
// touching the data. The user field belongs to the program alone.
struct WaveHeader {
    uint8_t* data = nullptr;
    uint32_t bufferLength = 0;
    std::atomic<uint32_t> bytesRecorded{0};
    uint64_t user = 0;
    uint32_t flags = 0;
    uint32_t loops = 0;
    WaveHeader* next = nullptr;
    uint64_t reserved = 0;
};

inline constexpr uint32_t WHDR_DONE = 0x1;
inline constexpr uint32_t WHDR_PREPARED = 0x2;
inline constexpr uint32_t WHDR_INQUEUE = 0x10;

// Capability record: a 32-byte name (at most 31 characters and a zero) and
// the supported-formats mask.
struct WaveInCaps {
    uint16_t manufacturerId = 0;
    uint16_t productId = 0;
    uint32_t driverVersion = 0;
    char name[32] = {};
    uint32_t formats = 0;
    uint16_t channels = 0;
    uint16_t reserved = 0;
};

// Device 0 is the only device the program opens; one open handle at a time.
class WaveIn {
public:
    virtual ~WaveIn() = default;
    virtual uint32_t getNumDevs() = 0;
    virtual MMResult getDevCaps(uint32_t device, WaveInCaps& caps) = 0;
    virtual MMResult open(uint32_t device, const WaveFormat& format) = 0;
    virtual MMResult prepareHeader(WaveHeader& header) = 0;
    virtual MMResult addBuffer(WaveHeader& header) = 0;
    virtual MMResult start() = 0;
    // Stops capture and hands every queued buffer back (marked done); the
    // bytes-recorded fields keep what was filled.
    virtual MMResult reset() = 0;
    virtual MMResult unprepareHeader(WaveHeader& header) = 0;
    virtual MMResult close() = 0;
    virtual std::string getErrorText(MMResult result) = 0;
    // While open: the text of a failure the driver has not got over (the
    // device gone, the sound server down), empty while blocks flow. Set and
    // cleared by the driver; the engine reads it at every poll.
    virtual std::string deviceError() { return {}; }
    // While open: the name (as in the capability record) of the source the
    // device records when it stays on it whatever becomes device 0; empty
    // when it records whatever device 0 is.
    virtual std::string recordedSourceName() { return {}; }
};

// The real device: ALSA PCM "default" (or the given PCM name), capture.
// With names, device 0 is called after the sound server's default source.
std::unique_ptr<WaveIn> makeAlsaWaveIn(const std::string& pcmName = "default",
                                       std::unique_ptr<SourceNames> names = nullptr);

// A record stream of the sound server, pinned to the source that was the
// default when it opened (a source that goes away is a device failure);
// without names, device 0 is named by a lookup of its own.
std::unique_ptr<WaveIn> makePulseWaveIn(std::unique_ptr<SourceNames> names = nullptr);

// The device of the backend chosen for this run (see sound_backend.h).
std::unique_ptr<WaveIn> makeWaveIn(SoundBackend backend, std::unique_ptr<SourceNames> names = nullptr);

}  // namespace orv::platform
