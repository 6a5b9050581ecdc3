#include "support/fake_wave_out.h"

namespace orv::test {

using namespace platform;

namespace {
void MarkDone(WaveOutHeader& h) {
    h.flags.store((h.flags.load() & ~WHDR_INQUEUE) | WHDR_DONE, std::memory_order_release);
}
}  // namespace

bool FakeWaveOut::CompleteNext() {
    if (queue_.empty()) return false;
    MarkDone(*queue_.front());
    queue_.pop_front();
    return true;
}

size_t FakeWaveOut::Complete(size_t n) {
    size_t done = 0;
    while (done < n && CompleteNext()) ++done;
    return done;
}

std::vector<uint64_t> FakeWaveOut::WrittenPositions() const {
    std::vector<uint64_t> out;
    for (const Written& w : written) out.push_back(w.user);
    return out;
}

MMResult FakeWaveOut::open(uint32_t device, const WaveFormat& format) {
    if (device != 0) return MMSYSERR_BADDEVICEID;
    if (isOpen) return MMSYSERR_ALLOCATED;
    if (format.channels != 2 || format.samplesPerSec != 44100 || format.bitsPerSample != 16) return WAVERR_BADFORMAT;
    if (openResult != MMSYSERR_NOERROR) return openResult;
    ++openCount;
    isOpen = true;
    return MMSYSERR_NOERROR;
}

MMResult FakeWaveOut::prepareHeader(WaveOutHeader& h) {
    if (!isOpen) return MMSYSERR_INVALHANDLE;
    h.flags.fetch_or(WHDR_PREPARED);
    return MMSYSERR_NOERROR;
}

MMResult FakeWaveOut::write(WaveOutHeader& h) {
    if (!isOpen) return MMSYSERR_INVALHANDLE;
    if (writeResult != MMSYSERR_NOERROR) return writeResult;
    const uint32_t f = h.flags.load();
    if (!(f & WHDR_PREPARED)) return WAVERR_UNPREPARED;
    if (f & WHDR_INQUEUE) return WAVERR_STILLPLAYING;
    h.flags.store((f & ~WHDR_DONE) | WHDR_INQUEUE);
    written.push_back({h.user, h.bufferLength, std::vector<uint8_t>(h.data, h.data + h.bufferLength)});
    queue_.push_back(&h);
    return MMSYSERR_NOERROR;
}

MMResult FakeWaveOut::reset() {
    if (!isOpen) return MMSYSERR_INVALHANDLE;
    ++resetCount;
    for (WaveOutHeader* h : queue_) MarkDone(*h);
    queue_.clear();
    return MMSYSERR_NOERROR;
}

MMResult FakeWaveOut::unprepareHeader(WaveOutHeader& h) {
    if (!isOpen) return MMSYSERR_INVALHANDLE;
    if (h.flags.load() & WHDR_INQUEUE) return WAVERR_STILLPLAYING;
    h.flags.fetch_and(~WHDR_PREPARED);
    return MMSYSERR_NOERROR;
}

MMResult FakeWaveOut::close() {
    if (!isOpen) return MMSYSERR_INVALHANDLE;
    if (!queue_.empty()) return WAVERR_STILLPLAYING;
    ++closeCount;
    isOpen = false;
    return MMSYSERR_NOERROR;
}

MMResult FakeWaveOut::getVolume(uint32_t& v) {
    if (!isOpen) return MMSYSERR_INVALHANDLE;
    v = volume;
    return MMSYSERR_NOERROR;
}

MMResult FakeWaveOut::setVolume(uint32_t v) {
    if (!isOpen) return MMSYSERR_INVALHANDLE;
    volume = v;
    return MMSYSERR_NOERROR;
}

std::string FakeWaveOut::getErrorText(MMResult result) {
    return "Fake sound output error " + std::to_string(result) + ".";
}

}  // namespace orv::test
