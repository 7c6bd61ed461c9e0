#pragma once

// The one-line account of a calculated frame that the command line prints and
// the main window shows after Calculate.

#include <complex>
#include <cstddef>
#include <span>
#include <string>

#include "OneX/Parameters.h"

namespace onex {

struct FrameSummary {
    std::size_t samples = 0;
    double peak = 0;  // largest |x|
    double rms = 0;   // root mean square of |x| (0 for no samples)
};

FrameSummary summarizeFrame(std::span<const std::complex<double>> waveform);

// "163840 samples at 6144000 Sa/s (OverSampling 5, filter IS-95 with improved
// ACP), peak |x| 1.2345, RMS 0.5432, 12.3 ms"
std::string describeFrame(const FrameSummary& summary, double sampleRate,
                          const Parameters& parameters, double milliseconds);

}  // namespace onex
