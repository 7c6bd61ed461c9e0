#pragma once

// The capture analysis window: the figures beside the views of the chips.

#include <QMainWindow>
#include <QWidget>
#include <string>

#include "Analysis/CaptureAnalysis.h"

namespace onex::displays {

// "Capture Analysis " + label, placed against hParent (null: the screen)
// like the plot windows and large enough for its table: the figures (after
// the lines of `heading`, which says what was analysed) beside the chips'
// constellation, the code-domain power and the EVM against time. The menus
// of the plot windows; "&Edit" / "&Copy" copies the table as text. The
// analysis must have kept its chips. It shows itself and deletes itself
// when closed.
QMainWindow* QV_ShowCaptureAnalysis(QWidget* hParent, const std::string& label,
                                    const analysis::CaptureAnalysis& analysis,
                                    const std::string& heading);

}  // namespace onex::displays
