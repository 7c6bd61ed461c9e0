// The driver keeps one connection per configuration between calls.

#include <gtest/gtest.h>

#include "MexIO/HwIO.h"
#include "system/support_lan.h"
#include "system/support_sim.h"

using namespace onex;
using namespace onex::testsim;

namespace {

using ConnectionCache = onex::testsim::FreshConnections;

}  // namespace

TEST_F(ConnectionCache, RepeatedCallsShareOneConnection) {
    auto sim = startSim({});
    ASSERT_TRUE(sim);
    IoConfig c = lan(sim->rawAddress());
    EXPECT_EQ(hwSend(c, "*CLS").status, 0);
    EXPECT_EQ(hwQuery(c, "*IDN?").status, 0);
    // Fields the driver does not use for this connection kind do not matter.
    IoConfig other = c;
    other.GPIB->primary = 7;
    other.LastParameterFilename = "x.mat";
    EXPECT_EQ(hwQuery(other, "*OPC?").response, "1");
    EXPECT_EQ(countOf(sim->logText(), "OPEN "), 1u) << sim->logText();
}

TEST_F(ConnectionCache, ChangedConfigurationOpensANewConnection) {
    auto a = startSim({"--idn", "Tarn Instruments,A,US1,1"});
    auto b = startSim({"--idn", "Tarn Instruments,B,US2,1"});
    ASSERT_TRUE(a && b);
    EXPECT_EQ(hwQuery(lan(a->rawAddress()), "*IDN?").response, "Tarn Instruments,A,US1,1");
    EXPECT_EQ(hwQuery(lan(b->rawAddress()), "*IDN?").response, "Tarn Instruments,B,US2,1");
    EXPECT_EQ(hwQuery(lan(a->rawAddress()), "*IDN?").response, "Tarn Instruments,A,US1,1");
    EXPECT_EQ(countOf(a->logText(), "OPEN "), 2u);
    // Only one connection is held at a time: A's first one was closed.
    EXPECT_EQ(countOf(a->logText(), "CLOSE "), 1u);
}

TEST_F(ConnectionCache, ConnectionLostWhileIdleIsReopenedOnTheNextCall) {
    auto first = startSim({"--idn", "Tarn Instruments,FIRST,US1,1"});
    ASSERT_TRUE(first);
    uint16_t port = first->tcpPort();
    IoConfig c = lan(first->rawAddress());
    ASSERT_EQ(hwPing(c).status, 0);
    // The instrument goes away (a clean stop on SIGTERM) and comes back on
    // the same port.
    ASSERT_TRUE(first->stop());
    auto second =
        startSim({"--port", std::to_string(port), "--idn", "Tarn Instruments,SECOND,US2,1"});
    ASSERT_TRUE(second);
    // A send into the dead connection would vanish unnoticed: it must reach
    // the new instrument.
    EXPECT_EQ(hwSend(c, ":FREQ 2GHz").status, 0);
    Status q = hwQuery(c, ":FREQ?");
    EXPECT_EQ(q.status, 0) << q.response;
    EXPECT_EQ(q.response, "2000000000");
    EXPECT_EQ(hwQuery(c, "*IDN?").response, "Tarn Instruments,SECOND,US2,1");
}

TEST_F(ConnectionCache, TimeOutBelongsToItsConfiguration) {
    auto slow = startSim({"--no-reply"});
    ASSERT_TRUE(slow);
    IoConfig c = lan(slow->rawAddress());
    ASSERT_EQ(hwSetTimeout(c, 200).status, 0);
    // Written differently, the same instrument keeps its time-out.
    IoConfig same = lan("TCPIP0::127.0.0.1::" + std::to_string(slow->tcpPort()) + "::SOCKET");
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(hwQuery(same, "*IDN?").status, 3);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(1500));
}
