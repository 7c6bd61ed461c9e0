#pragma once

// The frame every display window shares: placement against its parent, the
// window without the standard menu bar and with its own File/Edit/Tools
// menus, and the plot tools those menus run (zoom, zoom reset, print, print
// setup, copy as a picture).

#include <QMainWindow>
#include <QRect>
#include <QWidget>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class QCustomPlot;

namespace onex::displays {

// A window position as the displays compute it: [left bottom width height]
// in pixels, the bottom counted up from the bottom of the screen.
struct FigRect {
    double x = 0, y = 0, w = 0, h = 0;
    bool operator==(const FigRect&) const = default;
};

enum class Placement {
    Standard,   // CCDF, I/Q, eye and scatter: 0.8 of the parent, 0.1 of it right and down
    Spectrum,   // 0.1 of the parent right, 0.18 up, then 0.8 of its size
    Waterfall,  // 0.8 of the parent, 0.2 of the new size right and down
};

// Where a display goes: relative to the parent's position, or at a fixed
// place on the screen when there is no parent.
FigRect placeFigure(Placement placement, const std::optional<FigRect>& parent);

// Conversions between such positions and Qt's screen rectangles (top-left
// origin) on a screen of the given height.
FigRect figRectOf(const QRect& screenRect, int screenHeight);
QRect screenRectOf(const FigRect& r, int screenHeight);

// Where a display window goes against `parent` (null: the screen), on the
// parent's screen.
QRect displayPlace(const QWidget* parent, Placement placement);

// A new, hidden display window named `name`, placed against `parent` (null:
// the screen), with a QCustomPlot filling it and the plot menus. It deletes
// itself when closed. The parent only places it: it lives on its own.
QMainWindow* newPlotWindow(QWidget* parent, const std::string& name, Placement placement);

// The menus of a display window: "&File" (Print: `printed` scaled to the
// page, Print Setup, Close), "&Edit" ("&Copy" runs `copy`) and "&Tools"
// (Zoom, Rotate (disabled) and Zoom Reset, on every plot of `plots`).
void addDisplayMenus(QMainWindow& window, QWidget& printed, std::vector<QCustomPlot*> plots,
                     std::function<void()> copy);

// The plot of a display window (null for another window).
QCustomPlot* plotOf(const QWidget& window);

// Remembers the current axis ranges as the ones Zoom Reset goes back to.
void rememberHomeRanges(QCustomPlot& plot);
// Zoom Reset: every axis back to its remembered range.
void zoomOut(QCustomPlot& plot);

}  // namespace onex::displays
