// Connections written as text: what each form configures, and what is refused.

#include <gtest/gtest.h>

#include "MexIO/ConnectionAddress.h"
#include "MexIO/HwIO.h"

using namespace onex;

namespace {

IoConfig accepted(const std::string& text, std::string_view baud = {},
                  std::string_view handshake = {}) {
    std::string why;
    auto c = instrumentAddress(text, why, baud, handshake);
    EXPECT_TRUE(c.has_value()) << text << ": " << why;
    return c.value_or(IoConfig{});
}

std::string refusal(const std::string& text, std::string_view baud = {}) {
    std::string why;
    EXPECT_FALSE(instrumentAddress(text, why, baud).has_value()) << text;
    return why;
}

}  // namespace

TEST(InstrumentAddress, GpibSerialAndLanResources) {
    IoConfig g = accepted("gpib1::5::3::INSTR");
    EXPECT_EQ(g.type, "GPIB");
    EXPECT_EQ(g.GPIB, (IoConfig::Gpib{1, 5, 3}));
    EXPECT_EQ(accepted("GPIB::19").GPIB, (IoConfig::Gpib{0, 19, -1}));

    IoConfig byPath = accepted("ASRL/dev/ttyUSB0::INSTR");
    EXPECT_EQ(byPath.type, "RS232");
    EXPECT_EQ(byPath.RS232->device, "/dev/ttyUSB0");
    EXPECT_EQ(byPath.RS232->baudrate, 19200);
    EXPECT_EQ(byPath.RS232->handshake, "Xon/Xoff");
    IoConfig byNumber = accepted("ASRL2", "9600", "RTS/CTS");
    EXPECT_EQ(byNumber.RS232->port, 2);
    EXPECT_FALSE(byNumber.RS232->device.has_value());
    EXPECT_EQ(byNumber.RS232->baudrate, 9600);
    EXPECT_EQ(byNumber.RS232->handshake, "RTS/CTS");

    // LAN addresses are kept as written: the driver resolves them.
    for (const char* lan : {"TCPIP0::siggen::inst0::INSTR", "siggen:5026", "asrl-lab"}) {
        IoConfig c = accepted(lan);
        EXPECT_EQ(c.type, "TCPIP") << lan;
        EXPECT_EQ(c.TCPIP->address, lan);
    }
}

TEST(InstrumentAddress, RefusalsSayWhy) {
    EXPECT_NE(refusal("GPIB0::31::INSTR").find("primary address 0 to 30"), std::string::npos);
    // The GPIB backend takes secondary addresses 0 to 30 only.
    EXPECT_NE(refusal("GPIB0::19::96::INSTR").find("secondary"), std::string::npos);
    EXPECT_NE(refusal("GPIBx::19::INSTR").find("expected GPIB"), std::string::npos);
    EXPECT_NE(refusal("ASRL0::INSTR").find("ports count from 1"), std::string::npos);
    EXPECT_NE(refusal("ASRL1::INSTR", "fast").find("no baud rate"), std::string::npos);
    EXPECT_NE(refusal("siggen", "9600").find("serial"), std::string::npos);
    EXPECT_NE(refusal("0.0.0.0").find("no instrument address set"), std::string::npos);
    EXPECT_NE(refusal("").find("no instrument address set"), std::string::npos);
}

TEST(SerialAndGpibConnection, CommaForms) {
    std::string why;
    auto s = serialConnection("/dev/pts/3,115200,None", why);
    ASSERT_TRUE(s) << why;
    EXPECT_EQ(s->RS232->device, "/dev/pts/3");
    EXPECT_EQ(s->RS232->baudrate, 115200);
    EXPECT_EQ(s->RS232->handshake, "None");
    EXPECT_FALSE(serialConnection("1,", why));
    EXPECT_FALSE(serialConnection("1,9600,None,extra", why));
    EXPECT_EQ(why, "expected PORT[,BAUD[,HANDSHAKE]]");

    auto g = gpibConnection("0,19", why);
    ASSERT_TRUE(g) << why;
    EXPECT_EQ(g->GPIB, (IoConfig::Gpib{0, 19, -1}));
    EXPECT_FALSE(gpibConnection("0,19,x", why));
    EXPECT_FALSE(gpibConnection("-1,19", why));
}

// A handshake the address takes is one the driver takes, and the other way
// round: both read the names through one table.
TEST(InstrumentAddress, HandshakeNamesAgreeWithTheDriver) {
    for (const char* name : {"None", "xon/xoff", "RTS-CTS", "hardware", "software", "off",
                             "DTR/DSR", "xon/xoff/rts"}) {
        std::string why;
        const auto address = instrumentAddress("ASRL/nonexistent/tty::INSTR", why, "", name);
        IoConfig c;
        c.type = "RS232";
        c.RS232->device = "/nonexistent/tty";
        c.RS232->handshake = name;
        const Status s = builtinHwIO(kHwPing, formatconfig(c), {});
        const bool driverTakes = s.response.find("handshake") == std::string::npos;
        EXPECT_EQ(address.has_value(), driverTakes) << name << ": " << why << " / " << s.response;
    }
}
