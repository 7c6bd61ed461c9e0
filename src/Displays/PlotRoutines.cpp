#include "Displays/PlotRoutines.h"

#include <qcustomplot.h>
#include <algorithm>
#include <cmath>

#include "Displays/PlotWindow.h"
#include "Displays/Views.h"

namespace onex::displays {

namespace {

// Draws into a new window and shows it.
template <class Draw>
QMainWindow* openDisplay(QWidget* hParent, const std::string& name, Placement placement,
                         Draw&& draw) {
    QMainWindow* window = newPlotWindow(hParent, name, placement);
    try {
        QCustomPlot& plot = *plotOf(*window);
        draw(plot);
        rememberHomeRanges(plot);
        plot.replot();
    } catch (...) {
        delete window;
        throw;
    }
    window->show();
    return window;
}

// What the eye and scatter windows do with a failure: say so and give none.
template <class Open>
QMainWindow* guardedPlot(const char* what, onex::platform::Dialogs& dialogs, Open&& open) {
    try {
        return open();
    } catch (const std::exception& e) {
        reportPlotError(what, e.what(), dialogs);
        return nullptr;
    }
}

}  // namespace

void reportPlotError(const std::string& what, const std::string& text,
                     onex::platform::Dialogs& dialogs) {
    dialogs.errorBox("Unable to Plot " + what + "\n" + text, "Plot Error", false);
}

QMainWindow* QV_PlotCCDF(QWidget* hParent, const std::string& label, Wave iqWave) {
    const analysis::CcdfModel m = analysis::ccdfModel(iqWave);
    return openDisplay(hParent, "CCDF " + label, Placement::Standard,
                       [&](QCustomPlot& plot) { drawCcdf(plot, m); });
}

QMainWindow* QV_PlotSpectrum(QWidget* hParent, const std::string& label, double sampleRate,
                             Wave iqWave) {
    const analysis::SpectrumModel m = analysis::spectrumModel(iqWave, sampleRate);
    return openDisplay(hParent, "Magnitude Spectrum " + label, Placement::Spectrum,
                       [&](QCustomPlot& plot) { drawSpectrum(plot, m); });
}

QMainWindow* QV_PlotIQTime(QWidget* hParent, const std::string& label, double sampleRate,
                           double overlay, Wave iqWave) {
    const analysis::IqTimeModel m = analysis::iqTimeModel(iqWave, sampleRate);
    const std::string name = "I(t) Q(t) " + (m.testData ? std::string("No Data") : label);
    return openDisplay(hParent, name, Placement::Standard,
                       [&](QCustomPlot& plot) { drawIqTime(plot, m, overlay != 0); });
}

QMainWindow* QV_PlotEyeDiagram(QWidget* hParent, const std::string& label, Wave iqWave, double n,
                               double period, double offset, onex::platform::Dialogs& dialogs) {
    const analysis::PlotArguments a = analysis::windowArguments(n, offset, period);
    return guardedPlot("Eye Diagram", dialogs, [&] {
        const analysis::EyeModel m = analysis::eyediagram(iqWave, a.n, a.period, a.offset);
        return openDisplay(hParent, "Eye Diagram " + label, Placement::Standard,
                           [&](QCustomPlot& plot) { drawEye(plot, m); });
    });
}

QMainWindow* QV_PlotScatterDiagram(QWidget* hParent, const std::string& label, Wave iqWave,
                                   double n, double offset, double traceOn,
                                   onex::platform::Dialogs& dialogs) {
    const analysis::PlotArguments a = analysis::windowArguments(n, offset);
    return guardedPlot("Scatter Diagram", dialogs, [&] {
        const analysis::ScatterModel m = analysis::scatterplot(iqWave, a.n, a.offset, traceOn != 0);
        return openDisplay(hParent, "Scatter Diagram " + label, Placement::Standard,
                           [&](QCustomPlot& plot) { drawScatter(plot, m); });
    });
}

QMainWindow* QV_PlotWaterfall(QWidget* hParent, const std::string& label, double sampleRate,
                              double period, Wave iqWave) {
    const analysis::WaterfallModel m = analysis::waterfallModel(iqWave, sampleRate, period);
    return openDisplay(hParent, "Spectrum Waterfall " + label, Placement::Waterfall,
                       [&](QCustomPlot& plot) { drawWaterfall(plot, m); });
}

}  // namespace onex::displays
