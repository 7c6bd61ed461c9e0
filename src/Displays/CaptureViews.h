#pragma once

// The views of a capture analysis (models in Analysis/CaptureDisplays.h),
// one per file: the chips' constellation, the EVM against time and the
// code-domain power.

#include "Analysis/CaptureDisplays.h"

class QCustomPlot;

namespace onex::displays {

// Measured chips as small blue points, I across and Q up on equal scales,
// the ideal points as red crosses over them.
void drawChipConstellation(QCustomPlot& plot, const analysis::ChipConstellationModel& m);
// Each chip's EVM as grey points, the EVM of each run of chips as a blue
// line, and the frame's RMS as a dashed red line.
void drawEvmTime(QCustomPlot& plot, const analysis::EvmTimeModel& m);
// Per channel a grey bar (configured) beside a blue one (measured), in dB
// relative to the pilot, with the measured value written above.
void drawCodePower(QCustomPlot& plot, const analysis::CodePowerModel& m);

}  // namespace onex::displays
