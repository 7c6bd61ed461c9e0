#include "Displays/CcdfView.h"

#include <qcustomplot.h>

#include "Displays/ViewParts.h"

namespace onex::displays {

void drawCcdf(QCustomPlot& plot, const analysis::CcdfModel& m) {
    reset(plot);
    QCPAxisRect* rect = addTitledRect(plot, "CCDF");
    rect->setObjectName("QV_CCDF");
    QCPGraph* measured = addLine(rect, m.X, m.Y, kBlue, 1.5);
    QCPGraph* reference = addLine(rect, m.X, m.Y1, kGrey, 2.5);
    reference->setPen(QPen(kGrey, 2.5, Qt::SolidLine));
    measured->setName("Waveform");
    reference->setName(m.realWave ? "Gaussian noise (real)" : "Gaussian noise");
    QCPAxis* x = rect->axis(QCPAxis::atBottom);
    QCPAxis* y = rect->axis(QCPAxis::atLeft);
    y->setScaleType(QCPAxis::stLogarithmic);
    auto log = QSharedPointer<QCPAxisTickerLog>::create();
    y->setTicker(log);
    y->setNumberFormat("g");
    auto fixed = QSharedPointer<QCPAxisTickerFixed>::create();
    fixed->setTickStep(2);
    fixed->setScaleStrategy(QCPAxisTickerFixed::ssNone);
    x->setTicker(fixed);
    x->setRange(0, m.maxX);
    y->setRange(m.yMin, 100);
    x->setLabel("dB above Average");
    y->setLabel("Frequency of occurence (%)");
    dottedGrid(x);
    dottedGrid(y);
    y->grid()->setSubGridVisible(false);
    // Which curve is which: the reference is the wide grey one.
    addLegend(plot, rect, {measured, reference});
}

}  // namespace onex::displays
