#pragma once

// On-the-wire form of a waveform download (the "norm" mode of hwDownload):
//
//   :MMEMory:DATA "WFM1:<name>",#<d><len><I0 Q0 I1 Q1 ...>   then LF
//   :MMEMory:DATA "MKR1:<name>",#<d><len><m0 m1 ...>         then LF
//
// Samples are scaled so that the largest |I| or |Q| becomes kFullScale,
// rounded halves away from zero, and sent as big-endian 16-bit two's
// complement, I before Q. Markers are one byte per sample: bit 0 marker 1,
// bit 1 marker 2. Blocks are IEEE 488.2 definite-length blocks.

#include <complex>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "MexIO/HwIO.h"

namespace onex::mexio {

inline constexpr int kFullScale = 32767;
// A definite-length block header has at most nine length digits.
inline constexpr std::size_t kMaxBlockBytes = 999999999;

// "#<d><len>"; len must not exceed kMaxBlockBytes.
std::string blockHeader(std::size_t length);

// Checks a download before anything is sent; returns the reason it is
// refused, or nothing when it may go.
std::optional<std::string> checkDownload(std::span<const std::complex<double>> data,
                                         const MarkerRows& markers, std::string_view name);

// The scale factor of "norm" (0 for an all-zero waveform, which is sent as zeros).
double normScale(std::span<const std::complex<double>> data);

// Appends the samples as big-endian 16-bit interleaved I/Q.
void appendIq(std::span<const std::complex<double>> data, double scale, std::vector<uint8_t>& out);
// The 16-bit codes of a waveform block as stored (whole I/Q pairs; a
// trailing partial pair is ignored): the inverse of appendIq without its scale.
std::vector<std::complex<float>> iqCodes(std::span<const uint8_t> block);
// Appends one marker byte per sample.
void appendMarkers(const MarkerRows& markers, std::size_t count, std::vector<uint8_t>& out);

// The two complete command messages (with the trailing line feed).
std::vector<uint8_t> waveformMessage(std::span<const std::complex<double>> data,
                                     std::string_view name);
std::vector<uint8_t> markerMessage(const MarkerRows& markers, std::size_t count,
                                   std::string_view name);

// One entry of the instrument's error queue, from a reply such as
// -113,"Undefined header". Nothing when the reply has not that form.
struct InstrumentError {
    int code = 0;
    std::string text;
};
std::optional<InstrumentError> parseErrorReply(std::string_view reply);

}  // namespace onex::mexio
