#pragma once

// What the views share: the colours, the layout of a titled axis rectangle,
// the dotted grids, lines and legends. For the views' files only.

#include <qcustomplot.h>

#include <initializer_list>
#include <vector>

namespace onex::displays {

inline const QColor kBlue(0, 0, 255);
inline const QColor kMagenta(255, 0, 255);
inline const QColor kCyan(0, 255, 255);
inline const QColor kGrey(178, 178, 178);  // [0.7 0.7 0.7]
inline const QColor kRed(255, 0, 0);

QVector<double> qvec(const std::vector<double>& v);

// A fresh layout: the plot emptied, white, with fonts sized for reading.
void reset(QCustomPlot& plot);

// A title above a new axis rectangle, appended at the bottom of the layout.
QCPAxisRect* addTitledRect(QCustomPlot& plot, const QString& title);

void dottedGrid(QCPAxis* axis, bool on = true);

// A line through the points (x sorted), drawn with adaptive sampling.
QCPGraph* addLine(QCPAxisRect* rect, const std::vector<double>& x, const std::vector<double>& y,
                  const QColor& colour, double width = 1);

// Points without a line (any order of x).
QCPGraph* addPoints(QCPAxisRect* rect, const std::vector<double>& x, const std::vector<double>& y,
                    const QCPScatterStyle& style);

// A legend naming the plottables, inside the rectangle at `corner`.
void addLegend(QCPAxisRect* rect, std::initializer_list<QCPAbstractPlottable*> items,
               Qt::Alignment corner = Qt::AlignTop | Qt::AlignRight);

}  // namespace onex::displays
