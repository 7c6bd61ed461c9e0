// The display windows on the offscreen platform: where they go, what they
// are called, their menus and tools, and what their axes and curves show.

#include <gtest/gtest.h>

#include <qcustomplot.h>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPointer>
#include <QScreen>
#include <complex>
#include <memory>
#include <vector>

#include "Displays/CaptureWindow.h"
#include "Displays/PlotRoutines.h"
#include "Displays/PlotWindow.h"
#include "platform/ScriptedDialogs.h"

using namespace onex::displays;
using C = std::complex<double>;

namespace {

int screenHeight() {
    return QGuiApplication::primaryScreen()->geometry().height();
}

// Owns a window for one test.
struct Window {
    explicit Window(QMainWindow* w) : window(w) {}
    ~Window() { delete window.data(); }
    QPointer<QMainWindow> window;
    QCustomPlot& plot() const { return *plotOf(*window); }
    template <class T>
    T* find(const char* tag) const {
        return plot().findChild<T*>(tag);
    }
    std::string name() const { return window->windowTitle().toStdString(); }
    std::vector<std::string> titles() const {
        std::vector<std::string> out;
        for (QCPTextElement* t : plot().findChildren<QCPTextElement*>())
            out.push_back(t->text().toStdString());
        return out;
    }
};

std::vector<C> tone(std::size_t n) {
    std::vector<C> x(n);
    for (std::size_t k = 0; k < n; ++k)
        x[k] = std::polar(0.5, 0.3 * static_cast<double>(k));
    return x;
}

// Each menu and its items with their callback texts.
std::vector<std::string> menuLayout(QMainWindow& window) {
    std::vector<std::string> layout;
    for (QAction* top : window.menuBar()->actions()) {
        layout.push_back(top->text().toStdString());
        for (QAction* a : top->menu()->actions())
            layout.push_back(a->isSeparator()
                                 ? "-"
                                 : a->text().toStdString() + " = " +
                                       a->property("Callback").toString().toStdString());
    }
    return layout;
}

const std::vector<std::string> kPlotMenus = {"&File",
                                             "&Print = print",
                                             "Print &Setup = print -dsetup",
                                             "-",
                                             "&Close = close(gcf)",
                                             "&Edit",
                                             "&Copy = print -dmeta",
                                             "&Tools",
                                             "&Zoom = QV_Zoom",
                                             "&Rotate = QV_Rotate",
                                             "-",
                                             "Zoom Re&set = zoom out"};

}  // namespace

TEST(Placement, AgainstTheParentAndTheScreen) {
    const FigRect parent{100, 200, 500, 400};
    EXPECT_EQ(placeFigure(Placement::Standard, parent), (FigRect{140, 168, 400, 320}));
    EXPECT_EQ(placeFigure(Placement::Spectrum, parent), (FigRect{150, 272, 400, 320}));
    EXPECT_EQ(placeFigure(Placement::Waterfall, parent), (FigRect{180, 136, 400, 320}));
    EXPECT_EQ(placeFigure(Placement::Standard, std::nullopt), (FigRect{150, 150, 340, 340}));
    EXPECT_EQ(placeFigure(Placement::Spectrum, std::nullopt), (FigRect{50, 480, 300, 300}));
    EXPECT_EQ(placeFigure(Placement::Waterfall, std::nullopt), (FigRect{100, 100, 300, 300}));
    // Bottom-up positions against Qt's top-down rectangles.
    EXPECT_EQ(screenRectOf({150, 150, 340, 340}, 1000), QRect(150, 510, 340, 340));
    EXPECT_EQ(figRectOf(QRect(150, 510, 340, 340), 1000), (FigRect{150, 150, 340, 340}));

    // Real windows: on the screen without a parent, and against one.
    const int h = screenHeight();
    Window ccdf(QV_PlotCCDF(nullptr));
    EXPECT_EQ(ccdf.window->geometry(), screenRectOf({150, 150, 340, 340}, h));
    QWidget main;
    main.setGeometry(screenRectOf(parent, h));
    Window spectrum(QV_PlotSpectrum(&main, "x", 1e6, tone(64)));
    EXPECT_EQ(spectrum.window->geometry(), screenRectOf({150, 272, 400, 320}, h));
    Window waterfall(QV_PlotWaterfall(&main, "x", 1e6, 1e-5, tone(640)));
    EXPECT_EQ(waterfall.window->geometry(), screenRectOf({180, 136, 400, 320}, h));
    // The parent only places them: closing it leaves them open.
    EXPECT_EQ(spectrum.window->parentWidget(), nullptr);
}

TEST(DisplayWindows, NamesAxesAndCurves) {
    Window ccdf(QV_PlotCCDF(nullptr));
    EXPECT_EQ(ccdf.name(), "CCDF Test Data");
    EXPECT_TRUE(ccdf.window->isVisible());
    auto* rect = ccdf.find<QCPAxisRect>("QV_CCDF");
    ASSERT_TRUE(rect);
    QCPAxis* x = rect->axis(QCPAxis::atBottom);
    QCPAxis* y = rect->axis(QCPAxis::atLeft);
    EXPECT_EQ(y->scaleType(), QCPAxis::stLogarithmic);
    EXPECT_EQ(x->range(), QCPRange(0, 20));
    EXPECT_EQ(y->range().upper, 100);
    EXPECT_LE(y->range().lower, 0.001);
    EXPECT_EQ(x->label(), "dB above Average");
    EXPECT_EQ(y->label(), "Frequency of occurence (%)");
    EXPECT_EQ(ccdf.titles(), std::vector<std::string>{"CCDF"});
    ASSERT_EQ(ccdf.plot().graphCount(), 2);
    EXPECT_EQ(ccdf.plot().graph(1)->pen().color(), QColor(178, 178, 178));
    EXPECT_NE(ccdf.plot().graph(0)->pen().color(), ccdf.plot().graph(1)->pen().color());

    Window spectrum(QV_PlotSpectrum(nullptr, "L", 6144000, tone(64)));
    EXPECT_EQ(spectrum.name(), "Magnitude Spectrum L");
    QCPAxisRect* sr = spectrum.plot().axisRect();
    EXPECT_EQ(sr->axis(QCPAxis::atBottom)->label(), "Frequency (MHz)");
    EXPECT_EQ(sr->axis(QCPAxis::atLeft)->label(), "LogMag (dB)");
    EXPECT_DOUBLE_EQ(sr->axis(QCPAxis::atBottom)->range().lower, -3.072);
    EXPECT_DOUBLE_EQ(sr->axis(QCPAxis::atBottom)->range().upper, 3.072);
    EXPECT_EQ(sr->axis(QCPAxis::atLeft)->range().upper, 0);
    EXPECT_TRUE(sr->axis(QCPAxis::atBottom)->grid()->visible());
    EXPECT_EQ(spectrum.plot().graph(0)->dataCount(), 64);

    Window iq(QV_PlotIQTime(nullptr, "L", 1, 0, {}));
    EXPECT_EQ(iq.name(), "I(t) Q(t) No Data");
    auto* i = iq.find<QCPGraph>("QV_Iwave");
    auto* q = iq.find<QCPGraph>("QV_Qwave");
    ASSERT_TRUE(i && q);
    EXPECT_EQ(i->dataCount(), 100);
    EXPECT_EQ(iq.titles(), (std::vector<std::string>{"I(t)", "Q(t)"}));
    EXPECT_EQ(i->keyAxis()->label(), "");
    EXPECT_EQ(q->keyAxis()->label(), "Time (S)");
    EXPECT_EQ(q->valueAxis()->label(), "Amplitude (V)");
    EXPECT_EQ(i->valueAxis()->range(), QCPRange(-1, 1));

    Window overlay(QV_PlotIQTime(nullptr, "L", 1e9, 1, std::vector<C>(8, C(0.2, -0.9))));
    EXPECT_EQ(overlay.name(), "I(t) Q(t) L");
    auto* both = overlay.find<QCPAxisRect>("QV_IQwave");
    ASSERT_TRUE(both);
    EXPECT_EQ(both->graphs().size(), 2);
    EXPECT_EQ(both->graphs()[1]->pen().color(), QColor(Qt::magenta));
    EXPECT_EQ(both->axis(QCPAxis::atBottom)->label(), "Time (nS)");
    EXPECT_DOUBLE_EQ(both->axis(QCPAxis::atLeft)->range().lower, -0.9);

    Window waterfall(QV_PlotWaterfall(nullptr, "L", 1.2288e6, 0, tone(32768)));
    EXPECT_EQ(waterfall.name(), "Spectrum Waterfall L");
    EXPECT_EQ(waterfall.titles(), std::vector<std::string>{"Spectrum"});
    QCPAxisRect* wr = waterfall.plot().axisRect();
    EXPECT_EQ(wr->axis(QCPAxis::atBottom)->label(), "Frequency (MHz)");
    EXPECT_EQ(wr->axis(QCPAxis::atLeft)->label(), "LogMag (dB)");
    auto* time = waterfall.find<QCPItemText>("timeLabel");
    ASSERT_TRUE(time);
    EXPECT_EQ(time->text(), "Time (mS)");
}

TEST(DisplayWindows, MenusZoomResetAndClose) {
    Window w(QV_PlotSpectrum(nullptr, "L", 1e6, tone(256)));
    EXPECT_EQ(menuLayout(*w.window), kPlotMenus);
    auto* zoom = w.window->findChild<QAction*>("QV_Zoom");
    auto* rotate = w.window->findChild<QAction*>("QV_Rotate");
    auto* reset = w.window->findChild<QAction*>("QV_ZoomReset");
    ASSERT_TRUE(zoom && rotate && reset);
    EXPECT_FALSE(rotate->isEnabled());
    zoom->trigger();
    EXPECT_EQ(w.plot().selectionRectMode(), QCP::srmZoom);

    QCPAxis* x = w.plot().axisRect()->axis(QCPAxis::atBottom);
    QCPAxis* y = w.plot().axisRect()->axis(QCPAxis::atLeft);
    const QCPRange x0 = x->range(), y0 = y->range();
    x->setRange(0.1, 0.2);
    y->setRange(-5, -4);
    reset->trigger();
    EXPECT_EQ(x->range(), x0);
    EXPECT_EQ(y->range(), y0);

    w.window->findChildren<QMenu*>()[0]->actions().back()->trigger();  // File > Close
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(w.window.isNull());
}

TEST(DisplayWindows, EyeAndScatterShowWhatTheyCannotPlot) {
    onex::platform::ScriptedDialogs dialogs;
    dialogs.expectError().expectError().expectError();
    const auto x = tone(100);
    EXPECT_EQ(QV_PlotEyeDiagram(nullptr, "L", x, 1, 1e-6, 0, dialogs), nullptr);
    EXPECT_EQ(QV_PlotEyeDiagram(nullptr, "L", {}, 4, 1e-6, 0, dialogs), nullptr);
    EXPECT_EQ(QV_PlotScatterDiagram(nullptr, "L", {}, 4, 0, 0, dialogs), nullptr);
    ASSERT_EQ(dialogs.shown().size(), 3u);
    EXPECT_EQ(dialogs.shown()[0].title, "Plot Error");
    EXPECT_EQ(dialogs.shown()[0].text,
              "Unable to Plot Eye Diagram\nN must be an integer greater than 1.");
    EXPECT_EQ(dialogs.shown()[1].text, "Unable to Plot Eye Diagram\nInput variable X is empty.");
    EXPECT_EQ(dialogs.shown()[2].text,
              "Unable to Plot Scatter Diagram\nInput variable X is empty.");

    // An offset past the trace is brought back into it; a period of 0 is 1.
    Window eye(QV_PlotEyeDiagram(nullptr, "L", x, 4, 0, 9, dialogs));
    ASSERT_TRUE(eye.window);
    EXPECT_EQ(eye.name(), "Eye Diagram L");
    EXPECT_EQ(eye.titles(), (std::vector<std::string>{"Eye Diagram for In-Phase Signal",
                                                      "Eye Diagram for Quadrature Signal"}));
    EXPECT_EQ(eye.plot().axisRect()->axis(QCPAxis::atBottom)->range(), QCPRange(0, 0.75));
    EXPECT_EQ(eye.plot().axisRect()->axis(QCPAxis::atBottom)->label(), "Time");
    EXPECT_EQ(eye.plot().axisRect()->axis(QCPAxis::atLeft)->label(), "Amplitude");
    Window real(QV_PlotEyeDiagram(nullptr, "L", std::vector<C>(40, C(1, 0)), 4, 1, 0, dialogs));
    EXPECT_EQ(real.plot().axisRectCount(), 1);

    Window scatter(QV_PlotScatterDiagram(nullptr, "L", x, 8, 3, 1, dialogs));
    EXPECT_EQ(scatter.name(), "Scatter Diagram L");
    auto* trace = scatter.find<QCPAbstractPlottable>("trace");
    auto* points = scatter.find<QCPGraph>("points");
    ASSERT_TRUE(trace && points);
    EXPECT_EQ(trace->pen().color(), QColor(Qt::cyan));
    EXPECT_EQ(points->dataCount(), 13);  // samples 3, 11, ..., 99
    EXPECT_EQ(points->scatterStyle().pen().color(), QColor(Qt::blue));
    QCPAxisRect* sr = scatter.plot().axisRect();
    EXPECT_EQ(sr->axis(QCPAxis::atBottom)->label(), "In-Phase");
    EXPECT_EQ(sr->axis(QCPAxis::atLeft)->label(), "Quadrature");
    Window dots(QV_PlotScatterDiagram(nullptr, "L", x, 8, 3, 0, dialogs));
    EXPECT_FALSE(dots.find<QCPAbstractPlottable>("trace"));
    EXPECT_EQ(dialogs.shown().size(), 3u);
    EXPECT_EQ(dialogs.pending(), 0u);
}

// The capture window: the plot windows' menus over its three views, the
// table copied as text, placed against its parent.
TEST(DisplayWindows, CaptureAnalysisTableAndViews) {
    onex::analysis::CaptureAnalysis a;
    a.captureRate = 10e6;
    a.frames = 1;
    for (int k = 0; k < 2048; ++k) {
        const C ideal(k % 2 ? 1 : -1, k % 3 ? 0.5 : -0.5);
        a.idealChips.push_back(ideal);
        a.chips.push_back(ideal * 1.01);
    }
    a.channels[0] = {true, 0, 0.0};
    a.channels[4] = {true, 4.5, 4.48};
    a.maxInactiveDb = -41;
    QWidget parent;
    parent.setGeometry(100, 100, 800, 600);
    Window w(QV_ShowCaptureAnalysis(&parent, "L", a, "File   x.sigmf-meta\n"));
    EXPECT_EQ(w.name(), "Capture Analysis L");
    EXPECT_EQ(menuLayout(*w.window), kPlotMenus);
    EXPECT_EQ(w.window->geometry().topLeft(), displayPlace(&parent, Placement::Standard).topLeft());

    const QString table = w.window->findChild<QPlainTextEdit*>("table")->toPlainText();
    EXPECT_TRUE(table.startsWith("File   x.sigmf-meta\n\nCapture ")) << table.toStdString();
    w.window->findChild<QAction*>("copy")->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), table);

    // Zoom and Zoom Reset act on every view.
    std::vector<QCustomPlot*> views;
    for (const char* name : {"constellation", "codePower", "evm"}) {
        auto* plot = w.window->findChild<QCustomPlot*>(name);
        ASSERT_TRUE(plot) << name;
        views.push_back(plot);
    }
    w.window->findChild<QAction*>("QV_Zoom")->trigger();
    std::vector<QCPRange> home;
    for (QCustomPlot* p : views) {
        EXPECT_EQ(p->selectionRectMode(), QCP::srmZoom);
        QCPAxis* x = p->axisRect()->axis(QCPAxis::atBottom);
        home.push_back(x->range());
        x->setRange(x->range().lower + 0.01, x->range().lower + 0.02);
    }
    w.window->findChild<QAction*>("QV_ZoomReset")->trigger();
    for (std::size_t k = 0; k < views.size(); ++k)
        EXPECT_EQ(views[k]->axisRect()->axis(QCPAxis::atBottom)->range(), home[k]) << k;

    // The code-domain bars: pilot, data and the inactive codes.
    auto* measured = views[1]->findChild<QCPBars*>("measured");
    auto* configured = views[1]->findChild<QCPBars*>("configured");
    ASSERT_TRUE(measured && configured);
    EXPECT_EQ(measured->dataCount(), 3);
    EXPECT_EQ(configured->dataCount(), 2);
    EXPECT_DOUBLE_EQ(measured->data()->at(1)->value, 4.48);
}
