#pragma once

#include "Analysis/Ccdf.h"

class QCustomPlot;

namespace onex::displays {

void drawCcdf(QCustomPlot& plot, const analysis::CcdfModel& m);

}  // namespace onex::displays
