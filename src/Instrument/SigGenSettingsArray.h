#pragma once

// The signal-generator settings as the numeric platform's structure (the
// `sigGenParameters` variable of parameter files).

#include "Instrument/SigGenSettings.h"
#include "platform/Array.h"

namespace onex {

// 1 x 1 struct: Title as a char row, every number a 1 x 1 double, the panel's
// eight fields in order, then the optional fields that are present.
platform::Array toArray(const SigGenSettings& s);

// Reads settings written by toArray (or another tool with the same classes):
// the eight panel fields must be there, the optional ones may be; unknown
// fields are ignored; each value must be one the panel could hold
// (checkSigGenSettings). Throws onex::Error naming the field; `out` is
// changed only on success.
void fromArray(const platform::Array& a, SigGenSettings& out);

}  // namespace onex
