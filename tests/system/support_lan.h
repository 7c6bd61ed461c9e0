#pragma once

// A LAN configuration for the system tests that use the I/O layer directly.

#include <gtest/gtest.h>

#include <string>

#include "MexIO/HwIO.h"
#include "MexIO/IoConfig.h"

namespace onex::testsim {

// "127.0.0.1:<port>" and the like, as a raw-socket configuration.
inline IoConfig lan(const std::string& address) {
    IoConfig c;
    c.type = "TCPIP";
    c.TCPIP->address = address;
    return c;
}

// A serial connection through `device` (the simulator's pseudo-terminal).
inline IoConfig serial(const std::string& device) {
    IoConfig c;
    c.type = "RS232";
    c.RS232->device = device;
    return c;
}

// Tests of the I/O layer start and end with no connection open, so that a
// connection cached by one test never serves the next.
class FreshConnections : public ::testing::Test {
  protected:
    void SetUp() override { hwIOCloseAll(); }
    void TearDown() override { hwIOCloseAll(); }
};

}  // namespace onex::testsim
