#pragma once

// The spectrum display's numbers: one transform over the whole waveform,
// zero frequency in the middle, in dB relative to the strongest bin.

#include <complex>
#include <span>
#include <string>
#include <vector>

#include "platform/LargeBuffer.h"

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

// The same transform kept as it comes, in pooled memory that later
// transforms of the process reuse, each centred entry's power and frequency
// worked out on demand: powerSpectrum's figures without three arrays of the
// waveform's size to allocate and fill.
class CentredSpectrum {
  public:
    CentredSpectrum(std::span<const std::complex<double>> wave, double sampleRate);

    std::size_t size() const { return bins_.items.size(); }
    double binWidthHz() const { return binWidthHz_; }
    // Centred entry j holds bin (j + ceil(n/2)) mod n.
    double power(std::size_t j) const {
        const std::size_t n = size(), half = n / 2;
        return std::norm(bins_.items[j < half ? j + (n - half) : j - half]);
    }
    double frequencyHz(std::size_t j) const { return centredBinFrequency(j, size(), sampleRate_); }

    // Makes what the spectrum of `samples` samples needs (its transform's
    // plan) ahead, e.g. on another thread while the waveform is computed.
    static void prepare(std::size_t samples);

  private:
    platform::LargeArray<std::complex<double>> bins_;
    double sampleRate_ = 0, binWidthHz_ = 0;
};

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
