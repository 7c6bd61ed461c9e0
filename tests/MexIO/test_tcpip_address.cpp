#include <gtest/gtest.h>

#include "MexIO/TcpipAddress.h"

using namespace onex::mexio;
using Kind = TcpipAddress::Kind;

namespace {
TcpipAddress parsed(const std::string& text) {
    std::string why;
    auto a = parseTcpipAddress(text, why);
    EXPECT_TRUE(a.has_value()) << text << ": " << why;
    return a.value_or(TcpipAddress{});
}
}  // namespace

TEST(TcpipAddress, RawSocketForms) {
    EXPECT_EQ(parsed("192.168.1.20"), (TcpipAddress{Kind::RawSocket, "192.168.1.20", 5025, ""}));
    EXPECT_EQ(parsed(" siggen.lab "), (TcpipAddress{Kind::RawSocket, "siggen.lab", 5025, ""}));
    EXPECT_EQ(parsed("siggen:5026"), (TcpipAddress{Kind::RawSocket, "siggen", 5026, ""}));
    EXPECT_EQ(parsed("[::1]"), (TcpipAddress{Kind::RawSocket, "::1", 5025, ""}));
    EXPECT_EQ(parsed("[fe80::1]:6000"), (TcpipAddress{Kind::RawSocket, "fe80::1", 6000, ""}));
    EXPECT_EQ(parsed("TCPIP0::10.0.0.5::5025::SOCKET"),
              (TcpipAddress{Kind::RawSocket, "10.0.0.5", 5025, ""}));
    EXPECT_EQ(parsed("tcpip3::host::7777::socket"),
              (TcpipAddress{Kind::RawSocket, "host", 7777, ""}));
}

TEST(TcpipAddress, Vxi11Forms) {
    EXPECT_EQ(parsed("TCPIP0::10.0.0.5::inst0::INSTR"),
              (TcpipAddress{Kind::Vxi11, "10.0.0.5", std::nullopt, "inst0"}));
    EXPECT_EQ(parsed("TCPIP::siggen::INSTR"),
              (TcpipAddress{Kind::Vxi11, "siggen", std::nullopt, "inst0"}));
    EXPECT_EQ(parsed("tcpip1::siggen::gpib0,19::instr"),
              (TcpipAddress{Kind::Vxi11, "siggen", std::nullopt, "gpib0,19"}));
    // A port in the host field skips the portmapper.
    EXPECT_EQ(parsed("TCPIP0::127.0.0.1:40000::inst0::INSTR"),
              (TcpipAddress{Kind::Vxi11, "127.0.0.1", 40000, "inst0"}));
}

TEST(TcpipAddress, UnusableAddressesAreRefusedWithAReason) {
    struct Case {
        const char* text;
        const char* why;
    } cases[] = {
        {"", "no instrument address"},
        {"   ", "no instrument address"},
        {"0.0.0.0", "no instrument address set"},
        {"host:0", "bad port"},
        {"host:70000", "bad port"},
        {"host:50x", "bad port"},
        {"fe80::1", "brackets"},
        {"[::1", "unclosed"},
        {"TCPIP0::host::INST", "unrecognised"},
        {"TCPIP0::host::5025::socket::x", "unrecognised"},
        {"TCPIP0::host::SOCKET", "host::port::SOCKET"},
        {"TCPIPx::host::INSTR", "bad interface"},
        {"TCPIP0::::INSTR", "no host"},
        {"TCPIP0::host::abc::SOCKET", "bad port"},
        {"TCPIP0::host::::INSTR", "empty device"},
        {"two words", "blank"},
    };
    for (const auto& c : cases) {
        std::string why;
        EXPECT_FALSE(parseTcpipAddress(c.text, why).has_value()) << c.text;
        EXPECT_NE(why.find(c.why), std::string::npos) << c.text << " -> " << why;
    }
}
