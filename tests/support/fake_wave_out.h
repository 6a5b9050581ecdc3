#pragma once
// A playback device that a test plays by hand: written buffers wait in the
// order written until the test completes them, one by one, as the real
// driver does when the device has played them.
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "platform/wave_out.h"

namespace orv::test {

class FakeWaveOut final : public platform::WaveOut {
public:
    // Set-up by the test.
    platform::MMResult openResult = platform::MMSYSERR_NOERROR;
    platform::MMResult writeResult = platform::MMSYSERR_NOERROR;
    platform::MMResult failureResult = platform::MMSYSERR_NOERROR;  // what failure() reports

    // Marks the oldest written buffer played; false when none waits.
    bool CompleteNext();
    // Completes up to n buffers; returns how many.
    size_t Complete(size_t n);

    // What happened.
    struct Written {
        uint64_t user;
        uint32_t bytes;
        std::vector<uint8_t> data;  // the buffer as it was when written
    };
    std::vector<Written> written;  // every write since the device was made
    int openCount = 0;
    int closeCount = 0;
    int resetCount = 0;
    bool isOpen = false;
    uint32_t volume = platform::WaveOutFullVolume;
    size_t QueuedCount() const { return queue_.size(); }
    std::vector<uint64_t> WrittenPositions() const;

    platform::MMResult open(uint32_t device, const platform::WaveFormat& format) override;
    platform::MMResult prepareHeader(platform::WaveOutHeader& h) override;
    platform::MMResult write(platform::WaveOutHeader& h) override;
    platform::MMResult reset() override;
    platform::MMResult unprepareHeader(platform::WaveOutHeader& h) override;
    platform::MMResult close() override;
    platform::MMResult getVolume(uint32_t& v) override;
    platform::MMResult setVolume(uint32_t v) override;
    std::string getErrorText(platform::MMResult result) override;
    platform::MMResult failure() override { return isOpen ? failureResult : platform::MMSYSERR_NOERROR; }

private:
    std::deque<platform::WaveOutHeader*> queue_;
};

}  // namespace orv::test
