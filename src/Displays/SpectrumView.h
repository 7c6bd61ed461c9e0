#pragma once

#include "Analysis/Spectrum.h"

class QCustomPlot;

namespace onex::displays {

void drawSpectrum(QCustomPlot& plot, const analysis::SpectrumModel& m);

}  // namespace onex::displays
