// tarn-sim understands the command lines the download and play sequences
// send (leading blanks, any case, short and long forms) and reports what it
// does not understand in its error queue.

#include <gtest/gtest.h>

#include "Instrument/PlayLists.h"
#include "MexIO/HwIO.h"
#include "system/support_sim.h"
#include "system/support_waveform.h"

using namespace onex;
using onex::testsim::SimProcess;

namespace {

class SimScpi : public ::testing::Test {
  protected:
    void SetUp() override {
        hwIOCloseAll();
        sim_ = testsim::startSim();
        ASSERT_TRUE(sim_);
        c_.type = "TCPIP";
        c_.TCPIP->address = sim_->rawAddress();
    }
    void TearDown() override { hwIOCloseAll(); }

    std::string q(const std::string& query) {
        Status s = hwQuery(c_, query);
        EXPECT_EQ(s.status, 0) << query << ": " << s.response;
        return s.response;
    }
    void send(const std::string& line) {
        Status s = hwSend(c_, line);
        EXPECT_EQ(s.status, 0) << line << ": " << s.response;
    }
    std::string nextError() { return q(":SYST:ERR?"); }
    void download(const std::string& name) {
        auto w = testsim::knownWaveform(256);
        Status s = hwDownload(c_, w.data, {w.marker1, w.marker2}, name);
        ASSERT_EQ(s.status, 0) << s.response;
    }

    std::unique_ptr<SimProcess> sim_;
    IoConfig c_;
};

const char* kNoError = "+0,\"No error\"";

}  // namespace

TEST_F(SimScpi, DownloadSequenceLeavesThePlayerAsItWas) {
    EXPECT_EQ(q(":SOUR:RAD:ARB:STATe?"), "0");
    send(":SOUR:RAD:ARB:STATe OFF");
    download("TITLE");
    send("\n");  // the lone line feed after the blocks
    send(":OUTPUT:MOD ON");
    EXPECT_EQ(q(":SOUR:RAD:ARB:STATe?"), "0");
    EXPECT_EQ(q(":OUTP:MOD?"), "1");
    EXPECT_EQ(nextError(), kNoError);
}

// The playback lists of both platforms set what they say; the other filter
// spellings of the lists are understood too.
TEST_F(SimScpi, PlayListsOfBothPlatforms) {
    using Answers = std::vector<std::pair<const char*, const char*>>;
    const std::pair<char, Answers> lists[] = {
        {'b',
         {{":RADio:ARB:WAVeform?", "\"WFM1:1xEV\""},
          {":FREQ?", "1900000000"},
          {":SOURce:POWer:LEVel:IMMediate:AMPLitude?", "-12.5"},
          {":RAD:ARB:CLOC:SRAT?", "4915200"},
          {":RAD:ARB:RFIL?", "2500000"},
          {":RAD:ARB:MARK:RFBL?", "OFF"},
          {":RAD:ARB:MARK:POL?", "POS"},
          {":RAD:ARB:CLOC:REF?", "INT"},
          {":sour:rad:arb:stat?", "1"},
          {":OUTP?", "1"}}},
        {'c',
         {{":DM:BBF?", "2100000"},
          {":RAD:ARB:RSC?", "70"},
          {":DM:IQAT:AUTO?", "0"},
          {":DM:IQAT?", "2.5"},
          {":POW:ALC?", "0"},
          {":RAD:ARB:MARK:RFBL?", "ON"},
          {":RAD:ARB:MARK:POL?", "NEG"},
          {":RAD:ARB:CLOC:REF?", "EXT"}}},
    };
    download(testplay::kName);
    for (const auto& [platform, answers] : lists) {
        SCOPED_TRACE(platform);
        const std::vector<std::string> lines = testplay::playList(platform);
        ASSERT_FALSE(lines.empty());
        for (const std::string& line : lines)
            send(line);
        EXPECT_EQ(nextError(), kNoError);
        for (const auto& [query, answer] : answers)
            EXPECT_EQ(q(query), answer) << query;
    }
    for (const char* filter : {"250.0khz", "8Mhz", "through"})
        send(std::string(" :source:rad:arb:rfilter ") + filter);
    EXPECT_EQ(q(":RAD:ARB:RFIL?"), "THR");
    send(" :source:dm:bbfilter 40MHz");
    EXPECT_EQ(q(":DM:BBF?"), "40000000");
    send(" :source:dm:bbfilter Through");
    EXPECT_EQ(q(":DM:BBF?"), "THR");
    EXPECT_EQ(nextError(), kNoError);
}

TEST_F(SimScpi, ErrorsAreQueuedInOrderAndClearedByCls) {
    send("bogus:command 1");
    send(":MMEM:DATA \"WFM1:x\",#9abc");               // malformed block header
    send(" :source:rad:arb:wav \"arbi:not_there\" ");  // never downloaded
    send(":FREQ 7GHz");                                // out of range
    EXPECT_EQ(nextError(), "-113,\"Undefined header\"");
    EXPECT_EQ(nextError().substr(0, 5), "-161,");
    EXPECT_EQ(nextError().substr(0, 5), "-256,");
    EXPECT_EQ(nextError().substr(0, 5), "-222,");
    EXPECT_EQ(nextError(), kNoError);
    send("nonsense");
    send("*CLS");
    EXPECT_EQ(nextError(), kNoError);
}

TEST_F(SimScpi, ArbCannotRunWithoutAWaveformAndRstResets) {
    send(":RAD:ARB:STAT ON");
    EXPECT_EQ(q(":RAD:ARB:STAT?"), "0");
    EXPECT_EQ(nextError().substr(0, 5), "-221,");
    download("W");
    send(":RAD:ARB:WAV \"W\"");
    send(":RAD:ARB:STAT 1");
    send(":FREQ 2GHz");
    EXPECT_EQ(q(":RAD:ARB:STAT?"), "1");
    send("*RST");
    EXPECT_EQ(q(":RAD:ARB:STAT?"), "0");
    EXPECT_EQ(q(":FREQ?"), "1000000000");
    EXPECT_EQ(q("*OPC?"), "1");
    EXPECT_EQ(nextError(), kNoError);
}

TEST_F(SimScpi, OversizedAndBadNamesAreRefused) {
    // A name that would leave the store folder.
    std::string line = ":MMEM:DATA \"WFM1:../escape\",#14";
    line += std::string("\x01\x02\x03\x04", 4);
    send(line);
    EXPECT_EQ(nextError().substr(0, 5), "-257,");
    // Not whole I/Q pairs.
    send(std::string(":MMEM:DATA \"WFM1:odd\",#13abc"));
    EXPECT_EQ(nextError().substr(0, 5), "-224,");
    // Markers of another length than their waveform (256 samples), or
    // without one.
    download("M");
    send(":MMEM:DATA \"MKR1:M\",#3255" + std::string(255, '\x01'));
    EXPECT_EQ(nextError(),
              "-224,\"Illegal parameter value;marker length 255 differs from "
              "waveform length 256\"");
    send(":MMEM:DATA \"MKR1:none\",#11" + std::string(1, '\x01'));
    EXPECT_EQ(nextError().substr(0, 5), "-256,");
    EXPECT_EQ(nextError(), kNoError);
    EXPECT_EQ(sim_->storedFile("M.markers").size(), 256u);
}

TEST_F(SimScpi, AFullErrorQueueEndsInOverflowWhicheverCommandFailed) {
    // 30 entries at most; a further error, from the waveform store too,
    // turns the last into the overflow mark.
    for (int i = 0; i < 29; ++i)
        send("bogus");
    for (int i = 0; i < 2; ++i)
        send(":MMEM:DATA \"WFM1:odd\",#13abc");
    for (int i = 0; i < 29; ++i)
        ASSERT_EQ(nextError(), "-113,\"Undefined header\"");
    EXPECT_EQ(nextError(), "-350,\"Queue overflow\"");
    EXPECT_EQ(nextError(), kNoError);
}
