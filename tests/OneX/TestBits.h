#pragma once

// Small helpers for writing expected bit rows in tests.

#include <string_view>
#include <vector>

namespace onex::test {

// "1011 0" -> {1, 0, 1, 1, 0}; blanks are ignored.
inline std::vector<double> bits(std::string_view text) {
    std::vector<double> out;
    for (char c : text)
        if (c == '0' || c == '1') out.push_back(c - '0');
    return out;
}

}  // namespace onex::test
