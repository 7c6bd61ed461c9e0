#include "Displays/ViewParts.h"

namespace onex::displays {

namespace {

QFont titleFont(const QCustomPlot& plot) {
    QFont f = plot.font();
    f.setPointSizeF(f.pointSizeF() * 1.1);
    f.setBold(true);
    return f;
}

}  // namespace

QVector<double> qvec(const std::vector<double>& v) {
    return QVector<double>(v.begin(), v.end());
}

void reset(QCustomPlot& plot) {
    plot.clearPlottables();
    plot.clearItems();
    plot.plotLayout()->clear();
    plot.setBackground(Qt::white);
    plot.setNoAntialiasingOnDrag(true);
}

QCPAxisRect* addTitledRect(QCustomPlot& plot, const QString& title) {
    QCPLayoutGrid* layout = plot.plotLayout();
    const int row = layout->rowCount();
    auto* text = new QCPTextElement(&plot, title, titleFont(plot));
    text->setObjectName("title");
    layout->addElement(row, 0, text);
    auto* rect = new QCPAxisRect(&plot);
    layout->addElement(row + 1, 0, rect);
    for (QCPAxis* a : {rect->axis(QCPAxis::atBottom), rect->axis(QCPAxis::atLeft)}) {
        a->setLabelColor(Qt::black);
        a->setTickLabelColor(Qt::black);
    }
    // The frame of the axes closed on top and right, without labels there.
    for (QCPAxis* a : {rect->axis(QCPAxis::atTop), rect->axis(QCPAxis::atRight)}) {
        a->setVisible(true);
        a->setTickLabels(false);
        a->setTicks(false);
    }
    return rect;
}

void dottedGrid(QCPAxis* axis, bool on) {
    axis->grid()->setVisible(on);
    axis->grid()->setPen(QPen(QColor(0, 0, 0, 90), 0, Qt::DotLine));
    axis->grid()->setZeroLinePen(Qt::NoPen);
}

QCPGraph* addLine(QCPAxisRect* rect, const std::vector<double>& x, const std::vector<double>& y,
                  const QColor& colour, double width) {
    QCPGraph* g =
        rect->parentPlot()->addGraph(rect->axis(QCPAxis::atBottom), rect->axis(QCPAxis::atLeft));
    g->setPen(QPen(colour, width));
    // Straight into the graph's container: a million points copied once.
    QVector<QCPGraphData> points(static_cast<int>(x.size()));
    for (std::size_t k = 0; k < x.size(); ++k)
        points[static_cast<int>(k)] = QCPGraphData(x[k], y[k]);
    auto data = QSharedPointer<QCPGraphDataContainer>::create();
    data->add(points, true);
    g->setData(data);
    g->setAdaptiveSampling(true);
    return g;
}

void addLegend(QCustomPlot& plot, QCPAxisRect* rect,
               std::initializer_list<QCPAbstractPlottable*> curves) {
    auto* legend = new QCPLegend;
    rect->insetLayout()->addElement(legend, Qt::AlignTop | Qt::AlignRight);
    legend->setLayer("legend");
    for (QCPAbstractPlottable* curve : curves)
        legend->addItem(new QCPPlottableLegendItem(legend, curve));
    legend->setBrush(QColor(255, 255, 255, 220));
    legend->setFont(plot.font());
    legend->setVisible(true);
}

}  // namespace onex::displays
