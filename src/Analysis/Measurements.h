#pragma once

// What an analyzer would read from a computed frame: power and
// peak-to-average ratio, CCDF points, occupied bandwidth, adjacent-channel
// power ratios (from the frame's exact line spectrum) and the code-domain
// power of each channel.

#include <array>
#include <complex>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "Analysis/CodeDomain.h"
#include "Analysis/Spectrum.h"
#include "OneX/Parameters.h"

namespace onex::analysis {

// Probabilities (percent) of the CCDF points.
inline constexpr std::array<double, 5> kCcdfPercent = {10, 1, 0.1, 0.01, 0.001};
// Share of the power the occupied bandwidth holds.
inline constexpr double kOccupiedShare = 0.99;

struct MeasurementOptions {
    std::vector<double> acprOffsetsHz{-1.98e6, -885e3, 885e3, 1.98e6};
    double offsetBandwidthHz = 30e3;
    double channelBandwidthHz = 1.23e6;
};

// Offsets finite whole numbers of Hz (they name the results) without
// repeats; bandwidths finite and positive. Throws onex::Error naming the
// option.
void validateMeasurementOptions(const MeasurementOptions& options);

// Why an adjacent-channel power ratio has no value.
enum class AcprGap {
    None,
    OffsetBandBeyondNyquist,   // the offset band reaches past half the sample rate
    ChannelBandBeyondNyquist,  // so does the channel band
    NoChannelPower,            // nothing to compare against
    NoOffsetPower,             // the ratio would be -inf dB
};
// The reason in words ("" for None).
std::string_view acprGapText(AcprGap gap);

struct AcprPoint {
    double offsetHz = 0;
    // Power in the offset band over the power in the channel band, dB; none
    // (and `gap` says why) when that is no finite number.
    std::optional<double> dbc;
    AcprGap gap = AcprGap::None;
};

struct WaveformMeasurements {
    double sampleRate = 0;
    std::size_t samples = 0;
    double averagePower = 0;  // mean |x|^2
    double peakPower = 0;     // max |x|^2
    double paprDb = 0;
    std::array<double, kCcdfPercent.size()> ccdfDb{};  // at kCcdfPercent
    double obwHz = 0;
    std::vector<AcprPoint> acpr;                           // in the order of the options' offsets
    double offsetBandwidthHz = 0, channelBandwidthHz = 0;  // the options used
};

struct Measurements {
    WaveformMeasurements waveform;
    CodeDomainResult codeDomain;
};

// The (1 - p) quantiles of the relative power values (percent p as in
// kCcdfPercent), each linearly interpolated between the order statistics
// around position (n - 1)(1 - p): numpy's default quantile. The values are
// taken by value because they are reordered.
std::array<double, kCcdfPercent.size()> ccdfPoints(std::vector<double> relativeDb);

// The width from the lower edge of the lowest bin at which the power summed
// from the bottom reaches (1 - share)/2 of the total to the upper edge of the
// highest bin at which the power summed from the top does: the bins that
// hold the share, each a bin wide (a single tone occupies one bin).
double occupiedBandwidth(const PowerSpectrum& spectrum, double share = kOccupiedShare);

// Power of the bins within offsetHz +- offsetBandwidth/2 over that of the
// bins within +- channelBandwidth/2 (edges included), in dB; none when a band
// reaches past half the sample rate or the ratio is not finite.
AcprPoint adjacentChannelPowerRatio(const PowerSpectrum& spectrum, double sampleRate,
                                    double offsetHz, double offsetBandwidthHz,
                                    double channelBandwidthHz);

// Power, CCDF and spectrum figures of any waveform at its sample rate. An
// empty or all-zero waveform, or a sample rate that is not a positive
// number, is refused.
WaveformMeasurements measureWaveform(std::span<const std::complex<double>> wave, double sampleRate,
                                     const MeasurementOptions& options = {});

// Makes ahead what measureFrame needs for the frame of `parameters` (the
// plan of the transform of its length), so that it can be done on another
// thread while the frame is calculated; nothing for an oversampling no frame
// has.
void prepareFrameMeasurement(const Parameters& parameters);

// Every figure of a frame computed from `parameters`, played at sampleRate.
Measurements measureFrame(std::span<const std::complex<double>> wave, double sampleRate,
                          const Parameters& parameters, const MeasurementOptions& options = {});

}  // namespace onex::analysis
