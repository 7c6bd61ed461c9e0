#pragma once

// The declared names of Routines.def, shared by the registry and the header
// generator.

#include <string>
#include <string_view>
#include <vector>

namespace onex::lib {

// Splits "(a, b, c)" into {"a", "b", "c"}; "()" gives none.
inline std::vector<std::string> splitNameList(std::string_view list) {
    std::vector<std::string> out;
    std::string current;
    for (char c : list) {
        if (c == '(' || c == ')' || c == ' ') continue;
        if (c == ',') {
            out.push_back(std::move(current));
            current.clear();
        } else {
            current += c;
        }
    }
    if (!current.empty()) out.push_back(std::move(current));
    return out;
}

}  // namespace onex::lib
