#pragma once
// What the editor's input boxes accept. Window-free and total: any bytes give
// either a value or the message to show, never an exception.
#include <cstdint>
#include <string>
#include <string_view>

namespace orv {

inline constexpr int32_t AmplifyMinPercent = 0;
inline constexpr int32_t AmplifyMaxPercent = 1000;

struct AmplifyInput {
    bool Ok = false;
    int32_t Percent = 100;
    std::string Error;  // the message when not Ok
};

// A whole number of percent, 0 … 1000, surrounding blanks allowed.
AmplifyInput ParseAmplifyPercent(std::string_view text);

struct SilenceInput {
    bool Ok = false;
    uint32_t Blocks = 0;  // 0 with Ok: nothing to insert (empty text, or under 0.05 s)
    std::string Error;
};

// Seconds with the locale's decimal separator (an optional exponent too),
// stored in single precision and turned into whole blocks of 0.1 s, halves
// to even. Refused: non-numbers (nan and inf included), negative counts and
// a count that would take the timeline of currentBlocks past maxBlocks.
SilenceInput ParseSilenceSeconds(std::string_view text, std::string_view decimalPoint, uint32_t currentBlocks,
                                 uint32_t maxBlocks);

}  // namespace orv
