#include "Analysis/IqTime.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "Analysis/Units.h"

namespace onex::analysis {

namespace {
constexpr std::size_t kTestPoints = 100;
}

IqTimeModel iqTimeModel(std::span<const std::complex<double>> wave, double sampleRate) {
    IqTimeModel m;
    m.sampleRate = sampleRate > 0 ? sampleRate : 1;
    std::size_t points = wave.size();
    if (points > 0) {
        m.i.resize(points);
        m.q.resize(points);
        for (std::size_t k = 0; k < points; ++k) {
            m.i[k] = wave[k].real();
            m.q[k] = wave[k].imag();
        }
    } else {
        m.testData = true;
        points = kTestPoints;
        m.i.resize(points);
        m.q.resize(points);
        const double step = 4 * std::numbers::pi / static_cast<double>(points - 1);
        for (std::size_t k = 0; k < points; ++k) {
            const double a = -2 * std::numbers::pi + step * static_cast<double>(k);
            m.i[k] = std::cos(a);
            m.q[k] = std::sin(a);
        }
    }

    double peak = 0;
    for (std::size_t k = 0; k < points; ++k)
        peak = std::max({peak, std::abs(m.i[k]), std::abs(m.q[k])});
    if (!(peak > 0) || !std::isfinite(peak)) peak = 1;
    m.iMax = peak;
    m.iMin = -peak;

    const double period = static_cast<double>(points) / m.sampleRate;
    const TimeUnits u = DetermineTimeUnits(period);
    m.tUnits = u.units;
    m.multiplier = u.multiplier;
    m.tMax = period * m.multiplier;
    m.t.resize(points);
    const double step = points > 1 ? m.tMax / static_cast<double>(points - 1) : 0;
    for (std::size_t k = 0; k < points; ++k)
        m.t[k] = step * static_cast<double>(k);
    return m;
}

}  // namespace onex::analysis
