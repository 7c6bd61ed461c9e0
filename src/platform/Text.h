#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace onex::platform {

// Text from outside (an instrument's reply, a name) made safe to print on a
// terminal or show in a window: line feed, carriage return and tab as \n,
// \r and \t, every other control byte (and DEL) as \xNN; texts longer
// than max are cut and end in "...".
std::string printable(std::string_view text, std::size_t max = std::string_view::npos);

}  // namespace onex::platform
