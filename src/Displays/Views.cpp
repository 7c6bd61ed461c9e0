#include "Displays/Views.h"

#include <qcustomplot.h>
#include <algorithm>
#include <cmath>

#include "Displays/ViewParts.h"

namespace onex::displays {

namespace {

using analysis::WaterfallModel;

// Ticks only within [lo, hi] of an axis whose range is wider (the waterfall's
// front plane).
class WindowTicker : public QCPAxisTicker {
  public:
    WindowTicker(double lo, double hi) : lo_(lo), hi_(hi) {}
    void generate(const QCPRange& range, const QLocale& locale, QChar formatChar, int precision,
                  QVector<double>& ticks, QVector<double>* subTicks,
                  QVector<QString>* tickLabels) override {
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

  private:
    double lo_, hi_;
};

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
    void draw(QCPPainter* painter) override {
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

    void drawDensity(QCPPainter* painter, QCPAxis& key, QCPAxis& value) {
        const QRect area = clipRect();
        const int w = area.width(), h = area.height();
        if (w <= 0 || h <= 0) return;
        std::vector<std::uint32_t> count(static_cast<std::size_t>(w) * h, 0);
        auto plotPoint = [&](int px, int py) {
            if (px >= 0 && px < w && py >= 0 && py < h)
                ++count[static_cast<std::size_t>(py) * w + px];
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

    void drawLegendIcon(QCPPainter* painter, const QRectF& rect) const override {
        painter->setPen(pen());
        painter->drawLine(QLineF(rect.left(), rect.center().y(), rect.right(), rect.center().y()));
    }

  private:
    static QCPRange range(const std::vector<double>& v, bool& found) {
        double lo = HUGE_VAL, hi = -HUGE_VAL;
        for (double d : v)
            if (!std::isnan(d)) {
                lo = std::min(lo, d);
                hi = std::max(hi, d);
            }
        found = lo <= hi;
        return found ? QCPRange(lo, hi) : QCPRange();
    }
    std::vector<double> x_, y_;
    bool density_ = false;
};

// The slices of a waterfall in an oblique projection: slice r is drawn
// shifted right by depth(r) * dx and up by depth(r) * dy (in axis units),
// depth(r) running from 0 (first slice, in front) to 1 (last, at the back).
class WaterfallPlottable : public QCPAbstractPlottable {
  public:
    WaterfallPlottable(QCPAxis* key, QCPAxis* value, const WaterfallModel& m, double dx, double dy)
        : QCPAbstractPlottable(key, value), m_(m), dx_(dx), dy_(dy) {
        // Peak-hold over groups of bins: at most ~1000 points per slice.
        const std::size_t maxColumns = 1024;
        group_ = std::max<std::size_t>(1, (m.columns + maxColumns - 1) / maxColumns);
        const std::size_t cols = (m.columns + group_ - 1) / group_;
        freq_.resize(cols);
        for (std::size_t c = 0; c < cols; ++c) {
            const std::size_t a = c * group_, b = std::min(m.columns, a + group_);
            freq_[c] = 0.5 * (m.frequency[a] + m.frequency[b - 1]);
        }
    }

    double selectTest(const QPointF&, bool, QVariant*) const override { return -1; }
    QCPRange getKeyRange(bool& found, QCP::SignDomain) const override {
        found = true;
        return QCPRange(m_.fMin, m_.fMax + dx_);
    }
    QCPRange getValueRange(bool& found, QCP::SignDomain, const QCPRange&) const override {
        found = true;
        return QCPRange(m_.mMin, m_.mMax + dy_);
    }

    double depth(std::size_t row) const {
        return m_.rows > 1 ? static_cast<double>(row) / static_cast<double>(m_.rows - 1) : 0;
    }

  protected:
    void draw(QCPPainter* painter) override {
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
    void drawLegendIcon(QCPPainter*, const QRectF&) const override {}

  private:
    const WaterfallModel m_;  // the plot outlives the caller's model
    double dx_, dy_;
    std::size_t group_ = 1;
    std::vector<double> freq_;
};

}  // namespace

void drawSpectrum(QCustomPlot& plot, const analysis::SpectrumModel& m) {
    reset(plot);
    QCPAxisRect* rect = addTitledRect(plot, "Spectrum");
    addLine(rect, m.f, m.magSignal, kBlue);
    QCPAxis* x = rect->axis(QCPAxis::atBottom);
    QCPAxis* y = rect->axis(QCPAxis::atLeft);
    x->setLabel(QString::fromStdString("Frequency (" + m.fUnits + ")"));
    y->setLabel("LogMag (dB)");
    x->setRange(m.fMin, m.fMax);
    y->setRange(m.mMin, m.mMax);
    dottedGrid(x);
    dottedGrid(y);
}

void drawCcdf(QCustomPlot& plot, const analysis::CcdfModel& m) {
    reset(plot);
    QCPAxisRect* rect = addTitledRect(plot, "CCDF");
    rect->setObjectName("QV_CCDF");
    QCPGraph* measured = addLine(rect, m.X, m.Y, kBlue, 1.5);
    QCPGraph* reference = addLine(rect, m.X, m.Y1, kGrey, 2.5);
    reference->setPen(QPen(kGrey, 2.5, Qt::SolidLine));
    measured->setName("Waveform");
    reference->setName(m.realWave ? "Gaussian noise (real)" : "Gaussian noise");
    QCPAxis* x = rect->axis(QCPAxis::atBottom);
    QCPAxis* y = rect->axis(QCPAxis::atLeft);
    y->setScaleType(QCPAxis::stLogarithmic);
    auto log = QSharedPointer<QCPAxisTickerLog>::create();
    y->setTicker(log);
    y->setNumberFormat("g");
    auto fixed = QSharedPointer<QCPAxisTickerFixed>::create();
    fixed->setTickStep(2);
    fixed->setScaleStrategy(QCPAxisTickerFixed::ssNone);
    x->setTicker(fixed);
    x->setRange(0, m.maxX);
    y->setRange(m.yMin, 100);
    x->setLabel("dB above Average");
    y->setLabel("Frequency of occurence (%)");
    dottedGrid(x);
    dottedGrid(y);
    y->grid()->setSubGridVisible(false);
    // Which curve is which: the reference is the wide grey one.
    addLegend(rect, {measured, reference});
}

void drawIqTime(QCustomPlot& plot, const analysis::IqTimeModel& m, bool overlay) {
    reset(plot);
    const QString timeLabel = QString::fromStdString("Time (" + m.tUnits + ")");
    auto dress = [&](QCPAxisRect* rect, bool timeAxisLabel) {
        QCPAxis* x = rect->axis(QCPAxis::atBottom);
        QCPAxis* y = rect->axis(QCPAxis::atLeft);
        x->setRange(m.tMin, m.tMax > m.tMin ? m.tMax : m.tMin + 1 / m.sampleRate * m.multiplier);
        y->setRange(m.iMin, m.iMax);
        y->setLabel("Amplitude (V)");
        if (timeAxisLabel) x->setLabel(timeLabel);
        dottedGrid(x);
        dottedGrid(y);
    };
    if (!overlay) {
        QCPAxisRect* upper = addTitledRect(plot, "I(t)");
        addLine(upper, m.t, m.i, kBlue)->setObjectName("QV_Iwave");
        dress(upper, false);
        QCPAxisRect* lower = addTitledRect(plot, "Q(t)");
        addLine(lower, m.t, m.q, kBlue)->setObjectName("QV_Qwave");
        dress(lower, true);
        // Zooming the time of one zooms the other.
        QObject::connect(
            upper->axis(QCPAxis::atBottom), QOverload<const QCPRange&>::of(&QCPAxis::rangeChanged),
            lower->axis(QCPAxis::atBottom), QOverload<const QCPRange&>::of(&QCPAxis::setRange));
        return;
    }
    QCPAxisRect* rect = addTitledRect(plot, "I(t) Q(t)");
    rect->setObjectName("QV_IQwave");
    QCPGraph* i = addLine(rect, m.t, m.i, kBlue);
    QCPGraph* q = addLine(rect, m.t, m.q, kMagenta);
    i->setName("I(t)");
    q->setName("Q(t)");
    dress(rect, true);
    addLegend(rect, {i, q});
}

void drawEye(QCustomPlot& plot, const analysis::EyeModel& m) {
    reset(plot);
    // All traces as one curve, a NaN between traces.
    auto traces = [&](const std::vector<double>& v, std::vector<double>& x,
                      std::vector<double>& y) {
        x.reserve(m.traces * (m.n + 1));
        y.reserve(m.traces * (m.n + 1));
        for (std::size_t k = 0; k < m.traces; ++k) {
            for (std::size_t j = 0; j < m.n; ++j) {
                x.push_back(m.t[j]);
                y.push_back(v[k * m.n + j]);
            }
            x.push_back(NAN);
            y.push_back(NAN);
        }
    };
    auto one = [&](const QString& title, const std::vector<double>& v) {
        QCPAxisRect* rect = addTitledRect(plot, title);
        std::vector<double> x, y;
        traces(v, x, y);
        // Beyond a few hundred traces, lines on lines say little: their
        // density says how often each path is taken.
        const bool density = m.traces > 200;
        auto* curve = new TracePlottable(rect->axis(QCPAxis::atBottom), rect->axis(QCPAxis::atLeft),
                                         std::move(x), std::move(y), density);
        curve->setObjectName("traces");
        curve->setPen(QPen(kBlue, 0));
        QCPAxis* xa = rect->axis(QCPAxis::atBottom);
        QCPAxis* ya = rect->axis(QCPAxis::atLeft);
        xa->setRange(0, m.n > 1 ? m.t.back() : m.period);
        ya->setRange(-1.1 * m.amplitude, 1.1 * m.amplitude);
        xa->setLabel("Time");
        ya->setLabel("Amplitude");
        return rect;
    };
    if (m.complexInput) {
        QCPAxisRect* upper = one("Eye Diagram for In-Phase Signal", m.i);
        QCPAxisRect* lower = one("Eye Diagram for Quadrature Signal", m.q);
        QObject::connect(
            upper->axis(QCPAxis::atBottom), QOverload<const QCPRange&>::of(&QCPAxis::rangeChanged),
            lower->axis(QCPAxis::atBottom), QOverload<const QCPRange&>::of(&QCPAxis::setRange));
    } else {
        one("Eye Diagram", m.i);
    }
}

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
    QCPGraph* points =
        addPoints(rect, m.i, m.q, QCPScatterStyle(QCPScatterStyle::ssDisc, kBlue, kBlue, 2.5));
    points->setObjectName("points");
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
