#include "Instrument/DacResolution.h"

#include <algorithm>
#include <cmath>

#include "platform/Error.h"

namespace onex {

std::vector<std::complex<double>> applyDacRes(std::span<const std::complex<double>> wave,
                                              double numBits) {
    std::vector<std::complex<double>> out(wave.begin(), wave.end());
    if (numBits <= 2) return out;
    const double bits = std::isnan(numBits) ? 32.0 : std::min(32.0, numBits);  // min skips NaN
    double peak = 0;
    for (const auto& s : wave) {
        // NaN samples are skipped, as the maximum of the platform does.
        if (std::fabs(s.real()) > peak) peak = std::fabs(s.real());
        if (std::fabs(s.imag()) > peak) peak = std::fabs(s.imag());
    }
    if (peak == 0) return out;  // nothing to scale; avoids 0/0
    if (std::isinf(peak)) throw Error("applyDacRes: the waveform holds an infinite sample");
    const double scale = (std::pow(2.0, bits - 1) - 1) / peak;
    for (auto& s : out)
        s = {std::round(s.real() * scale) / scale, std::round(s.imag() * scale) / scale};
    return out;
}

}  // namespace onex
