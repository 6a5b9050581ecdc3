#pragma once
// Reads a recording back in time order and checks the counting signal in it
// (left = frame number modulo 65536, right = its complement).
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "record/piece.h"

namespace orv::test {

struct CountCheck {
    uint64_t frames = 0;        // frames read
    uint64_t leadingSilence = 0;  // before the signal first arrived
    uint64_t serverGapFrames = 0; // all-zero frames inside: the server's playback ran dry
    uint64_t breaks = 0;        // frames that do not continue the count
    uint64_t firstBreakAt = 0;  // frame index of the first break
    bool readFailed = false;
    uint16_t firstValue = 0;
    uint16_t lastValue = 0;
};

// pieces over the raw file at path (all from the recording).
CountCheck CheckCounting(const std::string& path, std::span<const Piece> pieces);

}  // namespace orv::test
