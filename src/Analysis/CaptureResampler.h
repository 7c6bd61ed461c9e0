#pragma once

// The capture's sample rate changed to the frame's by libsoxr: its "very high
// quality" linear-phase filters in double precision, flat to 95 % of the
// lower Nyquist frequency, with the filter's own delay removed.

#include <complex>
#include <span>
#include <vector>

namespace onex::analysis {

// The share of the lower of the two Nyquist frequencies that the resampler
// keeps flat; the band above is not compared.
inline constexpr double kResamplerPassband = 0.95;

// The capture at outRate: output sample m is the capture at time m / outRate.
// The first and the last captureTransientSeconds (CaptureAnalysis.h) of the
// output carry the filter's start-up and run-out. At most maxOutput samples
// are made. Equal rates give the samples unchanged.
std::vector<std::complex<double>> resampleCapture(std::span<const std::complex<float>> capture,
                                                  double inRate, double outRate,
                                                  std::size_t maxOutput);

}  // namespace onex::analysis
