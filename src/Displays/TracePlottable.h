#pragma once

#include <qcustomplot.h>
#include <vector>

namespace onex::displays {

// Polylines in the order given, broken where a value is NaN (one curve for
// many eye traces), skipping points that land on the pixel just drawn. With
// `density`, the lines are instead counted into the pixels they cross and
// shown with an opacity that grows with the count (log scale, so that a
// single stray trace still shows): tens of thousands of traces draw fast and
// show how often each path is taken.
class TracePlottable : public QCPAbstractPlottable {
  public:
    TracePlottable(QCPAxis* key, QCPAxis* value, std::vector<double> x, std::vector<double> y,
                   bool density = false)
        : QCPAbstractPlottable(key, value), x_(std::move(x)), y_(std::move(y)), density_(density) {}

    double selectTest(const QPointF&, bool, QVariant*) const override { return -1; }
    QCPRange getKeyRange(bool& found, QCP::SignDomain) const override { return range(x_, found); }
    QCPRange getValueRange(bool& found, QCP::SignDomain, const QCPRange&) const override {
        return range(y_, found);
    }

  protected:
    void draw(QCPPainter* painter) override;

    void drawDensity(QCPPainter* painter, QCPAxis& key, QCPAxis& value);

    void drawLegendIcon(QCPPainter* painter, const QRectF& rect) const override {
        painter->setPen(pen());
        painter->drawLine(QLineF(rect.left(), rect.center().y(), rect.right(), rect.center().y()));
    }

  private:
    static QCPRange range(const std::vector<double>& v, bool& found);
    std::vector<double> x_, y_;
    bool density_ = false;
};

}  // namespace onex::displays
