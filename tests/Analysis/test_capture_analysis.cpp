// The capture receiver against captures made independently of it (see
// CaptureTestSupport.h): every figure against the values the capture was
// made with.

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <vector>

#include "Analysis/CaptureAnalysis.h"
#include "Analysis/CaptureReport.h"
#include "CaptureTestSupport.h"
#include "NoiseGain.h"
#include "OneX/BasebandFilter.h"
#include "OneX/FrameBuilder.h"
#include "platform/Error.h"

using namespace onex;
using namespace onex::analysis;
using onex::capturetest::CaptureRecipe;
using onex::capturetest::makeCapture;

namespace {

// Every channel on at distinct gains, the default oversampling (6.144 MHz).
Parameters busyFrame() {
    Parameters p = InitializeParameters();
    p.RRIactive = 1;
    p.RRIvalue = 3;
    p.DRCactive = p.ACKactive = p.DATAactive = 1;
    p.DRCrelGain = -3;
    p.ACKrelGain = 2;
    p.DATArelGain = 4.5;
    p.DataRate = 3;
    p.slot.ACKslotActive.assign(16, 0.0);
    for (std::size_t k : {1, 4, 9})
        p.slot.ACKslotActive[k] = 1;
    return p;
}

CaptureReference referenceOf(const Parameters& p) {
    return {p, chipSamplingRate(p.OverSampling)};
}

// The frame of p at its own clock and a capture of it.
std::vector<std::complex<float>> captureOf(const Parameters& p, const CaptureRecipe& r) {
    const double fs = chipSamplingRate(p.OverSampling);
    return makeCapture(Calculate(p, fs).waveform, fs, r);
}

const double kFrameSeconds = double(kFrameChips) / kChipRate;

// Time difference modulo the frame, in (-T/2, T/2].
double timeError(double measured, double truth, double period) {
    return std::remainder(measured - truth, period);
}

void expectChannelsMet(const CaptureAnalysis& a, double tolerance) {
    for (std::size_t k = 0; k < kCodeChannels; ++k) {
        const ChannelPower& c = a.channels[k];
        ASSERT_TRUE(c.active) << codeChannelName(static_cast<CodeChannel>(k));
        EXPECT_NEAR(*c.measuredDb, c.configuredDb, tolerance)
            << codeChannelName(static_cast<CodeChannel>(k));
    }
}

}  // namespace

// The transmitter's errors, from the impairments module, read back through
// captures at four rates with any start, fractional delays and carrier
// offsets up to 20 kHz, at C/N 40 dB.
TEST(CaptureAnalysis, ReadsBackTimeFrequencyAndIqErrors) {
    struct Case {
        double rate;
        std::size_t loops;
        double delayS, freqHz, gainDb, quadDeg, leakDbc;
    };
    const Case cases[] = {
        {2.4576e6, 2, 3.3e-3 + 0.37 / 2.4576e6, 19876.3, 0.5, 2.0, -30},
        {5e6, 3, 17.9e-3 + 0.71 / 5e6, -19999.0, -1.2, -3.5, -40},
        {10e6, 3, 26.6e-3, 7.31, 0.05, 0.3, -25},
        {25e6, 3, 0.04e-3 + 0.123e-9, -12345.6, 2.5, 8.0, -45},
    };
    for (const Case& c : cases) {
        Parameters p = busyFrame();
        p.IQGainImbalance = c.gainDb;
        p.QuadratureError = c.quadDeg;
        p.CarrierLeakage = c.leakDbc;
        const double fs = chipSamplingRate(p.OverSampling);
        const FrameResult frame = Calculate(p, fs);
        CaptureRecipe r;
        r.rate = c.rate;
        r.loops = c.loops;
        r.delayS = c.delayS;
        r.freqHz = c.freqHz;
        r.phaseRad = 1.1;
        r.cnDb = 40;
        const auto capture = makeCapture(frame.waveform, fs, r);
        const CaptureAnalysis a = analyzeCapture(capture, c.rate, referenceOf(p));
        SCOPED_TRACE(testing::Message() << "capture at " << c.rate << " Hz");
        EXPECT_NEAR(timeError(a.timeOffsetS, c.delayS, kFrameSeconds), 0, 10e-9);
        EXPECT_NEAR(a.freqErrorHz, c.freqHz, 0.5);
        EXPECT_NEAR(a.iqGainImbalanceDb, c.gainDb, 0.02);
        EXPECT_NEAR(a.quadratureErrorDeg, c.quadDeg, 0.05);
        EXPECT_NEAR(a.iqOffsetDbc, c.leakDbc, 0.5);
        // The carrier phase at the frame start.
        const double phase = r.phaseRad + 2 * std::numbers::pi * c.freqHz * a.timeOffsetS;
        EXPECT_NEAR(
            std::remainder(a.phaseDeg * std::numbers::pi / 180 - phase, 2 * std::numbers::pi), 0,
            0.01);
        expectChannelsMet(a, 0.05);
        EXPECT_GT(a.rho, 0.999);
    }
}

// The origin offset is read down to -50 dBc, and a transmitter without errors
// reads none.
TEST(CaptureAnalysis, SmallOriginOffsetsAndNone) {
    Parameters p = busyFrame();
    p.CarrierLeakage = -50;
    CaptureRecipe r;
    r.rate = 5e6;
    r.delayS = 9.87654e-3;
    r.freqHz = 1234.5;
    r.cnDb = 40;
    CaptureAnalysis a = analyzeCapture(captureOf(p, r), r.rate, referenceOf(p));
    EXPECT_NEAR(a.iqOffsetDbc, -50, 0.5);

    p.CarrierLeakage = -INFINITY;
    a = analyzeCapture(captureOf(p, r), r.rate, referenceOf(p));
    EXPECT_LT(a.iqOffsetDbc, -65);
    EXPECT_NEAR(a.iqGainImbalanceDb, 0, 0.02);
    EXPECT_NEAR(a.quadratureErrorDeg, 0, 0.05);
}

// With white noise alone the corrected chips are the ideal chips plus noise
// of g 10^(-CN/10) times their power: rho = 1 / (1 + g 10^(-CN/10)), g the
// equaliser's noise gain (about 1.02 for the IS-95 filters). Also EVM^2 =
// 1/rho - 1 for errors that small.
TEST(CaptureAnalysis, RhoUnderNoiseFollowsTheory) {
    const Parameters p = busyFrame();
    const double g = capturetest::equaliserNoiseGain(p.OverSampling, p.FilterType);
    for (double cn : {10.0, 20.0, 30.0}) {
        CaptureRecipe r;
        r.rate = 7.68e6;
        r.loops = 2;
        r.delayS = 1e-3 * cn;
        r.freqHz = -300 * cn;
        r.cnDb = cn;
        r.seed = static_cast<std::uint32_t>(cn);
        CaptureAnalysisOptions o;
        o.maxFrames = 1;
        const CaptureAnalysis a = analyzeCapture(captureOf(p, r), r.rate, referenceOf(p), o);
        const double theory = 1 / (1 + g * std::pow(10, -cn / 10));
        EXPECT_NEAR(a.rho, theory, 0.002) << "C/N " << cn;
        EXPECT_NEAR(a.evmRmsPct / 100, std::sqrt(1 / a.rho - 1), 0.002) << "C/N " << cn;
        expectChannelsMet(a, cn >= 20 ? 0.05 : 0.2);
    }
}

// Much noise is measured, not taken for another signal: its error is flat,
// not shaped like the frame's spectrum.
TEST(CaptureAnalysis, MeasuresThroughHeavyNoise) {
    const Parameters p = busyFrame();
    CaptureRecipe r;
    r.rate = 5e6;
    r.cnDb = -5;
    r.freqHz = 15e3;
    r.delayS = 20e-3;
    const CaptureAnalysis a = analyzeCapture(captureOf(p, r), r.rate, referenceOf(p));
    const double theory =
        1 / (1 + capturetest::equaliserNoiseGain(p.OverSampling, p.FilterType) * std::pow(10, 0.5));
    EXPECT_NEAR(a.rho, theory, 0.01);
    EXPECT_NEAR(a.freqErrorHz, 15e3, 0.5);
    EXPECT_NEAR(timeError(a.timeOffsetS, r.delayS, kFrameSeconds), 0, 10e-9);
}

// The frame as calculated, at its own clock: no resampling, every figure
// exact but for the capture's float samples.
TEST(CaptureAnalysis, TheCleanFrameReadsPerfect) {
    Parameters p = busyFrame();
    p.OverSampling = 4;
    p.FilterType = 2;
    const FrameResult f = Calculate(p);
    std::vector<std::complex<float>> capture;
    for (int loop = 0; loop < 2; ++loop)
        for (const auto& v : f.waveform)
            capture.emplace_back(v);
    // Start about a third of the way into the frame.
    const std::size_t skip = f.waveform.size() / 3;
    std::rotate(capture.begin(), capture.begin() + static_cast<long>(skip), capture.end());
    const CaptureAnalysis a = analyzeCapture(capture, chipSamplingRate(4), referenceOf(p));
    EXPECT_EQ(a.frames, 2u);
    EXPECT_NEAR(a.timeOffsetS, double(f.waveform.size() - skip) / chipSamplingRate(4), 1e-12);
    EXPECT_NEAR(a.freqErrorHz, 0, 0.5);
    EXPECT_LT(a.iqOffsetDbc, -100);
    EXPECT_NEAR(a.iqGainImbalanceDb, 0, 1e-4);
    EXPECT_NEAR(a.quadratureErrorDeg, 0, 1e-4);
    EXPECT_GT(a.rho, 0.99999);
    EXPECT_LT(a.evmRmsPct, 0.1);
    expectChannelsMet(a, 0.001);
    EXPECT_LT(a.maxInactiveDb, -80);
    // The capture's own spectrum: at 4.9 MHz the 1.98 MHz offsets are within
    // reach, the channel's power is inside 1.3 MHz.
    EXPECT_GT(a.obwHz, 1.1e6);
    EXPECT_LT(a.obwHz, 1.3e6);
    for (const AcprPoint& acpr : a.acpr)
        ASSERT_TRUE(acpr.dbc.has_value());
    const std::string json = captureJson(a);
    for (const char* key :
         {"\"time_offset_s\":", "\"freq_error_hz\":", "\"iq_offset_dbc\":", "\"evm_peak_pct\":",
          "\"max_inactive_db\":", "\"channels\":{\"pilot\"", "\"acpr_dbc\":{\"-1980000\":"})
        EXPECT_NE(json.find(key), std::string::npos) << key;
}

// Input that holds no frame of the parameter set is refused with a reason,
// never measured.
TEST(CaptureAnalysis, RefusesWhatHoldsNoFrame) {
    const Parameters p = busyFrame();
    CaptureRecipe r;
    r.rate = 5e6;
    r.cnDb = 30;
    std::vector<std::complex<float>> capture = captureOf(p, r);
    auto failure = [&](const std::vector<std::complex<float>>& c, const Parameters& q,
                       double rate = 5e6) -> std::string {
        try {
            analyzeCapture(c, rate, referenceOf(q));
        } catch (const NoFrameFound& e) {
            return std::string("no frame: ") + e.what();
        } catch (const Error& e) {
            return e.what();
        }
        return "accepted";
    };
    // Other long-code masks.
    Parameters other = p;
    other.IMask = 0x1234567;
    EXPECT_NE(failure(capture, other).find("no frame: Capture analysis: no frame found"),
              std::string::npos);
    // The pilot alone where the capture has every channel: found in part only.
    Parameters pilot = InitializeParameters();
    EXPECT_NE(failure(capture, pilot).find("matches the frame of the parameter set only in part"),
              std::string::npos);
    // Noise alone.
    Parameters quiet = p;
    CaptureRecipe noise = r;
    noise.cnDb = -40;
    EXPECT_NE(failure(captureOf(quiet, noise), p).find("no frame: "), std::string::npos);
    // Too short, with both lengths.
    const std::vector<std::complex<float>> shortOne(capture.begin(), capture.begin() + 100000);
    EXPECT_NE(failure(shortOne, p).find("holds 20.000 ms (100000 samples at 5000000 Hz)"),
              std::string::npos);
    // A sample that is not a number, named by its place.
    std::vector<std::complex<float>> bad = capture;
    bad[4321] = {NAN, 0};
    EXPECT_NE(failure(bad, p).find("sample 4321 (counted from 0) is not a finite number"),
              std::string::npos);
    EXPECT_NE(failure(std::vector<std::complex<float>>(capture.size()), p).find("no signal"),
              std::string::npos);
    EXPECT_NE(failure(capture, p, 1e6).find("1.2288 MHz to 100 MHz"), std::string::npos);
}
