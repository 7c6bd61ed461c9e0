#pragma once

// Discrete Fourier transforms of any length through FFTW. Plans are made
// once per length and direction and cached; all functions are thread-safe.

#include <complex>
#include <span>
#include <vector>

namespace onex::platform {

// Unnormalised forward transform, X(k) = sum x(n) exp(-2 pi j k n / N), in place.
void fftInPlace(std::span<std::complex<double>> data);

// Unnormalised backward transform (exp(+2 pi j k n / N)), in place; divide by
// N for the inverse of fftInPlace.
void ifftInPlaceUnscaled(std::span<std::complex<double>> data);

// Makes and keeps now the plan fftInPlace uses for SIMD-aligned data of
// length n (as large pooled blocks are): planning a long transform takes
// longer than running it, and a caller may have it done beforehand.
void planFftInPlace(std::size_t n);

// Forward transform of a copy.
std::vector<std::complex<double>> fft(std::span<const std::complex<double>> x);

// Inverse transform (scaled by 1/N) of a copy.
std::vector<std::complex<double>> ifft(std::span<const std::complex<double>> X);

// Number of plans in the cache (for tests of the cache).
std::size_t fftPlanCount();

}  // namespace onex::platform
