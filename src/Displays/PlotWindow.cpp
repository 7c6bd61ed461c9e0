#include "Displays/PlotWindow.h"

#include <qcustomplot.h>
#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QMenu>
#include <QMenuBar>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrinter>
#include <QScreen>
#include <memory>

namespace onex::displays {

namespace {

// Where the window tools keep the ranges Zoom Reset returns to.
constexpr const char* kHomeRange = "onexHomeRange";

int screenHeightFor(const QWidget* w) {
    const QScreen* screen = w ? w->screen() : QGuiApplication::primaryScreen();
    if (!screen) screen = QGuiApplication::primaryScreen();
    return screen ? screen->geometry().height() : 768;
}

QAction* addItem(QMenu& menu, const char* label, const char* callback, const char* tag = nullptr,
                 bool separator = false) {
    if (separator) menu.addSeparator();
    QAction* a = menu.addAction(QString::fromUtf8(label));
    if (tag) a->setObjectName(tag);
    // The callback text, as the window tools know the item by.
    a->setProperty("Callback", QString::fromUtf8(callback));
    return a;
}

void printPlot(QCustomPlot& plot, QPrinter& printer) {
    QCPPainter painter;
    if (!painter.begin(&printer)) return;
    const QRectF page = printer.pageRect(QPrinter::DevicePixel);
    const double scale = std::min(page.width() / plot.width(), page.height() / plot.height());
    painter.scale(scale, scale);
    plot.toPainter(&painter, plot.width(), plot.height());
    painter.end();
}

void addPlotMenus(QMainWindow& window, QCustomPlot& plot) {
    QMenuBar& bar = *window.menuBar();
    // One printer per window keeps the page set up between prints.
    auto printer = std::make_shared<QPrinter>(QPrinter::HighResolution);

    QMenu* file = bar.addMenu("&File");
    QObject::connect(addItem(*file, "&Print", "print"), &QAction::triggered, &window,
                     [&window, &plot, printer] {
                         QPrintDialog dialog(printer.get(), &window);
                         if (dialog.exec() == QDialog::Accepted) printPlot(plot, *printer);
                     });
    QObject::connect(addItem(*file, "Print &Setup", "print -dsetup"), &QAction::triggered, &window,
                     [&window, printer] {
                         QPageSetupDialog dialog(printer.get(), &window);
                         dialog.exec();
                     });
    QAction* close = addItem(*file, "&Close", "close(gcf)", nullptr, true);
    close->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_W));
    QObject::connect(close, &QAction::triggered, &window, [&window] { window.close(); });

    QMenu* edit = bar.addMenu("&Edit");
    QAction* copy = addItem(*edit, "&Copy", "print -dmeta");
    copy->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_C));
    QObject::connect(copy, &QAction::triggered, &window,
                     [&plot] { QGuiApplication::clipboard()->setPixmap(plot.toPixmap()); });

    QMenu* tools = bar.addMenu("&Tools");
    QAction* zoom = addItem(*tools, "&Zoom", "QV_Zoom", "QV_Zoom");
    zoom->setCheckable(true);
    QObject::connect(zoom, &QAction::toggled, &window, [&plot](bool on) {
        // Drag a rectangle to zoom into it; the wheel zooms about the pointer.
        plot.setSelectionRectMode(on ? QCP::srmZoom : QCP::srmNone);
        plot.setInteraction(QCP::iRangeZoom, on);
    });
    QAction* rotate = addItem(*tools, "&Rotate", "QV_Rotate", "QV_Rotate");
    rotate->setEnabled(false);
    QObject::connect(addItem(*tools, "Zoom Re&set", "zoom out", "QV_ZoomReset", true),
                     &QAction::triggered, &window, [&plot] { zoomOut(plot); });
}

}  // namespace

FigRect placeFigure(Placement placement, const std::optional<FigRect>& parent) {
    if (!parent) {
        switch (placement) {
            case Placement::Spectrum:
                return {50, 480, 300, 300};
            case Placement::Waterfall:
                return {100, 100, 300, 300};
            case Placement::Standard:
                break;
        }
        return {150, 150, 340, 340};
    }
    FigRect r = *parent;
    switch (placement) {
        case Placement::Standard:
            r.w *= 0.8;
            r.h *= 0.8;
            r.x += 0.1 * r.w;
            r.y -= 0.1 * r.h;
            break;
        case Placement::Spectrum:
            r.x += 0.1 * r.w;
            r.y += 0.18 * r.h;
            r.w *= 0.8;
            r.h *= 0.8;
            break;
        case Placement::Waterfall:
            r.w *= 0.8;
            r.h *= 0.8;
            r.x += 0.2 * r.w;
            r.y -= 0.2 * r.h;
            break;
    }
    return r;
}

FigRect figRectOf(const QRect& s, int screenHeight) {
    return {static_cast<double>(s.x()), static_cast<double>(screenHeight - s.y() - s.height()),
            static_cast<double>(s.width()), static_cast<double>(s.height())};
}

QRect screenRectOf(const FigRect& r, int screenHeight) {
    const int w = static_cast<int>(std::lround(r.w)), h = static_cast<int>(std::lround(r.h));
    const int x = static_cast<int>(std::lround(r.x));
    const int top = screenHeight - static_cast<int>(std::lround(r.y)) - h;
    return QRect(x, top, w, h);
}

QMainWindow* newPlotWindow(QWidget* parent, const std::string& name, Placement placement) {
    auto* window = new QMainWindow(nullptr);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setWindowTitle(QString::fromStdString(name));
    auto* plot = new QCustomPlot(window);
    plot->setObjectName("plot");
    window->setCentralWidget(plot);
    addPlotMenus(*window, *plot);

    const int screenHeight = screenHeightFor(parent);
    std::optional<FigRect> parentRect;
    if (parent) parentRect = figRectOf(parent->geometry(), screenHeight);
    window->setGeometry(screenRectOf(placeFigure(placement, parentRect), screenHeight));
    return window;
}

QCustomPlot* plotOf(const QWidget& window) {
    return window.findChild<QCustomPlot*>("plot");
}

void rememberHomeRanges(QCustomPlot& plot) {
    for (QCPAxisRect* rect : plot.axisRects())
        for (QCPAxis* axis : rect->axes())
            axis->setProperty(
                kHomeRange, QVariant::fromValue(QPointF(axis->range().lower, axis->range().upper)));
}

void zoomOut(QCustomPlot& plot) {
    for (QCPAxisRect* rect : plot.axisRects())
        for (QCPAxis* axis : rect->axes()) {
            const QVariant home = axis->property(kHomeRange);
            if (home.isValid()) axis->setRange(home.toPointF().x(), home.toPointF().y());
        }
    plot.replot();
}

}  // namespace onex::displays
