#include "platform/Text.h"

#include <algorithm>
#include <cstdio>

namespace onex::platform {

std::string printable(std::string_view text, std::size_t max) {
    std::string out;
    out.reserve(std::min(text.size(), max) + 8);
    for (char c : text.substr(0, max)) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (u < 0x20 || u == 0x7F) {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02x", u);
            out += hex;
        } else {
            out += c;
        }
    }
    if (text.size() > max) out += "...";
    return out;
}

}  // namespace onex::platform
