#include "support/fake_wave_in.h"

#include <cstring>

#include "record/format.h"

namespace orv::test {

using namespace platform;

FakeWaveIn::FakeWaveIn() {
    std::strncpy(caps.name, "Test Capture Device", sizeof caps.name - 1);
    caps.formats = 0xFFF;
    caps.channels = 2;
    source = CountingFrame;
}

void FakeWaveIn::FeedFrames(uint64_t frames) {
    for (uint64_t f = 0; f < frames; ++f) {
        int16_t l = 0, r = 0;
        source(framesProduced, l, r);
        ++framesProduced;
        if (!started || queue_.empty()) {
            ++framesDropped;
            if (started) {
                ++stats_.framesDropped;
                ++stats_.framesLost;
                if (!inDropGap_) ++stats_.gaps;
                inDropGap_ = true;
            }
            continue;
        }
        inDropGap_ = false;
        ++stats_.framesCaptured;
        WaveHeader* h = queue_.front();
        const uint32_t at = h->bytesRecorded.load(std::memory_order_relaxed);
        PutSample(h->data + at, l);
        PutSample(h->data + at + 2, r);
        h->bytesRecorded.store(at + 4, std::memory_order_release);
        if (at + 4 >= h->bufferLength) {
            h->flags = (h->flags & ~WHDR_INQUEUE) | WHDR_DONE;
            queue_.pop_front();
        }
    }
}

void FakeWaveIn::Overrun(uint64_t frames) {
    framesProduced += frames;
    ++stats_.overruns;
    ++stats_.gaps;
    stats_.framesLost += frames;
    inDropGap_ = false;
}

MMResult FakeWaveIn::getDevCaps(uint32_t device, WaveInCaps& out) {
    if (device >= numDevs) return MMSYSERR_BADDEVICEID;
    out = caps;
    return MMSYSERR_NOERROR;
}

MMResult FakeWaveIn::open(uint32_t device, const WaveFormat& format) {
    if (device >= numDevs) return MMSYSERR_BADDEVICEID;
    if (isOpen) return MMSYSERR_ALLOCATED;
    if (format.samplesPerSec != 44100 || format.channels != 2 || format.bitsPerSample != 16)
        return WAVERR_BADFORMAT;
    if (openResult != MMSYSERR_NOERROR) return openResult;
    isOpen = true;
    openedOn_ = caps.name;
    started = false;
    ++openCount;
    stats_ = {};
    inDropGap_ = false;
    return MMSYSERR_NOERROR;
}

MMResult FakeWaveIn::prepareHeader(WaveHeader& h) {
    if (!isOpen) return MMSYSERR_INVALHANDLE;
    h.flags |= WHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

MMResult FakeWaveIn::addBuffer(WaveHeader& h) {
    if (!isOpen) return MMSYSERR_INVALHANDLE;
    if (!(h.flags & WHDR_PREPARED)) return WAVERR_UNPREPARED;
    h.flags = (h.flags & ~WHDR_DONE) | WHDR_INQUEUE;
    queue_.push_back(&h);
    return MMSYSERR_NOERROR;
}

MMResult FakeWaveIn::start() {
    if (!isOpen) return MMSYSERR_INVALHANDLE;
    started = true;
    return MMSYSERR_NOERROR;
}

MMResult FakeWaveIn::reset() {
    if (!isOpen) return MMSYSERR_INVALHANDLE;
    started = false;
    for (WaveHeader* h : queue_) h->flags = (h->flags & ~WHDR_INQUEUE) | WHDR_DONE;
    queue_.clear();
    ++resetCount;
    return MMSYSERR_NOERROR;
}

MMResult FakeWaveIn::unprepareHeader(WaveHeader& h) {
    if (!isOpen) return MMSYSERR_INVALHANDLE;
    if (h.flags & WHDR_INQUEUE) return WAVERR_STILLPLAYING;
    h.flags &= ~WHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

MMResult FakeWaveIn::close() {
    if (!isOpen) return MMSYSERR_INVALHANDLE;
    if (!queue_.empty()) return WAVERR_STILLPLAYING;
    isOpen = false;
    started = false;
    ++closeCount;
    return MMSYSERR_NOERROR;
}

std::string FakeWaveIn::getErrorText(MMResult result) {
    if (result == openResult) return openErrorText;
    return "Wave-in error " + std::to_string(result);
}

}  // namespace orv::test
