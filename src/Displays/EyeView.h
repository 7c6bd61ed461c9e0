#pragma once

#include "Analysis/EyeScatter.h"

class QCustomPlot;

namespace onex::displays {

// Two plots for complex input (in-phase above quadrature), one for real.
void drawEye(QCustomPlot& plot, const analysis::EyeModel& m);

}  // namespace onex::displays
