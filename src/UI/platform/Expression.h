#pragma once

// Reading numbers from what a user typed into an edit field, and keeping
// other characters out of such fields.

#include <QLineEdit>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Error.h"

namespace onex::ui::platform {

// The text as a numeric expression: numbers (1, -2.5, 1e9, .5, Inf, pi)
// combined with + - * / ^ and parentheses, blanks anywhere. NaN when the text
// is no such expression (empty, a word, "3 4", a complex number, a number
// that overflows such as 1e999); the windows' clamps then take the upper
// bound.
double str2num(std::string_view text);

// Hexadecimal digits (either case, an optional 0x prefix, surrounding blanks
// allowed) as a number. Throws onex::Error for an empty text or any other
// character. Values above 2^53 are approximate, which the 42-bit clamps do
// not mind.
double hex2dec(std::string_view text);

// The same two readings for an edit field's callback, with nothing for a
// text that does not read as a finite value (NaN and an infinite result
// such as 1/0 count as none: a clamp would make them a bound).
std::optional<double> readNumber(std::string_view text);
std::optional<double> readHex(std::string_view text);

// The failure of a field whose text does not read as a value, for the
// window's status bar: `what` names the field, `expected` what it takes ("a
// number"), `kept` the stored value that the field shows again.
Error unreadableEntry(std::string_view what, std::string_view text, std::string_view expected,
                      std::string_view kept);

// How a number field keeps what was entered: rounded to whole numbers when
// `whole` names them for the note ("whole dB"), then clamped into lo..hi
// (minimum with hi first).
struct EntryRule {
    double lo;
    double hi;
    const char* whole = nullptr;
};

// What a field keeps of an entered number, and the note for the status bar
// when that differs from the number (empty when kept as entered):
//   "Frequency 50 kHz is clamped to 100 kHz"
//   "Amplitude -12.5 dBm is set as -13 dBm (whole dB)"
// `what` names the field and `show` writes a value as the note shows it;
// `entered` replaces show(number) for the number as entered.
struct KeptEntry {
    double value;
    std::string note;
};
KeptEntry keepEntry(double number, const EntryRule& rule, std::string_view what,
                    const std::function<std::string(double)>& show,
                    const std::optional<std::string>& entered = std::nullopt);

// "<what> <entered> is set as <kept> (<how>)", or without `how`
// "<what> <entered> is clamped to <kept>".
std::string entryNote(std::string_view what, std::string_view entered, std::string_view kept,
                      std::string_view how = {});

// Shows a note in the status line of the field's window until the next
// callback of that window; an empty note shows nothing.
void showEntryNote(const QObject& field, const std::string& note);

// Lets only the characters of numeric expressions (digits, sign, point,
// exponent, + - * / ^ and parentheses, blanks) or of hexadecimal numbers
// (digits, a-f, A-F, a 0x prefix, blanks) be typed or pasted into a field.
// Every text so made can still be committed: what does not read as a value
// is refused by the callback with a message.
void acceptNumbersOnly(QLineEdit& field);
void acceptHexOnly(QLineEdit& field);

}  // namespace onex::ui::platform
