#pragma once

// Sequence operations shared by the encoder, the overhead channels and the
// code generators: channel interleaver, whole-row repetition, bit-to-symbol
// mapping and bit reversal.

#include <complex>
#include <cstdint>
#include <span>
#include <vector>

namespace onex {

// Bit-reversal channel interleaver; the length must be a power of two.
std::vector<double> OneX_RevChnInterleaver(std::span<const double> input);

// The whole row written `factor` times end to end (1 0 1, 2 -> 1 0 1 1 0 1).
std::vector<double> OneX_Repeat(std::span<const double> input, double factor);

// 1 - 2 x input, element by element: bit 0 -> +1, bit 1 -> -1.
std::vector<double> OneX_SignalMap(std::span<const double> input);

// The `len`-bit binary form of n read backwards (ReverseBits(1, 5) = 16).
std::uint64_t ReverseBits(std::uint64_t n, unsigned len);

}  // namespace onex
