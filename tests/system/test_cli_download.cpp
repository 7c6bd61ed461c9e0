// onexrev-cli's instrument verbs as a user runs them against tarn-sim:
// download (with and without a correction file), play, ping, the RS-232
// question, and the connection options.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "Instrument/ConfigFile.h"
#include "MexIO/HwIO.h"
#include "OneX/Parameters.h"
#include "platform/Array.h"
#include "platform/MatFile.h"
#include "system/support_sim.h"

namespace fs = std::filesystem;
using namespace onex;
using namespace onex::testsim;
using C = std::complex<double>;

namespace {

std::vector<C> computed(double overSampling) {
    Parameters p = InitializeParameters();
    p.OverSampling = overSampling;
    const FrameResult frame = Calculate(p);
    return {frame.waveform.begin(), frame.waveform.end()};
}

// 16-bit codes as the instrument stores them: largest |I| or |Q| -> 32767,
// halves away from zero.
std::vector<int> codes(const std::vector<C>& w) {
    double peak = 0;
    for (const auto& x : w)
        peak = std::max({peak, std::fabs(x.real()), std::fabs(x.imag())});
    std::vector<int> out;
    for (const auto& x : w)
        for (double v : {x.real(), x.imag()})
            out.push_back(static_cast<int>(std::lround(v * (32767.0 / peak))));
    return out;
}

// The stored big-endian block back as codes.
std::vector<int> storedCodes(const std::vector<uint8_t>& bytes) {
    std::vector<int> out;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
        out.push_back(static_cast<int16_t>(static_cast<uint16_t>(bytes[i] << 8 | bytes[i + 1])));
    return out;
}

int largestCodeDifference(const std::vector<int>& a, const std::vector<int>& b) {
    if (a.size() != b.size()) return 1 << 30;
    int m = 0;
    for (std::size_t i = 0; i < a.size(); ++i)
        m = std::max(m, std::abs(a[i] - b[i]));
    return m;
}

// A correction file of flat responses (see tests/Instrument/CorrectionTestSupport.h
// for why their effect is known): record 1 halves Q (H = 2), record 2 rotates
// the waveform by conj(1/rf).
void writeCorrections(const fs::path& file, double rev2, C rf) {
    using platform::Array;
    std::vector<double> F;
    for (int i = 0; i < 21; ++i)
        F.push_back(1.899e9 + i * 1e5);
    const double nan = std::nan("");
    const std::vector<std::string> names = {"rev",     "F",  "H",  "ID",  "date",     "fltr",
                                            "modAttn", "cf", "bw", "pwr", "rfChannel"};
    Array a = Array::structArray({1, 2}, names);
    const double revs[2] = {1, rev2};
    const C hs[2] = {2.0, C(nan, 0)}, rfs[2] = {C(nan, 0), rf};
    for (std::size_t e = 0; e < 2; ++e) {
        a.setField("rev", Array(revs[e]), e);
        a.setField("F", Array::row(F), e);
        a.setField("H", Array::complexRow(std::vector<C>(F.size(), hs[e])), e);
        a.setField("rfChannel", Array::complexRow(std::vector<C>(F.size(), rfs[e])), e);
        a.setField("ID", Array::string("US00000001"), e);
        a.setField("date", Array::string("21-Aug-2002"), e);
        for (const char* n : {"fltr", "modAttn", "cf", "bw", "pwr"})
            a.setField(n, Array(0.0), e);
    }
    platform::writeMatFile(file, {{"TarnIqCorrectionData", a}});
}

class CliDownload : public ::testing::Test {
  protected:
    void SetUp() override {
        hwIOCloseAll();
        dir_ = fs::temp_directory_path() / ("onex_cli_download_" + std::to_string(::getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_ / "corrections");
    }
    void TearDown() override {
        hwIOCloseAll();
        fs::remove_all(dir_);
    }

    // Runs onexrev-cli in dir_ with the correction folder dir_/corrections
    // (and presses Ctrl+C after interruptAfter).
    Outcome cli(std::vector<std::string> args,
                std::optional<std::chrono::milliseconds> interruptAfter = std::nullopt) const {
        args.insert(args.begin(), std::string(ONEX_BIN_DIR) + "/onexrev-cli");
        return onex::testsim::runProgram(
            std::move(args), dir_, {{"ONEXREV_CORRECTIONS_DIR", (dir_ / "corrections").string()}},
            interruptAfter);
    }

    std::unique_ptr<SimProcess> sim(const std::vector<std::string>& args = {}) {
        return onex::testsim::startSim(args);
    }

    fs::path dir_;
};

}  // namespace

TEST_F(CliDownload, DownloadsTheComputedFrameAndPlaysIt) {
    auto s = sim();
    ASSERT_TRUE(s);
    Outcome r = cli({"download", "--tcpip", s->rawAddress(), "--set", "OverSampling=2", "--set",
                     "SigGen.Frequency=1.9e9", "--set", "SigGen.Title=CLI_WAVE"});
    ASSERT_EQ(r.rc, 0) << r.out << r.err;
    EXPECT_TRUE(contains(r.out, "Calculated 65536 samples at 2457600 Sa/s")) << r.out;
    EXPECT_TRUE(contains(r.out, "Connection: TCPIP " + s->rawAddress())) << r.out;
    EXPECT_TRUE(contains(r.out, "Corrections: none (")) << r.out;
    EXPECT_TRUE(contains(r.out, "TARNDownLoadWrap: status 0\n")) << r.out;
    EXPECT_TRUE(contains(r.out, "TARNPlay: status 0\n")) << r.out;
    EXPECT_TRUE(contains(
        r.out, "Download Completed: Waveform has been successfully transferred to the instrument"))
        << r.out;
    EXPECT_EQ(storedCodes(s->storedFile("CLI_WAVE.iq")), codes(computed(2)));
    // The play list ends with the return to local control.
    ASSERT_TRUE(waitForLog(*s, "LOCAL command")) << s->logText();
    EXPECT_TRUE(contains(s->logText(), ":source:freq:fix 1900000000Hz")) << s->logText();
    EXPECT_TRUE(contains(s->logText(), ":source:rad:arb:wav \"arbi:CLI_WAVE\"")) << s->logText();

    IoConfig c;
    c.type = "TCPIP";
    c.TCPIP->address = s->rawAddress();
    EXPECT_EQ(hwQuery(c, ":RAD:ARB?").response, "1");
    EXPECT_EQ(hwQuery(c, ":SYST:ERR?").response, "+0,\"No error\"");
}

TEST_F(CliDownload, CorrectionFileChangesTheDownloadedSamples) {
    auto s = sim();
    ASSERT_TRUE(s);
    const C rf = std::polar(1.0, 0.5);
    writeCorrections(dir_ / "corrections" / "US00000001 1.9 GHz.mat", 2, rf);
    Outcome r = cli({"download", "--tcpip", s->rawAddress(), "--set", "OverSampling=2", "--set",
                     "SigGen.Frequency=1.9e9"});
    ASSERT_EQ(r.rc, 0) << r.out << r.err;
    EXPECT_TRUE(contains(r.out, "US00000001 1.9 GHz.mat: 1 RF-channel and 1 I/Q correction(s)"))
        << r.out;

    // All RF-channel corrections (the rotation), then the I/Q ones (Q halved).
    std::vector<C> expected = computed(2);
    for (C& x : expected) {
        x *= std::conj(1.0 / rf);
        x = {x.real(), x.imag() * 0.5};
    }
    // The designed filters match the flat targets to about 1e-13, which can
    // move a code that lies on a rounding boundary by one.
    const auto stored = storedCodes(s->storedFile("OneX-Rev.iq"));
    EXPECT_LE(largestCodeDifference(stored, codes(expected)), 1);
    EXPECT_GT(largestCodeDifference(stored, codes(computed(2))), 1000);

    // rev 4 in the second record: the file is refused, the frame goes out as computed.
    writeCorrections(dir_ / "corrections" / "US00000001 1.9 GHz.mat", 4, rf);
    r = cli({"download", "--tcpip", s->rawAddress(), "--set", "OverSampling=2", "--set",
             "SigGen.Frequency=1.9e9"});
    ASSERT_EQ(r.rc, 0) << r.out << r.err;
    EXPECT_TRUE(contains(r.out, "Invalid data structure.")) << r.out;
    EXPECT_EQ(storedCodes(s->storedFile("OneX-Rev.iq")), codes(computed(2)));

    // Another carrier: another file name, which does not exist.
    r = cli({"download", "--tcpip", s->rawAddress(), "--set", "OverSampling=2", "--set",
             "SigGen.Frequency=2.45e9"});
    ASSERT_EQ(r.rc, 0) << r.out << r.err;
    EXPECT_TRUE(contains(r.out, "US00000001 2.5 GHz.mat")) << r.out;
}

TEST_F(CliDownload, Rs232AsksForConsent) {
    auto s = sim({"--pty"});
    ASSERT_TRUE(s);
    const std::string serial = s->ptyPath() + ",19200,Xon/Xoff";
    // 65536 samples at 19200 baud: 2.048 minutes.
    Outcome r = cli({"download", "--serial", serial, "--set", "OverSampling=2"});
    EXPECT_EQ(r.rc, 1) << r.out << r.err;
    EXPECT_TRUE(contains(r.err,
                         "This download will take approximately 2.0 minutes. Do you want to "
                         "continue?"))
        << r.err;
    EXPECT_TRUE(contains(r.out, "TARNDownLoadWrap: status -1: Download cancelled")) << r.out;
    EXPECT_TRUE(contains(r.err, "Error Occured During Waveform Download")) << r.err;
    EXPECT_FALSE(contains(s->logText(), "MMEM")) << s->logText();

    r = cli({"download", "--serial", serial, "--set", "OverSampling=2", "--yes"});
    ASSERT_EQ(r.rc, 0) << r.out << r.err;
    EXPECT_TRUE(contains(r.out, "RS232 " + s->ptyPath() + " at 19200 baud")) << r.out;
    EXPECT_EQ(storedCodes(s->storedFile("OneX-Rev.iq")), codes(computed(2)));
}

TEST_F(CliDownload, PlayAndPing) {
    auto s = sim();
    ASSERT_TRUE(s);
    Outcome r = cli({"ping", "--tcpip", s->rawAddress()});
    EXPECT_EQ(r.rc, 0) << r.err;
    EXPECT_TRUE(contains(r.out, "TARN-SIM")) << r.out;

    ASSERT_EQ(cli({"download", "--tcpip", s->rawAddress(), "--set", "OverSampling=2"}).rc, 0);
    r = cli({"play", "--tcpip", s->rawAddress(), "--set", "SigGen.Frequency=1e9", "--set",
             "SigGen.Amplitude=-5"});
    ASSERT_EQ(r.rc, 0) << r.out << r.err;
    EXPECT_TRUE(contains(r.out, "TARNPlay: status 0")) << r.out;
    ASSERT_TRUE(waitForLog(*s, "LOCAL command", 2)) << s->logText();
    IoConfig c;
    c.type = "TCPIP";
    c.TCPIP->address = s->rawAddress();
    EXPECT_EQ(hwQuery(c, ":FREQ?").response, "1000000000");
    EXPECT_EQ(hwQuery(c, ":POW?").response, "-5");
    hwIOCloseAll();
    // Play sends no waveform: the two blocks are the download's.
    const std::string log = s->logText();
    std::size_t blocks = 0;
    for (auto p = log.find("MMEMory:DATA"); p != std::string::npos;
         p = log.find("MMEMory:DATA", p + 1))
        ++blocks;
    EXPECT_EQ(blocks, 2u) << log;

    // Platform "c" with its four fields.
    r = cli({"play", "--tcpip", s->rawAddress(), "--platform", "c", "--set", "SigGen.BBfilter=2",
             "--set", "SigGen.Scaling=80", "--set", "SigGen.ModAtten=3", "--set", "SigGen.ALC=1"});
    EXPECT_EQ(r.rc, 0) << r.out << r.err;
    EXPECT_TRUE(contains(r.out, "TARNPlay_c: status 0")) << r.out;
    r = cli({"play", "--tcpip", s->rawAddress(), "--platform", "c"});
    EXPECT_EQ(r.rc, 1);
    EXPECT_TRUE(contains(r.out, "TARNPlay_c: status 1")) << r.out;
}

// The playback only counts when the instrument took it: an instrument that
// hangs up after the download's error query receives none of the playback
// lines, and one that refuses a setting says why.
TEST_F(CliDownload, APlaybackTheInstrumentDidNotTakeFails) {
    auto s = sim({"--hang-up-after", ":SYSTem:ERRor?"});
    ASSERT_TRUE(s);
    Outcome r = cli({"download", "--tcpip", s->rawAddress(), "--set", "OverSampling=2"});
    EXPECT_EQ(r.rc, 1) << r.out;
    EXPECT_TRUE(contains(r.out, "TARNDownLoadWrap: status 0\n")) << r.out;
    EXPECT_TRUE(contains(r.out, "TARNPlay: status 4: ")) << r.out;
    EXPECT_FALSE(contains(r.out, "Download Completed")) << r.out;
    EXPECT_TRUE(contains(r.err, "Error Occured During Instrument Setup")) << r.err;
    EXPECT_FALSE(contains(s->logText(), "CMD tcp#1 :source")) << s->logText();

    auto fresh = sim();
    ASSERT_TRUE(fresh);
    r = cli({"play", "--tcpip", fresh->rawAddress()});  // "OneX-Rev" was never stored
    EXPECT_EQ(r.rc, 1) << r.out;
    EXPECT_TRUE(contains(r.out,
                         "TARNPlay: status 5: The instrument refused a setting: "
                         "-256,\"File name not found;OneX-Rev\"; -221,"))
        << r.out;
    // The output-on line went out before the check: it is switched off again.
    EXPECT_TRUE(contains(r.out, "\". The RF output was switched off.\n")) << r.out;
    IoConfig c;
    c.type = "TCPIP";
    c.TCPIP->address = fresh->rawAddress();
    EXPECT_EQ(hwQuery(c, ":OUTP?").response, "0");
    hwIOCloseAll();
}

// Ctrl+C during a download against an instrument that never answers ends
// the wait at once, closes the connection and is no success.
TEST_F(CliDownload, CtrlCCancelsTheDownload) {
    auto s = sim({"--no-reply"});
    ASSERT_TRUE(s);
    const auto t0 = std::chrono::steady_clock::now();
    Outcome r = cli({"download", "--tcpip", s->rawAddress(), "--set", "OverSampling=2"},
                    std::chrono::milliseconds(1500));  // within the 5 s *IDN? wait
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(4));
    EXPECT_EQ(r.rc, 1) << r.out << r.err;
    EXPECT_TRUE(contains(r.err, "onexrev-cli: cancelled")) << r.err;
    EXPECT_FALSE(contains(r.out, "Download Completed")) << r.out;
    // The cancel ended the identity query: no correction file was looked for.
    EXPECT_TRUE(contains(r.out, "Corrections: none (not looked up: the operation was cancelled)"))
        << r.out;
    EXPECT_FALSE(contains(r.out, "applied")) << r.out;
    EXPECT_TRUE(waitForLog(*s, "CLOSE tcp#1")) << s->logText();
}

TEST_F(CliDownload, AbsentInstrumentFailsEveryVerb) {
    const std::string nowhere = "127.0.0.1:" + std::to_string(testsim::unusedLocalPort());
    Outcome r = cli({"ping", "--tcpip", nowhere});
    EXPECT_EQ(r.rc, 1);
    EXPECT_TRUE(contains(r.err, "No instrument answered")) << r.err;
    r = cli({"play", "--tcpip", nowhere});
    EXPECT_EQ(r.rc, 1);
    EXPECT_TRUE(contains(r.err, "Error Occured During Instrument Setup")) << r.err;
    EXPECT_TRUE(contains(r.out, "refused")) << r.out;
    r = cli({"download", "--tcpip", nowhere, "--set", "OverSampling=2"});
    EXPECT_EQ(r.rc, 1);
    EXPECT_TRUE(contains(r.err, "Error Occured During Waveform Download")) << r.err;
    EXPECT_TRUE(contains(r.out, "Corrections: none (")) << r.out;
    EXPECT_FALSE(contains(r.out, "TARNPlay")) << r.out;
    // GPIB without a GPIB library (or board) on this machine: a clear failure.
    r = cli({"ping", "--gpib", "0,19"});
    EXPECT_EQ(r.rc, 1);
    EXPECT_TRUE(contains(r.out, "Connection: GPIB board 0 primary 19 secondary -1")) << r.out;
    EXPECT_FALSE(r.err.empty());
}

TEST_F(CliDownload, ConnectionFromConfigurationFiles) {
    auto s = sim();
    ASSERT_TRUE(s);
    IoConfig c = startupIoConfig();
    c.type = "TCPIP";
    c.TCPIP->address = s->rawAddress();
    ASSERT_TRUE(saveConfig(c, dir_ / "lab.mat"));
    Outcome r = cli({"ping", "--config", "lab.mat"});
    EXPECT_EQ(r.rc, 0) << r.out << r.err;
    EXPECT_TRUE(contains(r.out, "TARN-SIM")) << r.out;
    // Without a connection option: rfIOConfig.mat of the working directory.
    ASSERT_TRUE(saveConfig(c, dir_ / "rfIOConfig.mat"));
    r = cli({"ping"});
    EXPECT_EQ(r.rc, 0) << r.out << r.err;
    EXPECT_TRUE(contains(r.out, "TARN-SIM")) << r.out;
    r = cli({"ping", "--config", "missing.mat"});
    EXPECT_EQ(r.rc, 1);
    EXPECT_TRUE(contains(r.err, "missing.mat does not exist")) << r.err;
}

TEST_F(CliDownload, BadConnectionOptionsAreUsageErrors) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"ping", "--tcpip", "127.0.0.1", "--serial", "1"},
          {"ping", "--serial", "1,fast"},
          {"ping", "--serial", "0"},
          {"ping", "--serial", "1,19200,maybe"},
          {"ping", "--gpib", "0"},
          {"ping", "--gpib", "0,31"},
          {"ping", "--gpib", "0,19,31"},  // secondary addresses end at 30
          {"play", "--tcpip", "127.0.0.1", "--platform", "d"}}) {
        Outcome r = cli(args);
        EXPECT_EQ(r.rc, 2) << args[1] << " " << args[2] << ": " << r.err;
        EXPECT_FALSE(r.err.empty());
    }
}
