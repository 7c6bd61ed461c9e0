#pragma once

#include "Analysis/Waterfall.h"

class QCustomPlot;

namespace onex::displays {

// An oblique three-dimensional view: frequency across, time in depth (the
// first slice in front), level upwards; filled slices drawn back to front
// hide what lies behind them.
void drawWaterfall(QCustomPlot& plot, const analysis::WaterfallModel& m);

}  // namespace onex::displays
