#include "PlotRenderer.h"

#include <QApplication>
#include <cstdio>
#include <exception>
#include <string>

namespace {

// The offscreen platform says so for features it lacks; nothing for a user.
void quietPlatformNotes(QtMsgType type, const QMessageLogContext&, const QString& text) {
    if (type == QtDebugMsg || type == QtInfoMsg ||
        text.startsWith("This plugin does not support") || text.startsWith("QStandardPaths:"))
        return;
    std::fprintf(stderr, "%s\n", qPrintable(text));
}

// `text` with every `from` replaced by `to`.
std::string replaced(std::string text, const std::string& from, const std::string& to) {
    for (auto at = text.find(from); !from.empty() && at != std::string::npos;
         at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) const PlotRendererTag*
onexrev_plot_renderer_tag() {
    return &kPlotRendererTag;
}

extern "C" __attribute__((visibility("default"))) int onexrev_plot_render(
    const onex::displays::DisplayModel* model, const char* path, int format, const char* shownName,
    int width, int height, char* error, std::size_t errorSize) {
    try {
        // Headless whatever the environment: nothing is shown.
        qputenv("QT_QPA_PLATFORM", "offscreen");
        qInstallMessageHandler(quietPlatformNotes);
        static int argc = 1;
        static char name[] = "onexrev-cli";
        static char* argv[] = {name, nullptr};
        QApplication app(argc, argv);
        onex::displays::renderToFile(*model, path, static_cast<onex::displays::ImageFormat>(format),
                                     width, height);
        return 0;
    } catch (const std::exception& e) {
        // The file is written under a temporary name; the user knows its own.
        std::snprintf(error, errorSize, "%s", replaced(e.what(), path, shownName).c_str());
    } catch (...) {
        std::snprintf(error, errorSize, "the renderer failed");
    }
    return 1;
}
