// The window routines through the C API in a Qt host, as the desktop program
// is one: the test owns the QApplication (offscreen) and plays the user on
// the windows the library opens, finding them by their tags.

#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <cmath>
#include <complex>
#include <filesystem>
#include <functional>
#include <thread>

#include "Displays/OffscreenApp.h"
#include "lib/LibTest.h"

using namespace libtest;
namespace fs = std::filesystem;

namespace {

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// The visible window with this tag (the last one opened when there are
// several), or null.
QWidget* shownWindow(const char* tag) {
    QWidget* found = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == tag && w->isVisible()) found = w;
    return found;
}

QWidget* anyWindow(const char* tag) {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == tag) return w;
    return nullptr;
}

template <class T>
T& control(QWidget& window, const char* tag) {
    T* c = window.findChild<T*>(tag);
    if (!c) throw std::runtime_error(std::string("no control ") + tag);
    return *c;
}

// Runs `action` once the window shows (inside the modal wait of the routine
// that opened it).
void whenShown(const char* tag, std::function<void(QWidget&)> action) {
    auto* poll = new QTimer(qApp);
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, tag, action] {
        QWidget* w = shownWindow(tag);
        if (!w) return;
        poll->stop();
        poll->deleteLater();
        action(*w);
    });
    poll->start();
}

void typeInto(QLineEdit& edit, const char* text) {
    edit.setText(text);
    edit.setModified(true);
    emit edit.editingFinished();
}

void deliverDeferred() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

std::vector<std::string>& strayDialogs() {
    static std::vector<std::string> titles;
    return titles;
}

// The library shows Qt's own dialogs. None is expected here; one that comes
// is noted and closed, so that a test fails instead of waiting for a user.
// "Plot Error" boxes a test expects: their title and text, in order.
std::vector<std::string>& expectedPlotErrors() {
    static std::vector<std::string> shown;
    return shown;
}
bool& expectingPlotErrors() {
    static bool on = false;
    return on;
}

void closeStrayDialogs() {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QDialog*>(w);
        if (!box || !box->isVisible()) continue;
        auto* message = qobject_cast<QMessageBox*>(box);
        if (message && expectingPlotErrors() && message->windowTitle() == "Plot Error") {
            expectedPlotErrors().push_back(message->windowTitle().toStdString() + ": " +
                                           message->text().toStdString());
            box->accept();
            continue;
        }
        if (qobject_cast<QMessageBox*>(box) || qobject_cast<QFileDialog*>(box) ||
            qobject_cast<QInputDialog*>(box)) {
            strayDialogs().push_back(box->windowTitle().toStdString());
            box->reject();
        }
    }
}

// The host: a QApplication, a working folder of its own (the application
// reads and writes its I/O configuration file there) and the library.
class QtHostEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        static char name[] = "test_lib_windows";
        app_ = onex::qttest::startOffscreenApp(name);
        auto* sweeper = new QTimer(app_);
        QObject::connect(sweeper, &QTimer::timeout, closeStrayDialogs);
        sweeper->start(100);
        dir_ = fs::temp_directory_path() / ("onex_lib_windows_" + std::to_string(::getpid()));
        fs::create_directories(dir_);
        previous_ = fs::current_path();
        fs::current_path(dir_);
        ASSERT_TRUE(OneX_Rev_b_libInitialize());
    }
    void TearDown() override {
        OneX_Rev_b_libTerminate();
        for (QWidget* w : QApplication::topLevelWidgets())
            w->deleteLater();
        deliverDeferred();
        delete app_;
        fs::current_path(previous_);
        fs::remove_all(dir_);
    }

  private:
    QApplication* app_ = nullptr;
    fs::path dir_, previous_;
};

[[maybe_unused]] ::testing::Environment* const environment =
    ::testing::AddGlobalTestEnvironment(new QtHostEnvironment);

class QtHost : public ::testing::Test {
  protected:
    void TearDown() override {
        EXPECT_TRUE(strayDialogs().empty()) << "a dialog appeared: " << strayDialogs().front();
        strayDialogs().clear();
        for (QWidget* w : QApplication::topLevelWidgets())
            w->deleteLater();
        deliverDeferred();
    }
    Owned empty() { return Owned(mxCreateDoubleMatrix(0, 0, mxREAL)); }
};

TEST_F(QtHost, TheConnectionDialogAnswersThroughItsOutputs) {
    whenShown("figureVisaAddress", [](QWidget& d) {
        // Platform b offers RS232, GPIB and LAN.
        EXPECT_EQ(control<QComboBox>(d, "pmConnection").count(), 3);
        control<QPushButton>(d, "pbOK").click();
    });
    Owned none = empty(), b = str("b");
    Call c = callMlx(mlxQV_SigGen, 2, {none.get(), none.get(), b.get()});
    ASSERT_TRUE(c.ok) << c.error;
    EXPECT_EQ(text(c[0]), "OK");
    const mxArray* gpib = mxGetField(c[1], 0, "GPIB");
    ASSERT_NE(gpib, nullptr);
    EXPECT_EQ(mxGetScalar(mxGetField(gpib, 0, "primary")), 19);

    // The mlfN form: inputs up to NULL, output 2 into the caller's array.
    Owned platformC = str("c");
    whenShown("figureVisaAddress", [](QWidget& d) {
        EXPECT_EQ(control<QComboBox>(d, "pmConnection").itemText(1), "TCP/IP");
        control<QPushButton>(d, "pbCancel").click();
    });
    mxArray* more[1] = {nullptr};
    Owned answer(mlfNQV_SigGen(2, more, none.get(), none.get(), platformC.get(), nullptr));
    ASSERT_NE(answer, nullptr) << OneX_Rev_b_libLastError();
    Owned config(more[0]);
    EXPECT_EQ(text(answer.get()), "Cancel");
    ASSERT_NE(config, nullptr);
    EXPECT_EQ(text(mxGetField(config.get(), 0, "type")), "GPIB");
}

TEST_F(QtHost, TheAboutBoxShowsTheApplicationInformationOverItsParent) {
    Call splash = callMlx(mlxQV_Splash, 1, {});
    ASSERT_TRUE(splash.ok) << splash.error;
    ASSERT_NE(shownWindow("QV_Splash"), nullptr);

    const char* fields[] = {"Name", "Rev", "IsRelease"};
    Owned info(mxCreateStructMatrix(1, 1, 3, fields));
    mxSetField(info.get(), 0, "Name", mxCreateString("1xEV Reverse Link"));
    mxSetField(info.get(), 0, "Rev", mxCreateString("A.01.06.000"));
    mxSetField(info.get(), 0, "IsRelease", mxCreateDoubleScalar(1));
    std::string title, revision;
    whenShown("QV_About", [&](QWidget& box) {
        title = box.windowTitle().toStdString();
        revision = control<QLabel>(box, "lblRevision").text().toStdString();
        control<QPushButton>(box, "pbOK").click();
    });
    Call about = callMlx(mlxQV_About, 0, {splash[0], info.get()});
    ASSERT_TRUE(about.ok) << about.error;
    EXPECT_EQ(title, "1xEV Reverse Link");
    EXPECT_EQ(revision.substr(0, 7), "A.01.06");
    EXPECT_EQ(revision.find(".000"), std::string::npos) << revision;
    deliverDeferred();
    EXPECT_EQ(anyWindow("QV_About"), nullptr) << "the box is deleted when closed";
}

TEST_F(QtHost, WindowsAreOpenedPlacedAndGivenMenusByTheirNumbers) {
    Owned layout = str("OneX_Rev_GUI_b");
    Call fig = callMlx(mlxloadFigure, 1, {layout.get()});
    ASSERT_TRUE(fig.ok) << fig.error;
    EXPECT_GT(mxGetScalar(fig[0]), 0);
    auto* window = qobject_cast<QMainWindow*>(anyWindow("main"));
    ASSERT_NE(window, nullptr);

    Call splash = callMlx(mlxQV_Splash, 1, {});
    ASSERT_TRUE(splash.ok) << splash.error;
    QWidget* splashWindow = shownWindow("QV_Splash");
    ASSERT_NE(splashWindow, nullptr);
    window->move(40, 30);
    Call placed = callMlx(mlxPositionChildWindow, 0, {fig[0], splash[0]});
    ASSERT_TRUE(placed.ok) << placed.error;
    EXPECT_LE((splashWindow->geometry().center() - window->geometry().center()).manhattanLength(),
              1);

    Call menus = callMlx(mlxQV_AddMenu, 1, {fig[0]});
    ASSERT_TRUE(menus.ok) << menus.error;
    for (const char* f : {"File", "Plot", "Config", "Special", "Help"}) {
        const mxArray* h = mxGetField(menus[0], 0, f);
        ASSERT_NE(h, nullptr) << f;
        EXPECT_GT(mxGetScalar(h), 0) << f;
    }
    QMenu* file = window->findChild<QMenu*>("menuFile");
    ASSERT_NE(file, nullptr);
    ASSERT_NE(window->findChild<QAction*>("menuFileExit"), nullptr);

    // Menus have no font size of their own (the offscreen screen has 96
    // pixels per inch, where controls' fonts would grow); a number that
    // stands for nothing is passed over.
    ASSERT_EQ(QGuiApplication::primaryScreen()->logicalDotsPerInch(), 96);
    const char* tags[] = {"File", "gone"};
    Owned handles(mxCreateStructMatrix(1, 1, 2, tags));
    mxSetField(handles.get(), 0, "File", mxDuplicateArray(mxGetField(menus[0], 0, "File")));
    mxSetField(handles.get(), 0, "gone", mxCreateDoubleScalar(987654));
    const QFont before = file->font();
    Call resized = callMlx(mlxResizeAllFonts, 0, {handles.get()});
    ASSERT_TRUE(resized.ok) << resized.error;
    EXPECT_EQ(file->font(), before);

    Owned stranger = num(987654), noLayout = str("NoSuchLayout");
    Call c = callMlx(mlxPositionChildWindow, 0, {fig[0], stranger.get()});
    EXPECT_FALSE(c.ok);
    EXPECT_TRUE(contains(c.error, "PositionChildWindow: child")) << c.error;
    c = callMlx(mlxloadFigure, 1, {noLayout.get()});
    EXPECT_FALSE(c.ok);
    EXPECT_TRUE(contains(c.error, "NoSuchLayout")) << c.error;
}

// Widgets live on the QApplication's thread; another thread is told so.
TEST_F(QtHost, OtherThreadsAreRefused) {
    std::string error;
    std::thread([&] {
        Call c = callMlx(mlxQV_Splash, 1, {});
        EXPECT_FALSE(c.ok);
        error = c.error;
    }).join();
    EXPECT_EQ(error, "QV_Splash: the windows can only be used on the thread of the QApplication.");
    EXPECT_EQ(anyWindow("QV_Splash"), nullptr);
}

// OneX_Rev_b in a host that runs its own event loop: it returns once the
// main window shows, and the application's end ends the host's loop.
TEST_F(QtHost, OneX_Rev_bOpensTheApplicationAndItsEndEndsTheHostsLoop) {
    Call opened = callMlx(mlxOneX_Rev_b, 0, {});
    ASSERT_TRUE(opened.ok) << opened.error;
    QPointer<QWidget> main = shownWindow("main");
    ASSERT_FALSE(main.isNull());

    QTimer::singleShot(0, main, [main] { control<QAction>(*main, "menuFileExit").trigger(); });
    bool gaveUp = false;
    QTimer::singleShot(30000, qApp, [&gaveUp] {
        gaveUp = true;
        QCoreApplication::quit();
    });
    QApplication::exec();
    EXPECT_FALSE(gaveUp) << "the host's event loop went on after File/Exit";
    deliverDeferred();
    EXPECT_TRUE(main.isNull());
    EXPECT_TRUE(fs::exists("rfIOConfig.mat"));
}

TEST_F(QtHost, TheModulesRunTheirRoutinesByName) {
    Call opened = callMlx(mlxOneX_Rev_GUI_b, 1, {});
    ASSERT_TRUE(opened.ok) << opened.error;
    const mxArray* main = opened[0];
    QPointer<QWidget> window = shownWindow("main");
    ASSERT_FALSE(window.isNull());
    Owned none = empty();

    // A click: the control changes, then its callback runs by name with the
    // callback's four inputs.
    EXPECT_FALSE(control<QLineEdit>(*window, "DRCRelGain").isEnabled());
    control<QCheckBox>(*window, "DRCactive").setChecked(true);
    Owned drc = str("DRCactive_Callback");
    Call c = callMlx(mlxOneX_Rev_GUI_b, 0, {drc.get(), main, none.get(), main});
    ASSERT_TRUE(c.ok) << c.error;
    EXPECT_TRUE(control<QLineEdit>(*window, "DRCRelGain").isEnabled());

    // Any number of inputs: the ones a routine does not use are ignored.
    auto& frequency = control<QLineEdit>(*window, "txtFrequency");
    frequency.setText("garbage");
    Owned redraw = str("redrawSigGenSettings");
    c = callMlx(mlxTARNconfig, 0, {redraw.get(), main, none.get(), main, none.get(), none.get()});
    ASSERT_TRUE(c.ok) << c.error;
    EXPECT_EQ(frequency.text(), "2.2");

    window->setWindowTitle("x");
    Owned title = str("redrawAppTitle");
    c = callMlx(mlxrfCommonUI, 0, {title.get(), main, none.get(), main});
    ASSERT_TRUE(c.ok) << c.error;
    EXPECT_EQ(window->windowTitle(), "Wavecraft - 1xEV Reverse Link");

    // A failing routine is printed on the console by the module, not raised.
    Owned unknown = str("noSuchRoutine");
    testing::internal::CaptureStderr();
    c = callMlx(mlxrfCommonUI, 0, {unknown.get(), main, none.get(), main});
    const std::string printed = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(c.ok) << c.error;
    EXPECT_TRUE(contains(printed, "rfCommonUI/noSuchRoutine")) << printed;

    // A callback gives no output to a caller that wants one.
    Owned redrawAll = str("redraw");
    c = callMlx(mlxOneX_Rev_GUI_b, 1, {redrawAll.get(), main});
    EXPECT_FALSE(c.ok);
    EXPECT_TRUE(contains(c.error, "produced 0 outputs where 1 were asked for")) << c.error;

    // The slot dialog: a structure in, the answer and the edited copy out.
    Owned slotLayout = str("OneX_Rev_GUI_SlotSetup");
    Call dialog = callMlx(mlxloadFigure, 1, {slotLayout.get(), main});
    ASSERT_TRUE(dialog.ok) << dialog.error;
    const char* fields[] = {"ACKslotActive", "ACKslotValue", "DRCslotActive", "DRCslotValue",
                            "DRCslotCover"};
    Owned slot(mxCreateStructMatrix(1, 1, 5, fields));
    mxSetField(slot.get(), 0, "ACKslotActive", row(std::vector<double>(16, 0)).release());
    mxSetField(slot.get(), 0, "ACKslotValue", row(std::vector<double>(16, 1)).release());
    mxSetField(slot.get(), 0, "DRCslotActive", row(std::vector<double>(17, 1)).release());
    mxSetField(slot.get(), 0, "DRCslotValue", row(std::vector<double>(17, 3)).release());
    mxSetField(slot.get(), 0, "DRCslotCover", row(std::vector<double>(17, 2)).release());
    whenShown("figSlotSetup", [](QWidget& d) {
        typeInto(control<QLineEdit>(d, "txtDRCslotValue1"), "C");
        control<QPushButton>(d, "pbOK").click();
    });
    c = callMlx(mlxOneX_Rev_GUI_SlotSetup, 2, {dialog[0], slot.get()});
    ASSERT_TRUE(c.ok) << c.error;
    EXPECT_EQ(text(c[0]), "OK");
    const std::vector<double> drcValues = values(mxGetField(c[1], 0, "DRCslotValue"));
    ASSERT_EQ(drcValues.size(), 17u);
    EXPECT_EQ(drcValues[0], 12);
    EXPECT_EQ(drcValues[1], 3);
    EXPECT_EQ(values(mxGetField(c[1], 0, "ACKslotActive")), std::vector<double>(16, 0));

    // File/Exit through the command module; afterwards the modules have no
    // application to run in. The DRC switch goes back first: with nothing
    // edited, Exit does not offer to save.
    control<QCheckBox>(*window, "DRCactive").setChecked(false);
    c = callMlx(mlxOneX_Rev_GUI_b, 0, {drc.get(), main, none.get(), main});
    ASSERT_TRUE(c.ok) << c.error;
    Owned exit = str("menuFileExit_Callback");
    c = callMlx(mlxrfCommonUI, 0, {exit.get(), main, none.get(), main});
    ASSERT_TRUE(c.ok) << c.error;
    deliverDeferred();
    EXPECT_TRUE(window.isNull());
    c = callMlx(mlxTARNconfig, 0, {redraw.get(), main});
    EXPECT_FALSE(c.ok);
    EXPECT_TRUE(contains(c.error, "TARNconfig: the application is not running")) << c.error;
}

}  // namespace

TEST_F(QtHost, TheDisplayWindowsOpenByTheirNumbers) {
    auto shownTitled = [](const QString& name) {
        for (QWidget* t : QApplication::topLevelWidgets())
            if (t->isVisible() && t->windowTitle() == name) return true;
        return false;
    };
    Call ccdf = callMlx(mlxQV_PlotCCDF, 1, {});
    ASSERT_TRUE(ccdf.ok) << ccdf.error;
    EXPECT_GT(mxGetScalar(ccdf[0]), 0);
    EXPECT_TRUE(shownTitled("CCDF Test Data"));

    std::vector<std::complex<double>> wave(64);
    for (std::size_t k = 0; k < wave.size(); ++k)
        wave[k] = std::polar(0.5, 0.2 * static_cast<double>(k));
    Owned screen = num(0), label = str("lib"), rate = num(1e6), iq = complexRow(wave);
    Call spectrum =
        callMlx(mlxQV_PlotSpectrum, 1, {screen.get(), label.get(), rate.get(), iq.get()});
    ASSERT_TRUE(spectrum.ok) << spectrum.error;
    EXPECT_TRUE(shownTitled("Magnitude Spectrum lib"));
    Owned slice = num(1e-5);
    Call waterfall = callMlx(mlxQV_PlotWaterfall, 1,
                             {screen.get(), label.get(), rate.get(), slice.get(), iq.get()});
    ASSERT_TRUE(waterfall.ok) << waterfall.error;
    EXPECT_TRUE(shownTitled("Spectrum Waterfall lib"));

    // What the eye diagram cannot draw ends in its error window and [].
    expectingPlotErrors() = true;
    expectedPlotErrors().clear();
    Owned one = num(1), period = num(1e-6), zero = num(0);
    Call eye = callMlx(mlxQV_PlotEyeDiagram, 1,
                       {screen.get(), label.get(), iq.get(), one.get(), period.get(), zero.get()});
    ASSERT_TRUE(eye.ok) << eye.error;
    EXPECT_TRUE(mxIsEmpty(eye[0]));
    ASSERT_EQ(expectedPlotErrors().size(), 1u);
    EXPECT_EQ(expectedPlotErrors()[0],
              "Plot Error: Unable to Plot Eye Diagram\nN must be an integer "
              "greater than 1.");
    Owned wide(mxCreateDoubleMatrix(4, 3, mxREAL)), four = num(4);
    eye = callMlx(mlxQV_PlotEyeDiagram, 1,
                  {screen.get(), label.get(), wide.get(), four.get(), period.get(), zero.get()});
    ASSERT_TRUE(eye.ok) << eye.error;
    EXPECT_TRUE(mxIsEmpty(eye[0]));
    ASSERT_EQ(expectedPlotErrors().size(), 2u);
    EXPECT_EQ(expectedPlotErrors()[1],
              "Plot Error: Unable to Plot Eye Diagram\nNumber of columns in the "
              "input data, X, cannot exceed 2.");
    expectingPlotErrors() = false;
    Call scatter =
        callMlx(mlxQV_PlotScatterDiagram, 1,
                {screen.get(), label.get(), iq.get(), four.get(), zero.get(), one.get()});
    ASSERT_TRUE(scatter.ok) << scatter.error;
    EXPECT_GT(mxGetScalar(scatter[0]), 0);
    EXPECT_TRUE(shownTitled("Scatter Diagram lib"));

    // A sample that is no number is refused before any window opens.
    auto bad = wave;
    bad[3] = {NAN, 0};
    Owned badIq = complexRow(bad);
    Call refused =
        callMlx(mlxQV_PlotSpectrum, 1, {screen.get(), label.get(), rate.get(), badIq.get()});
    EXPECT_FALSE(refused.ok);
    EXPECT_NE(refused.error.find("not a finite number"), std::string::npos) << refused.error;
}
