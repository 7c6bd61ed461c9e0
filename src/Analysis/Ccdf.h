#pragma once

// The CCDF display's numbers: for each level in dB above the average power,
// the percentage of samples whose instantaneous power reaches it, with the
// same function for Gaussian noise as the reference.

#include <complex>
#include <span>
#include <vector>

namespace onex::analysis {

// True when no sample has a non-zero imaginary part.
bool isRealWaveform(std::span<const std::complex<double>> wave);

// The power of each sample in dB relative to the average power:
// 10 log10(|x|^2) - 10 log10(sum |x|^2 / N). When some sample has zero power,
// 1e-300 is added to every power first (so the result is finite); an
// all-zero waveform gives 0 dB everywhere. Empty for an empty waveform.
std::vector<double> relativePowerDb(std::span<const std::complex<double>> wave);

// Percentage of Gaussian noise samples whose power lies xDb or more above
// the average: exp(-10^(x/10)) for complex noise, erfc(10^(x/20)/sqrt(2))
// for real noise, times 100.
double gaussianCcdfPercent(double xDb, bool realNoise);

struct CcdfModel {
    std::vector<double> X;   // 0 .. maxX dB in 200 steps (201 points)
    std::vector<double> Y;   // measured CCDF in percent; 1e-300 added when it reaches 0
    std::vector<double> Y1;  // Gaussian reference in percent
    double maxX = 20;
    double yMin = 0.001;  // lower limit of the logarithmic percentage axis
    bool realWave = false;
    bool testData = false;  // an empty waveform shows the 1000-sample test waveform
};

// The model of QV_PlotCCDF. The counts are exact: Y(k) counts the samples
// whose relative power is at or above X(k) (within 1e-9 dB, so that a
// constant envelope is not lost to the rounding of the average).
CcdfModel ccdfModel(std::span<const std::complex<double>> wave);

// The 1000-sample demonstration waveform shown for an empty waveform.
std::vector<std::complex<double>> ccdfTestWaveform();

}  // namespace onex::analysis
