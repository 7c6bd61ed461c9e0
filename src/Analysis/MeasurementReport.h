#pragma once

// The measurements by name: one walk over the fields that the JSON text, the
// readable table and other front ends (a scripting binding) share, so that
// every one of them uses the same names.

#include <optional>
#include <string>
#include <string_view>

#include "Analysis/Measurements.h"

namespace onex::analysis {

// Receives the fields in order. Objects nest; a number is given a value only
// when it has a finite one, otherwise it is "not available".
class MeasurementFieldVisitor {
  public:
    virtual ~MeasurementFieldVisitor() = default;
    virtual void beginObject(std::string_view key) = 0;
    virtual void endObject() = 0;
    virtual void number(std::string_view key, std::optional<double> value) = 0;
    virtual void boolean(std::string_view key, bool value) = 0;
    virtual void text(std::string_view key, std::string_view value) = 0;
};

// sample_rate, samples, average_power, peak_power, papr_db, ccdf_db {"10",
// "1", "0.1", "0.01", "0.001"}, obw_hz, acpr_dbc {offset in Hz as a whole
// number: "-885000", ...}, rho, channels {pilot, rri, drc, ack, data: each
// active, configured_db, measured_db}, and last not_available: for every
// number not available, its path (the keys joined by ".", e.g.
// "acpr_dbc.-1980000") and why, in words.
void visitMeasurementFields(const Measurements& m, MeasurementFieldVisitor& visitor);

// The fields as one JSON object (shortest round-trip numbers, null where not
// available), ending in a line feed.
std::string measurementsJson(const Measurements& m);

// The same figures as a table for people, ending in a line feed.
std::string measurementsTable(const Measurements& m);

}  // namespace onex::analysis
