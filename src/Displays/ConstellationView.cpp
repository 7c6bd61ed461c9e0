#include <qcustomplot.h>

#include "Displays/CaptureViews.h"
#include "Displays/ViewParts.h"

namespace onex::displays {

void drawChipConstellation(QCustomPlot& plot, const analysis::ChipConstellationModel& m) {
    reset(plot);
    QCPAxisRect* rect = addTitledRect(plot, "Chip Constellation");
    rect->setObjectName("QV_ChipConstellation");
    QCPGraph* measured =
        addPoints(rect, m.i, m.q, QCPScatterStyle(QCPScatterStyle::ssDisc, kBlue, kBlue, 2));
    measured->setObjectName("chips");
    measured->setName("Measured");
    QCPGraph* ideal =
        addPoints(rect, m.idealI, m.idealQ,
                  QCPScatterStyle(QCPScatterStyle::ssCross, QPen(kRed, 2), QBrush(), 9));
    ideal->setObjectName("ideal");
    ideal->setName("Ideal");
    QCPAxis* x = rect->axis(QCPAxis::atBottom);
    QCPAxis* y = rect->axis(QCPAxis::atLeft);
    x->setRange(-m.limit, m.limit);
    y->setRange(-m.limit, m.limit);
    // One unit is as long across as up, whatever the window's shape.
    y->setScaleRatio(x, 1.0);
    x->setLabel("I channel");
    y->setLabel("Q channel");
    dottedGrid(x);
    dottedGrid(y);
    addLegend(rect, {measured, ideal});
}

}  // namespace onex::displays
