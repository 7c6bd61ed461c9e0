// Gateways of the correction routines. Their failures are statuses, as the
// download relies on; only inputs of the wrong kind are errors.

#include <fmt/format.h>

#include <mutex>

#include "Instrument/ConfigFile.h"
#include "Instrument/CorrectionFile.h"
#include "Instrument/Corrections.h"
#include "lib/Gateways.h"
#include "lib/Instrument.h"
#include "platform/Error.h"

namespace onex::lib::gw {

namespace {

using Outputs = std::vector<Array>;

// The records as the numeric platform holds them: one record, or a 1 x N
// structure array of them.
Array recordsArray(const std::vector<CorrectionRecord>& records) {
    if (records.empty()) return Array();
    if (records.size() == 1) return records.front().record;
    Array out = Array::structArray({1, records.size()}, records.front().record.fieldNames());
    for (std::size_t i = 0; i < records.size(); ++i)
        for (const auto& name : records[i].record.fieldNames())
            out.setField(name, records[i].record.field(name), i);
    return out;
}

using Correction = CorrectionResult (*)(std::span<const std::complex<double>>,
                                        const CorrectionRecord&, double);

Outputs applyCorrection(const Args& a, Correction correction) {
    const Array& s = a.at(0);
    if (!isNumericVector(s)) a.fail(0, "a numeric vector");
    const Array& c = a.structure(1);
    const double sR = a.number(2);
    const auto wave = s.toComplexVector();
    // A record the checks refuse leaves the waveform as it is, like any
    // other failure of the correction.
    const CorrectionData parsed = parseCorrectionData({{"TarnIqCorrectionData", c}});
    CorrectionResult r;
    if (!parsed.status.empty() || parsed.records.empty()) {
        r.x = wave;
        r.status = parsed.status.empty() ? "Invalid data structure." : parsed.status;
    } else {
        r = correction(wave, parsed.records.front(), sR);
    }
    return {complexShaped(r.x, s), textOf(r.status)};
}

}  // namespace

Outputs GetCorrectionData(const Args& a) {
    const double freq = a.number(0);
    // The application asks the instrument of its current configuration; the
    // library takes the one given, else the stored one, else the start-up one.
    InstrumentTarget target;
    if (a.has(1))
        target = instrumentArg(a, 1);
    else
        target.config = onex::loadConfig().value_or(startupIoConfig());
    const std::filesystem::path folder =
        a.has(2) ? std::filesystem::path(a.text(2)) : defaultCorrectionFolder();
    const CorrectionLookup r =
        onInstrument(target, [&] { return onex::GetCorrectionData(freq, target.config, folder); });
    Array status = r.ioStatus != 0 ? numberOf(r.ioStatus) : textOf(r.status);
    return {status, recordsArray(r.x), numberOf(r.noFlatness)};
}

Outputs LoadTarnIqCorrectionData(const Args& a) {
    CorrectionData r = onex::LoadTarnIqCorrectionData(a.text(0));
    return {r.x, textOf(r.status)};
}

Outputs ApplyRfChannelCorrection(const Args& a) {
    return applyCorrection(a, &onex::ApplyRfChannelCorrection);
}

Outputs ApplyIqCorrection(const Args& a) {
    return applyCorrection(a, &onex::ApplyIqCorrection);
}

}  // namespace onex::lib::gw
