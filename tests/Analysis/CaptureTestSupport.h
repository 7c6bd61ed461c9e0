#pragma once

// Captures made independently of the receiver: the frame (impaired by the
// impairments module where asked) looped, delayed and taken at another sample
// rate by band-limited interpolation in the frequency domain (each line of the
// looped frame moved to its place in the capture's transform), then a
// carrier offset applied at the capture's sample instants and Gaussian noise
// from the standard library.

#include <cmath>
#include <complex>
#include <cstdint>
#include <numbers>
#include <random>
#include <span>
#include <vector>

#include "OneX/AirInterface.h"
#include "OneX/Parameters.h"
#include "platform/Fft.h"

namespace onex::capturetest {

struct CaptureRecipe {
    double rate = 10e6;      // capture sample rate
    std::size_t loops = 3;   // frames looped: loops x frame x rate must be whole samples
    double delayS = 0;       // the frame starts this late in the capture
    double freqHz = 0;       // carrier offset
    double phaseRad = 0;     // carrier phase at the capture's first sample
    double cnDb = INFINITY;  // carrier to noise over 1.2288 MHz
    std::uint32_t seed = 1;
};

// The frame `x` played at `frameRate`, captured as the recipe says.
inline std::vector<std::complex<float>> makeCapture(std::span<const std::complex<double>> x,
                                                    double frameRate, const CaptureRecipe& r) {
    using C = std::complex<double>;
    const double twoPi = 2 * std::numbers::pi;
    const std::size_t n = x.size();
    const double period = static_cast<double>(n) / frameRate;
    const double samples = static_cast<double>(r.loops) * period * r.rate;
    const auto m = static_cast<std::size_t>(std::llround(samples));
    if (std::abs(samples - static_cast<double>(m)) > 1e-6) throw std::logic_error("loops");
    const std::vector<C> X = platform::fft(x);
    std::vector<C> Y(m);
    for (std::size_t k = 0; k < n; ++k) {
        const double bin = k < n / 2 ? double(k) : double(k) - double(n);
        const double f = bin / period;
        if (std::abs(f) >= r.rate / 2) continue;  // beyond the capture's band
        // Frame line k is line loops x k of the capture's period.
        const long line = static_cast<long>(bin) * static_cast<long>(r.loops);
        const std::size_t at = static_cast<std::size_t>((line + long(m)) % long(m));
        Y[at] = X[k] * (double(m) / double(n)) * std::polar(1.0, -twoPi * f * r.delayS);
    }
    std::vector<C> y = platform::ifft(Y);
    double power = 0;
    for (const C& v : x)
        power += std::norm(v) / double(n);
    std::mt19937_64 gen(r.seed);
    const double sigma =
        std::isfinite(r.cnDb)
            ? std::sqrt(power * std::pow(10, -r.cnDb / 10) * r.rate / kChipRate / 2)
            : 0;
    std::normal_distribution<double> normal(0, 1);
    std::vector<std::complex<float>> out(m);
    for (std::size_t i = 0; i < m; ++i) {
        C v = y[i] * std::polar(1.0, twoPi * r.freqHz * double(i) / r.rate + r.phaseRad);
        if (sigma > 0) v += C(sigma * normal(gen), sigma * normal(gen));
        out[i] = std::complex<float>(v);
    }
    return out;
}

}  // namespace onex::capturetest
