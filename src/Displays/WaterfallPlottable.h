#pragma once

#include <qcustomplot.h>
#include <vector>

#include "Analysis/Waterfall.h"

namespace onex::displays {

// The slices of a waterfall in an oblique projection: slice r is drawn
// shifted right by depth(r) * dx and up by depth(r) * dy (in axis units),
// depth(r) running from 0 (first slice, in front) to 1 (last, at the back).
class WaterfallPlottable : public QCPAbstractPlottable {
  public:
    WaterfallPlottable(QCPAxis* key, QCPAxis* value, const analysis::WaterfallModel& m, double dx,
                       double dy)
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

    // Slice `row` in pixels as the current axes place it: the low-frequency
    // corner of its base, its level profile from low to high frequency, the
    // high-frequency corner of its base.
    QPolygonF slicePolygon(std::size_t row) const;

  protected:
    void draw(QCPPainter* painter) override;
    void drawLegendIcon(QCPPainter*, const QRectF&) const override {}

  private:
    const analysis::WaterfallModel m_;  // the plot outlives the caller's model
    double dx_, dy_;
    std::size_t group_ = 1;
    std::vector<double> freq_;
};

}  // namespace onex::displays
