#include "Displays/IqTimeView.h"

#include <qcustomplot.h>

#include "Displays/ViewParts.h"

namespace onex::displays {

void drawIqTime(QCustomPlot& plot, const analysis::IqTimeModel& m, bool overlay) {
    reset(plot);
    const QString timeLabel = QString::fromStdString("Time (" + m.tUnits + ")");
    auto dress = [&](QCPAxisRect* rect, bool timeAxisLabel) {
        QCPAxis* x = rect->axis(QCPAxis::atBottom);
        QCPAxis* y = rect->axis(QCPAxis::atLeft);
        x->setRange(m.tMin, m.tMax > m.tMin ? m.tMax : m.tMin + 1 / m.sampleRate * m.multiplier);
        y->setRange(m.iMin, m.iMax);
        y->setLabel("Amplitude (V)");
        if (timeAxisLabel) x->setLabel(timeLabel);
        dottedGrid(x);
        dottedGrid(y);
    };
    if (!overlay) {
        QCPAxisRect* upper = addTitledRect(plot, "I(t)");
        addLine(upper, m.t, m.i, kBlue)->setObjectName("QV_Iwave");
        dress(upper, false);
        QCPAxisRect* lower = addTitledRect(plot, "Q(t)");
        addLine(lower, m.t, m.q, kBlue)->setObjectName("QV_Qwave");
        dress(lower, true);
        // Zooming the time of one zooms the other.
        QObject::connect(
            upper->axis(QCPAxis::atBottom), QOverload<const QCPRange&>::of(&QCPAxis::rangeChanged),
            lower->axis(QCPAxis::atBottom), QOverload<const QCPRange&>::of(&QCPAxis::setRange));
        return;
    }
    QCPAxisRect* rect = addTitledRect(plot, "I(t) Q(t)");
    rect->setObjectName("QV_IQwave");
    QCPGraph* i = addLine(rect, m.t, m.i, kBlue);
    QCPGraph* q = addLine(rect, m.t, m.q, kMagenta);
    i->setName("I(t)");
    q->setName("Q(t)");
    dress(rect, true);
    addLegend(plot, rect, {i, q});
}

}  // namespace onex::displays
