#pragma once

#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace onex::platform {

// Halves away from zero, as the system rounds everywhere.
inline double roundHalfAway(double x) {
    return std::round(x);
}

// Minimum with the upper bound first, then maximum with the lower bound:
// NaN therefore becomes the upper bound, as the windows' clamps do.
inline double clampValue(double x, double lo, double hi) {
    double v = (x < hi) ? x : hi;  // NaN compares false -> hi
    return (v > lo) ? v : lo;
}

// Round then saturate into the 32-bit signed range (NaN gives 0).
int32_t toInt32Saturated(double x);

// A number that someone entered stands for a setting only when it is finite:
// an infinite or overflowing value (1/0, 1e999) is refused like NaN and like
// a text that is no number. The command line and the windows' fields both
// read numbers through this rule.
inline std::optional<double> finiteNumber(double x) {
    if (!std::isfinite(x)) return std::nullopt;
    return x;
}

// Parses a finite decimal number, surrounding blanks allowed: an optional
// sign, digits with an optional point, an optional exponent (1, -2.5, .5,
// 1e9, 3E-2). Hexadecimal, "inf", "nan" and anything else give nothing.
std::optional<double> parseDecimal(std::string_view text);

// Parses hexadecimal digits (an optional 0x/0X prefix, surrounding blanks
// allowed). Returns nothing for empty or non-hex text, and for a value above
// 2^53 unless `approximate` (then such a value comes back rounded, which
// clamps into a smaller range do not mind).
std::optional<double> parseHex(std::string_view text, bool approximate = false);

// Upper-case hexadecimal digits of a non-negative whole number (no prefix).
std::string toHex(double value);

// Default number-to-text conversion: integers plainly, others in %g with
// 4 + max(1, digits before the point) significant digits.
std::string num2str(double x);

// num2str where that gives the value back exactly, else the shortest text
// that does (30.0000001 stays 30.0000001, not 30): for messages about a
// value that was refused.
std::string exactNumberText(double x);

}  // namespace onex::platform
