// Downloads to tarn-sim over every connection kind that can be exercised
// here; the simulator's stored bytes are compared with codes chosen in
// advance (support_waveform.h).

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <regex>
#include <thread>

#include "MexIO/HwIO.h"
#include "MexIO/Transport.h"
#include "system/support_lan.h"
#include "system/support_sim.h"
#include "system/support_waveform.h"

using namespace onex;
using namespace onex::testsim;

namespace {

IoConfig serial(const std::string& device, const std::string& handshake) {
    IoConfig c = testsim::serial(device);
    c.type = "rs232";  // compared without regard to case
    c.RS232->baudrate = 115200;
    c.RS232->handshake = handshake;
    return c;
}

void expectStored(const SimProcess& sim, const std::string& name, const testsim::KnownWaveform& w) {
    std::vector<uint8_t> iq = sim.storedFile(name + ".iq");
    ASSERT_EQ(iq.size(), w.expectedIq.size());
    auto diff = std::mismatch(iq.begin(), iq.end(), w.expectedIq.begin());
    EXPECT_TRUE(diff.first == iq.end()) << "first difference at byte " << (diff.first - iq.begin());
    EXPECT_EQ(sim.storedFile(name + ".markers"), w.expectedMarkers);
}

Status download(const IoConfig& c, const testsim::KnownWaveform& w, const std::string& name) {
    return hwDownload(c, w.data, MarkerRows{w.marker1, w.marker2}, name);
}

struct PauseCounts {
    std::size_t early, late;
};
std::vector<PauseCounts> xoffPauses(const std::string& log) {
    std::vector<PauseCounts> out;
    std::regex re("XON after [0-9]+ ms: early=([0-9]+) late=([0-9]+)");
    for (auto it = std::sregex_iterator(log.begin(), log.end(), re); it != std::sregex_iterator();
         ++it)
        out.push_back({std::stoul((*it)[1]), std::stoul((*it)[2])});
    return out;
}

std::string runCapture(const std::string& cmd) {
    std::string out;
    if (FILE* p = ::popen(cmd.c_str(), "r")) {
        char buf[256];
        while (std::fgets(buf, sizeof buf, p))
            out += buf;
        ::pclose(p);
    }
    return out;
}

using SimDownload = onex::testsim::FreshConnections;

}  // namespace

TEST_F(SimDownload, RawSocketFramesArriveComplete) {
    auto sim = startSim({});
    ASSERT_TRUE(sim);
    IoConfig c = lan(sim->rawAddress());
    for (std::size_t n : {std::size_t{65536}, std::size_t{983040}}) {
        auto w = testsim::knownWaveform(n);
        std::string name = "FRAME_" + std::to_string(n);
        Status s = download(c, w, name);
        ASSERT_EQ(s.status, 0) << s.response;
        expectStored(*sim, name, w);
    }
    EXPECT_EQ(sim->logText().find("ERROR"), std::string::npos) << sim->logText();
    // The frame can be selected by its name afterwards.
    EXPECT_EQ(hwSend(c, " :source:rad:arb:wav \"arbi:FRAME_65536\" ").status, 0);
    EXPECT_EQ(hwQuery(c, ":SYST:ERR?").response, "+0,\"No error\"");
}

TEST_F(SimDownload, EveryRawSocketAddressFormReachesTheSimulator) {
    auto sim = startSim({"--idn", "Tarn Instruments,TARN-SIM,US12345678,2.0"});
    ASSERT_TRUE(sim);
    std::string p = std::to_string(sim->tcpPort());
    for (std::string address :
         {"127.0.0.1:" + p, "localhost:" + p, "  127.0.0.1:" + p + " ",
          "TCPIP0::127.0.0.1::" + p + "::SOCKET", "tcpip::localhost::" + p + "::socket"}) {
        Status s = VerifyComm(lan(address));
        EXPECT_EQ(s.status, 0) << address << ": " << s.response;
        EXPECT_NE(s.response.find("US12345678"), std::string::npos) << s.response;
    }
}

TEST_F(SimDownload, BareHostUsesPort5025) {
    std::string error;
    if (testsim::localPortOpen(5025)) GTEST_SKIP() << "port 5025 is in use on this machine";
    auto sim = SimProcess::start({"--port", "5025"}, error);
    if (!sim) GTEST_SKIP() << "cannot run the simulator on port 5025: " << error;
    Status s = hwPing(lan("127.0.0.1"));
    EXPECT_EQ(s.status, 0) << s.response;
}

TEST_F(SimDownload, Vxi11SplitsWritesByTheLinkSizeAndMarksOnlyTheLastPieceEnd) {
    auto sim = startSim({"--vxi11-max-recv", "4096"});
    ASSERT_TRUE(sim);
    IoConfig c = lan("TCPIP0::127.0.0.1:" + std::to_string(sim->vxiPort()) + "::inst0::INSTR");
    auto w = testsim::knownWaveform(65536, 1.5, 777);
    Status s = download(c, w, "VXI");
    ASSERT_EQ(s.status, 0) << s.response;
    expectStored(*sim, "VXI", w);

    std::string log = sim->logText();
    std::regex re("VXI11 device_write ([0-9]+) bytes( END)?");
    std::size_t writes = 0, ends = 0, largest = 0;
    for (auto it = std::sregex_iterator(log.begin(), log.end(), re); it != std::sregex_iterator();
         ++it) {
        ++writes;
        ends += (*it)[2].matched;
        largest = std::max<std::size_t>(largest, std::stoul((*it)[1]));
    }
    EXPECT_EQ(largest, 4096u);
    EXPECT_GT(writes, 64u + 16u);  // 256 KiB of samples and 64 KiB of markers in 4 KiB pieces
    // One END per message: *CLS, the two blocks, *OPC? and one SYST:ERR?.
    EXPECT_EQ(ends, 5u) << log;
    EXPECT_EQ(log.find("ERROR"), std::string::npos) << log;
}

TEST_F(SimDownload, Vxi11QueryAndReturnToLocal) {
    auto sim = startSim({});
    ASSERT_TRUE(sim);
    IoConfig c = lan("TCPIP::127.0.0.1:" + std::to_string(sim->vxiPort()) + "::INSTR");
    EXPECT_EQ(hwSend(c, ":FREQ 2.5 GHz").status, 0);
    Status q = hwQuery(c, ":FREQ?");
    EXPECT_EQ(q.status, 0) << q.response;
    EXPECT_EQ(q.response, "2500000000");
    Status l = hwReturnLocal(c);
    EXPECT_EQ(l.status, 0) << l.response;
    EXPECT_NE(sim->logText().find("VXI11 device_local"), std::string::npos);
    EXPECT_NE(sim->logText().find("LOCAL vxi11"), std::string::npos);
}

TEST_F(SimDownload, Vxi11ThroughThePortmapper) {
    if (!testsim::localPortOpen(111)) GTEST_SKIP() << "no portmapper runs on this machine";
    auto sim = startSim({"--register-portmap"});
    ASSERT_TRUE(sim);
    if (sim->portmap() != "registered") GTEST_SKIP() << "the portmapper refused the registration";
    Status s = hwPing(lan("TCPIP0::127.0.0.1::inst0::INSTR"));
    EXPECT_EQ(s.status, 0) << s.response;
    EXPECT_NE(s.response.find("TARN-SIM"), std::string::npos);
}

TEST_F(SimDownload, LxiToolsTalkToTheSimulator) {
    std::string lxi = testsim::findProgram("lxi");
    if (lxi.empty()) GTEST_SKIP() << "lxi-tools not installed";
    bool portmapper = testsim::localPortOpen(111);
    auto sim = startSim(portmapper ? std::vector<std::string>{"--register-portmap"}
                                   : std::vector<std::string>{});
    ASSERT_TRUE(sim);
    std::string raw = runCapture(lxi + " scpi -a 127.0.0.1 -p " + std::to_string(sim->tcpPort()) +
                                 " -r '*IDN?' 2>&1");
    EXPECT_NE(raw.find("TARN-SIM"), std::string::npos) << raw;
    if (sim->portmap() != "registered")
        GTEST_SKIP() << "raw socket checked; VXI-11 needs a running portmapper";
    std::string vxi = runCapture(lxi + " scpi -a 127.0.0.1 '*IDN?' 2>&1");
    EXPECT_NE(vxi.find("TARN-SIM"), std::string::npos) << vxi;
}

TEST_F(SimDownload, SerialWithXonXoffObeysTheInstrumentAndKeepsBinaryBytes) {
    auto sim = startSim({"--pty", "--xoff-after", "1048576", "--xoff-ms", "300"});
    ASSERT_TRUE(sim);
    auto w = testsim::knownWaveform(983040);
    // The block really carries the flow-control characters.
    EXPECT_NE(std::find(w.expectedIq.begin(), w.expectedIq.end(), 0x11), w.expectedIq.end());
    EXPECT_NE(std::find(w.expectedIq.begin(), w.expectedIq.end(), 0x13), w.expectedIq.end());
    IoConfig c = serial(sim->ptyPath(), "Xon/Xoff");
    Status s = download(c, w, "SERIAL");
    ASSERT_EQ(s.status, 0) << s.response;
    expectStored(*sim, "SERIAL", w);
    auto pauses = xoffPauses(sim->logText());
    ASSERT_GE(pauses.size(), 3u) << sim->logText();
    for (const auto& p : pauses) {
        EXPECT_EQ(p.late, 0u) << "bytes kept coming while XOFF was held";
        EXPECT_LT(p.early, 1u << 20);
    }
}

TEST_F(SimDownload, SerialWithoutHandshakeIgnoresXoff) {
    // The counterpart of the test above: it shows that the simulator's count
    // does see a sender that goes on after XOFF.
    auto sim = startSim({"--pty", "--xoff-after", "1048576", "--xoff-ms", "2000"});
    ASSERT_TRUE(sim);
    auto w = testsim::knownWaveform(983040);
    download(serial(sim->ptyPath(), "None"), w, "NOFLOW");
    // The transfer may end before the pause does; its count is logged at XON.
    std::vector<PauseCounts> pauses;
    for (int i = 0; i < 100 && pauses.empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        pauses = xoffPauses(sim->logText());
    }
    ASSERT_GE(pauses.size(), 1u) << sim->logText();
    EXPECT_GT(pauses[0].early + pauses[0].late, std::size_t{1} << 20);
}

TEST_F(SimDownload, SerialQueryAndReturnToLocalWithRtsCts) {
    auto sim = startSim({"--pty"});
    ASSERT_TRUE(sim);
    IoConfig c = serial(sim->ptyPath(), "RTS/CTS");
    Status q = hwQuery(c, "*IDN?");
    ASSERT_EQ(q.status, 0) << q.response;
    EXPECT_NE(q.response.find("TARN-SIM"), std::string::npos);
    EXPECT_EQ(hwReturnLocal(c).status, 0);
    EXPECT_EQ(hwQuery(c, ":SYST:ERR?").response, "+0,\"No error\"");
    EXPECT_NE(sim->logText().find("LOCAL command"), std::string::npos);
}
