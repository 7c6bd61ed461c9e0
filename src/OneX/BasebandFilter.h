#pragma once

// Oversampling and circular baseband filtering of a frame, and the general
// circular FIR filter used by the corrections.

#include <array>
#include <complex>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

namespace onex {

// Filter selection: 1 rectangular, 2 IS-95 standard, 3 IS-95 ACP, 4 none,
// other numbers IS-95 standard; "IS95-STD", "IS95-ACP", "IS95-EVM" (none),
// other texts rectangular.
using FilterChoice = std::variant<double, std::string>;

enum class BasebandFilterKind { Rectangular, IS95Std, IS95Acp, None };
BasebandFilterKind selectBasebandFilter(const FilterChoice& filterType);

// The filters' names in the order of BasebandFilterKind, which is that of
// FilterType 1 to 4 (the main window's filter menu shows them).
inline constexpr std::array<const char*, 4> kBasebandFilterNames = {
    "Rectangular (sample and hold)", "IS-95 standard", "IS-95 with improved ACP",
    "None (zero-stuffed chips)"};

// The name of the filter that filterType selects.
inline const char* basebandFilterName(const FilterChoice& filterType) {
    return kBasebandFilterNames[static_cast<std::size_t>(selectBasebandFilter(filterType))];
}

// Taps of the chosen filter at the oversampling rate; nothing for the
// rectangular filter, {1} for none.
std::optional<std::vector<double>> basebandFilterTaps(double oversamplingRate,
                                                      const FilterChoice& filterType);

// x with n - 1 zeros after every sample.
std::vector<std::complex<double>> upsample(std::span<const std::complex<double>> x, double n);
std::vector<double> upsample(std::span<const double> x, double n);

// Every marker sample held for n samples.
std::vector<double> upsampleMarker(std::span<const double> m, double n);
// The same for 0/1 bytes into `out`, which must hold n x length(m) bytes.
void upsampleMarker(std::span<const std::uint8_t> m, std::size_t n, std::span<std::uint8_t> out);

// Filters a frame with the chosen baseband filter: circularly, aligned on the
// centre tap, for the designed filters; sample-and-hold (not circular) for
// the rectangular one. The output has the frame's length. oversamplingRate
// must be a whole number from 1 to 30.
std::vector<std::complex<double>> OneX_BasebandFilter(std::span<const std::complex<double>> frame,
                                                      double oversamplingRate,
                                                      const FilterChoice& filterType);

// The same as OneX_BasebandFilter(upsample(chips, os), os, filterType),
// computed without forming the zero-stuffed frame: only every os-th input
// sample is non-zero, so each output needs one tap in os.
std::vector<std::complex<double>> filterOversampledChips(
    std::span<const std::complex<double>> chips, double oversamplingRate,
    const FilterChoice& filterType);
// The same into `out`, which must hold chips x oversamplingRate samples;
// every sample of it is written.
void filterOversampledChips(std::span<const std::complex<double>> chips, double oversamplingRate,
                            const FilterChoice& filterType, std::span<std::complex<double>> out);
// The same with given real taps (circular, aligned on the centre tap).
std::vector<std::complex<double>> filterOversampledChips(
    std::span<const std::complex<double>> chips, double oversamplingRate,
    std::span<const double> taps);

// Circular filtering by taps h aligned on the centre tap:
// y(k) = sum_j h(j) x((k + floor(L/2) - j) mod N), 0-based. x needs at least
// length(h) - 1 samples.
std::vector<double> circfilt(std::span<const double> x, std::span<const double> h);
std::vector<std::complex<double>> circfilt(std::span<const std::complex<double>> x,
                                           std::span<const double> h);
std::vector<std::complex<double>> circfilt(std::span<const double> x,
                                           std::span<const std::complex<double>> h);
std::vector<std::complex<double>> circfilt(std::span<const std::complex<double>> x,
                                           std::span<const std::complex<double>> h);

}  // namespace onex
