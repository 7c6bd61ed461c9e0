#pragma once

// The I/O configuration as the numeric platform's structure (the
// `fileParameters` variable of the configuration file).

#include "MexIO/IoConfig.h"
#include "platform/Array.h"

namespace onex {

// 1 x 1 struct with the fields that are present, in the order type, GPIB,
// RS232, TCPIP, BBGtype, LastParameterFilename (sub-structures likewise);
// numbers as 1 x 1 doubles, texts as char rows ('' when empty).
platform::Array toArray(const IoConfig& c);

// Reads a configuration: a missing field or sub-structure stays missing (the
// I/O layer handles that), unknown fields are ignored, but a field that is
// there must have its class: numbers finite real double scalars, texts char
// rows or empty. Throws onex::Error naming the field; `out` is changed only
// on success.
void fromArray(const platform::Array& a, IoConfig& out);

}  // namespace onex
