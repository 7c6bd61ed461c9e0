#pragma once

// The window routines of the registry (OneX_Rev_b, the window modules and
// the window utilities) are the desktop part's (src/UI). The registry lists
// them in every build, so that every build of the library exports the same
// entry points; their gateways run them through the provider installed
// here. A program that links the desktop part installs one (the exported
// library built with ONEX_BUILD_GUI); elsewhere (onexrev-cli, a library built
// without the GUI) none is installed and the routines fail with a clear
// error. This keeps the registry, and every program built on it, free of Qt.

#include <cstddef>
#include <span>
#include <string_view>
#include <vector>

#include "platform/Array.h"

namespace onex::lib {

// Runs the window routine `name`; inputs and outputs as the registry passes
// them (counts already checked). Throws onex::Error on failure.
using WindowRoutines = std::vector<platform::Array> (*)(std::string_view name,
                                                        std::span<const platform::Array> in,
                                                        std::size_t nargout);

// Installs the provider; null removes it. Install before the first call.
void installWindowRoutines(WindowRoutines provider);

// What the window gateways call.
std::vector<platform::Array> callWindowRoutine(std::string_view name,
                                               std::span<const platform::Array> in,
                                               std::size_t nargout);

}  // namespace onex::lib
