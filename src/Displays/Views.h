#pragma once

// One view per display: draws a model of src/Analysis into a QCustomPlot
// (titles, labels, limits, scales, grids, colours and the tags of the axes
// and curves). The windows and the image files use the same views, so a file
// shows exactly what the window shows.

#include "Analysis/Ccdf.h"
#include "Analysis/EyeScatter.h"
#include "Analysis/IqTime.h"
#include "Analysis/Spectrum.h"
#include "Analysis/Waterfall.h"

class QCustomPlot;

namespace onex::displays {

void drawSpectrum(QCustomPlot& plot, const analysis::SpectrumModel& m);
void drawCcdf(QCustomPlot& plot, const analysis::CcdfModel& m);
// Two plots (I above Q), or one with both curves when `overlay`.
void drawIqTime(QCustomPlot& plot, const analysis::IqTimeModel& m, bool overlay);
// Two plots for complex input (in-phase above quadrature), one for real.
void drawEye(QCustomPlot& plot, const analysis::EyeModel& m);
// Blue points; with a trace, a cyan line through every sample beneath them.
void drawScatter(QCustomPlot& plot, const analysis::ScatterModel& m);
// An oblique three-dimensional view: frequency across, time in depth (the
// first slice in front), level upwards; filled slices drawn back to front
// hide what lies behind them.
void drawWaterfall(QCustomPlot& plot, const analysis::WaterfallModel& m);

// The default size of the windows and images of each display, in pixels.
inline constexpr int kEyeWidth = 460, kEyeComplexHeight = 540, kEyeRealHeight = 360;

}  // namespace onex::displays
