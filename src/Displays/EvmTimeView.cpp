#include <qcustomplot.h>

#include "Displays/CaptureViews.h"
#include "Displays/ViewParts.h"

namespace onex::displays {

void drawEvmTime(QCustomPlot& plot, const analysis::EvmTimeModel& m) {
    reset(plot);
    QCPAxisRect* rect = addTitledRect(plot, "EVM versus Time");
    rect->setObjectName("QV_EvmTime");
    QCPGraph* chips = addPoints(rect, m.chipTimeMs, m.chipEvmPct,
                                QCPScatterStyle(QCPScatterStyle::ssDot, QPen(kGrey), QBrush(), 1));
    chips->setObjectName("chips");
    chips->setName("Chip");
    QCPGraph* runs = addLine(rect, m.timeMs, m.evmPct, kBlue, 1.5);
    runs->setObjectName("runs");
    runs->setName(QString("RMS over %1 chips").arg(analysis::kEvmChipsPerPoint));
    QCPGraph* rms = addLine(rect, {0, m.frameMs}, {m.rmsPct, m.rmsPct}, kRed);
    rms->setPen(QPen(kRed, 1.5, Qt::DashLine));
    rms->setObjectName("rms");
    rms->setName(QString("RMS %1 %").arg(m.rmsPct, 0, 'f', 2));
    QCPAxis* x = rect->axis(QCPAxis::atBottom);
    QCPAxis* y = rect->axis(QCPAxis::atLeft);
    x->setRange(0, m.frameMs);
    y->setRange(0, m.limitPct);
    x->setLabel("Time from frame start (ms)");
    y->setLabel("EVM (%)");
    dottedGrid(x);
    dottedGrid(y);
    addLegend(rect, {chips, runs, rms});
}

}  // namespace onex::displays
