#include "platform/Numeric.h"
#include "platform/Text.h"

#include <fmt/format.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace onex::platform {

int32_t toInt32Saturated(double x) {
    if (std::isnan(x)) return 0;
    double r = roundHalfAway(x);
    if (r >= static_cast<double>(std::numeric_limits<int32_t>::max()))
        return std::numeric_limits<int32_t>::max();
    if (r <= static_cast<double>(std::numeric_limits<int32_t>::min()))
        return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(r);
}

std::optional<double> parseDecimal(std::string_view text) {
    text = trimBlanks(text);
    // Checked by hand first: strtod alone also takes hexadecimal ("0x10",
    // "0x1p3"), "inf" and "nan".
    std::size_t i = 0;
    const auto digits = [&] {
        const std::size_t start = i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9')
            ++i;
        return i - start;
    };
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    std::size_t mantissa = digits();
    if (i < text.size() && text[i] == '.') {
        ++i;
        mantissa += digits();
    }
    if (mantissa == 0) return std::nullopt;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
        if (digits() == 0) return std::nullopt;
    }
    if (i != text.size()) return std::nullopt;
    const std::string s(text);
    return finiteNumber(std::strtod(s.c_str(), nullptr));
}

std::optional<double> parseHex(std::string_view text, bool approximate) {
    text = trimBlanks(text);
    if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        text.remove_prefix(2);
    if (text.empty()) return std::nullopt;
    uint64_t value = 0;
    double large = 0;  // the value once it no longer fits exactly
    bool exact = true;
    for (char c : text) {
        int d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else
            return std::nullopt;
        if (exact && value > (uint64_t{1} << 53) / 16) {  // would lose exactness
            if (!approximate) return std::nullopt;
            exact = false;
            large = static_cast<double>(value);
        }
        if (exact)
            value = value * 16 + static_cast<uint64_t>(d);
        else
            large = large * 16 + d;
    }
    return exact ? static_cast<double>(value) : large;
}

std::string toHex(double value) {
    if (!(value >= 0) || value > 9007199254740992.0) return "0";
    char buf[32];
    std::snprintf(buf, sizeof buf, "%llX", static_cast<unsigned long long>(roundHalfAway(value)));
    return buf;
}

std::string num2str(double x) {
    char buf[64];
    if (std::isnan(x)) return "NaN";
    if (std::isinf(x)) return x > 0 ? "Inf" : "-Inf";
    if (x == 0) return "0";  // never "-0"
    if (x == std::floor(x)) {
        std::snprintf(buf, sizeof buf, "%.0f", x);
        return buf;
    }
    int d = static_cast<int>(std::floor(std::log10(std::fabs(x)))) + 1;
    int p = 4 + (d > 1 ? d : 1);
    std::snprintf(buf, sizeof buf, "%.*g", p, x);
    return buf;
}

}  // namespace onex::platform

namespace onex::platform {

std::string exactNumberText(double x) {
    std::string text = num2str(x);
    if (!std::isfinite(x) || std::strtod(text.c_str(), nullptr) == x) return text;
    return fmt::format("{}", x);
}

}  // namespace onex::platform
