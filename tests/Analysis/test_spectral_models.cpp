// The spectrum and waterfall models against transforms worked out by hand:
// a complex tone's energy sits in one bin whose frequency is known.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>
#include <vector>

#include "Analysis/Spectrum.h"
#include "Analysis/Units.h"
#include "Analysis/Waterfall.h"

using namespace onex::analysis;
using C = std::complex<double>;

namespace {

std::vector<C> tone(std::size_t n, double cyclesPerSample) {
    std::vector<C> x(n);
    for (std::size_t k = 0; k < n; ++k)
        x[k] = std::polar(1.0, 2 * std::numbers::pi * cyclesPerSample * static_cast<double>(k));
    return x;
}

std::size_t argmax(const std::vector<double>& v) {
    return static_cast<std::size_t>(std::max_element(v.begin(), v.end()) - v.begin());
}

}  // namespace

TEST(SpectrumModel, AToneLandsInItsBinAtItsFrequency) {
    const double fs = 6.4e6;
    for (int k0 : {-5, 0, 7, -32}) {
        const auto m = spectrumModel(tone(64, k0 / 64.0), fs);
        const std::size_t peak = argmax(m.magSignal);
        EXPECT_NEAR(m.f[peak], k0 * fs / 64 / 1e6, 1e-12) << "tone bin " << k0;
        EXPECT_EQ(m.magSignal[peak], 0);
        // Every other bin is (numerically) empty: floored far below.
        for (std::size_t j = 0; j < m.f.size(); ++j)
            if (j != peak) {
                EXPECT_LT(m.magSignal[j], -150) << j;
            }
    }
    // Four samples: the bins sit at -fs/2, -fs/4, 0, +fs/4, and a constant
    // lands at 0 (not at +fs/2).
    const auto m4 = spectrumModel(std::vector<C>(4, C(1, 0)), 4000);
    EXPECT_EQ(m4.f, (std::vector<double>{-2, -1, 0, 1}));
    EXPECT_EQ(argmax(m4.magSignal), 2u);
    // Odd length: zero frequency in the middle.
    const auto p = powerSpectrum(tone(5, 0.2), 5);
    EXPECT_EQ(p.frequencyHz, (std::vector<double>{-2, -1, 0, 1, 2}));
    EXPECT_NEAR(p.power[3], 25, 1e-9);
}

TEST(SpectrumModel, UnitsAndAxisFromTheSampleRate) {
    auto m = spectrumModel(tone(8, 0), 6144000);
    EXPECT_EQ(m.fUnits, "MHz");
    EXPECT_EQ(m.divider, 1e6);
    EXPECT_DOUBLE_EQ(m.fMin, -3.072);
    EXPECT_DOUBLE_EQ(m.fMax, 3.072);
    EXPECT_EQ(DetermineFrequencyUnits(999).units, "Hz");
    EXPECT_EQ(DetermineFrequencyUnits(1000).units, "kHz");
    EXPECT_EQ(DetermineFrequencyUnits(2000).units, "kHz");
    EXPECT_EQ(DetermineFrequencyUnits(999999).units, "kHz");
    EXPECT_EQ(DetermineFrequencyUnits(1e9).units, "GHz");
    EXPECT_EQ(DetermineFrequencyUnits(0.5).units, "GHz");
    for (double bad : {0.0, -5.0}) {
        m = spectrumModel(tone(8, 0), bad);
        EXPECT_EQ(m.fUnits, "Hz");
        EXPECT_EQ(m.fMax, 0.5);
        EXPECT_EQ(m.fMin, -0.5);
    }
}

TEST(SpectrumModel, TestSpectrumRangeCutAndFlatSpectrum) {
    auto m = spectrumModel({}, 1000);
    ASSERT_TRUE(m.testData);
    ASSERT_EQ(m.magSignal.size(), 10u);
    EXPECT_DOUBLE_EQ(m.magSignal[4], 0);
    EXPECT_NEAR(m.magSignal[0], -60, 1e-9);
    EXPECT_EQ(m.mMin, -60);
    EXPECT_EQ(m.mMax, 0);
    EXPECT_DOUBLE_EQ(m.f.front(), -0.5);
    EXPECT_DOUBLE_EQ(m.f.back(), 0.5);

    // A tone 1e-7 in amplitude beside a full one lies 140 dB down: cut at 100.
    auto x = tone(32, 0);
    const auto weak = tone(32, 3.0 / 32);
    for (std::size_t k = 0; k < x.size(); ++k)
        x[k] += 1e-7 * weak[k];
    m = spectrumModel(x, 1);
    EXPECT_NEAR(m.magSignal[16 + 3], -140, 1e-6);
    EXPECT_EQ(m.mMin, -100);

    // All zeros: a flat line at 0 dB still gets a range to show it in.
    m = spectrumModel(std::vector<C>(16), 1);
    for (double v : m.magSignal)
        EXPECT_EQ(v, 0);
    EXPECT_LT(m.mMin, m.mMax);
}

TEST(WaterfallModel, AChirpsPeakMovesAcrossFrequencyInTimeOrder) {
    // Instantaneous frequency from -fs/4 to +fs/4 over the record.
    const std::size_t n = 32768;
    const double fs = 1.2288e6;
    std::vector<C> x(n);
    double phase = 0;
    for (std::size_t k = 0; k < n; ++k) {
        const double f = -fs / 4 + fs / 2 * static_cast<double>(k) / n;
        x[k] = std::polar(1.0, phase);
        phase += 2 * std::numbers::pi * f / fs;
    }
    const auto m = waterfallModel(x, fs, n / fs / 200);
    EXPECT_EQ(m.columns, 164u);  // ceil(32768 / 200)
    EXPECT_EQ(m.rows, 200u);
    EXPECT_EQ(m.fUnits, "MHz");
    EXPECT_EQ(m.tUnits, "mS");
    EXPECT_EQ(m.time[0], 0);
    EXPECT_NEAR(m.time[1], 164 / fs * 1e3, 1e-12);
    for (std::size_t r = 0; r + 1 < m.rows; r += 20) {
        std::vector<double> row(m.level.begin() + static_cast<std::ptrdiff_t>(r * m.columns),
                                m.level.begin() + static_cast<std::ptrdiff_t>((r + 1) * m.columns));
        const double mid = -fs / 4 + fs / 2 * (r + 0.5) * 164 / n;
        EXPECT_NEAR(m.frequency[argmax(row)] * 1e6, mid, 2 * fs / 164) << "slice " << r;
    }
}

TEST(WaterfallModel, LevelIsPowerAndGuardsHold) {
    // A constant j: its zero-frequency bin is n*j, whose real part is 0.
    auto m = waterfallModel(std::vector<C>(40, C(0, 1)), 1, 20);
    EXPECT_EQ(m.columns, 20u);
    EXPECT_EQ(m.rows, 2u);
    EXPECT_NEAR(m.at(0, 10), 10 * std::log10(400.0), 1e-9);
    EXPECT_EQ(m.frequency[10], 0);

    // Shorter than ten samples: ten samples; the last slice zero-padded.
    m = waterfallModel(std::vector<C>(25, C(1, 0)), 100, 0.01);
    EXPECT_EQ(m.columns, 10u);
    EXPECT_EQ(m.rows, 3u);
    EXPECT_NEAR(m.at(2, 5), 10 * std::log10(25.0), 1e-9);
    EXPECT_DOUBLE_EQ(m.period, 0.1);
    m = waterfallModel(std::vector<C>(25, C(1, 0)), -1, 0);
    EXPECT_EQ(m.sampleRate, 1);
    EXPECT_EQ(m.columns, 10u);

    // Empty: the 5 x 10 pattern, one quadrant 6 dB down.
    m = waterfallModel({}, 1e6, 1e-3);
    ASSERT_TRUE(m.testData);
    EXPECT_EQ(m.rows, 5u);
    EXPECT_EQ(m.columns, 10u);
    EXPECT_NEAR(m.at(0, 0), -6.0206, 1e-4);
    EXPECT_EQ(m.at(4, 9), 0);
    EXPECT_EQ(m.mMax, 0);
    EXPECT_EQ(m.mMin, -10);

    // 150 dB between strongest and weakest bins: the top 100 dB.
    std::vector<C> x = tone(100, 0);
    const auto weak = tone(100, 0.25);
    for (std::size_t k = 0; k < x.size(); ++k)
        x[k] = x[k] * 1e3 + weak[k] * 10.0 * std::pow(10.0, -150.0 / 20);
    m = waterfallModel(x, 1, 100);
    EXPECT_EQ(m.mMax, 100);
    EXPECT_EQ(m.mMin, 0);
}
