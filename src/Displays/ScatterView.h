#pragma once

#include "Analysis/EyeScatter.h"

class QCustomPlot;

namespace onex::displays {

// Blue points; with a trace, a cyan line through every sample beneath them.
void drawScatter(QCustomPlot& plot, const analysis::ScatterModel& m);

}  // namespace onex::displays
