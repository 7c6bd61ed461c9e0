#pragma once

// Instrument connections written as one line of text, as the command line
// and scripting hosts take them. Each parser returns the I/O configuration,
// or nothing with the reason in `error` (the caller adds where the text came
// from). Serial defaults are those of a direct connection: 19200 baud,
// Xon/Xoff.
//
//   serialConnection      PORT[,BAUD[,HANDSHAKE]]; PORT a number (1 = the
//                         first serial port) or a device path
//   gpibConnection        BOARD,PRIMARY[,SECONDARY]
//   instrumentAddress     a resource string:
//                           GPIB[board]::primary[::secondary][::INSTR]
//                           ASRL<port number or device path>[::INSTR]
//                           TCPIP[board]::... and host[:port] (see TcpipAddress.h)
//                         `baud` and `handshake`, when not empty, set the
//                         serial line of an ASRL address and are refused
//                         for any other kind.

#include <optional>
#include <string>
#include <string_view>

#include "MexIO/IoConfig.h"

namespace onex {

std::optional<IoConfig> serialConnection(std::string_view text, std::string& error);
std::optional<IoConfig> gpibConnection(std::string_view text, std::string& error);
std::optional<IoConfig> instrumentAddress(std::string_view text, std::string& error,
                                          std::string_view baud = {},
                                          std::string_view handshake = {});

// The connection as messages name it: "TCPIP 192.168.0.5", "RS232 port 1 at
// 19200 baud, handshake Xon/Xoff", "GPIB board 0 primary 19 secondary -1"
// ("?" for a missing field).
std::string describeConnection(const IoConfig& config);

}  // namespace onex
