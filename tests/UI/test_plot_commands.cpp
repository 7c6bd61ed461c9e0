// The Plot menu's commands: the stale-waveform questions, the eye and
// scatter dialogs, the windows they open as client windows, and the time
// from a command to its painted window.

#include <qcustomplot.h>
#include <QAbstractButton>
#include <QCheckBox>
#include <QClipboard>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QScreen>
#include <QTest>
#include <cmath>
#include <cstdio>

#include "Displays/PlotWindow.h"
#include "UI/UiTestSupport.h"

using namespace onex;
using namespace onex::uitest;

namespace {

constexpr const char* kStamp = "1xEV Reverse Link (21AUG2002 9:05:07)";

class PlotCommands : public AppTest {
  protected:
    void SetUp() override {
        AppTest::SetUp();
        start();
    }
    // The plot windows live on their own; only exit would close them.
    void TearDown() override {
        if (!mainGone())
            for (const auto& w : state().appInfo.ClientWindows)
                delete w.data();
        AppTest::TearDown();
    }
    void calculate() { click(w<QAbstractButton>("pbCalculate")); }
    std::size_t clients() const { return state_().appInfo.ClientWindows.size(); }
    QWidget* lastClient() { return state().appInfo.ClientWindows.back().data(); }
    QCustomPlot& lastPlot() { return *displays::plotOf(*lastClient()); }
    std::string lastName() { return lastClient()->windowTitle().toStdString(); }
    double timeAxisEnd() { return lastPlot().axisRect()->axis(QCPAxis::atBottom)->range().upper; }

  private:
    const ui::AppState& state_() const { return const_cast<PlotCommands*>(this)->state(); }
};

}  // namespace

TEST_F(PlotCommands, EachCommandOpensItsWindowAmongTheClients) {
    calculate();
    const std::vector<std::pair<const char*, std::string>> commands = {
        {"menuPlotSpectrum", "Magnitude Spectrum "},
        {"menuPlotWaterfall", "Spectrum Waterfall "},
        {"menuPlotIQTime", "I(t) Q(t) "},
        {"menuPlotIQTimeSameAxes", "I(t) Q(t) "},
        {"menuPlotCCDF", "CCDF "}};
    std::size_t opened = 0;
    for (const auto& [tag, prefix] : commands) {
        trigger(w<QAction>(tag));
        ASSERT_EQ(clients(), ++opened) << tag;
        EXPECT_EQ(lastName(), prefix + kStamp);
    }
    // The spectrum is placed against the main window.
    const int h = QGuiApplication::primaryScreen()->geometry().height();
    const auto expected =
        displays::screenRectOf(displays::placeFigure(displays::Placement::Spectrum,
                                                     displays::figRectOf(main().geometry(), h)),
                               h);
    EXPECT_EQ(state().appInfo.ClientWindows[0]->geometry(), expected);

    // What is shown is the 14-bit waveform: every I is a whole step of the
    // largest component / 8191.
    trigger(w<QAction>("menuPlotIQTime"));
    auto* i = lastPlot().findChild<QCPGraph*>("QV_Iwave");
    ASSERT_TRUE(i);
    double peak = 0;
    for (const auto& x : state().frame.waveform)
        peak = std::max({peak, std::abs(x.real()), std::abs(x.imag())});
    for (int k = 0; k < 200; ++k) {
        const double steps = i->data()->at(k)->value * 8191 / peak;
        EXPECT_NEAR(steps, std::round(steps), 1e-6) << k;
    }
    EXPECT_EQ(i->dataCount(), 163840);
}

TEST_F(PlotCommands, NoOrStaleWaveformAsksFirst) {
    dialogs.answerQuestion("Cancel");
    trigger(w<QAction>("menuPlotCCDF"));
    EXPECT_EQ(clients(), 0u);
    EXPECT_EQ(dialogs.shown().back().choices,
              (std::vector<std::string>{"Calculate & Plot", "Cancel"}));
    dialogs.answerQuestion("Calculate & Plot");
    trigger(w<QAction>("menuPlotCCDF"));
    EXPECT_TRUE(state().appInfo.LastCalcTimeStamp);
    EXPECT_EQ(clients(), 1u);

    click(w<QCheckBox>("ACKactive"));
    const auto stamp = state().appInfo.LastCalcTimeStamp;
    dialogs.answerQuestion("Cancel");
    trigger(w<QAction>("menuPlotSpectrum"));
    EXPECT_EQ(clients(), 1u);
    EXPECT_EQ(dialogs.shown().back().choices,
              (std::vector<std::string>{"Yes", "Recalc & Plot", "Cancel"}));
    dialogs.answerQuestion("Yes");
    trigger(w<QAction>("menuPlotSpectrum"));
    EXPECT_EQ(clients(), 2u);
    EXPECT_EQ(state().appInfo.LastCalcTimeStamp, stamp);  // the old waveform
    clock.date = {2002, 8, 21, 10, 0, 0};
    dialogs.answerQuestion("Recalc & Plot");
    trigger(w<QAction>("menuPlotSpectrum"));
    EXPECT_EQ(clients(), 3u);
    EXPECT_NE(state().appInfo.LastCalcTimeStamp, stamp);
    EXPECT_EQ(lastName(), "Magnitude Spectrum 1xEV Reverse Link (21AUG2002 10:00:00)");
    // Current now: no question.
    trigger(w<QAction>("menuPlotSpectrum"));
    EXPECT_EQ(clients(), 4u);
}

// The table of the waveform as calculated, from the parameter set it was
// calculated with, even when the settings have changed since ("Yes").
TEST_F(PlotCommands, MeasurementsShowTheCalculatedFrame) {
    click(w<QCheckBox>("ACKactive"));
    calculate();
    trigger(w<QAction>("menuPlotMeasurements"));
    ASSERT_EQ(clients(), 1u);
    EXPECT_EQ(lastName(), std::string("Measurements ") + kStamp);
    auto table = [&] {
        return lastClient()->findChild<QPlainTextEdit*>("table")->toPlainText().toStdString();
    };
    const std::string ackOn = "ack       yes            0.00 dB       0.00 dB\n";
    EXPECT_NE(table().find(ackOn), std::string::npos) << table();
    EXPECT_NE(table().find("163840 at 6144000 Sa/s"), std::string::npos) << table();
    trigger(*lastClient()->findChild<QAction*>("copy"));
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), table());

    click(w<QCheckBox>("ACKactive"));
    dialogs.answerQuestion("Yes");
    trigger(w<QAction>("menuPlotMeasurements"));
    ASSERT_EQ(clients(), 2u);
    EXPECT_NE(table().find(ackOn), std::string::npos) << table();
    dialogs.answerQuestion("Cancel");
    trigger(w<QAction>("menuPlotMeasurements"));
    EXPECT_EQ(clients(), 2u);
}

// A waveform that has gone stale ("Yes") is plotted and measured at the
// clock it was calculated for, not at the one a new oversampling sets.
TEST_F(PlotCommands, StaleWaveformKeepsItsSampleClock) {
    calculate();  // OverSampling 5: 163840 samples at 6.144 MHz
    auto table = [&] {
        return lastClient()->findChild<QPlainTextEdit*>("table")->toPlainText().toStdString();
    };
    trigger(w<QAction>("menuPlotMeasurements"));
    const std::string calculated = table();
    ASSERT_NE(calculated.find("163840 at 6144000 Sa/s"), std::string::npos) << calculated;

    type(w<QLineEdit>("orateText"), "8");
    ASSERT_EQ(state().SigGenSettings.SamplingRate, 9830400);
    auto plotStale = [&](const char* tag) {
        dialogs.answerQuestion("Yes");
        trigger(w<QAction>(tag));
    };
    plotStale("menuPlotMeasurements");
    EXPECT_EQ(table(), calculated);  // the rate and every figure that depends on it
    plotStale("menuPlotSpectrum");
    EXPECT_NEAR(timeAxisEnd(), 3.072, 1e-9);  // half the sample rate, MHz
    plotStale("menuPlotIQTime");
    EXPECT_NEAR(timeAxisEnd(), 163840 / 6.144e6 * 1e3, 1e-9);  // ms
    plotStale("menuPlotWaterfall");
    EXPECT_NEAR(lastPlot().axisRect()->axis(QCPAxis::atBottom)->range().lower,
                -3.072 - 0.01 * 6.144, 1e-9);
    // One symbol of the waveform's 5 samples: the last at 4 sample periods.
    dialogs.answerQuestion("Yes");
    dialogs.answerInput(std::vector<std::string>{"1", "0"});
    trigger(w<QAction>("menuPlotEyeDiagram"));
    EXPECT_NEAR(timeAxisEnd() * 6.144e6, 4, 1e-9);
    dialogs.answerQuestion("Yes");
    dialogs.answerInput(std::vector<std::string>{"0", "0"});
    trigger(w<QAction>("menuPlotScatterDiagram"));
    EXPECT_EQ(lastPlot().findChild<QCPGraph*>("points")->dataCount(), 32768);  // one per chip
    EXPECT_EQ(clients(), 7u);
}

// The keys every document window has: Ctrl+C copies what Edit -> Copy
// copies, Ctrl+W closes the window.
TEST_F(PlotCommands, PlotAndMeasurementsWindowsTakeCtrlCAndCtrlW) {
    calculate();
    QClipboard& clipboard = *QGuiApplication::clipboard();
    auto activeLastClient = [&]() -> QWidget& {
        QWidget& window = *lastClient();
        window.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
        return window;
    };

    trigger(w<QAction>("menuPlotSpectrum"));
    QWidget& plot = activeLastClient();
    clipboard.clear();
    QTest::keyClick(&plot, Qt::Key_C, Qt::ControlModifier);
    EXPECT_FALSE(clipboard.pixmap().isNull());
    QPointer<QWidget> plotGuard(&plot);
    QTest::keyClick(&plot, Qt::Key_W, Qt::ControlModifier);
    deliverDeferred();
    EXPECT_TRUE(plotGuard.isNull());

    trigger(w<QAction>("menuPlotMeasurements"));
    QWidget& measurements = activeLastClient();
    const std::string table =
        measurements.findChild<QPlainTextEdit*>("table")->toPlainText().toStdString();
    clipboard.clear();
    QTest::keyClick(&measurements, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(clipboard.text().toStdString(), table);
    QPointer<QWidget> measurementsGuard(&measurements);
    QTest::keyClick(&measurements, Qt::Key_W, Qt::ControlModifier);
    deliverDeferred();
    EXPECT_TRUE(measurementsGuard.isNull());
}

TEST_F(PlotCommands, EyeAndScatterDialogsClampAndCancel) {
    calculate();
    const double rate = state().SigGenSettings.SamplingRate;  // OverSampling 5
    dialogs.answerInput(std::nullopt);
    trigger(w<QAction>("menuPlotEyeDiagram"));
    EXPECT_EQ(clients(), 0u);
    const auto& asked = dialogs.shown().back();
    EXPECT_EQ(asked.title, "Eye Diagram Configuration");
    EXPECT_EQ(asked.choices,
              (std::vector<std::string>{"Enter number of symbols:", "Enter symbol delay (0-1):"}));
    EXPECT_EQ(asked.defaults, (std::vector<std::string>{"1", "0"}));
    EXPECT_EQ(asked.lineCount, 1);

    // 3 symbols of 5 samples: traces of 15 samples over 15 sample periods.
    dialogs.answerInput(std::vector<std::string>{"3", "0.5"});
    trigger(w<QAction>("menuPlotEyeDiagram"));
    ASSERT_EQ(clients(), 1u);
    EXPECT_EQ(lastName(), std::string("Eye Diagram ") + kStamp);
    EXPECT_NEAR(timeAxisEnd() * rate, 14, 1e-9);
    // Unreadable symbols count as 1; a delay above 1 is one symbol, then
    // within the trace.
    dialogs.answerInput(std::vector<std::string>{"abc", "7"});
    trigger(w<QAction>("menuPlotEyeDiagram"));
    ASSERT_EQ(clients(), 2u);
    EXPECT_NEAR(timeAxisEnd() * rate, 4, 1e-9);
    EXPECT_EQ(ui::platform::getPointer(main()), "arrow");

    dialogs.answerInput(std::vector<std::string>{"1", "0.4"});
    trigger(w<QAction>("menuPlotScatterDiagram"));
    ASSERT_EQ(clients(), 3u);
    EXPECT_EQ(dialogs.shown().back().title, "Scatter Diagram Configuration");
    EXPECT_EQ(dialogs.shown().back().choices,
              (std::vector<std::string>{"Trace On (0|1):", "Enter symbol delay (0-1):"}));
    EXPECT_TRUE(lastPlot().findChild<QCPAbstractPlottable*>("trace"));
    auto* points = lastPlot().findChild<QCPGraph*>("points");
    ASSERT_TRUE(points);
    EXPECT_EQ(points->dataCount(), 32768);  // samples 2, 7, ... of 163840
    dialogs.answerInput(std::vector<std::string>{"0.2", "0"});
    trigger(w<QAction>("menuPlotScatterDiagram"));
    EXPECT_FALSE(lastPlot().findChild<QCPAbstractPlottable*>("trace"));
}

TEST_F(PlotCommands, ExitClosesThePlotWindowsStillOpen) {
    calculate();
    trigger(w<QAction>("menuPlotSpectrum"));
    trigger(w<QAction>("menuPlotCCDF"));
    ASSERT_EQ(clients(), 2u);
    QPointer<QWidget> closedByUser = state().appInfo.ClientWindows[0].data();
    QPointer<QWidget> stillOpen = state().appInfo.ClientWindows[1].data();
    closedByUser->close();
    deliverDeferred();
    EXPECT_TRUE(closedByUser.isNull());
    exitApp();
    EXPECT_TRUE(stillOpen.isNull());
    EXPECT_TRUE(mainGone());
}

// Reports, does not judge: the time depends on the machine and its load.
TEST_F(PlotCommands, TimeFromCommandToPaintedWindowAtOverSampling30) {
    state().parameters.OverSampling = 30;
    state().SigGenSettings.SamplingRate = 1228800.0 * 30;
    calculate();
    ASSERT_EQ(state().frame.waveform.size(), 983040u);
    const char* tags[] = {"menuPlotSpectrum",       "menuPlotCCDF",       "menuPlotIQTime",
                          "menuPlotIQTimeSameAxes", "menuPlotEyeDiagram", "menuPlotScatterDiagram",
                          "menuPlotWaterfall"};
    for (const char* tag : tags) {
        if (std::string(tag) == "menuPlotEyeDiagram")
            dialogs.answerInput(std::vector<std::string>{"1", "0"});
        if (std::string(tag) == "menuPlotScatterDiagram")
            dialogs.answerInput(std::vector<std::string>{"0", "0"});
        QElapsedTimer timer;
        timer.start();
        trigger(w<QAction>(tag));
        lastClient()->repaint();
        const double ms = static_cast<double>(timer.nsecsElapsed()) / 1e6;
        std::printf("%-24s %7.1f ms to the painted window\n", tag, ms);
        RecordProperty(tag, std::to_string(ms));
    }
    EXPECT_EQ(clients(), 7u);
}
