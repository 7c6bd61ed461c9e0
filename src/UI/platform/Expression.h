#pragma once

// Reading numbers from what a user typed into an edit field.

#include <string_view>

namespace onex::ui::platform {

// The text as a numeric expression: numbers (1, -2.5, 1e9, .5, Inf, pi)
// combined with + - * / ^ and parentheses, blanks anywhere. NaN when the text
// is no such expression (empty, a word, "3 4", a complex number); the
// windows' clamps then take the upper bound.
double str2num(std::string_view text);

// Hexadecimal digits (either case, surrounding blanks allowed) as a number.
// Throws onex::Error for an empty text or any other character. Values above
// 2^53 are approximate, which the 42-bit clamps do not mind.
double hex2dec(std::string_view text);

}  // namespace onex::ui::platform
