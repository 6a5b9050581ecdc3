#pragma once
// The one program-wide busy guard. Whatever lets window events run inside a
// handler (a save, an editing operation, a found-recording load, a stop)
// holds it; every command, timer step and close that touches the recording
// or the working files checks it and does nothing (or waits) while it is held.
#include <cstdint>

namespace orv {

// What a holder keeps from the others.
enum class Holds {
    Everything,
    // All but a running recording: a save of what the recording held while it
    // goes on. Capture, its timers and Stop carry on beneath it.
    AllButTheRecording,
};

struct BusyState {
    int32_t Depth = 0;
    int32_t RecordingFreeDepth = 0;  // of Depth, the holders that leave the recording alone
    bool Busy() const { return Depth > 0; }
    bool HoldsRecording() const { return Depth > RecordingFreeDepth; }
};

// Holds the guard for its lifetime; nests.
class BusyGuard {
public:
    explicit BusyGuard(BusyState& s, Holds holds = Holds::Everything)
        : s_(s), recordingFree_(holds == Holds::AllButTheRecording) {
        ++s_.Depth;
        if (recordingFree_) ++s_.RecordingFreeDepth;
    }
    ~BusyGuard() {
        --s_.Depth;
        if (recordingFree_) --s_.RecordingFreeDepth;
    }
    BusyGuard(const BusyGuard&) = delete;
    BusyGuard& operator=(const BusyGuard&) = delete;

private:
    BusyState& s_;
    bool recordingFree_;
};

}  // namespace orv
