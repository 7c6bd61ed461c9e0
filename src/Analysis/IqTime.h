#pragma once

// The I/Q-versus-time display's numbers.

#include <complex>
#include <span>
#include <string>
#include <vector>

#include "Analysis/Units.h"

namespace onex::analysis {

struct IqTimeModel {
    std::vector<double> t;       // sample times in tUnits, 0 .. tMax
    std::vector<double> i, q;    // in-phase and quadrature parts
    double iMin = -1, iMax = 1;  // symmetric amplitude range of both plots
    double tMin = 0, tMax = 0;   // time range in tUnits
    std::string tUnits;
    double multiplier = 1;  // tUnits per second
    double sampleRate = 1;  // after the guard: 0 or less counts as 1
    bool testData = false;  // an empty waveform shows two turns of cos/sin over 100 points
};

// The model of QV_PlotIQTime. A waveform of one sample (or all zeros) still
// gets a usable axis: a zero time span becomes one sample period and a zero
// amplitude range +-1.
IqTimeModel iqTimeModel(std::span<const std::complex<double>> wave, double sampleRate);

}  // namespace onex::analysis
