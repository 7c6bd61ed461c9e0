#pragma once

// A QApplication on Qt's offscreen platform for the widget tests (no display
// needed), with the platform's notes about every window it cannot raise kept
// off the test output.

#include <QApplication>
#include <cstdio>

namespace onex::qttest {

inline void quietPlatformNotes(QtMsgType type, const QMessageLogContext& context,
                               const QString& text) {
    if (text.startsWith("This plugin does not support") || text.startsWith("QStandardPaths:"))
        return;
    std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, text)));
}

// `name` must live as long as the application (a literal).
inline QApplication* startOffscreenApp(char* name) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(quietPlatformNotes);
    static int argc = 1;
    static char* argv[] = {name, nullptr};
    auto* app = new QApplication(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    return app;
}

}  // namespace onex::qttest
