#pragma once

// The measurements by name: one walk over the fields that the JSON text, the
// readable table and other front ends (a scripting binding) share, so that
// every one of them uses the same names.

#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "Analysis/Measurements.h"

namespace onex::analysis {

// Receives the fields in order. Objects nest; a number without a value (or
// one that is not finite) is "not available".
class MeasurementFieldVisitor {
  public:
    virtual ~MeasurementFieldVisitor() = default;
    virtual void beginObject(std::string_view key) = 0;
    virtual void endObject() = 0;
    virtual void number(std::string_view key, std::optional<double> value) = 0;
    virtual void boolean(std::string_view key, bool value) = 0;
};

// sample_rate, samples, average_power, peak_power, papr_db, ccdf_db {"10",
// "1", "0.1", "0.01", "0.001"}, obw_hz, acpr_dbc {offset in Hz as a whole
// number: "-885000", ...}, rho, channels {pilot, rri, drc, ack, data: each
// active, configured_db, measured_db}.
void visitMeasurementFields(const Measurements& m, MeasurementFieldVisitor& visitor);

// The fields as one JSON object (shortest round-trip numbers, null where not
// available), ending in a line feed.
std::string measurementsJson(const Measurements& m);

// The same figures as a table for people, ending in a line feed.
std::string measurementsTable(const Measurements& m);

// The fields that `walk` gives to its visitor as one JSON object, written as
// measurementsJson writes them, ending in a line feed.
std::string fieldsJson(const std::function<void(MeasurementFieldVisitor&)>& walk);

// The channels object of the measurements ("channels": pilot, rri, drc, ack,
// data with active, configured_db, measured_db), and the channel table.
void visitChannelFields(std::span<const ChannelPower, kCodeChannels> channels,
                        MeasurementFieldVisitor& visitor);
std::string channelsTable(std::span<const ChannelPower, kCodeChannels> channels);
// The obw_hz and acpr_dbc fields (keyed by the offset in whole Hz), and
// their table lines.
void visitSpectrumFields(double obwHz, std::span<const AcprPoint> acpr,
                         MeasurementFieldVisitor& visitor);
std::string spectrumTable(double obwHz, std::span<const AcprPoint> acpr, double offsetBandwidthHz,
                          double channelBandwidthHz);

}  // namespace onex::analysis
