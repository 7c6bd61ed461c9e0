#pragma once

#include <stdexcept>
#include <string>

namespace onex {

// The one exception type of the system: its text is what the user sees.
class Error : public std::runtime_error {
  public:
    explicit Error(const std::string& text) : std::runtime_error(text) {}
};

}  // namespace onex
