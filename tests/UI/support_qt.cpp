// The Qt environment of the window tests: a QApplication on the offscreen
// platform (no display needed), the compiled-in layouts, and services that
// can never block: any dialog a test did not script fails the test instead of
// waiting for a user, and pauses take no time.

#include <gtest/gtest.h>

#include <QApplication>

#include "Displays/OffscreenApp.h"
#include "UI/Application.h"
#include "UI/UiTestSupport.h"
#include "UI/platform/Services.h"

namespace {

class QtEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        static char name[] = "onex-ui-test";
        app_ = onex::qttest::startOffscreenApp(name);
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
