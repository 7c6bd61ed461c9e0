#include "PlotRenderer.h"

#include <QApplication>
#include <cstdio>
#include <exception>

namespace {

// The offscreen platform says so for features it lacks; nothing for a user.
void quietPlatformNotes(QtMsgType type, const QMessageLogContext&, const QString& text) {
    if (type == QtDebugMsg || type == QtInfoMsg ||
        text.startsWith("This plugin does not support") || text.startsWith("QStandardPaths:"))
        return;
    std::fprintf(stderr, "%s\n", qPrintable(text));
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int onexrev_plot_render(
    const onex::displays::DisplayModel* model, const char* path, int width, int height, char* error,
    std::size_t errorSize) {
    try {
        // Headless whatever the environment: nothing is shown.
        qputenv("QT_QPA_PLATFORM", "offscreen");
        qInstallMessageHandler(quietPlatformNotes);
        static int argc = 1;
        static char name[] = "onexrev-cli";
        static char* argv[] = {name, nullptr};
        QApplication app(argc, argv);
        onex::displays::renderToFile(*model, path, width, height);
        return 0;
    } catch (const std::exception& e) {
        std::snprintf(error, errorSize, "%s", e.what());
    } catch (...) {
        std::snprintf(error, errorSize, "the renderer failed");
    }
    return 1;
}
