// The built-in driver's answers to configurations and arguments it cannot
// use: a non-zero status with a text, nothing sent, no exception.

#include <gtest/gtest.h>

#include <array>

#include "MexIO/HwIO.h"
#include "MexIO/Transport.h"
#include "system/support_lan.h"
#include "system/support_sim.h"

using namespace onex;

using onex::testsim::contains;

namespace {

using DriverConfigTest = onex::testsim::FreshConnections;

}  // namespace

TEST_F(DriverConfigTest, UnusableConfigurations) {
    struct Case {
        IoConfig config;
        const char* why;
    };
    std::vector<Case> cases;
    IoConfig c;
    c.type = "USB";
    cases.push_back({c, "unknown connection type 'USB'"});
    c.type.reset();
    cases.push_back({c, "no connection type"});
    c = IoConfig{};
    c.type = "TCPIP";
    cases.push_back({c, "no instrument address set (0.0.0.0)"});
    c.TCPIP.reset();
    cases.push_back({c, "no TCPIP address"});
    c = IoConfig{};
    c.type = "RS232";
    c.RS232->port = 0;
    cases.push_back({c, "RS232 port 0 does not exist"});
    c.RS232->port = 1;
    c.RS232->handshake = "DTR/DSR";
    cases.push_back({c, "unknown RS-232 handshake 'DTR/DSR'"});
    c.RS232->handshake = "none";
    c.RS232->baudrate.reset();
    cases.push_back({c, "no valid RS232 baud rate"});
    c = IoConfig{};
    c.GPIB->primary.reset();
    cases.push_back({c, "no GPIB board or primary address"});
    for (const auto& k : cases) {
        Status s = hwPing(k.config);
        EXPECT_EQ(s.status, mexio::kBadArgument) << k.why;
        EXPECT_TRUE(contains(s.response, k.why)) << s.response;
    }
}

TEST_F(DriverConfigTest, SerialPortNumberNamesTheTtyAndTheDevicePathWins) {
    IoConfig c;
    c.type = "Rs232";
    c.RS232->port = 200;  // no such port here
    Status s = hwPing(c);
    EXPECT_EQ(s.status, mexio::kNotConnected);
    EXPECT_TRUE(contains(s.response, "/dev/ttyS199")) << s.response;
    c.RS232->device = "/nonexistent/serial-device";
    s = hwPing(c);
    EXPECT_TRUE(contains(s.response, "/nonexistent/serial-device")) << s.response;
    EXPECT_FALSE(contains(s.response, "ttyS199")) << s.response;
}

TEST_F(DriverConfigTest, GpibWithoutALibraryIsReportedNotFatal) {
    std::string lib = mexio::gpibLibraryStatus();
    if (!contains(lib, "no GPIB library")) GTEST_SKIP() << "a GPIB library is installed: " << lib;
    IoConfig c;  // the defaults select GPIB board 0, address 19
    for (Status s : {hwPing(c), hwSend(c, "*RST"), hwQuery(c, "*IDN?"), hwReturnLocal(c)}) {
        EXPECT_EQ(s.status, mexio::kNoLibrary);
        EXPECT_TRUE(contains(s.response, "no GPIB library found")) << s.response;
        EXPECT_TRUE(contains(s.response, "libgpib.so.0")) << s.response;
    }
    // Setting the time-out needs no instrument.
    EXPECT_EQ(hwSetTimeout(c, 10000).status, 0);
}

TEST_F(DriverConfigTest, BadTimeOutsAndArgumentsAreRefused) {
    IoConfig c;
    for (double t : {0.0, -5.0, std::nan(""), std::numeric_limits<double>::infinity()}) {
        Status s = hwSetTimeout(c, t);
        EXPECT_EQ(s.status, mexio::kBadArgument) << t;
        EXPECT_TRUE(contains(s.response, "positive number of milliseconds"));
    }
    DriverConfig d = formatconfig(c);
    EXPECT_EQ(builtinHwIO(7, d, {}).status, mexio::kBadArgument);
    EXPECT_TRUE(contains(builtinHwIO(7, d, {}).response, "Unknown I/O operation code 7"));
    std::array<HwArg, 1> number{1.0};
    EXPECT_EQ(builtinHwIO(kHwSend, d, number).status, mexio::kBadArgument);
    EXPECT_EQ(builtinHwIO(kHwQuery, d, {}).status, mexio::kBadArgument);
    std::vector<std::complex<double>> w(4, {0.5, 0.5});
    std::array<HwArg, 5> other{std::span<const std::complex<double>>(w), MarkerRows{},
                               std::string_view("peak"), 1.0, std::string_view("N")};
    Status s = builtinHwIO(kHwDownload, d, other);
    EXPECT_EQ(s.status, mexio::kBadArgument);
    EXPECT_TRUE(contains(s.response, "unsupported scaling mode 'peak'")) << s.response;
}
