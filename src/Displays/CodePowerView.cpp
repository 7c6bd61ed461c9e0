#include <qcustomplot.h>

#include <algorithm>

#include "Displays/CaptureViews.h"
#include "Displays/ViewParts.h"

namespace onex::displays {

void drawCodePower(QCustomPlot& plot, const analysis::CodePowerModel& m) {
    reset(plot);
    QCPAxisRect* rect = addTitledRect(plot, "Code-Domain Power");
    rect->setObjectName("QV_CodePower");
    QCPAxis* x = rect->axis(QCPAxis::atBottom);
    QCPAxis* y = rect->axis(QCPAxis::atLeft);
    const double width = 0.35;
    using Field = std::optional<double> analysis::CodePowerBar::*;
    auto makeBars = [&](const char* name, Field field, const QColor& colour, double shift) {
        auto* bars = new QCPBars(x, y);
        bars->setObjectName(name);
        bars->setWidth(width);
        bars->setBaseValue(m.floorDb);
        bars->setPen(QPen(colour.darker(130)));
        bars->setBrush(colour);
        QVector<double> keys, values;
        for (std::size_t k = 0; k < m.bars.size(); ++k) {
            const std::optional<double>& value = m.bars[k].*field;
            if (!value) continue;
            keys.push_back(static_cast<double>(k + 1) + shift);
            // Beneath the floor: drawn at the floor (the label tells the value).
            values.push_back(std::max(*value, m.floorDb));
        }
        bars->setData(keys, values, true);
        return bars;
    };
    QCPBars* configured =
        makeBars("configured", &analysis::CodePowerBar::configuredDb, kGrey, -width / 2);
    configured->setName("Configured");
    QCPBars* measured = makeBars("measured", &analysis::CodePowerBar::measuredDb, kBlue, width / 2);
    measured->setName("Measured");

    auto ticker = QSharedPointer<QCPAxisTickerText>::create();
    for (std::size_t k = 0; k < m.bars.size(); ++k) {
        const double key = static_cast<double>(k + 1);
        ticker->addTick(key, QString::fromStdString(m.bars[k].label));
        if (!m.bars[k].measuredDb) continue;
        auto* label = new QCPItemText(&plot);
        label->setClipAxisRect(rect);
        label->position->setAxes(x, y);
        label->position->setCoords(key + width / 2, std::max(*m.bars[k].measuredDb, m.floorDb));
        label->setPositionAlignment(Qt::AlignBottom | Qt::AlignHCenter);
        label->setText(QString::number(*m.bars[k].measuredDb, 'f', 2));
        label->setFont(plot.font());
    }
    x->setTicker(ticker);
    x->setRange(0.4, static_cast<double>(m.bars.size()) + 0.6);
    y->setRange(m.floorDb, m.topDb);
    y->setLabel("Power relative to pilot (dB)");
    dottedGrid(y);
    addLegend(rect, {configured, measured});
}

}  // namespace onex::displays
