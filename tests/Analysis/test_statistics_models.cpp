// The CCDF, I/Q, eye and scatter models against distributions and layouts
// reasoned out independently.

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <random>
#include <vector>

#include "Analysis/Ccdf.h"
#include "Analysis/EyeScatter.h"
#include "Analysis/IqTime.h"
#include "platform/Error.h"

using namespace onex::analysis;
using C = std::complex<double>;

namespace {

// Percent of samples expected at or above a level, against the count seen:
// within four standard deviations of the count plus 1 %.
void expectFollows(const CcdfModel& m, double downToPercent, std::size_t n) {
    for (std::size_t k = 0; k < m.X.size(); ++k) {
        if (m.Y1[k] < downToPercent) break;
        const double expected = m.Y1[k] / 100 * n, seen = m.Y[k] / 100 * n;
        EXPECT_NEAR(seen, expected, 4 * std::sqrt(expected) + 0.01 * expected)
            << "at " << m.X[k] << " dB";
    }
}

}  // namespace

TEST(CcdfModel, ConstantEnvelopeIsAllAtZeroDb) {
    std::mt19937 gen(7);
    std::uniform_real_distribution<double> phase(0, 2 * std::numbers::pi);
    std::vector<C> x(100000);
    for (C& v : x)
        v = std::polar(0.7, phase(gen));
    const auto m = ccdfModel(x);
    ASSERT_EQ(m.X.size(), 201u);
    EXPECT_EQ(m.Y[0], 100);
    for (std::size_t k = 1; k < m.Y.size(); ++k)
        EXPECT_LT(m.Y[k], 1e-299) << k;
    EXPECT_EQ(m.maxX, 20);
    EXPECT_EQ(m.yMin, 0.001);
    EXPECT_FALSE(m.realWave);
}

TEST(CcdfModel, GaussianNoiseFollowsItsReference) {
    std::mt19937 gen(11);
    std::normal_distribution<double> g(0, 1);
    const std::size_t n = 1000000;
    std::vector<C> complexNoise(n), realNoise(n);
    for (std::size_t k = 0; k < n; ++k) {
        complexNoise[k] = {g(gen), g(gen)};
        realNoise[k] = {g(gen), 0};
    }
    const auto mc = ccdfModel(complexNoise);
    EXPECT_FALSE(mc.realWave);
    EXPECT_NEAR(mc.Y1[0], 100 * std::exp(-1.0), 1e-12);
    expectFollows(mc, 0.1, n);

    const auto mr = ccdfModel(realNoise);
    EXPECT_TRUE(mr.realWave);
    EXPECT_NEAR(mr.Y1[0], 100 * std::erfc(1 / std::numbers::sqrt2), 1e-12);
    expectFollows(mr, 0.1, n);
}

TEST(CcdfModel, AxisRangeFromThePeak) {
    // One sample r times the average power among N - 1 samples of power 1:
    // P = r (N - 1) / (N - r).
    auto peakAt = [](double db) {
        const double n = 10000, r = std::pow(10, db / 10);
        std::vector<C> x(10000, C(1, 0));
        x[0] = std::sqrt(r * (n - 1) / (n - r));
        return ccdfModel(x);
    };
    EXPECT_EQ(peakAt(12).maxX, 20);
    const auto m = peakAt(25);
    EXPECT_NEAR(m.maxX, 25.25, 1e-9);
    EXPECT_NEAR(m.X[1], 25.25 / 200, 1e-12);
    // Only the peak sample reaches the top levels: 0.01 % there, and the
    // axis goes down to 0.001 % (the lower of the two).
    EXPECT_DOUBLE_EQ(m.Y[198], 0.01);
    EXPECT_TRUE(m.realWave);
    EXPECT_EQ(m.yMin, 0.001);

    const auto t = ccdfModel({});
    EXPECT_TRUE(t.testData);
    EXPECT_FALSE(t.realWave);
    EXPECT_EQ(ccdfTestWaveform().size(), 1000u);
    EXPECT_NEAR(std::abs(ccdfTestWaveform()[0]), 0.5, 1e-12);  // am = 1.5 + cos(-pi)
}

TEST(IqTimeModel, TimeUnitsRangesAndTestPattern) {
    auto m = iqTimeModel(std::vector<C>(32768, C(0.1, 0)), 1.2288e6);
    EXPECT_EQ(m.tUnits, "mS");
    EXPECT_NEAR(m.tMax, 26.6666666667, 1e-9);
    EXPECT_DOUBLE_EQ(m.t.back(), m.tMax);
    m = iqTimeModel(std::vector<C>(8, C(0.1, 0)), 1e9);
    EXPECT_EQ(m.tUnits, "nS");
    EXPECT_NEAR(m.tMax, 8, 1e-12);
    for (double bad : {0.0, -5.0})
        EXPECT_EQ(iqTimeModel(std::vector<C>(2, C(1, 1)), bad).sampleRate, 1);

    m = iqTimeModel(std::vector<C>{{-0.2, -0.5}, {0.9, 0.3}}, 1);
    EXPECT_EQ(m.iMax, 0.9);
    EXPECT_EQ(m.iMin, -0.9);

    m = iqTimeModel({}, 1);
    ASSERT_TRUE(m.testData);
    ASSERT_EQ(m.i.size(), 100u);
    // Two whole turns from -2 pi to 2 pi: both ends at angle 0 mod 2 pi.
    EXPECT_NEAR(m.i.front(), 1, 1e-12);
    EXPECT_NEAR(m.i.back(), 1, 1e-12);
    EXPECT_NEAR(m.q.back(), 0, 1e-12);
    EXPECT_EQ(DetermineTimeUnits(5e-6).units, "uS");
    EXPECT_EQ(DetermineTimeUnits(1e-13).units, "pS");
}

TEST(EyeScatterModels, TracesAndPointsStartAtTheOffset) {
    std::vector<C> x(100);
    for (std::size_t k = 0; k < x.size(); ++k)
        x[k] = {static_cast<double>(k), -static_cast<double>(k)};
    const auto e = eyediagram(x, 8, 2e-6, 3);
    EXPECT_EQ(e.traces, 12u);  // (100 - 3) / 8 whole traces
    ASSERT_EQ(e.i.size(), 96u);
    EXPECT_EQ(e.i[0], 3);
    EXPECT_EQ(e.i[8], 11);
    EXPECT_EQ(e.q[95], -98);
    EXPECT_DOUBLE_EQ(e.t[1], 2e-6 / 8);
    EXPECT_TRUE(e.complexInput);
    EXPECT_FALSE(eyediagram(std::vector<C>(10, C(1, 0)), 2, 1, 0).complexInput);

    const auto s = scatterplot(x, 4, 2, true);
    EXPECT_EQ(s.i, (std::vector<double>{2,  6,  10, 14, 18, 22, 26, 30, 34, 38, 42, 46, 50,
                                        54, 58, 62, 66, 70, 74, 78, 82, 86, 90, 94, 98}));
    ASSERT_EQ(s.traceI.size(), 98u);
    EXPECT_EQ(s.traceQ.front(), -2);
    EXPECT_TRUE(scatterplot(x, 4, 2, false).traceI.empty());
}

TEST(EyeScatterModels, ArgumentErrorsCarryTheRoutinesTexts) {
    const std::vector<C> x(10, C(1, 1));
    auto eyeError = [&](std::span<const C> in, double n, double period, double offset) {
        try {
            eyediagram(in, n, period, offset);
        } catch (const onex::Error& e) {
            return std::string(e.what());
        }
        return std::string("no error");
    };
    EXPECT_EQ(eyeError({}, 4, 1, 0), "Input variable X is empty.");
    EXPECT_EQ(eyeError(x, 4, 0, 0), "PERIOD must be a positive number.");
    EXPECT_EQ(eyeError(x, 1, 1, 0), "N must be an integer greater than 1.");
    EXPECT_EQ(eyeError(x, 2.5, 1, 0), "N must be an integer greater than 1.");
    EXPECT_EQ(eyeError(x, 4, 1, 4), "OFFSET must be a integer in the range 0 <= OFFSET < N.");
    EXPECT_EQ(eyeError(x, 4, 1, -1), "OFFSET must be a integer in the range 0 <= OFFSET < N.");
    EXPECT_THROW(scatterplot({}, 1, 0, false), onex::Error);
    EXPECT_THROW(scatterplot(x, 0, 0, false), onex::Error);
    EXPECT_THROW(scatterplot(x, 1, 0.5, false), onex::Error);
    try {
        scatterplot(x, 1, -1, false);
        FAIL();
    } catch (const onex::Error& e) {
        EXPECT_STREQ(e.what(), "OFFSET must be a nonnegative integer.");
    }
}

TEST(EyeScatterModels, DialogAnswersBecomeSamples) {
    auto e = eyeSettingsFromAnswers(2, 0.5, 5, 163840);
    EXPECT_EQ(e.samplesPerTrace, 10);
    EXPECT_EQ(e.delaySamples, 3);  // 2.5 rounds away from zero
    e = eyeSettingsFromAnswers(NAN, NAN, 5, 163840);
    EXPECT_EQ(e.samplesPerTrace, 5);
    EXPECT_EQ(e.delaySamples, 5);
    e = eyeSettingsFromAnswers(1e9, -1, 5, 163840);
    EXPECT_EQ(e.samplesPerTrace, 163840);
    EXPECT_EQ(e.delaySamples, 0);
    EXPECT_EQ(eyeSettingsFromAnswers(-3, 7, 4, 100).samplesPerTrace, 4);
    EXPECT_EQ(traceFlagFromAnswer(0.4), 0);
    EXPECT_EQ(traceFlagFromAnswer(0.6), 1);
    EXPECT_EQ(traceFlagFromAnswer(7), 1);
    EXPECT_EQ(traceFlagFromAnswer(-2), 0);
}
