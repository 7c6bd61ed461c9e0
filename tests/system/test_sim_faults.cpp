// Faults of the instrument and the line: each gives a non-zero status with a
// clear text, within the time-out, and leaves the driver usable.

#include <gtest/gtest.h>

#include <chrono>
#include <complex>
#include <limits>
#include <thread>

#include "MexIO/Cancel.h"
#include "MexIO/HwIO.h"
#include "system/support_lan.h"
#include "system/support_sim.h"
#include "system/support_waveform.h"

using namespace onex;
using namespace onex::testsim;
using Clock = std::chrono::steady_clock;

namespace {

long long msSince(Clock::time_point t0) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t0).count();
}

using SimFaults = onex::testsim::FreshConnections;

}  // namespace

TEST_F(SimFaults, AbsentInstrumentIsReportedForEveryOperation) {
    IoConfig c = lan("127.0.0.1:" + std::to_string(testsim::unusedLocalPort()));
    auto w = testsim::knownWaveform(16);
    Status results[] = {hwPing(c), hwSend(c, "*RST"), hwQuery(c, "*IDN?"),
                        hwDownload(c, w.data, {w.marker1, w.marker2}, "W"), hwReturnLocal(c)};
    for (const Status& s : results) {
        EXPECT_NE(s.status, 0) << s.response;
        EXPECT_TRUE(contains(s.response, "refused")) << s.response;
    }
    EXPECT_TRUE(contains(results[0].response, "No instrument answered")) << results[0].response;
}

TEST_F(SimFaults, ConnectionDroppedMidDownloadFailsAndTheNextCallReconnects) {
    auto sim = startSim({"--drop-after-bytes", "100000"});
    ASSERT_TRUE(sim);
    IoConfig c = lan(sim->rawAddress());
    auto w = testsim::knownWaveform(65536);
    Status s = hwDownload(c, w.data, {w.marker1, w.marker2}, "DROPPED");
    EXPECT_NE(s.status, 0);
    EXPECT_TRUE(contains(s.response, "Download of \"DROPPED\"")) << s.response;
    EXPECT_TRUE(sim->storedFile("DROPPED.iq").empty());

    Status again = hwQuery(c, "*IDN?");
    EXPECT_EQ(again.status, 0) << again.response;
    EXPECT_TRUE(contains(sim->logText(), "OPEN tcp#2"));
}

TEST_F(SimFaults, NoReplyHonoursTheTimeOutOnRawSocket) {
    auto sim = startSim({"--no-reply"});
    ASSERT_TRUE(sim);
    IoConfig c = lan(sim->rawAddress());
    ASSERT_EQ(hwSetTimeout(c, 300).status, 0);
    auto t0 = Clock::now();
    Status q = hwQuery(c, "*IDN?");
    long long ms = msSince(t0);
    EXPECT_EQ(q.status, 3) << q.response;
    EXPECT_TRUE(contains(q.response, "300 ms")) << q.response;
    EXPECT_GE(ms, 280);
    EXPECT_LT(ms, 1500);

    t0 = Clock::now();
    Status p = hwPing(c);
    EXPECT_NE(p.status, 0);
    EXPECT_TRUE(contains(p.response, "time-out")) << p.response;
    EXPECT_LT(msSince(t0), 1500);

    // A download whose *OPC? is never answered is not a success.
    auto w = testsim::knownWaveform(1000);
    Status d = hwDownload(c, w.data, {w.marker1, w.marker2}, "SILENT");
    EXPECT_EQ(d.status, 3) << d.response;
    EXPECT_TRUE(contains(d.response, "time-out")) << d.response;
}

TEST_F(SimFaults, NoReplyHonoursTheTimeOutOnVxi11) {
    auto sim = startSim({"--no-reply"});
    ASSERT_TRUE(sim);
    IoConfig c = lan("TCPIP0::127.0.0.1:" + std::to_string(sim->vxiPort()) + "::inst0::INSTR");
    ASSERT_EQ(hwSetTimeout(c, 300).status, 0);
    auto t0 = Clock::now();
    Status q = hwQuery(c, "*IDN?");
    long long ms = msSince(t0);
    EXPECT_EQ(q.status, 3) << q.response;
    EXPECT_GE(ms, 280);
    EXPECT_LT(ms, 2500);  // the time-out plus the RPC margin
    // The next call works on a new link.
    EXPECT_EQ(hwSend(c, "*CLS").status, 0);
}

TEST_F(SimFaults, NoReplyHonoursTheTimeOutOnSerial) {
    auto sim = startSim({"--pty", "--no-reply"});
    ASSERT_TRUE(sim);
    const IoConfig c = serial(sim->ptyPath());
    ASSERT_EQ(hwSetTimeout(c, 250).status, 0);
    auto t0 = Clock::now();
    Status q = hwQuery(c, "*IDN?");
    EXPECT_EQ(q.status, 3) << q.response;
    EXPECT_LT(msSince(t0), 1500);
}

TEST_F(SimFaults, GarbageReplyIsPassedOnVerbatim) {
    // The layer does not judge replies; the caller reads "garbage" as not 1.
    auto sim = startSim({"--arb-state-reply", "#!garbage,,"});
    ASSERT_TRUE(sim);
    Status q = hwQuery(lan(sim->rawAddress()), ":SOUR:RAD:ARB:STATe?");
    EXPECT_EQ(q.status, 0);
    EXPECT_EQ(q.response, "#!garbage,,");
}

TEST_F(SimFaults, RejectedDownloadReportsTheInstrumentsError) {
    auto sim = startSim({"--reject-downloads"});
    ASSERT_TRUE(sim);
    auto w = testsim::knownWaveform(4096);
    Status s = hwDownload(lan(sim->rawAddress()), w.data, {w.marker1, w.marker2}, "REJECTED");
    EXPECT_EQ(s.status, 5) << s.response;
    EXPECT_TRUE(contains(s.response, "-250,\"Mass storage error")) << s.response;
    EXPECT_TRUE(contains(s.response, "REJECTED")) << s.response;
}

TEST_F(SimFaults, BadWaveformsAreRefusedWithoutSendingAnything) {
    auto sim = startSim({});
    ASSERT_TRUE(sim);
    IoConfig c = lan(sim->rawAddress());
    std::vector<std::complex<double>> empty;
    std::vector<std::complex<double>> nan = {{0.5, 0},
                                             {std::numeric_limits<double>::quiet_NaN(), 0}};
    std::vector<std::complex<double>> inf = {{0.5, std::numeric_limits<double>::infinity()}};
    std::vector<double> m3(3, 1.0);
    for (Status s : {hwDownload(c, empty, {}, "E"), hwDownload(c, nan, {}, "N"),
                     hwDownload(c, inf, {}, "I"), hwDownload(c, nan, {m3, {}}, "M")}) {
        EXPECT_EQ(s.status, 1) << s.response;
        EXPECT_TRUE(contains(s.response, "nothing sent")) << s.response;
    }
    EXPECT_FALSE(contains(sim->logText(), "MMEM")) << sim->logText();
    EXPECT_FALSE(contains(sim->logText(), "OPEN")) << sim->logText();
}

// A slow instrument that keeps taking bytes is alive: the time-out bounds
// silence, not the whole transfer, and *OPC? waits only once the blocks
// have left. 320 KiB at 200 kB/s take about 1.6 s against a 300 ms time-out.
TEST_F(SimFaults, ASlowButSteadyInstrumentTakesALongDownload) {
    auto sim = startSim({"--read-rate", "200000", "--receive-buffer", "16384"});
    ASSERT_TRUE(sim);
    IoConfig c = lan(sim->rawAddress());
    ASSERT_EQ(hwSetTimeout(c, 300).status, 0);
    auto w = testsim::knownWaveform(65536);
    auto t0 = Clock::now();
    Status s = hwDownload(c, w.data, {w.marker1, w.marker2}, "SLOW");
    EXPECT_EQ(s.status, 0) << s.response;
    EXPECT_GT(msSince(t0), 1000);
    EXPECT_TRUE(sim->storedFile("SLOW.iq") == w.expectedIq);
    EXPECT_TRUE(sim->storedFile("SLOW.markers") == w.expectedMarkers);
}

// A cancel request from another thread ends a wait that would last the
// whole time-out, on every kind of connection, and the connection is closed.
TEST_F(SimFaults, ACancelRequestEndsAPendingWait) {
    auto sim = startSim({"--no-reply", "--pty"});
    ASSERT_TRUE(sim);
    const std::pair<const char*, IoConfig> connections[] = {
        {"raw socket", lan(sim->rawAddress())},
        {"serial", serial(sim->ptyPath())},
        // Last: the simulator's VXI-11 server stays busy with the abandoned read.
        {"VXI-11", lan("TCPIP0::127.0.0.1:" + std::to_string(sim->vxiPort()) + "::inst0::INSTR")}};
    for (const auto& [kind, c] : connections) {
        ASSERT_EQ(hwSetTimeout(c, 10000).status, 0);
        std::stop_source stop;
        std::jthread canceller([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            stop.request_stop();
        });
        const CancelScope scope(stop.get_token());
        auto t0 = Clock::now();
        Status q = hwQuery(c, "*IDN?");
        EXPECT_LT(msSince(t0), 1500) << kind;
        EXPECT_EQ(q.status, kCancelled) << kind << ": " << q.response;
        EXPECT_TRUE(contains(q.response, "cancelled")) << kind << ": " << q.response;
        // Nothing more goes out under the cancelled request.
        EXPECT_EQ(hwSend(c, "*CLS").status, kCancelled) << kind;
    }
    EXPECT_TRUE(contains(sim->logText(), "CLOSE tcp#1")) << sim->logText();
}
