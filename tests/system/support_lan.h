#pragma once

// A LAN configuration for the system tests that use the I/O layer directly.

#include <string>

#include "MexIO/IoConfig.h"

namespace onex::testsim {

// "127.0.0.1:<port>" and the like, as a raw-socket configuration.
inline IoConfig lan(const std::string& address) {
    IoConfig c;
    c.type = "TCPIP";
    c.TCPIP->address = address;
    return c;
}

}  // namespace onex::testsim
