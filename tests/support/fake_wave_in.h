#pragma once
// A capture device that a test feeds by hand: frames go into the queued
// buffers in the order they were added, exactly as the driver thread of the
// real device does, but on the test's own thread and at the test's pace.
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "platform/alsa_stats.h"
#include "platform/wave_in.h"

namespace orv::test {

// Counting signal: left = frame number modulo 65536, right = its complement.
inline void CountingFrame(uint64_t frame, int16_t& l, int16_t& r) {
    const uint16_t v = static_cast<uint16_t>(frame & 0xFFFF);
    l = static_cast<int16_t>(v);
    r = static_cast<int16_t>(static_cast<uint16_t>(~v));
}

class FakeWaveIn final : public platform::WaveIn, public platform::CaptureStatsSource {
public:
    using FrameSource = std::function<void(uint64_t frame, int16_t& l, int16_t& r)>;

    FakeWaveIn();

    // Set-up by the test.
    uint32_t numDevs = 1;
    platform::WaveInCaps caps;
    platform::MMResult openResult = platform::MMSYSERR_NOERROR;
    std::string openErrorText = "The specified device is already in use.";
    FrameSource source;  // defaults to the counting signal
    std::string failure;  // deviceError() while open: the driver cannot get over it
    // Like the sound server's stream: stays on the source named at open.
    bool staysOnSource = false;

    // Delivers frames from the source into the queue; frames that find no
    // queued buffer (or a stopped device) are dropped and counted.
    void FeedFrames(uint64_t frames);
    void FeedBlocks(uint64_t blocks) { FeedFrames(blocks * 4410); }
    // The device overran: the next frames of the source never arrive.
    void Overrun(uint64_t frames);

    // What happened.
    uint64_t framesProduced = 0;  // next frame number of the source
    uint64_t framesDropped = 0;
    int openCount = 0;
    int closeCount = 0;
    int resetCount = 0;
    bool isOpen = false;
    bool started = false;
    size_t QueuedCount() const { return queue_.size(); }

    uint32_t getNumDevs() override { return numDevs; }
    platform::MMResult getDevCaps(uint32_t device, platform::WaveInCaps& out) override;
    platform::MMResult open(uint32_t device, const platform::WaveFormat& format) override;
    platform::MMResult prepareHeader(platform::WaveHeader& h) override;
    platform::MMResult addBuffer(platform::WaveHeader& h) override;
    platform::MMResult start() override;
    platform::MMResult reset() override;
    platform::MMResult unprepareHeader(platform::WaveHeader& h) override;
    platform::MMResult close() override;
    std::string getErrorText(platform::MMResult result) override;
    std::string deviceError() override { return isOpen ? failure : std::string(); }
    std::string recordedSourceName() override { return isOpen && staysOnSource ? openedOn_ : std::string(); }
    // Counted like the real device: since the last open, while started.
    platform::CaptureStats captureStats() const override { return stats_; }

private:
    std::deque<platform::WaveHeader*> queue_;
    std::string openedOn_;
    platform::CaptureStats stats_;
    bool inDropGap_ = false;
};

}  // namespace orv::test
