#include "platform/Text.h"

#include <algorithm>
#include <cctype>
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
        } else if (u < 0x20 || u >= 0x7F) {
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

std::string shownReply(std::string_view reply) {
    return printable(reply, 80);
}

std::string_view trimBlanks(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
        text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.remove_suffix(1);
    return text;
}

namespace {
char lowerChar(char c) {
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}
char upperChar(char c) {
    return static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
}
}  // namespace

std::string toLower(std::string_view text) {
    std::string out(text);
    std::ranges::transform(out, out.begin(), lowerChar);
    return out;
}

std::string toUpper(std::string_view text) {
    std::string out(text);
    std::ranges::transform(out, out.begin(), upperChar);
    return out;
}

bool equalsIgnoreCase(std::string_view a, std::string_view b) {
    return std::ranges::equal(a, b, {}, lowerChar, lowerChar);
}

}  // namespace onex::platform
