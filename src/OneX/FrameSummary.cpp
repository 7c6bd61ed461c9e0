#include "OneX/FrameSummary.h"

#include "OneX/BasebandFilter.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace onex {

FrameSummary summarizeFrame(std::span<const std::complex<double>> waveform) {
    FrameSummary s;
    s.samples = waveform.size();
    double peak2 = 0, power = 0;
    for (const auto& x : waveform) {
        const double m2 = std::norm(x);
        power += m2;
        peak2 = std::max(peak2, m2);
    }
    s.peak = std::sqrt(peak2);
    s.rms = s.samples ? std::sqrt(power / static_cast<double>(s.samples)) : 0.0;
    return s;
}

std::string describeFrame(const FrameSummary& summary, double sampleRate,
                          const Parameters& parameters, double milliseconds) {
    char text[256];
    std::snprintf(text, sizeof text,
                  "%zu samples at %.0f Sa/s (OverSampling %g, filter %s), peak |x| %.4f, RMS "
                  "%.4f, %.1f ms",
                  summary.samples, sampleRate, parameters.OverSampling,
                  basebandFilterName(parameters.FilterType), summary.peak, summary.rms,
                  milliseconds);
    return text;
}

}  // namespace onex
