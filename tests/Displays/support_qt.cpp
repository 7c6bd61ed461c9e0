// A QApplication on the offscreen platform for the display tests: no
// display is needed.

#include <gtest/gtest.h>

#include <QApplication>
#include <QWidget>

#include "Displays/OffscreenApp.h"

namespace {

class QtEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        static char name[] = "onex-display-test";
        app_ = onex::qttest::startOffscreenApp(name);
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
