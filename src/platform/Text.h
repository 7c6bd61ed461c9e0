#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace onex::platform {

// Text from outside (an instrument's reply, a name) made safe to print on a
// terminal or show in a window: line feed, carriage return and tab as \n,
// \r and \t, every other control byte, DEL and every byte of 0x80 and
// above as \xNN, so the result is plain ASCII (an instrument speaks ASCII;
// anything else it sends is shown byte for byte); texts longer than max are
// cut and end in "...".
std::string printable(std::string_view text, std::size_t max = std::string_view::npos);

// An instrument's reply (or a name it gave) for a one-line message:
// printable and cut after 80 characters.
std::string shownReply(std::string_view reply);

// `text` without leading and trailing blanks (isspace).
std::string_view trimBlanks(std::string_view text);

// ASCII case folding; other bytes are kept.
std::string toLower(std::string_view text);
std::string toUpper(std::string_view text);
bool equalsIgnoreCase(std::string_view a, std::string_view b);

}  // namespace onex::platform
