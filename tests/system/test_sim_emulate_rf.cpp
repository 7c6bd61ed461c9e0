// tarn-sim as a transmitter: a frame downloaded with onexrev-cli is "sent"
// with known impairments, and the capture analysis reads them back within
// the accuracy it promises.

#include <gtest/gtest.h>
#include <unistd.h>

#include <bit>
#include <cmath>
#include <complex>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "Analysis/CaptureAnalysis.h"
#include "OneX/AirInterface.h"
#include "OneX/FrameBuilder.h"
#include "system/support_sim.h"

namespace fs = std::filesystem;
using namespace onex;
using namespace onex::testsim;

namespace {

// A cf32_le data file.
std::vector<std::complex<float>> readCf32(const fs::path& file) {
    const std::string bytes = slurp(file);
    std::vector<std::complex<float>> out(bytes.size() / 8);
    const auto word = [&](std::size_t at) {
        std::uint32_t u = 0;
        for (int k = 3; k >= 0; --k)
            u = u << 8 | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(k)]);
        return std::bit_cast<float>(u);
    };
    for (std::size_t i = 0; i < out.size(); ++i)
        out[i] = {word(8 * i), word(8 * i + 4)};
    return out;
}

class EmulateRf : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("onex_emulate_rf_" + std::to_string(::getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_ / "corrections");
    }
    void TearDown() override { fs::remove_all(dir_); }

    Outcome cli(std::vector<std::string> args) const {
        args.insert(args.begin(), std::string(ONEX_BIN_DIR) + "/onexrev-cli");
        return runProgram(std::move(args), dir_,
                          {{"ONEXREV_CORRECTIONS_DIR", (dir_ / "corrections").string()}});
    }

    fs::path dir_;
};

}  // namespace

TEST_F(EmulateRf, TheAnalysisReadsBackTheTransmittersErrors) {
    const fs::path base = dir_ / "air";
    const double rate = 10e6, freqHz = 1234.5, gainDb = 0.4, quadDeg = 1.5, leakDbc = -30;
    const std::size_t offset = 12345;
    auto s = startSim({"--emulate-rf",           base.string() + ".sigmf-meta",
                       "--emulate-rate",         "10e6",
                       "--emulate-frames",       "4",
                       "--emulate-offset",       std::to_string(offset),
                       "--emulate-freq-error",   "1234.5",
                       "--emulate-iq-gain",      "0.4",
                       "--emulate-quad-error",   "1.5",
                       "--emulate-carrier-leak", "-30",
                       "--emulate-cn",           "40",
                       "--emulate-seed",         "7"});
    ASSERT_TRUE(s);
    // Every channel on at distinct gains, the default oversampling.
    Parameters p = InitializeParameters();
    p.RRIactive = p.DRCactive = p.ACKactive = p.DATAactive = 1;
    p.DRCrelGain = -3;
    p.ACKrelGain = 2;
    p.DATArelGain = 4.5;
    p.DataRate = 3;
    const Outcome r =
        cli({"download", "--tcpip", s->rawAddress(), "--set", "RRIactive=1", "--set", "DRCactive=1",
             "--set", "ACKactive=1", "--set", "DATAactive=1", "--set", "DRCrelGain=-3", "--set",
             "ACKrelGain=2", "--set", "DATArelGain=4.5", "--set", "DataRate=3"});
    ASSERT_EQ(r.rc, 0) << r.out << r.err;
    // The play that switched the output on wrote the recording before it was
    // answered, so it is there once the download has returned.
    ASSERT_TRUE(contains(s->logText(), "EMULATE " + base.string())) << s->logText();
    const std::string meta = slurp(base.string() + ".sigmf-meta");
    EXPECT_TRUE(contains(meta, "\"core:sample_rate\": 10000000,")) << meta;
    EXPECT_TRUE(contains(meta, "played from sample 12345")) << meta;

    const double fs = chipSamplingRate(p.OverSampling);
    const auto capture = readCf32(base.string() + ".sigmf-data");
    const double frameSeconds = double(kFrameChips) / kChipRate;
    ASSERT_EQ(capture.size(), static_cast<std::size_t>(std::llround(4 * frameSeconds * rate)));

    const analysis::CaptureAnalysis a = analysis::analyzeCapture(capture, rate, {p, fs});
    EXPECT_NEAR(a.freqErrorHz, freqHz, 0.5);
    EXPECT_NEAR(a.iqGainImbalanceDb, gainDb, 0.02);
    EXPECT_NEAR(a.quadratureErrorDeg, quadDeg, 0.05);
    EXPECT_NEAR(a.iqOffsetDbc, leakDbc, 0.5);
    for (const analysis::ChannelPower& c : a.channels) {
        ASSERT_TRUE(c.active && c.measuredDb);
        EXPECT_NEAR(*c.measuredDb, c.configuredDb, 0.05);
    }
    // The loop's sample `offset` is the recording's first: the frame starts
    // where the rest of the loop has played (within one recorder sample).
    const double frameSamples = frameSeconds * fs;
    EXPECT_NEAR(a.timeOffsetS, (frameSamples - double(offset)) / fs, 1 / rate + 10e-9);
}

// A recording no analysis could take is refused at start, before any play.
TEST_F(EmulateRf, RefusesRecordingsThatCannotBeMade) {
    const std::string sim = std::string(ONEX_BIN_DIR) + "/tarn-sim";
    const std::string file = (dir_ / "x").string();
    for (const std::vector<std::string>& bad :
         {std::vector<std::string>{"--emulate-rate", "1e3"}, {"--emulate-frames", "0"}}) {
        std::vector<std::string> args = {sim, "--port", "0", "--emulate-rf", file};
        args.insert(args.end(), bad.begin(), bad.end());
        const Outcome r = runProgram(args, dir_);
        EXPECT_EQ(r.rc, 2) << bad[0];
        EXPECT_TRUE(contains(r.err, "--emulate-rf:")) << r.err;
    }
    // The recorder's options mean nothing without a recording.
    const Outcome r = runProgram({sim, "--port", "0", "--emulate-rate", "5e6"}, dir_);
    EXPECT_NE(r.rc, 0);
    EXPECT_TRUE(contains(r.err, "--emulate-rf")) << r.err;
}

// A long waveform at a high clock makes a short recording from a long loop:
// the loop is bounded as the recording is, and the play goes on without a
// recording.
TEST_F(EmulateRf, ALoopTooLongToRecordIsRefusedAtThePlay) {
    const fs::path base = dir_ / "long";
    auto s = startSim({"--emulate-rf", base.string(), "--emulate-rate", "1.2288e6",
                       "--emulate-frames", "64", "--emulate-offset", "0"});
    ASSERT_TRUE(s);
    // 983040 samples a loop: 64 loops are 62914560 samples played, 2097152
    // recorded.
    const Outcome r = cli({"download", "--tcpip", s->rawAddress(), "--set", "OverSampling=30"});
    ASSERT_EQ(r.rc, 0) << r.out << r.err;
    EXPECT_TRUE(contains(s->logText(), "EMULATE FAILED")) << s->logText();
    EXPECT_TRUE(contains(s->logText(), "would take 62914560 samples")) << s->logText();
    EXPECT_FALSE(fs::exists(base.string() + ".sigmf-data"));
}
