// Gateway of the measurements: the figures of `onexrev-cli measure --json` as
// one structure.

#include <cmath>
#include <limits>

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
Array measurementsArray(const analysis::Measurements& m) {
    const analysis::WaveformMeasurements& w = m.waveform;
    std::vector<double> offsets, acpr;
    for (const analysis::AcprPoint& p : w.acpr) {
        offsets.push_back(p.offsetHz);
        acpr.push_back(p.dbc.value_or(kNotAvailable));
    }
    std::vector<std::pair<std::string, Array>> channels;
    for (std::size_t k = 0; k < analysis::kCodeChannels; ++k) {
        const analysis::ChannelPower& c = m.codeDomain.channels[k];
        channels.emplace_back(
            std::string(analysis::codeChannelName(static_cast<analysis::CodeChannel>(k))),
            Array::structure({{"active", Array::logical(c.active)},
                              {"configured_db", numberOf(c.configuredDb)},
                              {"measured_db", numberOf(c.measuredDb.value_or(kNotAvailable))}}));
    }
    return Array::structure({
        {"sample_rate", numberOf(w.sampleRate)},
        {"samples", numberOf(static_cast<double>(w.samples))},
        {"average_power", numberOf(w.averagePower)},
        {"peak_power", numberOf(w.peakPower)},
        {"papr_db", numberOf(w.paprDb)},
        {"ccdf_percent", rowOf(analysis::kCcdfPercent)},
        {"ccdf_db", rowOf(w.ccdfDb)},
        {"obw_hz", numberOf(w.obwHz)},
        {"acpr_offset_hz", rowOf(offsets)},
        {"acpr_dbc", rowOf(acpr)},
        {"rho", numberOf(m.codeDomain.rho)},
        {"channels", Array::structure(channels)},
    });
}

}  // namespace

Outputs measureFrame(const Args& a) {
    const Parameters p = parameterSetArg(a, 0);
    analysis::MeasurementOptions options;
    if (given(a, 3)) options.acprOffsetsHz = a.realVector(3);
    if (given(a, 4)) options.offsetBandwidthHz = a.number(4);
    if (given(a, 5)) options.channelBandwidthHz = a.number(5);
    analysis::validateMeasurementOptions(options);

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

}  // namespace onex::lib::gw
