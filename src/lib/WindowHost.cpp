// The window routines in the exported library: the desktop part's table
// (UI/GuiRoutines.h) behind what a host of the library needs.
//
// Who runs the event loop:
// - a host that has made a QApplication runs its own loop; OneX_Rev_b opens
//   the main window in it and returns, and when that window goes (File/Exit
//   or its close box) the loop is asked to end (QCoreApplication::quit), so
//   that the host's exec() returns;
// - a host without one (a plain C program) gets one from OneX_Rev_b, which
//   then runs the loop itself until the application ends, removes the
//   QApplication again and returns.
// Every other window routine needs the host's QApplication and must be
// called on its thread; otherwise it fails with a clear error rather than
// let Qt end the process.

#include <sys/syscall.h>
#include <unistd.h>

#include <QApplication>
#include <QThread>
#include <cstdlib>
#include <memory>
#include <string>

#include "UI/Application.h"
#include "UI/GuiRoutines.h"
#include "lib/WindowHost.h"
#include "lib/Windows.h"
#include "platform/Error.h"

namespace onex::lib {

namespace {

using platform::Array;

[[noreturn]] void fail(std::string_view routine, const std::string& text) {
    throw Error(std::string(routine) + ": " + text);
}

bool isSet(const char* variable) {
    const char* v = std::getenv(variable);
    return v && *v;
}

// Qt ends the process when its window system cannot be reached, so a
// QApplication is made only when there is something to reach: an explicit
// platform that needs no display, or the display of the one asked for.
bool displayAvailable() {
    const char* chosen = std::getenv("QT_QPA_PLATFORM");
    if (!chosen || !*chosen) return isSet("DISPLAY") || isSet("WAYLAND_DISPLAY");
    // A list of platforms to try in turn, each maybe with options.
    const std::string list = chosen;
    std::size_t start = 0;
    while (start <= list.size()) {
        const std::size_t end = std::min(list.find(';', start), list.size());
        const std::string entry = list.substr(start, end - start);
        const std::string platformName = entry.substr(0, entry.find(':'));
        if (platformName == "xcb") {
            if (isSet("DISPLAY")) return true;
        } else if (platformName.rfind("wayland", 0) == 0) {
            if (isSet("WAYLAND_DISPLAY")) return true;
        } else if (!platformName.empty()) {
            return true;  // offscreen, minimal, vnc, eglfs, ...: no display needed
        }
        start = end + 1;
    }
    return false;
}

bool onMainThread() {
    return ::syscall(SYS_gettid) == ::getpid();
}

// Opens the application; its end ends the event loop it runs in.
std::vector<Array> openApplication(const ui::GuiRoutine& routine, std::span<const Array> in,
                                   std::size_t nargout) {
    std::vector<Array> out = routine.call(in, nargout);
    const ui::Application* app = ui::runningApplication();
    if (app && app->mainWindow())
        QObject::connect(app->mainWindow(), &QObject::destroyed, qApp, &QCoreApplication::quit,
                         Qt::QueuedConnection);
    return out;
}

// OneX_Rev_b in a host without a QApplication.
std::vector<Array> runOwnApplication(const ui::GuiRoutine& routine, std::span<const Array> in,
                                     std::size_t nargout) {
    if (!onMainThread())
        fail(routine.name,
             "without a QApplication of the host, the windows can only run on the program's "
             "main thread.");
    if (!displayAvailable())
        fail(routine.name,
             "there is no display for the windows (see DISPLAY, WAYLAND_DISPLAY and "
             "QT_QPA_PLATFORM; QT_QPA_PLATFORM=offscreen needs none).");
    static int argc = 1;
    static char programName[] = "OneX_Rev_b_lib";
    static char* argv[] = {programName, nullptr};
    const auto app = std::make_unique<QApplication>(argc, argv);
    // The splash closes before the main window shows: the application ends
    // with its main window, not with the last visible window.
    QApplication::setQuitOnLastWindowClosed(false);
    ui::initializeUi();
    std::vector<Array> out = openApplication(routine, in, nargout);
    if (ui::runningApplication()) QApplication::exec();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return out;
}

std::vector<Array> callWindow(std::string_view name, std::span<const Array> in,
                              std::size_t nargout) {
    const ui::GuiRoutine* routine = ui::findGuiRoutine(name);
    if (!routine) fail(name, "no such window routine.");
    QCoreApplication* core = QCoreApplication::instance();
    if (!core) {
        if (name == "OneX_Rev_b") return runOwnApplication(*routine, in, nargout);
        fail(name,
             "the windows need a QApplication: create one in the host before calling window "
             "routines (OneX_Rev_b makes its own when there is none).");
    }
    if (!qobject_cast<QApplication*>(core))
        fail(name, "the windows need a QApplication; the host's application has no widgets.");
    if (QThread::currentThread() != core->thread())
        fail(name, "the windows can only be used on the thread of the QApplication.");
    ui::initializeUi();
    if (name == "OneX_Rev_b") return openApplication(*routine, in, nargout);
    return routine->call(in, nargout);
}

}  // namespace

void installWindowHost() {
    installWindowRoutines(&callWindow);
}

}  // namespace onex::lib
