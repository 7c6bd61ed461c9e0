// The Qt environment of the window tests: a QApplication on the offscreen
// platform (no display needed), the compiled-in layouts, and services that
// can never block: any dialog a test did not script fails the test instead of
// waiting for a user, and pauses take no time.

#include <gtest/gtest.h>

#include <QApplication>
#include <cstdio>

#include "UI/Application.h"
#include "UI/UiTestSupport.h"
#include "UI/platform/Services.h"

namespace {

// The offscreen platform says so for every window raised or laid out.
void quietPlatformNotes(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (text.startsWith("This plugin does not support")) return;
    fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, text)));
}

class QtEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        qInstallMessageHandler(quietPlatformNotes);
        static int argc = 1;
        static char name[] = "onex-ui-test";
        static char* argv[] = {name, nullptr};
        app_ = new QApplication(argc, argv);
        QApplication::setQuitOnLastWindowClosed(false);
        onex::ui::initializeUi();
        auto& s = onex::ui::platform::services();
        s.dialogs = &noDialogs_;
        s.clock = &clock_;
    }
    void TearDown() override {
        EXPECT_TRUE(noDialogs_.shown().empty())
            << "a dialog appeared outside any test's script: "
            << (noDialogs_.shown().empty() ? "" : noDialogs_.shown().front().title);
        delete app_;
    }

  private:
    QApplication* app_ = nullptr;
    onex::platform::ScriptedDialogs noDialogs_;
    onex::uitest::FakeClock clock_;
};

[[maybe_unused]] ::testing::Environment* const environment =
    ::testing::AddGlobalTestEnvironment(new QtEnvironment);

}  // namespace
