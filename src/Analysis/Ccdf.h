#pragma once

// The CCDF display's numbers: for each level in dB above the average power,
// the percentage of samples whose instantaneous power reaches it, with the
// same function for Gaussian noise as the reference.

#include <cmath>
#include <complex>
#include <span>
#include <vector>

namespace onex::analysis {

// True when no sample has a non-zero imaginary part.
bool isRealWaveform(std::span<const std::complex<double>> wave);

// The instantaneous powers |x|^2 of a waveform and what one pass over them
// gives.
struct SamplePowers {
    double sum = 0;   // of |x|^2 in sample order, no floor
    double peak = 0;  // largest |x|^2
    // The average relativePowerDb refers to: of the powers as written, in
    // long double (0 counts as 1e-300).
    double mean = 0;
};

// Writes the power of each sample to `out` (as long as the waveform), 1e-300
// added to every one when some sample has zero power.
SamplePowers samplePowers(std::span<const std::complex<double>> wave, std::span<double> out);

// A power in dB relative to `meanDb` = 10 log10 of the average, as
// relativePowerDb gives it; it never decreases as the power grows.
inline double relativeDb(double power, double meanDb) {
    return 10 * std::log10(power) - meanDb;
}
inline double powerDb(double power) {
    return 10 * std::log10(power);
}

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
