// onexrev: the desktop application, a host of the exported library. It makes
// the QApplication, opens the application through the library and runs the
// event loop until the user exits (the library ends the loop when the main
// window goes). The windows, the instrument driver and everything else are
// the library's: the program links nothing else of ours.

#include <QApplication>
#include <cstdio>
#include <cstring>

#include "OneX_Rev_b_lib.h"

namespace {

// Answered before Qt starts, so that they work without a display (the
// manual page is made from them).
bool answeredWithoutWindows(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("onexrev %s\n", OneX_Rev_b_libVersion());
            return true;
        }
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::printf(
                "Usage: onexrev [OPTION]... [QT-OPTION]...\n"
                "The 1xEV Reverse Link signal-generation application: computes one frame of a\n"
                "cdma2000 1xEV-DO reverse-link waveform and downloads it to a TARN-family ARB\n"
                "signal generator.\n\n"
                "Options:\n"
                "  -h, --help     show this help and exit\n"
                "  --version      show the version and exit\n\n"
                "Qt's own options are taken as well, e.g. -platform offscreen.\n\n"
                "The connection settings are kept in rfIOConfig.mat in the folder the\n"
                "program was started from.\n");
            return true;
        }
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (answeredWithoutWindows(argc, argv)) return 0;
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
