#pragma once

// Turbo encoder of the Data channel: two recursive systematic constituent
// encoders, the turbo interleaver, puncturing, then the channel interleaver
// and repetition to the 8192 symbols of a frame.

#include <span>
#include <vector>

namespace onex {

// 8192 code symbols from a packet of 256, 512, 1024, 2048 or 4096 bits;
// dataRate 1..5 chooses code rate and repetition.
std::vector<double> OneX_RevEncoder(std::span<const double> input, double dataRate);

// Punctured turbo code symbols at rate 1 (input unchanged), 1/2, 1/3, 1/4 or
// 1/5; any other rate gives an empty row.
std::vector<double> OneX_TurboCoder(std::span<const double> input, double rate);

struct ConstituentOutput {
    std::vector<double> x;   // systematic
    std::vector<double> y0;  // parity 1 + D + D^3
    std::vector<double> y1;  // parity 1 + D + D^2 + D^3
};

// One constituent encoder over the input plus three tail steps; each row has
// length(input) + 3 entries.
ConstituentOutput OneX_ConstituentEncoder(std::span<const double> input);

// The input permuted by the turbo interleaver (129 to 4096 bits).
std::vector<double> OneX_TurboInterleaver(std::span<const double> input);

// Selects and orders the code symbols of both encoders for the rate.
std::vector<double> OneX_TurboPuncturing(std::span<const double> x, std::span<const double> y0,
                                         std::span<const double> y1, std::span<const double> xp,
                                         std::span<const double> y0p, std::span<const double> y1p,
                                         double rate);

}  // namespace onex
