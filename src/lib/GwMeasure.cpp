// Gateway of the measurements: the figures of `onexrev-cli measure --json` as
// one structure.

#include <fmt/format.h>

#include <cmath>
#include <limits>

#include "Analysis/CaptureAnalysis.h"
#include "Analysis/Measurements.h"
#include "Instrument/SigGenSettings.h"
#include "OneX/FrameBuilder.h"
#include "lib/Gateways.h"
#include "platform/Error.h"

namespace onex::lib::gw {

namespace {

using Outputs = std::vector<Array>;

constexpr double kNotAvailable = std::numeric_limits<double>::quiet_NaN();

bool given(const Args& a, std::size_t k) {
    return a.has(k) && !a.at(k).isEmpty();
}

// Structure field names cannot be "10" or "-885000": the keyed objects of the
// JSON text become a row of values beside the row of their keys.
std::pair<Array, Array> acprRows(std::span<const analysis::AcprPoint> points) {
    std::vector<double> offsets, acpr;
    for (const analysis::AcprPoint& p : points) {
        offsets.push_back(p.offsetHz);
        acpr.push_back(p.dbc.value_or(kNotAvailable));
    }
    return {rowOf(offsets), rowOf(acpr)};
}

Array channelsArray(std::span<const analysis::ChannelPower, analysis::kCodeChannels> powers) {
    std::vector<std::pair<std::string, Array>> channels;
    for (std::size_t k = 0; k < analysis::kCodeChannels; ++k) {
        const analysis::ChannelPower& c = powers[k];
        channels.emplace_back(
            std::string(analysis::codeChannelName(static_cast<analysis::CodeChannel>(k))),
            Array::structure({{"active", Array::logical(c.active)},
                              {"configured_db", numberOf(c.configuredDb)},
                              {"measured_db", numberOf(c.measuredDb.value_or(kNotAvailable))}}));
    }
    return Array::structure(channels);
}

Array measurementsArray(const analysis::Measurements& m) {
    const analysis::WaveformMeasurements& w = m.waveform;
    const auto [offsets, acpr] = acprRows(w.acpr);
    return Array::structure({
        {"sample_rate", numberOf(w.sampleRate)},
        {"samples", numberOf(static_cast<double>(w.samples))},
        {"average_power", numberOf(w.averagePower)},
        {"peak_power", numberOf(w.peakPower)},
        {"papr_db", numberOf(w.paprDb)},
        {"ccdf_percent", rowOf(analysis::kCcdfPercent)},
        {"ccdf_db", rowOf(w.ccdfDb)},
        {"obw_hz", numberOf(w.obwHz)},
        {"acpr_offset_hz", offsets},
        {"acpr_dbc", acpr},
        {"rho", numberOf(m.codeDomain.rho)},
        {"channels", channelsArray(m.codeDomain.channels)},
    });
}

// The capture analysis with the names of `analyze --json`, the spectrum's
// keyed figures as rows as above.
Array captureArray(const analysis::CaptureAnalysis& a) {
    const auto [offsets, acpr] = acprRows(a.acpr);
    return Array::structure({
        {"capture_rate", numberOf(a.captureRate)},
        {"capture_samples", numberOf(static_cast<double>(a.captureSamples))},
        {"frames", numberOf(static_cast<double>(a.frames))},
        {"correlation_peak_to_mean", numberOf(a.correlationPeakToMean)},
        {"time_offset_s", numberOf(a.timeOffsetS)},
        {"freq_error_hz", numberOf(a.freqErrorHz)},
        {"phase_deg", numberOf(a.phaseDeg)},
        {"iq_offset_dbc", numberOf(a.iqOffsetDbc)},
        {"iq_gain_imbalance_db", numberOf(a.iqGainImbalanceDb)},
        {"quadrature_error_deg", numberOf(a.quadratureErrorDeg)},
        {"rho", numberOf(a.rho)},
        {"evm_rms_pct", numberOf(a.evmRmsPct)},
        {"evm_peak_pct", numberOf(a.evmPeakPct)},
        {"mag_error_pct", numberOf(a.magErrorPct)},
        {"phase_error_deg", numberOf(a.phaseErrorDeg)},
        {"channels", channelsArray(a.channels)},
        {"max_inactive_db", numberOf(a.maxInactiveDb)},
        {"obw_hz", numberOf(a.obwHz)},
        {"acpr_offset_hz", offsets},
        {"acpr_dbc", acpr},
    });
}

analysis::MeasurementOptions bandOptions(const Args& a, std::size_t first) {
    analysis::MeasurementOptions options;
    if (given(a, first)) options.acprOffsetsHz = a.realVector(first);
    if (given(a, first + 1)) options.offsetBandwidthHz = a.number(first + 1);
    if (given(a, first + 2)) options.channelBandwidthHz = a.number(first + 2);
    analysis::validateMeasurementOptions(options);
    return options;
}

}  // namespace

Outputs measureFrame(const Args& a) {
    const Parameters p = parameterSetArg(a, 0);
    const analysis::MeasurementOptions options = bandOptions(a, 3);

    const double sampleRate = given(a, 2) ? a.number(2) : chipSamplingRate(p.OverSampling);
    std::vector<std::complex<double>> givenWave;
    FrameResult frame;
    if (given(a, 1))
        givenWave = a.complexVector(1);
    else
        frame = Calculate(p, sampleRate);
    const std::span<const std::complex<double>> wave = given(a, 1) ? givenWave : frame.waveform;
    return {measurementsArray(analysis::measureFrame(wave, sampleRate, p, options))};
}

Outputs analyzeCapture(const Args& a) {
    const std::vector<std::complex<double>> samples = a.complexVector(0);
    const double captureRate = a.number(1);
    const Parameters p = parameterSetArg(a, 2);
    const double frameRate = given(a, 3) ? a.number(3) : chipSamplingRate(p.OverSampling);
    analysis::CaptureAnalysisOptions options;
    if (given(a, 4)) {
        const double frames = a.number(4);
        if (!(frames >= 1 && frames <= double(analysis::kMaxCaptureFrames) &&
              frames == std::floor(frames)))
            throw Error(fmt::format("analyzeCapture: maxFrames must be a whole number from 1 to {}",
                                    analysis::kMaxCaptureFrames));
        options.maxFrames = static_cast<std::size_t>(frames);
    }
    options.spectrum = bandOptions(a, 5);
    const std::vector<std::complex<float>> capture(samples.begin(), samples.end());
    return {captureArray(analysis::analyzeCapture(capture, captureRate, {p, frameRate}, options))};
}

}  // namespace onex::lib::gw
