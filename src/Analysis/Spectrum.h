#pragma once

// The spectrum display's numbers: one transform over the whole waveform,
// zero frequency in the middle, in dB relative to the strongest bin.

#include <complex>
#include <span>
#include <string>
#include <vector>

namespace onex::analysis {

// Frequency of bin j (0-based) of a length-n transform in centred order:
// (j - floor(n / 2)) * sampleRate / n.
double centredBinFrequency(std::size_t j, std::size_t n, double sampleRate);

// |X_k|^2 of the unscaled transform X_k = sum x_n exp(-2 pi j k n / N), in
// centred (fftshift) order: entry j is bin j - floor(N/2), so the zero
// frequency sits at floor(N/2) and every entry at its true frequency.
struct PowerSpectrum {
    std::vector<double> power;        // |X_k|^2, no floor applied
    std::vector<double> frequencyHz;  // centredBinFrequency of each entry
    double binWidthHz = 0;            // sampleRate / N
};
PowerSpectrum powerSpectrum(std::span<const std::complex<double>> wave, double sampleRate);

struct SpectrumModel {
    std::vector<double> f;          // frequency of each point, in fUnits
    std::vector<double> magSignal;  // dB relative to the strongest point (peak 0 dB)
    double mMin = 0, mMax = 0;      // dB axis limits (at most 100 dB apart)
    double fMin = 0, fMax = 0;      // frequency axis limits: -+ sampleRate/2 in fUnits
    double divider = 1;
    std::string fUnits;
    double sampleRate = 1;  // after the guard: 0 or less counts as 1
    bool testData = false;  // an empty waveform shows the 10-point test spectrum
};

// The model of QV_PlotSpectrum. A flat spectrum (all bins equal) gets a dB
// range of one 10 dB grid step below its level.
SpectrumModel spectrumModel(std::span<const std::complex<double>> wave, double sampleRate);

}  // namespace onex::analysis
