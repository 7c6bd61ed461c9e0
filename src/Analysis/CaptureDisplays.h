#pragma once

// The display models of a capture analysis: the constellation of the
// corrected chips, the EVM against time and the code-domain power of each
// channel against its configured gain. They need the chips the analysis
// keeps (CaptureAnalysisOptions::keepChips).

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "Analysis/CaptureAnalysis.h"

namespace onex::analysis {

// Chips per point of the EVM against time: 256 chips, 128 points a frame.
inline constexpr std::size_t kEvmChipsPerPoint = 256;

// The chips in the I/Q plane: the measured chips (I across, Q up) over the
// distinct ideal points.
struct ChipConstellationModel {
    std::vector<double> i, q;
    std::vector<double> idealI, idealQ;
    double limit = 1;  // both axes from -limit to limit
};

// The error vector magnitude of each chip and its RMS over each run of
// kEvmChipsPerPoint chips, in per cent of the ideal chips' RMS, against the
// time from the frame's start in milliseconds (the run's middle).
struct EvmTimeModel {
    std::vector<double> chipTimeMs, chipEvmPct;
    std::vector<double> timeMs, evmPct;
    double rmsPct = 0;    // over the frame
    double frameMs = 0;   // the time axis' end
    double limitPct = 1;  // the EVM axis' top
};

// One bar pair per channel configured on (pilot first) and, measured only,
// the largest power on the inactive codes.
struct CodePowerBar {
    std::string label;
    std::optional<double> configuredDb;  // none for the inactive codes
    std::optional<double> measuredDb;
};
// The lowest floor of the bars: a clean capture's inactive codes lie far
// below, and would squeeze the channels' few dB into a sliver.
inline constexpr double kCodePowerFloorDb = -60;
struct CodePowerModel {
    std::vector<CodePowerBar> bars;
    // Where the bars start (a whole 10 dB below every value, but not below
    // kCodePowerFloorDb; a value beneath is drawn at the floor) and the top
    // (a whole 10 dB above every value).
    double floorDb = -40;
    double topDb = 10;
};

struct CaptureDisplays {
    ChipConstellationModel constellation;
    EvmTimeModel evm;
    CodePowerModel codePower;
};

// The models of an analysis. Throws onex::Error when it kept no chips.
CaptureDisplays captureDisplays(const CaptureAnalysis& analysis);

}  // namespace onex::analysis
