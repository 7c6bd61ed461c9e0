#include "Displays/EyeView.h"

#include <qcustomplot.h>
#include <cmath>

#include "Displays/TracePlottable.h"
#include "Displays/ViewParts.h"

namespace onex::displays {

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

}  // namespace onex::displays
