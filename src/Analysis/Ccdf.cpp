#include "Analysis/Ccdf.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace onex::analysis {

namespace {
constexpr std::size_t kTestLength = 1000;
constexpr double kFloor = 1e-300;
constexpr double kMinRangeDb = 20;
constexpr double kRangeMargin = 1.01;
constexpr std::size_t kSteps = 200;
constexpr double kYMinBound = 0.001;
// Levels this close below a threshold still count as reaching it: the average
// of a constant envelope differs from each sample in the last bits.
constexpr double kToleranceDb = 1e-9;

struct Powers {
    std::vector<double> p;
    double mean = 0;
};

Powers powers(std::span<const std::complex<double>> wave) {
    Powers r;
    r.p.resize(wave.size());
    r.mean = samplePowers(wave, r.p).mean;
    return r;
}

}  // namespace

SamplePowers samplePowers(std::span<const std::complex<double>> wave, std::span<double> out) {
    SamplePowers r;
    double minP = HUGE_VAL;
    // Long double keeps the sum of a million terms exact enough that a
    // constant envelope averages to itself within the tolerance.
    long double sum = 0;
    for (std::size_t i = 0; i < wave.size(); ++i) {
        const double p = std::norm(wave[i]);
        out[i] = p;
        r.sum += p;
        sum += p;
        r.peak = std::max(r.peak, p);
        minP = std::min(minP, p);
    }
    if (minP == 0) {
        sum = 0;
        for (double& v : out.first(wave.size())) {
            v += kFloor;
            sum += v;
        }
    }
    double s = static_cast<double>(sum);
    if (s == 0) s = kFloor;
    r.mean = s / static_cast<double>(wave.size());
    return r;
}

bool isRealWaveform(std::span<const std::complex<double>> wave) {
    return std::none_of(wave.begin(), wave.end(),
                        [](const std::complex<double>& x) { return x.imag() != 0; });
}

std::vector<double> relativePowerDb(std::span<const std::complex<double>> wave) {
    if (wave.empty()) return {};
    Powers pw = powers(wave);
    const double a = powerDb(pw.mean);
    for (double& v : pw.p)
        v = relativeDb(v, a);
    return std::move(pw.p);
}

double gaussianCcdfPercent(double xDb, bool realNoise) {
    if (realNoise) return 100 * std::erfc(std::pow(10, xDb / 20) / std::numbers::sqrt2);
    return 100 * std::exp(-std::pow(10, xDb / 10));
}

std::vector<std::complex<double>> ccdfTestWaveform() {
    std::vector<std::complex<double>> w(kTestLength);
    const double last = static_cast<double>(kTestLength - 1);
    for (std::size_t i = 0; i < kTestLength; ++i) {
        const double t1 = -std::numbers::pi + 2 * std::numbers::pi * static_cast<double>(i) / last;
        const double t2 =
            -10 * std::numbers::pi + 20 * std::numbers::pi * static_cast<double>(i) / last;
        const double am = 1.5 + std::cos(t1);
        w[i] = {am * std::cos(t2), am * std::sin(t2)};
    }
    return w;
}

CcdfModel ccdfModel(std::span<const std::complex<double>> wave) {
    CcdfModel m;
    std::vector<std::complex<double>> test;
    if (wave.empty()) {
        test = ccdfTestWaveform();
        wave = test;
        m.testData = true;
    }
    const std::size_t points = wave.size();
    m.realWave = isRealWaveform(wave);

    Powers pw = powers(wave);
    const double maxP = *std::max_element(pw.p.begin(), pw.p.end());
    const double maxRel = relativeDb(maxP, powerDb(pw.mean));
    m.maxX = std::max(maxRel, kMinRangeDb);
    if (m.maxX > kMinRangeDb) m.maxX *= kRangeMargin;

    m.X.resize(kSteps + 1);
    for (std::size_t k = 0; k <= kSteps; ++k)
        m.X[k] = m.maxX * static_cast<double>(k) / kSteps;

    // A sample counts at every level up to its own: with the thresholds in
    // linear power, the number of thresholds at or below its power is found
    // by bisection, and a histogram of those numbers gives every count in
    // one pass (no sort).
    std::vector<double> threshold(kSteps + 1);
    for (std::size_t k = 0; k <= kSteps; ++k)
        threshold[k] = pw.mean * std::pow(10, (m.X[k] - kToleranceDb) / 10);
    std::vector<std::size_t> histogram(kSteps + 2, 0);
    for (double p : pw.p) {
        const auto reached = std::upper_bound(threshold.begin(), threshold.end(), p);
        ++histogram[static_cast<std::size_t>(reached - threshold.begin())];
    }
    pw.p.clear();
    pw.p.shrink_to_fit();

    m.Y.resize(kSteps + 1);
    std::size_t atOrAbove = 0;  // samples reaching threshold k
    for (std::size_t k = kSteps + 1; k-- > 0;) {
        atOrAbove += histogram[k + 1];
        m.Y[k] = static_cast<double>(atOrAbove) * 100 / static_cast<double>(points);
    }

    m.Y1.resize(kSteps + 1);
    for (std::size_t k = 0; k <= kSteps; ++k)
        m.Y1[k] = gaussianCcdfPercent(m.X[k], m.realWave);

    m.yMin = *std::min_element(m.Y.begin(), m.Y.end());
    if (m.yMin == 0) {
        for (std::size_t k = m.Y.size(); k-- > 0;)
            if (m.Y[k] > 0) {
                m.yMin = m.Y[k];
                break;
            }
        for (double& y : m.Y)
            y += kFloor;
    }
    m.yMin = std::min(m.yMin, kYMinBound);
    return m;
}

}  // namespace onex::analysis
