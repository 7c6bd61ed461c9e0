#pragma once

// Reading numbers from what a user typed into an edit field, and keeping
// other characters out of such fields.

#include <QLineEdit>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Error.h"

namespace onex::ui::platform {

// The text as a numeric expression: numbers (1, -2.5, 1e9, .5, Inf, pi)
// combined with + - * / ^ and parentheses, blanks anywhere. NaN when the text
// is no such expression (empty, a word, "3 4", a complex number); the
// windows' clamps then take the upper bound.
double str2num(std::string_view text);

// Hexadecimal digits (either case, an optional 0x prefix, surrounding blanks
// allowed) as a number. Throws onex::Error for an empty text or any other
// character. Values above 2^53 are approximate, which the 42-bit clamps do
// not mind.
double hex2dec(std::string_view text);

// The same two readings for an edit field's callback, with nothing for a
// text that does not read as a value (NaN counts as none: a clamp would make
// it the upper bound).
std::optional<double> readNumber(std::string_view text);
std::optional<double> readHex(std::string_view text);

// The failure of a field whose text does not read as a value, for the
// window's status bar: `what` names the field, `expected` what it takes ("a
// number"), `kept` the stored value that the field shows again.
Error unreadableEntry(std::string_view what, std::string_view text, std::string_view expected,
                      std::string_view kept);

// Lets only the characters of numeric expressions (digits, sign, point,
// exponent, + - * / ^ and parentheses, blanks) or of hexadecimal numbers
// (digits, a-f, A-F, a 0x prefix, blanks) be typed or pasted into a field.
// Every text so made can still be committed: what does not read as a value
// is refused by the callback with a message.
void acceptNumbersOnly(QLineEdit& field);
void acceptHexOnly(QLineEdit& field);

}  // namespace onex::ui::platform
