#pragma once

// The gateway of every routine in Routines.def: inputs as the numeric
// platform passes them, outputs as it returns them.

#include <vector>

#include "lib/Args.h"
#include "platform/Array.h"

namespace onex::lib::gw {

#define ONEX_ROUTINE(name, ...) std::vector<Array> name(const Args& args);
#include "lib/Routines.def"
#undef ONEX_ROUTINE

}  // namespace onex::lib::gw
