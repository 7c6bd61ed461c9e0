#include "Displays/SpectrumView.h"

#include <qcustomplot.h>

#include "Displays/ViewParts.h"

namespace onex::displays {

void drawSpectrum(QCustomPlot& plot, const analysis::SpectrumModel& m) {
    reset(plot);
    QCPAxisRect* rect = addTitledRect(plot, "Spectrum");
    addLine(rect, m.f, m.magSignal, kBlue);
    QCPAxis* x = rect->axis(QCPAxis::atBottom);
    QCPAxis* y = rect->axis(QCPAxis::atLeft);
    x->setLabel(QString::fromStdString("Frequency (" + m.fUnits + ")"));
    y->setLabel("LogMag (dB)");
    x->setRange(m.fMin, m.fMax);
    y->setRange(m.mMin, m.mMax);
    dottedGrid(x);
    dottedGrid(y);
}

}  // namespace onex::displays
