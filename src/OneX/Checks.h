#pragma once

// Argument checks shared by the synthesis routines. Every failure is an
// onex::Error naming the routine and the offending value.

#include <cmath>
#include <cstddef>
#include <string>
#include <string_view>

namespace onex::detail {

// Upper bound for any sequence a routine is asked to build; far above the
// largest frame (30 x 32768 samples), low enough to refuse runaway requests.
inline constexpr std::size_t kMaxSequenceLength = std::size_t{1} << 26;

inline bool isWhole(double x) {
    return std::isfinite(x) && x == std::trunc(x);
}

// "routine: what (got value)"
[[noreturn]] void fail(std::string_view routine, std::string_view what, double value);
[[noreturn]] void fail(std::string_view routine, std::string_view what);

// A whole number in lo..hi, returned as an integer.
long long requireWhole(std::string_view routine, std::string_view name, double value, double lo,
                       double hi);

// A length (whole, 0..kMaxSequenceLength).
std::size_t requireLength(std::string_view routine, std::string_view name, double value);

void requireFinite(std::string_view routine, std::string_view name, double value);

// Flags are true when non-zero; NaN has no truth value.
bool flag(std::string_view routine, std::string_view name, double value);

}  // namespace onex::detail
