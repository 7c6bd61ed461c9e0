#pragma once

#include "Analysis/Waterfall.h"

class QCustomPlot;

namespace onex::displays {

// An oblique three-dimensional view: frequency across, time in depth (the
// first slice in front), level upwards. Each slice is a curtain, its level
// profile with edges down to its base, filled and drawn back to front so
// that it hides what lies behind it.
void drawWaterfall(QCustomPlot& plot, const analysis::WaterfallModel& m);

}  // namespace onex::displays
