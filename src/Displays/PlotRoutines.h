#pragma once

// The display windows. Each computes its model, opens a window placed
// against hParent (null: the screen), named after the display and `label`,
// draws the view, shows the window and returns it. The windows delete
// themselves when closed.

#include <QMainWindow>
#include <QWidget>
#include <complex>
#include <span>
#include <string>

#include "platform/Dialogs.h"

namespace onex::displays {

using Wave = std::span<const std::complex<double>>;

// "CCDF " + label; an empty waveform shows the 1000-sample test waveform.
QMainWindow* QV_PlotCCDF(QWidget* hParent, const std::string& label = "Test Data",
                         Wave iqWave = {});

// "Magnitude Spectrum " + label.
QMainWindow* QV_PlotSpectrum(QWidget* hParent, const std::string& label, double sampleRate,
                             Wave iqWave);

// "I(t) Q(t) " + label (+ "No Data" for an empty waveform); overlay 0: I
// above Q, else both on one axes.
QMainWindow* QV_PlotIQTime(QWidget* hParent, const std::string& label, double sampleRate,
                           double overlay, Wave iqWave);

// "Eye Diagram " + label. n samples per trace, period seconds per trace,
// offset samples skipped. n, offset and period are first brought into range;
// what the eye diagram still refuses is shown in a "Plot Error" window
// ("Unable to Plot Eye Diagram" and the reason) and null is returned.
QMainWindow* QV_PlotEyeDiagram(QWidget* hParent, const std::string& label, Wave iqWave, double n,
                               double period, double offset, onex::platform::Dialogs& dialogs);

// "Scatter Diagram " + label: one point every n samples from the offset on,
// and with traceOn also the trajectory through every sample. Failures as for
// the eye diagram ("Unable to Plot Scatter Diagram").
QMainWindow* QV_PlotScatterDiagram(QWidget* hParent, const std::string& label, Wave iqWave,
                                   double n, double offset, double traceOn,
                                   onex::platform::Dialogs& dialogs);

// The "Plot Error" window: "Unable to Plot " + what, a line feed, the text.
void reportPlotError(const std::string& what, const std::string& text,
                     onex::platform::Dialogs& dialogs);

// "Spectrum Waterfall " + label: slices of `period` seconds (at least ten
// samples) one behind the other.
QMainWindow* QV_PlotWaterfall(QWidget* hParent, const std::string& label, double sampleRate,
                              double period, Wave iqWave);

}  // namespace onex::displays
