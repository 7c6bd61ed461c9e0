#include "Displays/TracePlottable.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace onex::displays {

void TracePlottable::draw(QCPPainter* painter) {
    QCPAxis* key = keyAxis();
    QCPAxis* value = valueAxis();
    if (!key || !value) return;
    if (density_) return drawDensity(painter, *key, *value);
    painter->setPen(pen());
    painter->setBrush(Qt::NoBrush);
    applyDefaultAntialiasingHint(painter);
    QVector<QPointF> line;
    auto flush = [&] {
        if (line.size() > 1) painter->drawPolyline(line.constData(), line.size());
        line.clear();
    };
    for (std::size_t k = 0; k < x_.size(); ++k) {
        if (std::isnan(x_[k]) || std::isnan(y_[k])) {
            flush();
            continue;
        }
        const QPointF p(key->coordToPixel(x_[k]), value->coordToPixel(y_[k]));
        if (!line.isEmpty() && std::abs(p.x() - line.back().x()) < 0.5 &&
            std::abs(p.y() - line.back().y()) < 0.5)
            continue;
        line.push_back(p);
    }
    flush();
}

void TracePlottable::drawDensity(QCPPainter* painter, QCPAxis& key, QCPAxis& value) {
    const QRect area = clipRect();
    const int w = area.width(), h = area.height();
    if (w <= 0 || h <= 0) return;
    std::vector<std::uint32_t> count(static_cast<std::size_t>(w) * h, 0);
    auto plotPoint = [&](int px, int py) {
        if (px >= 0 && px < w && py >= 0 && py < h) ++count[static_cast<std::size_t>(py) * w + px];
    };
    bool have = false;
    double x0 = 0, y0 = 0;
    for (std::size_t k = 0; k < x_.size(); ++k) {
        if (std::isnan(x_[k]) || std::isnan(y_[k])) {
            have = false;
            continue;
        }
        const double x1 = key.coordToPixel(x_[k]) - area.left();
        const double y1 = value.coordToPixel(y_[k]) - area.top();
        if (have) {
            // Each pixel along the segment once, the end pixel left to the
            // next segment.
            const double dx = x1 - x0, dy = y1 - y0;
            const int steps = static_cast<int>(std::ceil(std::max(std::abs(dx), std::abs(dy))));
            const double sx = steps ? dx / steps : 0, sy = steps ? dy / steps : 0;
            double px = x0, py = y0;
            for (int s = 0; s < steps; ++s, px += sx, py += sy)
                plotPoint(static_cast<int>(px + 1) - 1, static_cast<int>(py + 1) - 1);
        }
        x0 = x1;
        y0 = y1;
        have = true;
    }
    const std::uint32_t most = *std::max_element(count.begin(), count.end());
    if (most == 0) return;
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    const QColor colour = pen().color();
    const double logMost = std::log1p(static_cast<double>(most));
    for (int py = 0; py < h; ++py) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(py));
        for (int px = 0; px < w; ++px) {
            const std::uint32_t c = count[static_cast<std::size_t>(py) * w + px];
            if (c == 0) {
                line[px] = 0;
                continue;
            }
            const double a = 0.25 + 0.75 * std::log1p(static_cast<double>(c)) / logMost;
            const int alpha = static_cast<int>(255 * a);
            line[px] = qPremultiply(qRgba(colour.red(), colour.green(), colour.blue(), alpha));
        }
    }
    painter->drawImage(area.topLeft(), image);
}

QCPRange TracePlottable::range(const std::vector<double>& v, bool& found) {
    double lo = HUGE_VAL, hi = -HUGE_VAL;
    for (double d : v)
        if (!std::isnan(d)) {
            lo = std::min(lo, d);
            hi = std::max(hi, d);
        }
    found = lo <= hi;
    return found ? QCPRange(lo, hi) : QCPRange();
}

}  // namespace onex::displays
