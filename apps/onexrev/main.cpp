// onexrev: the desktop application, a host of the exported library. It makes
// the QApplication, opens the application through the library and runs the
// event loop until the user exits (the library ends the loop when the main
// window goes). The windows, the instrument driver and everything else are
// the library's: the program links nothing else of ours.

#include <QApplication>
#include <cstdio>

#include "OneX_Rev_b_lib.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("onexrev");
    // The program ends when the main window goes (File/Exit or its close
    // box, both of which save the configuration first), not when the last
    // visible window closes: the splash closes before the main window shows.
    QApplication::setQuitOnLastWindowClosed(false);
    if (!OneX_Rev_b_libInitialize()) {
        std::fprintf(stderr, "onexrev: the library could not be initialised\n");
        return 1;
    }
    // The library has printed why on failure.
    const int status = mlfOneX_Rev_b() ? QApplication::exec() : 1;
    // Closes the instrument connections the driver kept open for the session.
    OneX_Rev_b_libTerminate();
    return status;
}
