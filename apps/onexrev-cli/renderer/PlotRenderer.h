#pragma once

// The interface between onexrev-cli and its renderer library
// (libonexrev-plot.so), which alone links Qt: the other verbs start without
// loading it. The library is loaded by path, so a copy from another build
// (a stale installed one) could be found: the command line checks its tag
// (platform/Module.h) before it calls anything else.

#include <cstddef>
#include <cstdint>

#include "Displays/Render.h"
#include "platform/Module.h"

// Raised whenever the functions below or what they take change.
inline constexpr std::uint32_t kPlotRendererInterface = 2;

using PlotRendererTag = onex::platform::ModuleTag;

// The tag of this build, as both sides compare it.
inline constexpr PlotRendererTag kPlotRendererTag{sizeof(PlotRendererTag), kPlotRendererInterface,
                                                  ONEX_BUILD_VERSION,
                                                  sizeof(onex::displays::DisplayModel)};

extern "C" const PlotRendererTag* onexrev_plot_renderer_tag();
inline constexpr const char* kPlotRendererTagSymbol = "onexrev_plot_renderer_tag";

// Draws `model` into the file `path` in `format` (an ImageFormat; the
// path's name does not matter) at width x height. Returns 0, or 1 with the
// reason in `error`, which names the file as `shownName`.
extern "C" int onexrev_plot_render(const onex::displays::DisplayModel* model, const char* path,
                                   int format, const char* shownName, int width, int height,
                                   char* error, std::size_t errorSize);

inline constexpr const char* kPlotRendererSymbol = "onexrev_plot_render";
using PlotRenderFunction = decltype(&onexrev_plot_render);
