#pragma once
// Times shown to the user, counted in blocks of 100 ms.
#include <cstdint>
#include <string>

namespace orv {

// The time labels and the ruler have room for two hour digits and show the
// first two of a longer count; a message has room for all of them.
enum class Hours { FirstTwo, All };

// hh:mm:ss
std::string FormatBlockTime(uint64_t blocks, Hours hours = Hours::FirstTwo);
// hh:mm:ss.t
std::string FormatBlockTimeTenths(uint64_t blocks, Hours hours = Hours::FirstTwo);

}  // namespace orv
