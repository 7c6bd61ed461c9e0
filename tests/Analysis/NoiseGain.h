#pragma once

// What the receiver's equaliser does to white noise, for the tests that
// check rho under noise against theory.

#include <cmath>
#include <cstddef>
#include <numbers>
#include <vector>

#include "OneX/BasebandFilter.h"

namespace onex::capturetest {

// g of the equaliser 1/Q(f): the mean of 1/Q over the chip-rate band, Q(f) =
// sum_k q_k cos(2 pi f k) the baseband filter's normalised autocorrelation at
// whole chips (g = 1 for the rectangular and the absent filter, which have
// no interference to undo).
inline double equaliserNoiseGain(double overSampling, double filterType) {
    const auto os = static_cast<std::size_t>(overSampling);
    const std::vector<double> h =
        basebandFilterTaps(overSampling, filterType).value_or(std::vector<double>(os, 1.0));
    std::vector<double> q;
    for (std::size_t lag = 0; lag < h.size(); lag += os) {
        double r = 0;
        for (std::size_t m = 0; m + lag < h.size(); ++m)
            r += h[m] * h[m + lag];
        q.push_back(r);
    }
    double g = 0;
    const int grid = 8192;
    for (int i = 0; i < grid; ++i) {
        double qf = 1;
        for (std::size_t k = 1; k < q.size(); ++k)
            qf += 2 * q[k] / q[0] * std::cos(2 * std::numbers::pi * (i + 0.5) / grid * double(k));
        g += 1 / qf / grid;
    }
    return g;
}

}  // namespace onex::capturetest
