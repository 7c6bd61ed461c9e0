#pragma once

// Walsh matrices and covers, and the two user-set overhead channels: the
// Reverse Rate Indicator (RRI) and the Data Rate Control (DRC) channel.

#include <complex>
#include <span>
#include <vector>

#include "OneX/Matrix.h"

namespace onex {

// Sylvester-order Walsh matrix of size 2^floor(log2(index)); row r is Walsh
// code r (0-based). Sizes above 4096 are refused.
RealMatrix OneX_WalshMatrix(double index);

// signal(1) x code, signal(2) x code, ...: length(signal) x length(code).
std::vector<double> OneX_WalshCover(std::span<const double> signal, std::span<const double> code);
std::vector<std::complex<double>> OneX_WalshCover(std::span<const std::complex<double>> signal,
                                                  std::span<const double> code);

// 7-bit simplex codeword of an RRI value 0..7 (0/1 row).
std::vector<double> OneX_RevRRIencoder(double RRIvalue);

// 16 x 16 RRI bits, row k = slot k; all zeros when RRIactive is 0.
RealMatrix OneX_RevRRIchn(double RRIactive, double RRIvalue);

// 8-bit bi-orthogonal codeword of a DRC value 0..15 (0/1 row).
std::vector<double> OneX_RevDRCencoder(double bitValue);

// One slot's DRC burst: 128 chips of +1/-1, covered by 8-chip Walsh code
// DRCcover (0..7).
std::vector<double> OneX_RevDrcChn(double DRCvalue, double DRCcover);

}  // namespace onex
