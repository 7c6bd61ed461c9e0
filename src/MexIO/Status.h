#pragma once

#include <string>

namespace onex {

// Outcome of every instrument routine: 0 = success; response is the
// instrument's answer for a query, otherwise the text shown to the user.
struct Status {
    int status = 0;
    std::string response;
};

}  // namespace onex
