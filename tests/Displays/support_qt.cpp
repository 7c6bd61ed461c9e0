// A QApplication on the offscreen platform for the display tests: no
// display is needed.

#include <gtest/gtest.h>

#include <QApplication>
#include <QWidget>
#include <cstdio>

namespace {

void quietPlatformNotes(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (text.startsWith("This plugin does not support") || text.startsWith("QStandardPaths:"))
        return;
    fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, text)));
}

class QtEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        qInstallMessageHandler(quietPlatformNotes);
        static int argc = 1;
        static char name[] = "onex-display-test";
        static char* argv[] = {name, nullptr};
        app_ = new QApplication(argc, argv);
        QApplication::setQuitOnLastWindowClosed(false);
    }
    void TearDown() override {
        for (QWidget* w : QApplication::topLevelWidgets())
            delete w;
        delete app_;
    }

  private:
    QApplication* app_ = nullptr;
};

[[maybe_unused]] ::testing::Environment* const environment =
    ::testing::AddGlobalTestEnvironment(new QtEnvironment);

}  // namespace
