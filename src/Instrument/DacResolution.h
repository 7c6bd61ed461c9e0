#pragma once

// Quantisation of a waveform to the word width of the instrument's DAC, for
// showing waveforms as they will be played.

#include <complex>
#include <span>
#include <vector>

namespace onex {

// Scales the waveform so that its largest I or Q component lands on
// +-(2^(numBits-1) - 1), rounds I and Q (halves away from zero) and scales
// back. numBits <= 2 and an all-zero waveform return the input; numBits above
// 32 counts as 32. A waveform with an infinite sample cannot be scaled and is
// refused.
std::vector<std::complex<double>> applyDacRes(std::span<const std::complex<double>> wave,
                                              double numBits);

}  // namespace onex
