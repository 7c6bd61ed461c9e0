#pragma once

// The measurements window: the table of onexrev-cli measure for a computed
// frame, in a window placed and named like the displays.

#include <QMainWindow>
#include <QPlainTextEdit>
#include <QSize>
#include <QWidget>
#include <string>

#include "Analysis/Measurements.h"

namespace onex::displays {

// A table of text ("table"): read-only, a fixed-width font, no wrapping.
QPlainTextEdit* newTableView(const std::string& text, QWidget* parent);
// The size that shows the whole table, with a margin.
QSize tableTextSize(const QPlainTextEdit& table);

// "Measurements " + label, placed against hParent (null: the screen) like
// the CCDF window, with "&File" / "&Close" and "&Edit" / "&Copy" (the table
// as text). It shows itself and deletes itself when closed.
QMainWindow* QV_ShowMeasurements(QWidget* hParent, const std::string& label,
                                 const analysis::Measurements& measurements);

}  // namespace onex::displays
