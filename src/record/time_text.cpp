#include "record/time_text.h"

#include <cstdio>

namespace orv {

std::string FormatBlockTime(uint64_t blocks, Hours hours) {
    std::string text = std::to_string(blocks / 36000);
    if (text.size() < 2) text.insert(0, 1, '0');
    else if (hours == Hours::FirstTwo) text.resize(2);
    const unsigned seconds = unsigned(blocks / 10 % 3600);
    char rest[8];
    std::snprintf(rest, sizeof rest, ":%02u:%02u", seconds / 60, seconds % 60);
    return text + rest;
}

std::string FormatBlockTimeTenths(uint64_t blocks, Hours hours) {
    return FormatBlockTime(blocks, hours) + "." + std::to_string(blocks % 10);
}

}  // namespace orv
