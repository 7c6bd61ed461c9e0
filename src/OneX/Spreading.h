#pragma once

// Quadrature spreading of one frame by the long and short codes.

#include <complex>
#include <memory>
#include <span>
#include <vector>

namespace onex {

// Multiplies the 32768 chips of a frame by PNi + j PNq (no scaling), where
// PNi = iShort iLong and PNq is the Q-side code decimated by two, Walsh
// covered with (+1, -1) and multiplied by PNi.
std::vector<std::complex<double>> OneX_RevQuadSpreading(std::span<const std::complex<double>> frame,
                                                        double Imask, double Qmask);

// The same in place.
void spreadInPlace(std::span<std::complex<double>> frame, double Imask, double Qmask);

// PNi + j PNq of each of the 32768 chips for the masks. It depends on the
// masks alone: the last few are kept, so a calculation with the masks of an
// earlier one does not generate the codes again.
std::shared_ptr<const std::vector<std::complex<double>>> spreadingSequence(double Imask,
                                                                           double Qmask);

}  // namespace onex
