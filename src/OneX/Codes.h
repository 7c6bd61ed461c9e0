#pragma once

// Long code and short PN codes of the reverse link, the general shift
// register and the left rotation they use.

#include <complex>
#include <cstdint>
#include <span>
#include <vector>

namespace onex {

// I and Q code rows of 0/1 chips.
struct CodeSequences {
    std::vector<double> Iseq;
    std::vector<double> Qseq;
};

// Long codes of `len` chips from the 42-bit register started at
// initialState (1 x 42 bits, stage 1 first) and read through the two masks
// (integers 0..2^42-1, bit k-1 selects stage k).
CodeSequences OneX_RevLongCode(double len, std::span<const double> initialState, double Imask,
                               double Qmask);

// The I and Q short PN codes, 32768 x reps chips each, starting with the 1
// that follows the run of fifteen zeros.
CodeSequences OneX_RevShortCode(double reps);

// The same codes as 0/1 bytes, for the frame's spreading sequence, which
// needs them once per process and should not pay for rows of doubles: the
// long code from a packed 42-bit state and masks (bit k-1 is stage k) into
// i and q (of equal length); one period (32768 chips) of the I or Q short
// code.
// The masks are checked as OneX_RevLongCode checks them.
void longCodeBits(std::uint64_t state, double Imask, double Qmask, std::span<std::uint8_t> i,
                  std::span<std::uint8_t> q);
void shortCodeBits(bool quadrature, std::span<std::uint8_t, 32768> out);

// Fibonacci shift register: the first `order` entries are the seed; entry
// i > order is sum(taps(1..order) .* a(i-order..i-1)) mod 2. The row has
// max(m, order) entries.
std::vector<double> lfsr(double order, std::span<const double> taps, double m,
                         std::span<const double> seed);

// Left rotation by round(count) places, modulo the length; count <= 0 leaves
// the row unchanged.
std::vector<double> CircularShiftLeft(std::span<const double> input, double count);
std::vector<std::complex<double>> CircularShiftLeft(std::span<const std::complex<double>> input,
                                                    double count);

}  // namespace onex
