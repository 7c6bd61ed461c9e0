#pragma once

#include <qcustomplot.h>

namespace onex::displays {

// Ticks only within [lo, hi] of an axis whose range is wider (the waterfall's
// front plane).
class WindowTicker : public QCPAxisTicker {
  public:
    WindowTicker(double lo, double hi) : lo_(lo), hi_(hi) {}
    void generate(const QCPRange& range, const QLocale& locale, QChar formatChar, int precision,
                  QVector<double>& ticks, QVector<double>* subTicks,
                  QVector<QString>* tickLabels) override;

  private:
    double lo_, hi_;
};

}  // namespace onex::displays
