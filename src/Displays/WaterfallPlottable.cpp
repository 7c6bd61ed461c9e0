#include "Displays/WaterfallPlottable.h"

#include <algorithm>

namespace onex::displays {

void WaterfallPlottable::draw(QCPPainter* painter) {
    QCPAxis* key = keyAxis();
    QCPAxis* value = valueAxis();
    if (!key || !value || m_.rows == 0) return;
    painter->setAntialiasing(false);
    const std::size_t cols = freq_.size();
    QVector<QPointF> poly(static_cast<int>(cols + 2));
    // Back to front: each nearer slice covers the ones behind it.
    for (std::size_t r = m_.rows; r-- > 0;) {
        const double d = depth(r), sx = d * dx_, sy = d * dy_;
        const double* row = m_.level.data() + r * m_.columns;
        for (std::size_t c = 0; c < cols; ++c) {
            const std::size_t a = c * group_, b = std::min(m_.columns, a + group_);
            double peak = *std::max_element(row + a, row + b);
            peak = std::clamp(peak, m_.mMin, m_.mMax);
            poly[static_cast<int>(c)] =
                QPointF(key->coordToPixel(freq_[c] + sx), value->coordToPixel(peak + sy));
        }
        const double base = value->coordToPixel(m_.mMin + sy);
        poly[static_cast<int>(cols)] = QPointF(key->coordToPixel(freq_.back() + sx), base);
        poly[static_cast<int>(cols + 1)] = QPointF(key->coordToPixel(freq_.front() + sx), base);
        // Filled white to hide what lies behind; only the level profile
        // is outlined, coloured by time: blue in front to red at the back.
        painter->setPen(Qt::NoPen);
        painter->setBrush(QColor(255, 255, 255));
        painter->drawPolygon(poly.constData(), poly.size());
        painter->setPen(QPen(QColor::fromHsvF(0.66 * (1 - d), 0.9, 0.8), 0));
        painter->drawPolyline(poly.constData(), static_cast<int>(cols));
    }
}

}  // namespace onex::displays
