#pragma once

// A display drawn into an image file, without a window or a display: what
// the command line's plot verb writes. No Qt in this header, so that callers
// outside the desktop part can hand a model over.

#include <optional>
#include <string>
#include <variant>

#include "Analysis/Ccdf.h"
#include "Analysis/EyeScatter.h"
#include "Analysis/IqTime.h"
#include "Analysis/Spectrum.h"
#include "Analysis/Waterfall.h"
#include "platform/Text.h"

namespace onex::displays {

struct IqTimeView {
    analysis::IqTimeModel model;
    bool overlay = false;
};

using DisplayModel =
    std::variant<analysis::SpectrumModel, analysis::CcdfModel, IqTimeView, analysis::EyeModel,
                 analysis::ScatterModel, analysis::WaterfallModel>;

enum class ImageFormat { Png, Svg, Pdf };

// The image format a file name asks for by its extension (.png, .svg or
// .pdf, any case), or none.
inline std::optional<ImageFormat> imageFormatOf(const std::string& path) {
    const auto dot = path.rfind('.');
    const std::string ext = dot == std::string::npos ? "" : platform::toLower(path.substr(dot));
    if (ext == ".png") return ImageFormat::Png;
    if (ext == ".svg") return ImageFormat::Svg;
    if (ext == ".pdf") return ImageFormat::Pdf;
    return std::nullopt;
}

// Draws the model's view at width x height pixels and writes it in `format`
// (PDF: a page of that many points) to `path`, whatever its name. Needs a
// QApplication. Throws onex::Error when the file cannot be written.
void renderToFile(const DisplayModel& model, const std::string& path, ImageFormat format, int width,
                  int height);
// The same in the format the file's extension names.
void renderToFile(const DisplayModel& model, const std::string& path, int width, int height);

}  // namespace onex::displays
