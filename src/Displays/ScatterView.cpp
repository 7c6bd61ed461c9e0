#include "Displays/ScatterView.h"

#include <qcustomplot.h>
#include <algorithm>

#include "Displays/TracePlottable.h"
#include "Displays/ViewParts.h"

namespace onex::displays {

void drawScatter(QCustomPlot& plot, const analysis::ScatterModel& m) {
    reset(plot);
    QCPAxisRect* rect = addTitledRect(plot, "Scatter plot");
    QCPAxis* x = rect->axis(QCPAxis::atBottom);
    QCPAxis* y = rect->axis(QCPAxis::atLeft);
    if (!m.traceI.empty()) {
        auto* trace = new TracePlottable(x, y, m.traceI, m.traceQ);
        trace->setPen(QPen(kCyan, 0));
        trace->setObjectName("trace");
    }
    QCPGraph* points = plot.addGraph(x, y);
    points->setObjectName("points");
    points->setLineStyle(QCPGraph::lsNone);
    points->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssDisc, kBlue, kBlue, 2.5));
    points->setData(qvec(m.i), qvec(m.q));
    x->setRange(-m.limit, m.limit);
    y->setRange(-m.limit, m.limit);
    x->setLabel("In-Phase");
    y->setLabel("Quadrature");
    dottedGrid(x);
    dottedGrid(y);
    // Equal scaling: one unit is as long across as up, whatever the window.
    QObject::connect(&plot, &QCustomPlot::afterLayout, rect, [x, y] {
        const QRect r = x->axisRect()->rect();
        if (r.width() <= 0 || r.height() <= 0) return;
        const double unitsPerPixel =
            std::max(x->range().size() / r.width(), y->range().size() / r.height());
        const double cx = x->range().center(), cy = y->range().center();
        x->setRange(cx - unitsPerPixel * r.width() / 2, cx + unitsPerPixel * r.width() / 2);
        y->setRange(cy - unitsPerPixel * r.height() / 2, cy + unitsPerPixel * r.height() / 2);
        // Ticks and grid for the ranges just set.
        x->axisRect()->update(QCPLayoutElement::upPreparation);
    });
}

}  // namespace onex::displays
