#include "Displays/WaterfallView.h"

#include <qcustomplot.h>

#include "Displays/ViewParts.h"
#include "Displays/WaterfallPlottable.h"
#include "Displays/WindowTicker.h"

namespace onex::displays {

void drawWaterfall(QCustomPlot& plot, const analysis::WaterfallModel& m) {
    reset(plot);
    QCPAxisRect* rect = addTitledRect(plot, "Spectrum");
    QCPAxis* x = rect->axis(QCPAxis::atBottom);
    QCPAxis* y = rect->axis(QCPAxis::atLeft);
    const double span = m.fMax - m.fMin, levels = m.mMax - m.mMin;
    const double dx = 0.4 * span, dy = 0.75 * levels;
    // The back of the box first, on the grid layer beneath the slices.
    const QPen edge(QColor(90, 90, 90), 0);
    const QPen gridPen(QColor(0, 0, 0, 60), 0, Qt::DotLine);
    auto line = [&](double x0, double y0, double x1, double y1, const QPen& pen, bool behind) {
        auto* l = new QCPItemLine(&plot);
        if (behind) l->setLayer("grid");
        l->setClipAxisRect(rect);
        l->start->setAxes(x, y);
        l->end->setAxes(x, y);
        l->start->setCoords(x0, y0);
        l->end->setCoords(x1, y1);
        l->setPen(pen);
        return l;
    };
    QVector<double> fTicks, lTicks;
    {
        QVector<QString> unused;
        QCPAxisTicker t;
        t.generate(QCPRange(m.fMin, m.fMax), plot.locale(), 'g', 4, fTicks, nullptr, &unused);
        t.generate(QCPRange(m.mMin, m.mMax), plot.locale(), 'g', 4, lTicks, nullptr, &unused);
    }
    for (double f : fTicks)
        if (f > m.fMin && f < m.fMax) line(f, m.mMin, f + dx, m.mMin + dy, gridPen, true);
    for (double l : lTicks)
        if (l > m.mMin && l <= m.mMax) {
            line(m.fMin, l, m.fMin + dx, l + dy, gridPen, true);
            line(m.fMin + dx, l + dy, m.fMax + dx, l + dy, gridPen, true);
        }
    line(m.fMin, m.mMin, m.fMin + dx, m.mMin + dy, edge, true);
    line(m.fMin + dx, m.mMin + dy, m.fMin + dx, m.mMax + dy, edge, true);
    line(m.fMin + dx, m.mMin + dy, m.fMax + dx, m.mMin + dy, edge, true);
    line(m.fMin + dx, m.mMax + dy, m.fMax + dx, m.mMax + dy, edge, true);

    auto* slices = new WaterfallPlottable(x, y, m, dx, dy);
    slices->setObjectName("QV_Waterfall");
    // Room on the right for the time axis's labels.
    // A little room round the box so that its front edges are not clipped.
    x->setRange(m.fMin - 0.01 * span, m.fMax + dx + 0.22 * span);
    y->setRange(m.mMin - 0.01 * levels, m.mMax + dy);
    x->setTicker(QSharedPointer<WindowTicker>::create(m.fMin, m.fMax));
    y->setTicker(QSharedPointer<WindowTicker>::create(m.mMin, m.mMax));
    x->setLabel(QString::fromStdString("Frequency (" + m.fUnits + ")"));
    y->setLabel("LogMag (dB)");
    dottedGrid(x, false);
    dottedGrid(y, false);
    for (QCPAxis* a : {x, y, rect->axis(QCPAxis::atTop), rect->axis(QCPAxis::atRight)})
        a->setBasePen(Qt::NoPen);
    x->setTickPen(QPen(Qt::black));
    y->setTickPen(QPen(Qt::black));

    // The front edges over the slices, and the right floor edge that carries
    // the time axis.
    line(m.fMin, m.mMin, m.fMax, m.mMin, edge, false);
    line(m.fMin, m.mMin, m.fMin, m.mMax, edge, false);
    line(m.fMax, m.mMin, m.fMax + dx, m.mMin + dy, edge, false);

    // The time axis along the right floor edge, ticked at round times.
    const double tLast = m.time.empty() ? 0 : m.time.back();
    QCPAxisTicker ticker;
    ticker.setTickCount(5);
    QVector<double> ticks;
    QVector<QString> labels;
    if (tLast > 0)
        ticker.generate(QCPRange(0, tLast), plot.locale(), 'g', 4, ticks, nullptr, &labels);
    else {
        ticks = {0};
        labels = {"0"};
    }
    const double tickLen = 0.015 * span;
    for (int k = 0; k < ticks.size(); ++k) {
        if (ticks[k] < -1e-12 || ticks[k] > tLast * (1 + 1e-9)) continue;
        const double d = tLast > 0 ? ticks[k] / tLast : 0;
        const double px = m.fMax + d * dx, py = m.mMin + d * dy;
        line(px, py, px + tickLen, py, edge, false);
        auto* t = new QCPItemText(&plot);
        t->setClipAxisRect(rect);
        t->position->setAxes(x, y);
        t->position->setCoords(px + 1.6 * tickLen, py);
        t->setPositionAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        t->setText(labels.value(k));
        t->setFont(plot.font());
    }
    auto* title = new QCPItemText(&plot);
    title->setClipAxisRect(rect);
    title->position->setAxes(x, y);
    title->position->setCoords(m.fMax + 0.5 * dx + 0.08 * span, m.mMin + 0.5 * dy);
    title->setPositionAlignment(Qt::AlignLeft | Qt::AlignTop);
    title->setText(QString::fromStdString("Time (" + m.tUnits + ")"));
    title->setObjectName("timeLabel");
    title->setFont(plot.font());
}

}  // namespace onex::displays
