#include "Analysis/Spectrum.h"

#include <algorithm>
#include <cmath>

#include "Analysis/Units.h"
#include "platform/Fft.h"

namespace onex::analysis {

namespace {
constexpr double kFloorFactor = 1e-20;
constexpr double kDbGrid = 10;
constexpr double kDbRange = 100;
constexpr double kTestSpectrum[] = {0.001, 0.01, 0.1, 0.5, 1, 1, 0.5, 0.1, 0.01, 0.001};
}  // namespace

double centredBinFrequency(std::size_t j, std::size_t n, double sampleRate) {
    const double k = static_cast<double>(j) - static_cast<double>(n / 2);
    return k * sampleRate / static_cast<double>(n);
}

CentredSpectrum::CentredSpectrum(std::span<const std::complex<double>> wave, double sampleRate)
    : bins_(platform::acquireLargeArray<std::complex<double>>(wave.size())),
      sampleRate_(sampleRate),
      binWidthHz_(wave.empty() ? 0 : sampleRate / static_cast<double>(wave.size())) {
    std::copy(wave.begin(), wave.end(), bins_.items.begin());
    platform::fftInPlace(bins_.items);
}

void CentredSpectrum::prepare(std::size_t samples) {
    platform::planFftInPlace(samples);
}

PowerSpectrum powerSpectrum(std::span<const std::complex<double>> wave, double sampleRate) {
    const CentredSpectrum c(wave, sampleRate);
    const std::size_t n = c.size();
    PowerSpectrum s;
    s.power.resize(n);
    s.frequencyHz.resize(n);
    s.binWidthHz = c.binWidthHz();
    for (std::size_t j = 0; j < n; ++j) {
        s.power[j] = c.power(j);
        s.frequencyHz[j] = c.frequencyHz(j);
    }
    return s;
}

SpectrumModel spectrumModel(std::span<const std::complex<double>> wave, double sampleRate) {
    SpectrumModel m;
    m.sampleRate = sampleRate > 0 ? sampleRate : 1;
    const FrequencyUnits u = DetermineFrequencyUnits(m.sampleRate);
    m.divider = u.divider;
    m.fUnits = u.units;
    m.fMax = m.sampleRate / (2 * m.divider);
    m.fMin = -m.fMax;

    std::vector<double> tmp;
    if (!wave.empty()) {
        PowerSpectrum s = powerSpectrum(wave, m.sampleRate);
        tmp = std::move(s.power);
        m.f = std::move(s.frequencyHz);
        for (double& f : m.f)
            f /= m.divider;
    } else {
        // Not a transform: ten values spread over the axis.
        m.testData = true;
        for (double v : kTestSpectrum)
            tmp.push_back(v * v);
        const std::size_t n = tmp.size();
        m.f.resize(n);
        for (std::size_t i = 0; i < n; ++i)
            m.f[i] = m.fMin + static_cast<double>(i) * 2 * m.fMax / static_cast<double>(n - 1);
    }

    const auto [lo, hi] = std::minmax_element(tmp.begin(), tmp.end());
    const double minP = *lo, maxP = *hi;
    double add = 0;
    if (minP == 0) add = maxP == 0 ? kFloorFactor : kFloorFactor * maxP;
    // 10 log10(p + add) - 10 log10(max + add): the peak lands on 0 dB.
    const double ref = maxP + add;
    m.magSignal.resize(tmp.size());
    double minDb = 0;
    for (std::size_t i = 0; i < tmp.size(); ++i) {
        const double db = 10 * std::log10((tmp[i] + add) / ref);
        m.magSignal[i] = db;
        minDb = std::min(minDb, db);
    }
    m.mMax = 0;
    m.mMin = kDbGrid * std::floor(minDb / kDbGrid);
    if (m.mMin < m.mMax - kDbRange) m.mMin = m.mMax - kDbRange;
    if (m.mMin >= m.mMax) m.mMin = m.mMax - kDbGrid;
    return m;
}

}  // namespace onex::analysis
