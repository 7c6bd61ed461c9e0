#pragma once

// The figures of a capture analysis by name, for the JSON text, the table
// and other front ends (the scripting binding, the library's structure), in
// the conventions of the measurement report (MeasurementReport.h).

#include <string>

#include "Analysis/CaptureAnalysis.h"
#include "Analysis/MeasurementReport.h"

namespace onex::analysis {

// capture_rate, capture_samples, frames, correlation_peak_to_mean,
// time_offset_s, freq_error_hz, phase_deg, iq_offset_dbc,
// iq_gain_imbalance_db, quadrature_error_deg, rho, evm_rms_pct,
// evm_peak_pct, mag_error_pct, phase_error_deg, channels {pilot, rri, drc,
// ack, data: each active, configured_db, measured_db}, max_inactive_db,
// obw_hz, acpr_dbc {offset in whole Hz: dBc or not available}, and last
// not_available as in the measurements.
void visitCaptureFields(const CaptureAnalysis& a, MeasurementFieldVisitor& visitor);

// The fields as one JSON object, ending in a line feed.
std::string captureJson(const CaptureAnalysis& a);

// The same figures as a table for people, ending in a line feed.
std::string captureTable(const CaptureAnalysis& a);

}  // namespace onex::analysis
