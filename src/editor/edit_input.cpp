#include "editor/edit_input.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace orv {

namespace {

std::string_view Trimmed(std::string_view t) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!t.empty() && blank(t.front())) t.remove_prefix(1);
    while (!t.empty() && blank(t.back())) t.remove_suffix(1);
    return t;
}

bool Digit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

AmplifyInput ParseAmplifyPercent(std::string_view text) {
    AmplifyInput r;
    std::string_view t = Trimmed(text);
    const std::string invalid = "'" + std::string(text) + "' 不是一个有效的整数值";
    bool negative = false;
    if (!t.empty() && (t.front() == '+' || t.front() == '-')) {
        negative = t.front() == '-';
        t.remove_prefix(1);
    }
    if (t.empty()) {
        r.Error = invalid;
        return r;
    }
    int64_t value = 0;
    for (char c : t) {
        if (!Digit(c)) {
            r.Error = invalid;
            return r;
        }
        value = value * 10 + (c - '0');
        if (value > std::numeric_limits<int32_t>::max()) {
            r.Error = invalid;
            return r;
        }
    }
    if (negative) value = -value;
    if (value < AmplifyMinPercent || value > AmplifyMaxPercent) {
        // The prompt names 1-1000%; 0 is taken too, and the message says so.
        r.Error = "The amplification factor must be from 1 to " + std::to_string(AmplifyMaxPercent) +
                  "% (" + std::to_string(AmplifyMinPercent) + " silences the selection).";
        return r;
    }
    r.Ok = true;
    r.Percent = static_cast<int32_t>(value);
    return r;
}

SilenceInput ParseSilenceSeconds(std::string_view text, std::string_view decimalPoint, uint32_t currentBlocks,
                                 uint32_t maxBlocks) {
    SilenceInput r;
    const std::string_view t = Trimmed(text);
    if (t.empty()) {  // nothing typed: nothing to do
        r.Ok = true;
        return r;
    }
    const std::string invalid = "'" + std::string(text) + "' 不是一个有效的浮点值";
    // Only sign, digits, one separator and an exponent: letters such as nan,
    // inf or hex never reach the conversion.
    std::string plain;
    size_t i = 0;
    if (t[i] == '+' || t[i] == '-') plain += t[i++];
    size_t digits = 0;
    while (i < t.size() && Digit(t[i])) plain += t[i++], ++digits;
    if (!decimalPoint.empty() && t.substr(i, decimalPoint.size()) == decimalPoint) {
        plain += '.';
        i += decimalPoint.size();
        while (i < t.size() && Digit(t[i])) plain += t[i++], ++digits;
    }
    if (digits > 0 && i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
        plain += 'e';
        ++i;
        if (i < t.size() && (t[i] == '+' || t[i] == '-')) plain += t[i++];
        size_t expDigits = 0;
        while (i < t.size() && Digit(t[i])) plain += t[i++], ++expDigits;
        if (expDigits == 0) digits = 0;
    }
    if (digits == 0 || i != t.size()) {
        r.Error = invalid;
        return r;
    }
    double value = 0;
    const char* first = plain.data() + (plain[0] == '+' ? 1 : 0);
    const auto res = std::from_chars(first, plain.data() + plain.size(), value);
    // Beyond the double range, or beyond single precision where it is kept.
    if (res.ec != std::errc() || res.ptr != plain.data() + plain.size() ||
        std::fabs(value) > std::numeric_limits<float>::max()) {
        r.Error = invalid;
        return r;
    }
    const float seconds = static_cast<float>(value);
    if (!std::isfinite(seconds)) {
        r.Error = invalid;
        return r;
    }
    // The product stays in single precision: 0.05 s is half a block and
    // rounds to none, 1.35 s rounds up to 14 blocks.
    const float tenths = seconds * 10.0f;
    const double blocks = std::nearbyint(static_cast<double>(tenths));
    if (blocks < 0) {
        r.Error = "The number of seconds of silence cannot be negative.";
        return r;
    }
    if (currentBlocks > maxBlocks || blocks > static_cast<double>(maxBlocks - currentBlocks)) {
        r.Error = "The recording cannot be longer than " + std::to_string(maxBlocks / 36000) + " hours.";
        return r;
    }
    r.Ok = true;
    r.Blocks = static_cast<uint32_t>(blocks);
    return r;
}

}  // namespace orv
