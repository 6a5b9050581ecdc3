#pragma once
// The one program-wide busy guard. Whatever lets window events run inside a
// handler (a save, an editing operation, a found-recording load, a stop)
// holds it; every command, timer step and close that touches the recording
// or the working files checks it and does nothing (or waits) while it is held.
#include <cstdint>

namespace orv {

struct BusyState {
    int32_t Depth = 0;
    bool Busy() const { return Depth > 0; }
};

// Holds the guard for its lifetime; nests.
class BusyGuard {
public:
    explicit BusyGuard(BusyState& s) : s_(s) { ++s_.Depth; }
    ~BusyGuard() { --s_.Depth; }
    BusyGuard(const BusyGuard&) = delete;
    BusyGuard& operator=(const BusyGuard&) = delete;

private:
    BusyState& s_;
};

}  // namespace orv
