#include "Displays/Render.h"

#include <qcustomplot.h>
#include <QBuffer>
#include <QFile>
#include <QSvgGenerator>
#include <filesystem>

#include "Displays/Views.h"
#include "platform/Error.h"

namespace onex::displays {

namespace {

struct Drawer {
    QCustomPlot& plot;
    void operator()(const analysis::SpectrumModel& m) { drawSpectrum(plot, m); }
    void operator()(const analysis::CcdfModel& m) { drawCcdf(plot, m); }
    void operator()(const IqTimeView& v) { drawIqTime(plot, v.model, v.overlay); }
    void operator()(const analysis::EyeModel& m) { drawEye(plot, m); }
    void operator()(const analysis::ScatterModel& m) { drawScatter(plot, m); }
    void operator()(const analysis::WaterfallModel& m) { drawWaterfall(plot, m); }
};

}  // namespace

void renderToFile(const DisplayModel& model, const std::string& path, ImageFormat format, int width,
                  int height) {
    QCustomPlot plot;
    plot.setAttribute(Qt::WA_DontShowOnScreen);
    plot.resize(width, height);
    std::visit(Drawer{plot}, model);
    // Each export lays the plot out for its size and draws it once.

    const QString file = QString::fromStdString(path);
    bool ok = false;
    if (format == ImageFormat::Png) {
        // Encoded in memory, then written: a failed write is then ours to
        // report, not libpng's (whose error path leaks its row buffer).
        // Light compression: a plot of lines compresses well anyway.
        QByteArray png;
        QBuffer buffer(&png);
        QFile out(file);
        ok = buffer.open(QIODevice::WriteOnly) &&
             plot.toPixmap(width, height, 1.0).toImage().save(&buffer, "PNG", 80) &&
             out.open(QIODevice::WriteOnly | QIODevice::Truncate) && out.write(png) == png.size() &&
             out.flush();
    } else if (format == ImageFormat::Pdf) {
        ok = plot.savePdf(file, width, height);
    } else {
        QSvgGenerator svg;
        svg.setFileName(file);
        svg.setSize(QSize(width, height));
        svg.setViewBox(QRect(0, 0, width, height));
        svg.setTitle("onexrev plot");
        QCPPainter painter;
        if (painter.begin(&svg)) {
            plot.toPainter(&painter, width, height);
            ok = painter.end();
        }
        ok = ok && std::filesystem::exists(path) && std::filesystem::file_size(path) > 0;
    }
    if (!ok) throw Error("Cannot write the image file " + path);
}

void renderToFile(const DisplayModel& model, const std::string& path, int width, int height) {
    const std::optional<ImageFormat> format = imageFormatOf(path);
    if (!format) throw Error("The image file must end in .png, .svg or .pdf: " + path);
    renderToFile(model, path, *format, width, height);
}

}  // namespace onex::displays
