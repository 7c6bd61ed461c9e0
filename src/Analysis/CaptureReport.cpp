#include "Analysis/CaptureReport.h"

#include <fmt/format.h>

#include <cmath>

namespace onex::analysis {

namespace {
// Above this, power on unused codes is more than noise at any usable C/N.
constexpr double kInactiveNoteDb = -15;
}  // namespace

void visitCaptureFields(const CaptureAnalysis& a, MeasurementFieldVisitor& visitor) {
    FieldWalk v(visitor);
    v.beginObject({});
    v.number("capture_rate", a.captureRate);
    v.number("capture_samples", static_cast<double>(a.captureSamples));
    v.number("frames", static_cast<double>(a.frames));
    v.number("correlation_peak_to_mean", a.correlationPeakToMean);
    v.number("time_offset_s", a.timeOffsetS);
    v.number("freq_error_hz", a.freqErrorHz);
    v.number("phase_deg", a.phaseDeg);
    v.number("iq_offset_dbc", a.iqOffsetDbc);
    v.number("iq_gain_imbalance_db", a.iqGainImbalanceDb);
    v.number("quadrature_error_deg", a.quadratureErrorDeg);
    v.number("rho", a.rho);
    v.number("evm_rms_pct", a.evmRmsPct);
    v.number("evm_peak_pct", a.evmPeakPct);
    v.number("mag_error_pct", a.magErrorPct);
    v.number("phase_error_deg", a.phaseErrorDeg);
    visitChannelFields(a.channels, v);
    v.number("max_inactive_db", a.maxInactiveDb);
    visitSpectrumFields(a.obwHz, a.acpr, v);
    v.missingFigures();
    v.endObject();
}

std::string captureJson(const CaptureAnalysis& a) {
    return fieldsJson([&a](MeasurementFieldVisitor& v) { visitCaptureFields(a, v); });
}

std::string captureTable(const CaptureAnalysis& a) {
    std::string t;
    auto line = [&t](std::string_view label, const std::string& value) {
        t += fmt::format("{:<28}{}\n", label, value);
    };
    line("Capture", fmt::format("{} samples at {:.0f} Sa/s, {} frame{} analysed", a.captureSamples,
                                a.captureRate, a.frames, a.frames == 1 ? "" : "s"));
    line("Correlation peak",
         fmt::format("{:.1f} dB above mean", 10 * std::log10(a.correlationPeakToMean)));
    line("Time offset", fmt::format("{:.3f} us", a.timeOffsetS * 1e6));
    line("Frequency error", fmt::format("{:.3f} Hz", a.freqErrorHz));
    line("Phase", fmt::format("{:.3f} deg", a.phaseDeg));
    line("I/Q origin offset", fmt::format("{:.2f} dBc", a.iqOffsetDbc));
    line("I/Q gain imbalance", fmt::format("{:.3f} dB", a.iqGainImbalanceDb));
    line("Quadrature error", fmt::format("{:.3f} deg", a.quadratureErrorDeg));
    line("Waveform quality (rho)", fmt::format("{:.6f}", a.rho));
    line("EVM", fmt::format("{:.3f} % rms, {:.3f} % peak", a.evmRmsPct, a.evmPeakPct));
    line("Magnitude error", fmt::format("{:.3f} % rms", a.magErrorPct));
    line("Phase error", fmt::format("{:.3f} deg rms", a.phaseErrorDeg));
    line("Largest inactive code", fmt::format("{:.2f} dB", a.maxInactiveDb));
    t += spectrumTable(a.obwHz, a.acpr, a.offsetBandwidthHz, a.channelBandwidthHz);
    t += '\n';
    t += channelsTable(a.channels);
    if (a.maxInactiveDb > kInactiveNoteDb)
        t += fmt::format(
            "\nNote: {:.1f} dB on a code no active channel uses: the capture may hold channels "
            "or gains other than the parameter set's (or its C/N is very low).\n",
            a.maxInactiveDb);
    return t;
}

}  // namespace onex::analysis
