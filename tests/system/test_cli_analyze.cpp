// onexrev-cli analyze as a user runs it: our own files read back (the loop
// closed through calculate --out), a raw capture at another rate, and every
// refusal with its exit code and reason.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <regex>

#include "Analysis/CaptureTestSupport.h"
#include "OneX/FrameBuilder.h"
#include "system/CliTestSupport.h"
#include "system/support_sim.h"

namespace fs = std::filesystem;
using onex::testsim::Outcome;

namespace {

class CliAnalyze : public onex::testsim::CliFolderTest {
  protected:
    CliAnalyze() : CliFolderTest("cli_analyze") {}
};

std::vector<std::string> joined(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// A number of the JSON text by its key (the keys are unique but for those
// of the channels, which this does not read).
double field(const std::string& json, const std::string& key) {
    std::smatch m;
    if (!std::regex_search(json, m, std::regex("\"" + key + "\":(-?[0-9.eE+-]+)")))
        throw std::runtime_error(key + " not in " + json);
    return std::stod(m[1]);
}

const std::vector<std::string> kChannels = {"--set", "DRCactive=1",  "--set", "ACKactive=1",
                                            "--set", "DATAactive=1", "--set", "DRCrelGain=-4"};

}  // namespace

// The frame with impairments as calculate writes it, as MAT-file and as
// SigMF recording, reads back the impairments asked for; without them it is
// perfect.
TEST_F(CliAnalyze, ReadsBackCalculatedFrames) {
    const std::vector<std::string> impaired = {
        "--set", "IQGainImbalance=0.7", "--set", "QuadratureError=-1.5",
        "--set", "CarrierLeakage=-35",  "--set", "FreqError=1000"};
    for (const char* name : {"frame.mat", "frame.sigmf-data"}) {
        ASSERT_EQ(
            cli(joined(joined({"calculate", "--out", at(name).string()}, kChannels), impaired)).rc,
            0);
        const Outcome a = cli(joined({"analyze", at(name).string(), "--json"}, kChannels));
        ASSERT_EQ(a.rc, 0) << a.err;
        EXPECT_NEAR(field(a.out, "freq_error_hz"), 1012.5, 0.5) << name;  // snapped
        EXPECT_NEAR(field(a.out, "iq_gain_imbalance_db"), 0.7, 0.02) << name;
        EXPECT_NEAR(field(a.out, "quadrature_error_deg"), -1.5, 0.05) << name;
        EXPECT_NEAR(field(a.out, "iq_offset_dbc"), -35, 0.5) << name;
        EXPECT_NEAR(field(a.out, "time_offset_s"), 0, 1e-9) << name;
        EXPECT_NEAR(field(a.out, "phase_deg"), 0, 0.01) << name;
    }
    ASSERT_EQ(cli(joined({"calculate", "--out", at("clean.mat").string()}, kChannels)).rc, 0);
    const Outcome a = cli(joined({"analyze", at("clean.mat").string(), "--json"}, kChannels));
    ASSERT_EQ(a.rc, 0) << a.err;
    EXPECT_GT(field(a.out, "rho"), 0.99999);
    EXPECT_LT(field(a.out, "evm_rms_pct"), 0.1);
    EXPECT_NEAR(field(a.out, "freq_error_hz"), 0, 0.5);
    EXPECT_NEAR(field(a.out, "iq_gain_imbalance_db"), 0, 0.02);
    EXPECT_NEAR(field(a.out, "quadrature_error_deg"), 0, 0.05);
    EXPECT_LT(field(a.out, "iq_offset_dbc"), -50);
    std::smatch drc;
    ASSERT_TRUE(
        std::regex_search(a.out, drc, std::regex("\"drc\":\\{[^}]*\"measured_db\":([^,}]+)")));
    EXPECT_NEAR(std::stod(drc[1]), -4, 0.001);
}

// A capture at 10 MHz starting mid-frame with a carrier offset, as raw cf32
// and ci16 samples; the table names what was read.
TEST_F(CliAnalyze, RawCaptureAtAnotherRate) {
    onex::Parameters p = onex::InitializeParameters();
    p.DRCactive = p.ACKactive = p.DATAactive = 1;
    p.DRCrelGain = -4;
    const double fs = onex::chipSamplingRate(p.OverSampling);
    onex::capturetest::CaptureRecipe r;
    r.rate = 10e6;
    r.delayS = 12.3456789e-3;
    r.freqHz = -8765.4;
    r.cnDb = 45;
    const auto capture = onex::capturetest::makeCapture(onex::Calculate(p, fs).waveform, fs, r);
    {
        std::ofstream f(at("cap.cf32"), std::ios::binary);
        f.write(reinterpret_cast<const char*>(capture.data()),
                static_cast<std::streamsize>(capture.size() * sizeof capture[0]));
        std::ofstream g(at("cap.ci16"), std::ios::binary);
        for (const auto& v : capture)
            for (float x : {v.real(), v.imag()}) {
                const auto s = static_cast<std::int16_t>(std::lround(x * 16384));
                g.put(static_cast<char>(s & 0xFF)).put(static_cast<char>((s >> 8) & 0xFF));
            }
    }
    for (const char* format : {"cf32", "ci16"}) {
        const Outcome a = cli(joined({"analyze", at(std::string("cap.") + format).string(),
                                      "--format", format, "--rate", "10e6", "--json"},
                                     kChannels));
        ASSERT_EQ(a.rc, 0) << a.err;
        EXPECT_NEAR(field(a.out, "time_offset_s"), r.delayS, 10e-9) << format;
        EXPECT_NEAR(field(a.out, "freq_error_hz"), r.freqHz, 0.5) << format;
        EXPECT_GT(field(a.out, "rho"), 0.999) << format;
        EXPECT_EQ(field(a.out, "frames"), 2) << format;
    }
    const Outcome table = cli(joined(
        {"analyze", at("cap.cf32").string(), "--format", "cf32", "--rate", "1e7"}, kChannels));
    ASSERT_EQ(table.rc, 0) << table.err;
    EXPECT_NE(table.out.find("(raw samples)"), std::string::npos) << table.out;
    EXPECT_NE(table.out.find("2 frames analysed"), std::string::npos) << table.out;

    // The resampler is a module loaded for this only: without it the
    // analysis says so and gives no figures.
    const Outcome missing = onex::testsim::runProgram(
        joined({std::string(ONEX_BIN_DIR) + "/onexrev-cli", "analyze", at("cap.cf32").string(),
                "--format", "cf32", "--rate", "1e7"},
               kChannels),
        dir_, {{"ONEXREV_RESAMPLE_MODULE", at("none.so").string()}});
    EXPECT_EQ(missing.rc, 1);
    EXPECT_NE(missing.err.find("Capture analysis: The resampler module libonexrev-resample.so "
                               "cannot be loaded: it is not installed (looked for " +
                               at("none.so").string()),
              std::string::npos)
        << missing.err;
    EXPECT_EQ(missing.out, "");
}

TEST_F(CliAnalyze, RefusesWithReasons) {
    ASSERT_EQ(cli(joined({"calculate", "--out", at("f.sigmf-data").string()}, kChannels)).rc, 0);
    struct Case {
        std::vector<std::string> args;
        int rc;
        std::string says;
    };
    const std::string meta = at("f.sigmf-meta").string(), data = at("f.sigmf-data").string();
    const Case cases[] = {
        // Other long-code masks: nothing correlates.
        {joined({"analyze", meta, "--set", "IMask=123"}, kChannels), 1, "no frame found"},
        {{"analyze", at("missing.mat").string()}, 1, "No such file or directory"},
        {{"analyze", at("x.bin").string(), "--rate", "1e7"}, 2, "needs --format"},
        {{"analyze", meta, "--format", "cf32"}, 2, "--format: only for raw"},
        {{"analyze", meta, "--frames", "17"}, 2, "--frames 17"},
        {{"analyze", meta, "--plot", "spectrum"}, 2, "--plot and --out go together"},
    };
    for (const Case& c : cases) {
        const Outcome o = cli(c.args);
        EXPECT_EQ(o.rc, c.rc) << c.says << ": " << o.err;
        EXPECT_NE(o.err.find(c.says), std::string::npos) << o.err;
    }
    // A recording cut short inside a sample, then one of whole samples but
    // shorter than a frame.
    fs::resize_file(data, fs::file_size(data) - 3);
    Outcome o = cli(joined({"analyze", meta}, kChannels));
    EXPECT_EQ(o.rc, 1);
    EXPECT_NE(o.err.find("not a whole number of samples of 8 bytes"), std::string::npos) << o.err;
    fs::resize_file(data, 8 * 100000);
    o = cli(joined({"analyze", meta}, kChannels));
    EXPECT_EQ(o.rc, 1);
    EXPECT_NE(o.err.find("too short: it holds 16.276 ms (100000 samples at 6144000 Hz)"),
              std::string::npos)
        << o.err;
}
