// The download and playback sequences against tarn-sim: a computed frame
// arrives complete, the instrument ends up playing it with the settings
// sent, and faults of the instrument or the line give a failure with a clear
// text within the time-out.

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <sstream>
#include <stop_token>
#include <thread>

#include "Instrument/Download.h"
#include "Instrument/SigGenSettings.h"
#include "MexIO/Cancel.h"
#include "OneX/Parameters.h"
#include "platform/ScriptedDialogs.h"
#include "system/support_lan.h"
#include "system/support_sim.h"

using namespace onex;
using onex::platform::ScriptedDialogs;
using namespace onex::testsim;
using Clock = std::chrono::steady_clock;

namespace {

FrameResult frame(double overSampling) {
    Parameters p = InitializeParameters();
    p.OverSampling = overSampling;
    return Calculate(p);
}

// The instrument's 16-bit codes, derived here from the waveform alone: the
// largest |I| or |Q| becomes 32767, halves round away from zero, big-endian
// two's complement, I before Q.
std::vector<uint8_t> expectedIq(std::span<const std::complex<double>> w) {
    double peak = 0;
    for (const auto& x : w)
        peak = std::max({peak, std::fabs(x.real()), std::fabs(x.imag())});
    std::vector<uint8_t> out;
    out.reserve(4 * w.size());
    for (const auto& x : w) {
        for (double v : {x.real(), x.imag()}) {
            const long code = std::lround(v * (32767.0 / peak));
            const auto u = static_cast<uint16_t>(static_cast<int16_t>(code));
            out.push_back(static_cast<uint8_t>(u >> 8));
            out.push_back(static_cast<uint8_t>(u & 0xFF));
        }
    }
    return out;
}

std::vector<uint8_t> expectedMarkers(const FrameResult& f) {
    std::vector<uint8_t> out(f.waveform.size());
    for (std::size_t i = 0; i < out.size(); ++i)
        out[i] = static_cast<uint8_t>((f.marker1[i] != 0 ? 1 : 0) | (f.marker2[i] != 0 ? 2 : 0));
    return out;
}

std::string query(const IoConfig& c, const std::string& q) {
    Status s = hwQuery(c, q);
    EXPECT_EQ(s.status, 0) << q << ": " << s.response;
    return s.response;
}

using PlaySequences = onex::testsim::FreshConnections;

}  // namespace

TEST_F(PlaySequences, ComputedFramesArriveCompleteAndPlay) {
    for (double os : {2.0, 30.0}) {
        auto sim = startSim({});
        ASSERT_TRUE(sim);
        const IoConfig c = lan(sim->rawAddress());
        const FrameResult f = frame(os);
        ASSERT_EQ(f.waveform.size(), 32768u * static_cast<std::size_t>(os));
        ScriptedDialogs dialogs;
        Status d = TARNDownLoadWrap(f.waveform, MarkerValues(f.marker1, f.marker2).rows(),
                                    "OneX-Rev", c, dialogs);
        ASSERT_EQ(d.status, 0) << d.response;
        EXPECT_TRUE(sim->storedFile("OneX-Rev.iq") == expectedIq(f.waveform)) << os;
        EXPECT_TRUE(sim->storedFile("OneX-Rev.markers") == expectedMarkers(f)) << os;

        SigGenSettings s = InitializeSigGenSettings(os);
        s.Frequency = 1.9e9;
        s.Amplitude = -12;
        s.ReconFilter = 3;
        s.RFblanking = 1;
        Status p = TARNPlay("OneX-Rev", s, c);
        ASSERT_EQ(p.status, 0) << p.response;

        EXPECT_EQ(query(c, ":SYST:ERR?"), "+0,\"No error\"") << sim->logText();
        EXPECT_EQ(query(c, ":RAD:ARB:WAV?"), "\"WFM1:OneX-Rev\"");
        EXPECT_EQ(query(c, ":RAD:ARB?"), "1");
        EXPECT_EQ(query(c, ":OUTP?"), "1");
        EXPECT_EQ(query(c, ":OUTP:MOD?"), "1");
        EXPECT_EQ(query(c, ":FREQ?"), "1900000000");
        EXPECT_EQ(query(c, ":POW?"), "-12");
        EXPECT_EQ(std::stod(query(c, ":RAD:ARB:CLOC:SRAT?")), 1228800 * os);
        EXPECT_EQ(query(c, ":RAD:ARB:RFIL?"), "8000000");
        EXPECT_EQ(query(c, ":RAD:ARB:MARK:RFBL?"), "ON");

        // The lines as the instrument saw them, in order (the log trims blanks).
        const auto cmds = loggedCommands(sim->logText());
        const std::vector<std::string> start = {
            ":SOUR:RAD:ARB:STATe?", ":SOUR:RAD:ARB:STATe OFF", "*CLS",
            ":MMEMory:DATA \"WFM1:OneX-Rev\",#<" + std::to_string(4 * f.waveform.size()) +
                " bytes>",
            ":MMEMory:DATA \"MKR1:OneX-Rev\",#<" + std::to_string(f.waveform.size()) + " bytes>"};
        ASSERT_GE(cmds.size(), start.size());
        EXPECT_EQ(std::vector<std::string>(cmds.begin(), cmds.begin() + 5), start)
            << sim->logText();
        auto at = [&](const std::string& line) {
            return std::find(cmds.begin(), cmds.end(), line) - cmds.begin();
        };
        EXPECT_LT(at(":OUTPUT:MOD ON"), at(":source:rad:arb:state off"));
        EXPECT_EQ(at(":SOUR:RAD:ARB:STATe ON"), static_cast<long>(cmds.size()));  // was off
        EXPECT_LT(at(":source:freq:fix 1900000000Hz"), at(":output:state on"));
        EXPECT_TRUE(contains(sim->logText(), "LOCAL")) << sim->logText();
    }
}

TEST_F(PlaySequences, PlatformCListIsUnderstood) {
    auto sim = startSim({});
    ASSERT_TRUE(sim);
    const IoConfig c = lan(sim->rawAddress());
    const FrameResult f = frame(2);
    ScriptedDialogs dialogs;
    ASSERT_EQ(
        TARNDownLoadWrap(f.waveform, MarkerValues(f.marker1, f.marker2).rows(), "C", c, dialogs)
            .status,
        0);
    SigGenSettings s = InitializeSigGenSettings(2);
    s.BBfilter = 2;
    s.Scaling = 80;
    s.ModAtten = 3.5;
    s.ALC = 0;
    ASSERT_EQ(TARNPlay_c("C", s, c).status, 0);
    EXPECT_EQ(query(c, ":SYST:ERR?"), "+0,\"No error\"") << sim->logText();
    EXPECT_EQ(query(c, ":DM:BBF?"), "40000000");
    EXPECT_EQ(query(c, ":RAD:ARB:RSC?"), "80");
    EXPECT_EQ(query(c, ":DM:IQAT?"), "3.5");
    EXPECT_EQ(query(c, ":POW:ALC?"), "0");
    EXPECT_EQ(query(c, ":RAD:ARB?"), "1");
}

TEST_F(PlaySequences, ConnectionDroppedMidDownload) {
    auto sim = startSim({"--drop-after-bytes", "100000"});
    ASSERT_TRUE(sim);
    const FrameResult f = frame(2);  // 256 KiB of samples
    ScriptedDialogs dialogs;
    Status d = TARNDownLoadWrap(f.waveform, MarkerValues(f.marker1, f.marker2).rows(), "DROPPED",
                                lan(sim->rawAddress()), dialogs);
    // The line feed and the modulation command after it go through on a new
    // connection; the download's failure is still the result.
    EXPECT_NE(d.status, 0);
    EXPECT_TRUE(contains(d.response, "Download of \"DROPPED\"")) << d.response;
    EXPECT_TRUE(sim->storedFile("DROPPED.iq").empty());
    EXPECT_TRUE(waitForLog(*sim, ":OUTPUT:MOD ON")) << sim->logText();
}

// Over RS-232 a hung-up instrument cannot be seen from our side of the line:
// the playback's closing *OPC? is what tells.
TEST_F(PlaySequences, APlaybackNobodyTookFailsOverSerial) {
    auto sim = startSim({"--pty", "--hang-up-after", ":SYSTem:ERRor?"});
    ASSERT_TRUE(sim);
    const IoConfig c = serial(sim->ptyPath());
    std::vector<std::complex<double>> w(1000, {0.5, -0.5});
    ScriptedDialogs dialogs;
    ASSERT_EQ(TARNDownLoadWrap(w, {}, "HUNG", c, dialogs).status, 0);
    ASSERT_EQ(hwSetTimeout(c, 300).status, 0);
    Status p = TARNPlay("HUNG", InitializeSigGenSettings(2), c);
    EXPECT_EQ(p.status, 3) << p.response;
    EXPECT_TRUE(contains(p.response, "*OPC?")) << p.response;
    // Nothing tells whether the output went on: the text says it may be on.
    EXPECT_TRUE(contains(p.response, "Switching the RF output off could not be confirmed"))
        << p.response;
    EXPECT_TRUE(contains(p.response, "the RF output may still be on.")) << p.response;
    EXPECT_TRUE(waitForLog(*sim, "IGNORED pty :source:rad:arb:wav")) << sim->logText();
}

TEST_F(PlaySequences, NoReplyFailsWithinTheTimeOuts) {
    auto sim = startSim({"--no-reply"});
    ASSERT_TRUE(sim);
    std::vector<std::complex<double>> w(1000, {0.5, -0.5});
    ScriptedDialogs dialogs;
    auto t0 = Clock::now();
    Status d = TARNDownLoadWrap(w, {}, "SILENT", lan(sim->rawAddress()), dialogs);
    const auto elapsed = Clock::now() - t0;
    EXPECT_EQ(d.status, 3) << d.response;  // the state query timed out first
    EXPECT_TRUE(contains(d.response, ":SOUR:RAD:ARB:STATe?")) << d.response;
    // Two waits of the 10 s time-out (the state query, then *OPC? after the blocks).
    EXPECT_GE(elapsed, std::chrono::seconds(19));
    EXPECT_LT(elapsed, std::chrono::seconds(30));
    ASSERT_TRUE(waitForLog(*sim, ":OUTPUT:MOD ON")) << sim->logText();
    EXPECT_FALSE(contains(sim->logText(), ":SOUR:RAD:ARB:STATe ON"));
}

TEST_F(PlaySequences, GarbageStateReplyLeavesThePlayerOffAndFails) {
    auto sim = startSim({"--arb-state-reply", "#!garbage,,"});
    ASSERT_TRUE(sim);
    const IoConfig c = lan(sim->rawAddress());
    const FrameResult f = frame(2);
    ScriptedDialogs dialogs;
    Status d =
        TARNDownLoadWrap(f.waveform, MarkerValues(f.marker1, f.marker2).rows(), "G", c, dialogs);
    EXPECT_EQ(d.status, kUnusableReply);
    EXPECT_TRUE(contains(d.response, "#!garbage,,")) << d.response;
    EXPECT_TRUE(contains(d.response, "left off")) << d.response;
    // The waveform itself was stored.
    EXPECT_TRUE(sim->storedFile("G.iq") == expectedIq(f.waveform));
    ASSERT_TRUE(waitForLog(*sim, ":OUTPUT:MOD ON")) << sim->logText();
    EXPECT_FALSE(contains(sim->logText(), ":SOUR:RAD:ARB:STATe ON"));
}

TEST_F(PlaySequences, SerialLinkAsksAndDownloads) {
    auto sim = startSim({"--pty"});
    ASSERT_TRUE(sim);
    IoConfig c = serial(sim->ptyPath());
    c.RS232->baudrate = 19200;
    c.RS232->handshake = "Xon/Xoff";
    const FrameResult f = frame(2);
    // 32 x 65536 x 1.125 / 19200 / 60 = 2.048 minutes.
    ScriptedDialogs dialogs;
    dialogs.answerQuestion("OK");
    Status d = TARNDownLoadWrap(f.waveform, MarkerValues(f.marker1, f.marker2).rows(), "SERIAL", c,
                                dialogs);
    ASSERT_EQ(d.status, 0) << d.response;
    ASSERT_EQ(dialogs.shown().size(), 1u);
    EXPECT_EQ(dialogs.shown()[0].text,
              "This download will take approximately 2.0 minutes. Do you want to continue?");
    EXPECT_TRUE(sim->storedFile("SERIAL.iq") == expectedIq(f.waveform));
    EXPECT_TRUE(sim->storedFile("SERIAL.markers") == expectedMarkers(f));
    Status p = TARNPlay("SERIAL", InitializeSigGenSettings(2), c);
    EXPECT_EQ(p.status, 0) << p.response;
    EXPECT_EQ(query(c, ":RAD:ARB?"), "1");

    // Declined: nothing reaches the instrument.
    const std::size_t before = loggedCommands(sim->logText()).size();
    ScriptedDialogs no;
    no.answerQuestion("Cancel");
    Status n = TARNDownLoadWrap(f.waveform, MarkerValues(f.marker1, f.marker2).rows(), "NO", c, no);
    EXPECT_EQ(n.status, -1);
    EXPECT_EQ(loggedCommands(sim->logText()).size(), before);
}

// A playback or download the instrument did not take leaves the RF output
// off, and says so: a Refresh before any waveform is stored, a download the
// instrument refused while the output was on, and a cancel right after our
// own line switched the output on.
TEST_F(PlaySequences, AFailedSequenceLeavesTheRfOutputOff) {
    {
        auto sim = startSim({});
        ASSERT_TRUE(sim);
        const IoConfig c = lan(sim->rawAddress());
        Status p = TARNPlay("OneX-Rev", InitializeSigGenSettings(2), c);
        EXPECT_EQ(p.status, 5) << p.response;
        EXPECT_TRUE(contains(p.response, "-256,\"File name not found;OneX-Rev\"")) << p.response;
        EXPECT_TRUE(contains(p.response, "\". The RF output was switched off.")) << p.response;
        EXPECT_EQ(query(c, ":OUTP?"), "0");
        const auto cmds = loggedCommands(sim->logText());
        const auto at = [&](const std::string& line) {
            return std::find(cmds.begin(), cmds.end(), line) - cmds.begin();
        };
        EXPECT_LT(at(":output:state on"), at(":OUTPut:STATe OFF")) << sim->logText();
        EXPECT_LT(at(":OUTPut:STATe OFF"), static_cast<long>(cmds.size()));
    }
    {
        auto sim = startSim({"--reject-downloads"});
        ASSERT_TRUE(sim);
        const IoConfig c = lan(sim->rawAddress());
        ASSERT_EQ(hwSend(c, ":OUTP ON").status, 0);
        ASSERT_EQ(query(c, ":OUTP?"), "1");
        const FrameResult f = frame(2);
        ScriptedDialogs dialogs;
        Status d = TARNDownLoadWrap(f.waveform, MarkerValues(f.marker1, f.marker2).rows(), "R", c,
                                    dialogs);
        EXPECT_EQ(d.status, 5) << d.response;
        EXPECT_TRUE(contains(d.response, "-250,\"Mass storage error")) << d.response;
        EXPECT_TRUE(contains(d.response, "The RF output was switched off.")) << d.response;
        EXPECT_EQ(query(c, ":OUTP?"), "0");
    }
    auto sim = startSim({});
    ASSERT_TRUE(sim);
    const IoConfig c = lan(sim->rawAddress());
    const FrameResult f = frame(2);
    ScriptedDialogs dialogs;
    ASSERT_EQ(
        TARNDownLoadWrap(f.waveform, MarkerValues(f.marker1, f.marker2).rows(), "C", c, dialogs)
            .status,
        0);
    // The real driver, with a cancel requested once the output-on line went out.
    std::stop_source cancel;
    const HwIODriver previous =
        setHwIODriver([&](int32_t code, const DriverConfig& config, std::span<const HwArg> args) {
            Status s = builtinHwIO(code, config, args);
            const auto* line = args.empty() ? nullptr : std::get_if<std::string_view>(&args[0]);
            if (code == kHwSend && line && *line == " :output:state on") cancel.request_stop();
            return s;
        });
    Status p;
    {
        const CancelScope scope(cancel.get_token());
        p = TARNPlay("C", InitializeSigGenSettings(2), c);
    }
    setHwIODriver(previous);
    EXPECT_EQ(p.status, kCancelled);
    EXPECT_EQ(p.response, "Instrument setup cancelled. The RF output was switched off.");
    EXPECT_EQ(query(c, ":OUTP?"), "0");
}
