#pragma once

// Equiripple (Parks-McClellan) and frequency-response FIR design.
// Frequencies for the equiripple designs are normalised to Nyquist = 1.

#include <complex>
#include <vector>

namespace onex {

// IS-95 baseband filter taps (12 x oversmpl taps, even-symmetric).
std::vector<double> FilterCoeff_IS95_Std(double oversmpl);
// IS-95 filter with improved adjacent-channel power (26 x oversmpl taps).
std::vector<double> FilterCoeff_IS95_Acp(double oversmpl);

// Odd-length FIR whose response is the inverse of the measured response H at
// the frequencies F (Hz), for the sample rate SR (Hz).
std::vector<std::complex<double>> createRealFIR(double n, const std::vector<double>& F,
                                                const std::vector<std::complex<double>>& H,
                                                double SR);

}  // namespace onex
