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
    Parameters clean = p;
    return {clean, chipSamplingRate(p.OverSampling)};
}

double frameSeconds(const Parameters& p) {
    return double(kFrameChips) / kChipRate;
    (void)p;
}

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
        const std::vector<std::complex<double>> frame = Calculate(p, fs).waveform;
        CaptureRecipe r;
        r.rate = c.rate;
        r.loops = c.loops;
        r.delayS = c.delayS;
        r.freqHz = c.freqHz;
        r.phaseRad = 1.1;
        r.cnDb = 40;
        const auto capture = makeCapture(frame, fs, r);
        const CaptureAnalysis a = analyzeCapture(capture, c.rate, referenceOf(p));
        SCOPED_TRACE(testing::Message() << "capture at " << c.rate << " Hz");
        const double period = frameSeconds(p);
        EXPECT_NEAR(timeError(a.timeOffsetS, c.delayS, period), 0, 10e-9);
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
        std::printf(
            "%g Hz: dt %.3g ns df %.3g Hz dG %.3g dB dphi %.3g deg dC %.3g dB rho %.6f evm %.3f %% "
            "peak %.3f mag %.3f ph %.3f inactive %.2f frames %zu\n",
            c.rate, timeError(a.timeOffsetS, c.delayS, period) * 1e9, a.freqErrorHz - c.freqHz,
            a.iqGainImbalanceDb - c.gainDb, a.quadratureErrorDeg - c.quadDeg,
            a.iqOffsetDbc - c.leakDbc, a.rho, a.evmRmsPct, a.evmPeakPct, a.magErrorPct,
            a.phaseErrorDeg, a.maxInactiveDb, a.frames);
    }
}
