#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "MexIO/IoConfig.h"

using namespace onex;

TEST(FormatConfig, ConvertsEveryNumericFieldAndPassesTextUnchanged) {
    IoConfig c;
    c.type = "tcpip";
    c.GPIB = IoConfig::Gpib{2.5, 19.4, -1};
    c.RS232 = IoConfig::Rs232{3.0, 19200.0, std::string("RTS/CTS"), std::string("/dev/ttyUSB0")};
    c.TCPIP = IoConfig::Tcpip{std::string(" 10.1.2.3 "), -2.5};
    c.BBGtype = "002";
    c.LastParameterFilename = "/home/u/p.mat";
    DriverConfig d = formatconfig(c);
    EXPECT_EQ(d.type, "tcpip");
    EXPECT_EQ(d.GPIB->board, 3);  // halves away from zero
    EXPECT_EQ(d.GPIB->primary, 19);
    EXPECT_EQ(d.GPIB->secondary, -1);
    EXPECT_EQ(d.RS232->port, 3);
    EXPECT_EQ(d.RS232->baudrate, 19200);
    EXPECT_EQ(d.RS232->handshake, "RTS/CTS");
    EXPECT_EQ(d.RS232->device, "/dev/ttyUSB0");
    EXPECT_EQ(d.TCPIP->address, " 10.1.2.3 ");
    EXPECT_EQ(d.TCPIP->board, -3);
    EXPECT_EQ(d.BBGtype, "002");
    EXPECT_EQ(d.LastParameterFilename, "/home/u/p.mat");
    // The stored configuration keeps its plain numbers.
    EXPECT_EQ(c.GPIB->board, 2.5);
    EXPECT_EQ(c.RS232->baudrate, 19200.0);
}

TEST(FormatConfig, MissingFieldsAndSubStructuresAreSkipped) {
    IoConfig c;
    c.TCPIP.reset();
    c.GPIB->board.reset();
    c.GPIB->secondary.reset();
    c.RS232->handshake.reset();
    DriverConfig d = formatconfig(c);
    EXPECT_FALSE(d.TCPIP.has_value());
    ASSERT_TRUE(d.GPIB.has_value());
    EXPECT_FALSE(d.GPIB->board.has_value());
    EXPECT_EQ(d.GPIB->primary, 19);
    EXPECT_FALSE(d.GPIB->secondary.has_value());
    EXPECT_FALSE(d.RS232->handshake.has_value());

    IoConfig bare;
    bare.type.reset();
    bare.GPIB.reset();
    bare.RS232.reset();
    bare.TCPIP.reset();
    EXPECT_EQ(formatconfig(bare), DriverConfig{});
}

TEST(FormatConfig, SaturatesAtTheInt32Limits) {
    IoConfig c;
    c.GPIB->board = 1e12;
    c.GPIB->primary = -1e12;
    c.GPIB->secondary = std::numeric_limits<double>::infinity();
    c.RS232->port = 2147483647.4;
    c.RS232->baudrate = -2147483648.6;
    c.TCPIP->board = std::nan("");
    DriverConfig d = formatconfig(c);
    EXPECT_EQ(d.GPIB->board, std::numeric_limits<int32_t>::max());
    EXPECT_EQ(d.GPIB->primary, std::numeric_limits<int32_t>::min());
    EXPECT_EQ(d.GPIB->secondary, std::numeric_limits<int32_t>::max());
    EXPECT_EQ(d.RS232->port, std::numeric_limits<int32_t>::max());
    EXPECT_EQ(d.RS232->baudrate, std::numeric_limits<int32_t>::min());
    EXPECT_EQ(d.TCPIP->board, 0);  // NaN becomes 0, as the numeric platform converts it
}

TEST(IoConfigDefaults, DialogAndStartUpValues) {
    IoConfig dialog;
    EXPECT_EQ(dialog.type, "GPIB");
    EXPECT_EQ(dialog.GPIB->board, 0);
    EXPECT_EQ(dialog.GPIB->primary, 19);
    EXPECT_EQ(dialog.GPIB->secondary, -1);
    EXPECT_EQ(dialog.RS232->port, 1);
    EXPECT_EQ(dialog.RS232->baudrate, 19200);
    EXPECT_EQ(dialog.RS232->handshake, "Xon/Xoff");
    EXPECT_FALSE(dialog.RS232->device.has_value());
    EXPECT_EQ(dialog.TCPIP->address, "0.0.0.0");
    EXPECT_EQ(dialog.TCPIP->board, 0);
    EXPECT_FALSE(dialog.BBGtype.has_value());

    IoConfig startup = startupIoConfig();
    EXPECT_EQ(startup.RS232->baudrate, 9600);
    EXPECT_EQ(startup.BBGtype, "002");
    EXPECT_EQ(startup.LastParameterFilename, "");
    startup.RS232->baudrate = 19200;
    startup.BBGtype.reset();
    startup.LastParameterFilename.reset();
    EXPECT_EQ(startup, dialog);
}
