#pragma once

// A display drawn into an image file, without a window or a display: what
// the command line's plot verb writes. No Qt in this header, so that callers
// outside the desktop part can hand a model over.

#include <string>
#include <variant>

#include "Analysis/Ccdf.h"
#include "Analysis/EyeScatter.h"
#include "Analysis/IqTime.h"
#include "Analysis/Spectrum.h"
#include "Analysis/Waterfall.h"

namespace onex::displays {

struct IqTimeView {
    analysis::IqTimeModel model;
    bool overlay = false;
};

using DisplayModel =
    std::variant<analysis::SpectrumModel, analysis::CcdfModel, IqTimeView, analysis::EyeModel,
                 analysis::ScatterModel, analysis::WaterfallModel>;

// Draws the model's view at width x height pixels and writes it by the file's
// extension: .png, .svg or .pdf (a page of that many points). Needs a
// QApplication. Throws onex::Error when the file cannot be written.
void renderToFile(const DisplayModel& model, const std::string& path, int width, int height);

}  // namespace onex::displays
