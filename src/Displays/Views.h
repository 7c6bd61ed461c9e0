#pragma once

// One view per display: draws a model of src/Analysis into a QCustomPlot
// (titles, labels, limits, scales, grids, colours and the tags of the axes
// and curves). The windows and the image files use the same views, so a file
// shows exactly what the window shows.

#include "Displays/CcdfView.h"
#include "Displays/EyeView.h"
#include "Displays/IqTimeView.h"
#include "Displays/ScatterView.h"
#include "Displays/SpectrumView.h"
#include "Displays/WaterfallView.h"
