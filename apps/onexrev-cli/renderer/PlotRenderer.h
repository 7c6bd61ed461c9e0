#pragma once

// The interface between onexrev-cli and its renderer library
// (libonexrev-plot.so), which alone links Qt: the other verbs start without
// loading it. Both sides are built from this tree with the same compiler.

#include <cstddef>

#include "Displays/Render.h"

// Draws `model` into the image file `path` (by its extension) at width x
// height. Returns 0, or 1 with the reason in `error`.
extern "C" int onexrev_plot_render(const onex::displays::DisplayModel* model, const char* path,
                                   int width, int height, char* error, std::size_t errorSize);

inline constexpr const char* kPlotRendererSymbol = "onexrev_plot_render";
using PlotRenderFunction = decltype(&onexrev_plot_render);
