#pragma once

// The waterfall display's numbers: the waveform cut into consecutive time
// slices, each slice's power spectrum in dB.

#include <complex>
#include <cstddef>
#include <span>
#include <string>
#include <vector>

namespace onex::analysis {

struct WaterfallModel {
    std::size_t rows = 0;     // slices, in time order
    std::size_t columns = 0;  // bins per slice (samples per slice)
    // Row-major rows x columns: row i = slice i, 10 log10 |X_k|^2 of its
    // samples in centred order (zero frequency at column floor(columns/2)).
    std::vector<double> level;
    std::vector<double> frequency;  // column frequencies in fUnits
    std::vector<double> time;       // row start times in tUnits, the first 0
    double mMin = 0, mMax = 0;      // level limits, at most 100 dB apart
    double fMin = 0, fMax = 0;      // -+ sampleRate/2 in fUnits
    std::string fUnits, tUnits;
    double sampleRate = 1, period = 0;  // after the guards
    bool testData = false;              // an empty waveform shows a 5 x 10 test pattern

    double at(std::size_t row, std::size_t column) const { return level[row * columns + column]; }
};

// The model of QV_PlotWaterfall. Guards: sampleRate 0 or less counts as 1;
// a period under ten samples is lengthened to ten samples. Slices hold
// ceil(period * sampleRate) consecutive samples, the last one padded with
// zeros. Bins of zero power are floored 200 dB below the strongest bin.
WaterfallModel waterfallModel(std::span<const std::complex<double>> wave, double sampleRate,
                              double period);

}  // namespace onex::analysis
