#include "Displays/WaterfallPlottable.h"

#include <algorithm>

namespace onex::displays {

QPolygonF WaterfallPlottable::slicePolygon(std::size_t r) const {
    QCPAxis* key = keyAxis();
    QCPAxis* value = valueAxis();
    if (!key || !value || r >= m_.rows) return {};
    const std::size_t cols = freq_.size();
    const double d = depth(r), sx = d * dx_, sy = d * dy_;
    const double base = value->coordToPixel(m_.mMin + sy);
    const double* row = m_.level.data() + r * m_.columns;
    QPolygonF poly;
    poly.reserve(static_cast<int>(cols + 2));
    poly.append(QPointF(key->coordToPixel(freq_.front() + sx), base));
    for (std::size_t c = 0; c < cols; ++c) {
        const std::size_t a = c * group_, b = std::min(m_.columns, a + group_);
        const double peak = std::clamp(*std::max_element(row + a, row + b), m_.mMin, m_.mMax);
        poly.append(QPointF(key->coordToPixel(freq_[c] + sx), value->coordToPixel(peak + sy)));
    }
    poly.append(QPointF(key->coordToPixel(freq_.back() + sx), base));
    return poly;
}

void WaterfallPlottable::draw(QCPPainter* painter) {
    if (!keyAxis() || !valueAxis() || m_.rows == 0) return;
    painter->setAntialiasing(false);
    // Back to front: each nearer slice covers the ones behind it.
    for (std::size_t r = m_.rows; r-- > 0;) {
        const QPolygonF poly = slicePolygon(r);
        // Filled white to hide what lies behind, and outlined as a curtain,
        // coloured by time (blue in front to red at the back): the level
        // profile and its edges down to the base at both band edges. The
        // view shows the right side of the stack, where each slice reaches
        // past the one in front of it; without its edge, what shows there of
        // a slice whose band edge lies lower than its neighbours' is a
        // pixel or two of profile floating in empty space.
        painter->setPen(Qt::NoPen);
        painter->setBrush(QColor(255, 255, 255));
        painter->drawPolygon(poly.constData(), poly.size());
        painter->setPen(QPen(QColor::fromHsvF(0.66 * (1 - depth(r)), 0.9, 0.8), 0));
        painter->drawPolyline(poly.constData(), poly.size());
    }
}

}  // namespace onex::displays
