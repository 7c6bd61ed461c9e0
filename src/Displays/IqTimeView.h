#pragma once

#include "Analysis/IqTime.h"

class QCustomPlot;

namespace onex::displays {

// Two plots (I above Q), or one with both curves when `overlay`.
void drawIqTime(QCustomPlot& plot, const analysis::IqTimeModel& m, bool overlay);

}  // namespace onex::displays
