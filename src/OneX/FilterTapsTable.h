#pragma once

// The IS-95 filters' taps at the whole oversampling rates 2..30, designed
// when the program was built by the design routines themselves (the design
// of the largest takes tens of milliseconds, more than the frame it
// filters). The design routines stay the one definition: a test checks every
// entry against them.

#include <cstddef>
#include <span>

namespace onex {

inline constexpr std::size_t kPrebuiltTapsMinRate = 2;
inline constexpr std::size_t kPrebuiltTapsMaxRate = 30;

// FilterCoeff_IS95_Acp (acp) or FilterCoeff_IS95_Std at that rate; empty for
// a rate outside the table.
std::span<const double> prebuiltFilterTaps(bool acp, double oversamplingRate);

}  // namespace onex
