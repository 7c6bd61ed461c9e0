#pragma once

// Impairments of an access terminal, added to the finished frame (after the
// baseband filter, before quantisation): I/Q gain imbalance and quadrature
// error, carrier leakage, frequency error and white Gaussian noise at a set
// carrier-to-noise ratio. Markers are not touched.
//
// Reproducibility: the noise of a seed is the same bits on every machine.
// Its uniforms come from Philox4x32-10 (a counter-based generator with
// published reference outputs); the Gaussian transform is Box-Muller with
// the logarithm and sine/cosine written here as fixed polynomials. Every
// per-sample value is therefore made of IEEE-754 additions, multiplications,
// divisions and square roots in a fixed order (this file is compiled without
// floating-point contraction), never of libm. The few per-frame constants
// (dB to linear) use std::pow and std::sqrt.

#include <array>
#include <complex>
#include <cstdint>
#include <span>
#include <string>

#include "OneX/Parameters.h"

namespace onex {

// The bandwidth over which the carrier-to-noise ratio is stated: the chip rate.
inline constexpr double kNoiseBandwidthHz = 1228800;

// What a parameter set asks for, resolved for one frame: each impairment with
// its on/off and the values used.
struct ImpairmentPlan {
    bool iq = false;       // gain imbalance or quadrature error not zero
    double gainDb = 0;     // G: I path 10^(G/20) times the Q path
    double quadDeg = 0;    // phi: the I and Q axes 90 - phi degrees apart
    bool leakage = false;  // CarrierLeakage finite
    double leakageDbc = 0;
    bool freqAsked = false;  // FreqError not zero
    double freqAskedHz = 0;
    double freqHz = 0;         // the frequency applied (snapped when asked)
    bool snapped = false;      // FreqErrorSnap on: freqHz = m fs / N
    long long snapCycles = 0;  // m: whole cycles over the frame when snapped
    bool noise = false;        // CNRatio finite
    double cnDb = 0;
    std::uint32_t seed = 0;
    double sampleRate = 0;
    std::size_t samples = 0;

    bool any() const { return iq || leakage || freqHz != 0 || noise; }
    bool asked() const { return iq || leakage || freqAsked || noise; }
};

// Checks the impairment fields (finite values; CarrierLeakage may be -Inf and
// CNRatio +Inf for "off"; FreqErrorSnap 0/1; NoiseSeed a whole number from 0
// to 2^32 - 1; a positive sample rate) and resolves them for a frame of
// `samples` samples at `sampleRate`. Throws onex::Error naming the field.
ImpairmentPlan planImpairments(const Parameters& parameters, double sampleRate,
                               std::size_t samples);

// Applies the plan to `frame` in place (the plan's sample count must match):
//   1. I' = a (I cos h + Q sin h), Q' = (I sin h + Q cos h) / a,
//      a = 10^(G/40), h = phi/2;
//   2. I' += 10^(C/20) sqrt(P), P the frame's mean power before step 1;
//   3. y[n] = x[n] exp(j 2 pi f n / fs);
//   4. y[n] += complex noise of total variance P 10^(-CN/10) fs / 1.2288 MHz.
// Nothing is done (not one bit changes) when every impairment is off.
void applyImpairments(std::span<std::complex<double>> frame, const ImpairmentPlan& plan);

// "I/Q gain imbalance 0.5 dB, quadrature error 2 deg, carrier leakage -30 dBc,
// frequency error 1012.5 Hz (1000 Hz asked, snapped to a multiple of 37.5 Hz),
// C/N 20 dB (seed 7)": the impairments asked for; "none" when none is.
std::string describeImpairments(const ImpairmentPlan& plan);

namespace noise {

// One block of Philox4x32-10: the four output words for a counter and key.
std::array<std::uint32_t, 4> philox4x32(std::array<std::uint32_t, 4> counter,
                                        std::array<std::uint32_t, 2> key);

// The uniforms of complex noise sample n of a seed: Philox4x32-10 with key
// (seed, 0) and counter (n mod 2^32, n / 2^32, 0, 0) gives words w0..w3;
// u1 = ((w1 w0 as 64 bits) >> 11 + 1) 2^-53 in (0, 1] and
// u2 = ((w3 w2) >> 11) 2^-53 in [0, 1).
std::array<double, 2> uniforms(std::uint32_t seed, std::uint64_t n);

// Box-Muller of those uniforms, unit variance per component:
// sqrt(-2 ln u1) (cos 2 pi u2, sin 2 pi u2), for samples first, first + 1, ...
// (as many as `re` and `im` hold).
void gaussianPairs(std::uint32_t seed, std::uint64_t first, std::span<double> re,
                   std::span<double> im);

// ln u for 0 < u <= 1 and (cos, sin) of 2 pi t for a turn 0 <= t < 1: the
// polynomials the noise and the frequency error use (within 2 ulp of libm).
double logUnit(double u);
std::array<double, 2> cosSinTurn(double t);

}  // namespace noise

}  // namespace onex
