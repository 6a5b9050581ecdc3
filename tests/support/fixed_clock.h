#pragma once
// A time of day that only the test moves.
#include <ctime>

#include "platform/system.h"

namespace orv::test {

class FixedClock final : public platform::Clock {
public:
    explicit FixedClock(std::time_t t = 0) : time(t) {}
    std::time_t now() override { return time; }
    std::time_t time;
};

}  // namespace orv::test
