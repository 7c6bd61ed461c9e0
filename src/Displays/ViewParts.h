#pragma once

// What the views share: colours, a fresh layout, titled axis rectangles,
// grids and plain line curves.

#include <qcustomplot.h>
#include <initializer_list>
#include <vector>

namespace onex::displays {

inline const QColor kBlue(0, 0, 255);
inline const QColor kMagenta(255, 0, 255);
inline const QColor kCyan(0, 255, 255);
inline const QColor kGrey(178, 178, 178);  // [0.7 0.7 0.7]

QVector<double> qvec(const std::vector<double>& v);

// A fresh layout: the plot emptied, white, with fonts sized for reading.
void reset(QCustomPlot& plot);

// A title above a new axis rectangle, appended at the bottom of the layout.
QCPAxisRect* addTitledRect(QCustomPlot& plot, const QString& title);

void dottedGrid(QCPAxis* axis, bool on = true);

// A curve through (x, y) in the rectangle's bottom and left axes.
QCPGraph* addLine(QCPAxisRect* rect, const std::vector<double>& x, const std::vector<double>& y,
                  const QColor& colour, double width = 1);

// A legend of the curves, in their order, in the rectangle's top right
// corner.
void addLegend(QCustomPlot& plot, QCPAxisRect* rect,
               std::initializer_list<QCPAbstractPlottable*> curves);

}  // namespace onex::displays
