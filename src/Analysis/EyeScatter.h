#pragma once

// The eye and constellation diagrams' numbers, with the argument checks and
// error texts of the general eye-diagram and scatter-plot routines.

#include <complex>
#include <cstddef>
#include <span>
#include <vector>

namespace onex::analysis {

struct EyeModel {
    std::size_t n = 0;       // samples per trace
    double period = 1;       // time span of one trace (seconds)
    std::size_t offset = 0;  // samples skipped before the first trace
    std::size_t traces = 0;  // whole traces in the waveform
    std::vector<double> t;   // time of each sample within a trace: j * period / n
    // Trace k is entries k*n .. k*n + n - 1: samples offset + k*n + j.
    std::vector<double> i, q;
    bool complexInput = true;  // two plots (I above Q); a real waveform gives one
    double amplitude = 1;      // largest |I| or |Q| over the traces (1 when all zero)
};

// eyediagram(x, n, period, offset). Refuses bad input with onex::Error and
// the routine's texts: "Input variable X is empty.", "PERIOD must be a
// positive number.", "N must be an integer greater than 1.", "OFFSET must be
// a integer in the range 0 <= OFFSET < N.".
EyeModel eyediagram(std::span<const std::complex<double>> x, double n, double period,
                    double offset);

struct ScatterModel {
    std::vector<double> i, q;            // the points x(offset), x(offset + n), ...
    std::vector<double> traceI, traceQ;  // every sample from the offset on (trace on)
    double limit = 1;                    // both axes run from -limit to +limit
};

// scatterplot(x, n, offset) and, with `trace`, the trajectory through every
// sample from the offset on. Errors: "Input variable X is empty.", "N must
// be a positive integer.", "OFFSET must be a nonnegative integer.".
ScatterModel scatterplot(std::span<const std::complex<double>> x, double n, double offset,
                         bool trace);

// What the eye and scatter windows make of their arguments before plotting:
// n at least 1, the offset within 0 .. n - 1, a period of 0 taken as 1.
struct PlotArguments {
    double n = 1, offset = 0, period = 1;
};
PlotArguments windowArguments(double n, double offset, double period = 1);

// The column check both routines make on matrix input.
inline constexpr const char* kTooManyColumns =
    "Number of columns in the input data, X, cannot exceed 2.";

// The Eye Diagram and Scatter Diagram dialogs' answers as plot arguments:
// symbols at least 1, rounded, at most length / oversampling; the delay
// clamped to 0..1 (NaN: 1) and turned into samples; trace flag rounded and
// clamped to 0..1.
struct EyeSettings {
    double samplesPerTrace = 0;  // symbols * oversampling
    double delaySamples = 0;
};
EyeSettings eyeSettingsFromAnswers(double symbols, double delay, double oversampling,
                                   std::size_t length);
double delayInSamples(double delay, double oversampling);
double traceFlagFromAnswer(double answer);

}  // namespace onex::analysis
