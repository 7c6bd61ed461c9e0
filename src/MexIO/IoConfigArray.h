#pragma once

// The I/O configuration as the numeric platform's structure (the
// `fileParameters` variable of the configuration file).

#include <string>
#include <vector>

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

// An old-style configuration (fields Connection, GPIBboard, Primary,
// Secondary, RS232Port, BaudRate, HandShake) in the current form: type
// "RS232" for Connection 1, else "GPIB"; the GPIB and RS-232 numbers taken
// over; handshake = entry HandShake + 1 of handshakeNames (Xon/Xoff when the
// list has no such entry); LAN address 0.0.0.0 on board 0; the seven old
// fields removed, any others kept. A value without a Connection field comes
// back as it is. Throws onex::Error when an old field is missing or not a
// number.
platform::Array reStructureConfig(const platform::Array& oldConfig,
                                  const std::vector<std::string>& handshakeNames = {
                                      kHandshakeNames.begin(), kHandshakeNames.end()});

}  // namespace onex
