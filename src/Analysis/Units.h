#pragma once

// Engineering units of the display axes.

#include <string>

namespace onex::analysis {

struct FrequencyUnits {
    std::string units;  // "Hz", "kHz", "MHz" or "GHz"
    double divider;     // Hz per unit
};

// The unit for a frequency x (the sample rate): decade group
// floor(log10(x) / 3) 0, 1, 2 give Hz, kHz, MHz; anything else (x below 1
// or from 1e9 on) GHz.
FrequencyUnits DetermineFrequencyUnits(double x);

struct TimeUnits {
    std::string units;  // "S", "mS", "uS", "nS" or "pS"
    double multiplier;  // units per second
};

// The unit for a time span x in seconds: decade group floor(log10(x) / 3)
// 0, -1, -2, -3 give S, mS, uS, nS; spans below 1 ns (or not positive) pS.
// Spans of 1000 s and more stay in seconds.
TimeUnits DetermineTimeUnits(double x);

}  // namespace onex::analysis
