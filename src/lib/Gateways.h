#pragma once

// The gateway of every routine in Routines.def: inputs as the numeric
// platform passes them, outputs as it returns them.

#include <vector>

#include "OneX/Parameters.h"
#include "lib/Args.h"
#include "platform/Array.h"

namespace onex::lib::gw {

// Input k as a parameter set (the fileParameters structure of parameter
// files); refused with the input's label and the reason otherwise.
Parameters parameterSetArg(const Args& a, std::size_t k);

#define ONEX_ROUTINE(name, ...) std::vector<Array> name(const Args& args);
#include "lib/Routines.def"
#undef ONEX_ROUTINE

}  // namespace onex::lib::gw
