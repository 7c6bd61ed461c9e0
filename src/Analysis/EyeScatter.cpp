#include "Analysis/EyeScatter.h"

#include <algorithm>
#include <cmath>

#include "platform/Error.h"
#include "platform/Numeric.h"

namespace onex::analysis {

namespace {

bool isWhole(double v) {
    return std::isfinite(v) && v == std::floor(v);
}

double limitOf(double peak) {
    return peak > 0 && std::isfinite(peak) ? peak : 1;
}

}  // namespace

EyeModel eyediagram(std::span<const std::complex<double>> x, double n, double period,
                    double offset) {
    if (x.empty()) throw Error("Input variable X is empty.");
    if (!(period > 0) || !std::isfinite(period)) throw Error("PERIOD must be a positive number.");
    if (!isWhole(n) || n <= 1) throw Error("N must be an integer greater than 1.");
    if (!isWhole(offset) || offset < 0 || offset >= n)
        throw Error("OFFSET must be a integer in the range 0 <= OFFSET < N.");

    EyeModel m;
    m.n = static_cast<std::size_t>(n);
    m.period = period;
    m.offset = static_cast<std::size_t>(offset);
    m.complexInput = std::any_of(x.begin(), x.end(),
                                 [](const std::complex<double>& v) { return v.imag() != 0; });
    m.traces = x.size() > m.offset ? (x.size() - m.offset) / m.n : 0;
    m.t.resize(m.n);
    for (std::size_t j = 0; j < m.n; ++j)
        m.t[j] = static_cast<double>(j) * period / static_cast<double>(m.n);
    const std::size_t count = m.traces * m.n;
    m.i.resize(count);
    if (m.complexInput) m.q.resize(count);
    double peak = 0;
    for (std::size_t k = 0; k < count; ++k) {
        const std::complex<double> v = x[m.offset + k];
        m.i[k] = v.real();
        peak = std::max(peak, std::abs(v.real()));
        if (m.complexInput) {
            m.q[k] = v.imag();
            peak = std::max(peak, std::abs(v.imag()));
        }
    }
    m.amplitude = limitOf(peak);
    return m;
}

ScatterModel scatterplot(std::span<const std::complex<double>> x, double n, double offset,
                         bool trace) {
    if (x.empty()) throw Error("Input variable X is empty.");
    if (!isWhole(n) || n < 1) throw Error("N must be a positive integer.");
    if (!isWhole(offset) || offset < 0) throw Error("OFFSET must be a nonnegative integer.");

    ScatterModel m;
    const auto step = static_cast<std::size_t>(n);
    const auto first = static_cast<std::size_t>(std::min(offset, static_cast<double>(x.size())));
    double peak = 0;
    for (std::size_t k = first; k < x.size(); k += step) {
        m.i.push_back(x[k].real());
        m.q.push_back(x[k].imag());
    }
    if (trace) {
        m.traceI.reserve(x.size() - first);
        m.traceQ.reserve(x.size() - first);
        for (std::size_t k = first; k < x.size(); ++k) {
            m.traceI.push_back(x[k].real());
            m.traceQ.push_back(x[k].imag());
        }
    }
    for (std::size_t k = first; k < x.size(); ++k)
        peak = std::max({peak, std::abs(x[k].real()), std::abs(x[k].imag())});
    m.limit = limitOf(peak) * 1.1;
    return m;
}

PlotArguments windowArguments(double n, double offset, double period) {
    PlotArguments a;
    a.n = std::max(1.0, n);
    a.offset = std::min(a.n - 1, std::max(0.0, offset));
    a.period = period == 0 ? 1 : period;
    return a;
}

double delayInSamples(double delay, double oversampling) {
    return std::round(platform::clampValue(delay, 0, 1) * oversampling);
}

EyeSettings eyeSettingsFromAnswers(double symbols, double delay, double oversampling,
                                   std::size_t length) {
    // max(1, NaN) is 1: an unreadable count shows one symbol.
    double s = std::isnan(symbols) ? 1 : std::max(1.0, symbols);
    s = std::round(s);
    s = std::min(s, static_cast<double>(length) / oversampling);
    EyeSettings e;
    e.samplesPerTrace = s * oversampling;
    e.delaySamples = delayInSamples(delay, oversampling);
    return e;
}

double traceFlagFromAnswer(double answer) {
    return platform::clampValue(std::round(answer), 0, 1);
}

}  // namespace onex::analysis
