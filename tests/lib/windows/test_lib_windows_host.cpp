// The window routines in a host that has no QApplication, as a plain C
// program is: the declared counts, clear errors instead of Qt ending the
// process, the core still working, and OneX_Rev_b running an application of
// its own until the user exits.

#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QMainWindow>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "lib/LibTest.h"

using namespace libtest;
namespace fs = std::filesystem;

namespace {

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

std::string declaredInputs(const char* name, int n) {
    return std::string("Run-time Error: File: ") + name + " Line: 1 Column: 1 The function \"" +
           name + "\" was called with more than the declared number of inputs (" +
           std::to_string(n) + ").";
}

std::string declaredOutputs(const char* name, int n) {
    return std::string("Run-time Error: File: ") + name + " Line: 1 Column: 1 The function \"" +
           name + "\" was called with more than the declared number of outputs (" +
           std::to_string(n) + ").";
}

class NoApplication : public LibTest {
  protected:
    void SetUp() override {
        LibTest::SetUp();
        ASSERT_EQ(QCoreApplication::instance(), nullptr);
    }
};

TEST_F(NoApplication, FixedCountsAreRefusedWithTheRunTimeText) {
    Owned a = num(0), name = str("QV_Splash");
    using Gateway = bool (*)(int, mxArray**, int, mxArray**);
    struct Case {
        Gateway gateway;
        const char* name;
        int inputs, outputs;
    };
    for (const Case& c :
         {Case{mlxOneX_Rev_b, "OneX_Rev_b", 0, 0}, Case{mlxQV_AddMenu, "QV_AddMenu", 1, 1},
          Case{mlxloadFigure, "loadFigure", 2, 1},
          Case{mlxPositionChildWindow, "PositionChildWindow", 2, 0},
          Case{mlxResizeAllFonts, "ResizeAllFonts", 1, 0}, Case{mlxQV_Splash, "QV_Splash", 0, 1},
          Case{mlxQV_About, "QV_About", 2, 0}}) {
        SCOPED_TRACE(c.name);
        std::vector<mxArray*> in(static_cast<std::size_t>(c.inputs) + 1, a.get());
        in[0] = name.get();
        mxArray* out[3] = {};
        EXPECT_FALSE(c.gateway(0, out, c.inputs + 1, in.data()));
        EXPECT_EQ(OneX_Rev_b_libLastError(), declaredInputs(c.name, c.inputs));
        EXPECT_FALSE(c.gateway(c.outputs + 1, out, c.inputs, in.data()));
        EXPECT_EQ(OneX_Rev_b_libLastError(), declaredOutputs(c.name, c.outputs));
    }
    // The command modules give nothing.
    Call call = callMlx(mlxrfCommonUI, 1, {name.get()});
    EXPECT_EQ(call.error, declaredOutputs("rfCommonUI", 0));
    call = callMlx(mlxTARNconfig, 1, {name.get()});
    EXPECT_EQ(call.error, declaredOutputs("TARNconfig", 0));

    call = callMlx(mlxloadFigure, 1, {});
    EXPECT_EQ(call.error, "loadFigure: not enough input arguments (0 given, at least 1 needed).");
    call = callMlx(mlxrfCommonUI, 0, {});
    EXPECT_EQ(call.error, "rfCommonUI: not enough input arguments (0 given, at least 1 needed).");
}

// The dispatchers take any number of inputs and outputs: a call is not
// refused for its counts, only (here) for want of a QApplication.
TEST_F(NoApplication, DispatchersAcceptAnyCountsAndWindowsNeedAQApplication) {
    Owned name = str("redraw"), a = num(1), empty(mxCreateDoubleMatrix(0, 0, mxREAL));
    using Gateway = bool (*)(int, mxArray**, int, mxArray**);
    for (auto [gateway, routine, nlhs] :
         {std::tuple<Gateway, const char*, int>{mlxOneX_Rev_GUI_b, "OneX_Rev_GUI_b", 5},
          {mlxOneX_Rev_GUI_SlotSetup, "OneX_Rev_GUI_SlotSetup", 4},
          {mlxQV_SigGen, "QV_SigGen", 3},
          {mlxrfCommonUI, "rfCommonUI", 0},
          {mlxTARNconfig, "TARNconfig", 0}}) {
        SCOPED_TRACE(routine);
        mxArray* in[] = {name.get(), a.get(), empty.get(), a.get(), a.get(), a.get(), a.get()};
        mxArray* out[5] = {};
        EXPECT_FALSE(gateway(nlhs, out, 7, in));
        const std::string error = OneX_Rev_b_libLastError();
        EXPECT_EQ(error.rfind(std::string(routine) + ": ", 0), 0u) << error;
        EXPECT_TRUE(contains(error, "need a QApplication")) << error;
        for (mxArray* o : out)
            EXPECT_EQ(o, nullptr);
    }
    for (auto [gateway, routine] :
         {std::pair<Gateway, const char*>{mlxQV_Splash, "QV_Splash"}, {mlxQV_About, "QV_About"}}) {
        Call c = callMlx(gateway, 0, {});
        EXPECT_FALSE(c.ok);
        EXPECT_TRUE(contains(c.error, "need a QApplication")) << routine << ": " << c.error;
    }
    // The mlf forms: inputs up to the first NULL.
    EXPECT_FALSE(mlfVOneX_Rev_GUI_b(name.get(), a.get(), empty.get(), a.get(), nullptr));
    EXPECT_TRUE(contains(OneX_Rev_b_libLastError(), "OneX_Rev_GUI_b: the windows need"));
    mxArray* const untouched = reinterpret_cast<mxArray*>(0x10);
    mxArray* more[1] = {untouched};
    EXPECT_EQ(mlfNQV_SigGen(2, more, nullptr), nullptr);
    EXPECT_EQ(more[0], untouched);
    EXPECT_FALSE(mlfrfCommonUI(name.get(), nullptr));
    EXPECT_TRUE(contains(OneX_Rev_b_libLastError(), "rfCommonUI: the windows need"));

    // None of that made a QApplication, and the computing routines do not
    // need one.
    EXPECT_EQ(QCoreApplication::instance(), nullptr);
    Owned reps = num(1);
    Call codes = callMlx(mlxOneX_RevShortCode, 2, {reps.get()});
    ASSERT_TRUE(codes.ok) << codes.error;
    EXPECT_EQ(mxGetN(codes[0]), 32768u);
    EXPECT_EQ(mxGetN(codes[1]), 32768u);
}

// Qt would end the process where it cannot open its window system; the
// library says why instead.
TEST_F(NoApplication, OneX_Rev_bWithoutADisplayOrOffTheMainThreadFailsClearly) {
    ::unsetenv("DISPLAY");
    ::unsetenv("WAYLAND_DISPLAY");
    for (const char* platform : {"", "xcb", "wayland;xcb"}) {
        SCOPED_TRACE(platform);
        ::setenv("QT_QPA_PLATFORM", platform, 1);
        EXPECT_FALSE(mlfOneX_Rev_b());
        EXPECT_STREQ(OneX_Rev_b_libLastError(),
                     "OneX_Rev_b: there is no display for the windows (see DISPLAY, "
                     "WAYLAND_DISPLAY and QT_QPA_PLATFORM; QT_QPA_PLATFORM=offscreen needs "
                     "none).");
    }
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    std::string error;
    std::thread([&] {
        EXPECT_FALSE(mlfOneX_Rev_b());
        error = OneX_Rev_b_libLastError();
    }).join();
    EXPECT_TRUE(contains(error, "only run on the program's main thread")) << error;
    EXPECT_EQ(QCoreApplication::instance(), nullptr);
}

// A working folder of its own: the application reads and writes its I/O
// configuration file in the current folder.
class OwnApplication : public LibTest {
  protected:
    void SetUp() override {
        LibTest::SetUp();
        dir_ = fs::temp_directory_path() / ("onex_lib_own_app_" + std::to_string(::getpid()));
        fs::create_directories(dir_);
        previous_ = fs::current_path();
        fs::current_path(dir_);
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    void TearDown() override {
        fs::current_path(previous_);
        fs::remove_all(dir_);
        LibTest::TearDown();
    }
    fs::path dir_, previous_;
};

// Plays the user of the application that OneX_Rev_b runs on this thread:
// once the main window shows, File/Exit. When the window never shows, or the
// application's event loop goes on after the exit, it gives up and ends the
// loop, so that the test fails instead of hanging.
class ExitWhenShown {
  public:
    ExitWhenShown() : thread_([this] { run(); }) {}
    // After OneX_Rev_b has returned.
    ~ExitWhenShown() {
        stop_ = true;
        thread_.join();
    }
    bool exited() const { return exited_; }
    bool gaveUp() const { return gaveUp_; }

  private:
    using Clock = std::chrono::steady_clock;
    static void pause() { std::this_thread::sleep_for(std::chrono::milliseconds(100)); }
    void giveUp() {
        gaveUp_ = true;
        if (QCoreApplication* app = QCoreApplication::instance())
            QMetaObject::invokeMethod(app, &QCoreApplication::quit, Qt::QueuedConnection);
    }
    void run() {
        auto deadline = Clock::now() + std::chrono::seconds(60);
        while (!stop_ && !exited_) {
            pause();
            QCoreApplication* app = QCoreApplication::instance();
            if (!app) continue;
            if (Clock::now() > deadline) return giveUp();
            // Widgets belong to the application's thread: look there.
            QMetaObject::invokeMethod(
                app,
                [this] {
                    for (QWidget* w : QApplication::topLevelWidgets()) {
                        auto* main = qobject_cast<QMainWindow*>(w);
                        if (!main || !main->isVisible() || exited_) continue;
                        if (auto* exit = main->findChild<QAction*>("menuFileExit")) {
                            exited_ = true;
                            exit->trigger();
                        }
                    }
                },
                Qt::BlockingQueuedConnection);
        }
        // The application is not touched again unless its loop hangs on.
        deadline = Clock::now() + std::chrono::seconds(30);
        while (!stop_) {
            pause();
            if (Clock::now() > deadline) return giveUp();
        }
    }
    std::atomic<bool> stop_{false}, exited_{false}, gaveUp_{false};
    std::thread thread_;
};

TEST_F(OwnApplication, OneX_Rev_bRunsTheApplicationUntilTheUserExits) {
    for (int run = 1; run <= 2; ++run) {
        SCOPED_TRACE(run);
        fs::remove(dir_ / "rfIOConfig.mat");
        bool ok, exited, gaveUp;
        {
            ExitWhenShown user;
            ok = mlfOneX_Rev_b();
            exited = user.exited();
            gaveUp = user.gaveUp();
        }
        EXPECT_TRUE(ok) << OneX_Rev_b_libLastError();
        EXPECT_TRUE(exited) << "the main window never showed";
        EXPECT_FALSE(gaveUp) << "the event loop went on after File/Exit";
        // File/Exit saved the configuration, and the application the
        // library made is gone again.
        EXPECT_TRUE(fs::exists(dir_ / "rfIOConfig.mat"));
        EXPECT_EQ(QCoreApplication::instance(), nullptr);
    }
}

}  // namespace
