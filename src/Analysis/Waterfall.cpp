#include "Analysis/Waterfall.h"

#include <algorithm>
#include <cmath>

#include "Analysis/Spectrum.h"
#include "Analysis/Units.h"
#include "platform/Fft.h"

namespace onex::analysis {

namespace {
constexpr double kMinSamplesPerSlice = 10;
constexpr double kDbRange = 100;
constexpr double kFloorFactor = 1e-20;
constexpr std::size_t kTestRows = 5, kTestColumns = 10;
}  // namespace

WaterfallModel waterfallModel(std::span<const std::complex<double>> wave, double sampleRate,
                              double period) {
    WaterfallModel m;
    m.sampleRate = sampleRate > 0 ? sampleRate : 1;
    const double minPeriod = kMinSamplesPerSlice / m.sampleRate;
    m.period = period > 0 ? std::max(period, minPeriod) : minPeriod;
    const std::size_t points = wave.size();

    std::vector<double> power;
    if (points > 0) {
        // Whole samples per slice; the small tolerance keeps an exact
        // product such as 10.000000000000002 at 10.
        const double perSlice = std::ceil(m.period * m.sampleRate - 1e-9);
        m.columns = static_cast<std::size_t>(
            std::clamp(perSlice, kMinSamplesPerSlice, static_cast<double>(points)));
        m.rows = (points + m.columns - 1) / m.columns;
        power.resize(m.rows * m.columns);
        std::vector<std::complex<double>> slice(m.columns);
        const std::size_t n = m.columns, shift = n - n / 2;
        for (std::size_t r = 0; r < m.rows; ++r) {
            const std::size_t begin = r * n;
            const std::size_t have = std::min(n, points - begin);
            std::copy_n(wave.begin() + static_cast<std::ptrdiff_t>(begin), have, slice.begin());
            std::fill(slice.begin() + static_cast<std::ptrdiff_t>(have), slice.end(), 0.0);
            platform::fftInPlace(slice);
            double* row = power.data() + begin;
            for (std::size_t j = 0; j < n; ++j)
                row[j] = std::norm(slice[j < n / 2 ? j + shift : j + shift - n]);
        }
        m.frequency.resize(n);
        const FrequencyUnits fu = DetermineFrequencyUnits(m.sampleRate);
        for (std::size_t j = 0; j < n; ++j)
            m.frequency[j] = centredBinFrequency(j, n, m.sampleRate) / fu.divider;
        m.fUnits = fu.units;
        const TimeUnits tu = DetermineTimeUnits(static_cast<double>(points) / m.sampleRate);
        m.tUnits = tu.units;
        m.time.resize(m.rows);
        for (std::size_t r = 0; r < m.rows; ++r)
            m.time[r] = static_cast<double>(r * n) / m.sampleRate * tu.multiplier;
    } else {
        // A pattern that shows the axes work: one quadrant 6 dB down.
        m.testData = true;
        m.rows = kTestRows;
        m.columns = kTestColumns;
        power.assign(m.rows * m.columns, 1.0);
        for (std::size_t r = 0; r < m.rows / 2; ++r)
            for (std::size_t c = 0; c < m.columns / 2; ++c)
                power[r * m.columns + c] = 0.25;  // 0.5 squared
        const FrequencyUnits fu = DetermineFrequencyUnits(m.sampleRate);
        m.fUnits = fu.units;
        const double half = m.sampleRate / (2 * fu.divider);
        m.frequency.resize(m.columns);
        for (std::size_t j = 0; j < m.columns; ++j)
            m.frequency[j] =
                -half + 2 * half * static_cast<double>(j) / static_cast<double>(m.columns - 1);
        const TimeUnits tu = DetermineTimeUnits(static_cast<double>(m.rows) * m.period);
        m.tUnits = tu.units;
        m.time.resize(m.rows);
        for (std::size_t r = 0; r < m.rows; ++r)
            m.time[r] = static_cast<double>(r) * m.period * tu.multiplier;
    }
    const FrequencyUnits fu = DetermineFrequencyUnits(m.sampleRate);
    m.fMax = m.sampleRate / (2 * fu.divider);
    m.fMin = -m.fMax;

    const double maxP = *std::max_element(power.begin(), power.end());
    const double floorP = maxP > 0 ? maxP * kFloorFactor : kFloorFactor;
    m.level.resize(power.size());
    double lo = HUGE_VAL, hi = -HUGE_VAL;
    for (std::size_t k = 0; k < power.size(); ++k) {
        const double db = 10 * std::log10(std::max(power[k], floorP));
        m.level[k] = db;
        lo = std::min(lo, db);
        hi = std::max(hi, db);
    }
    m.mMax = 10 * std::ceil(hi / 10);
    m.mMin = 10 * std::floor(lo / 10);
    if (m.mMin < m.mMax - kDbRange) m.mMin = m.mMax - kDbRange;
    if (m.mMin >= m.mMax) m.mMin = m.mMax - 10;
    return m;
}

}  // namespace onex::analysis
