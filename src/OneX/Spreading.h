#pragma once

// Quadrature spreading of one frame by the long and short codes.

#include <complex>
#include <span>
#include <vector>

namespace onex {

// Multiplies the 32768 chips of a frame by PNi + j PNq (no scaling), where
// PNi = iShort iLong and PNq is the Q-side code decimated by two, Walsh
// covered with (+1, -1) and multiplied by PNi.
std::vector<std::complex<double>> OneX_RevQuadSpreading(std::span<const std::complex<double>> frame,
                                                        double Imask, double Qmask);

}  // namespace onex
