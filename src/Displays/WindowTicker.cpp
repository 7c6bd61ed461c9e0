#include "Displays/WindowTicker.h"

namespace onex::displays {

void WindowTicker::generate(const QCPRange& range, const QLocale& locale, QChar formatChar,
                            int precision, QVector<double>& ticks, QVector<double>* subTicks,
                            QVector<QString>* tickLabels) {
    QCPAxisTicker::generate(QCPRange(lo_, hi_), locale, formatChar, precision, ticks, subTicks,
                            tickLabels);
    const double eps = (hi_ - lo_) * 1e-9;
    QVector<double> keptTicks;
    QVector<QString> keptLabels;
    for (int k = 0; k < ticks.size(); ++k)
        if (ticks[k] >= lo_ - eps && ticks[k] <= hi_ + eps && ticks[k] >= range.lower &&
            ticks[k] <= range.upper) {
            keptTicks.push_back(ticks[k]);
            if (tickLabels) keptLabels.push_back(tickLabels->at(k));
        }
    ticks = keptTicks;
    if (tickLabels) *tickLabels = keptLabels;
    if (subTicks) {
        QVector<double> kept;
        for (double t : *subTicks)
            if (t >= lo_ && t <= hi_ && t >= range.lower && t <= range.upper) kept.push_back(t);
        *subTicks = kept;
    }
}

}  // namespace onex::displays
