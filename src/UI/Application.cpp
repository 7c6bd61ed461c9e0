#include "UI/Application.h"

#include <QCoreApplication>

#include "UI/OneX_Rev_GUI_SlotSetup.h"
#include "UI/OneX_Rev_GUI_b.h"
#include "UI/TARNconfig.h"
#include "UI/platform/Services.h"
#include "UI/rfCommonUI.h"

// Outside any namespace, as the resource system requires.
static void initResources() {
    Q_INIT_RESOURCE(onexrev);
}

namespace onex::ui {

namespace {
Application* latest = nullptr;
}

Application* runningApplication() {
    return latest;
}

void initializeUi() {
    static bool done = false;
    if (done) return;
    initResources();
    platform::installDefaultServices();
    done = true;
}

Application::Application() {
    latest = this;
    auto& router = platform::services().router;
    modules_.push_back(router.add(
        "OneX_Rev_GUI_b",
        [this](const std::string& routine, QObject* gcbo, platform::Handles* h) {
            mainwindow::run(state_, routine, gcbo, h);
        },
        mainwindow::routineNames()));
    modules_.push_back(router.add(
        "OneX_Rev_GUI_SlotSetup",
        [this](const std::string& routine, QObject* gcbo, platform::Handles* h) {
            slotsetup::run(state_, routine, gcbo, h);
        },
        slotsetup::routineNames()));
    modules_.push_back(router.add(
        "rfCommonUI",
        [this](const std::string& routine, QObject* gcbo, platform::Handles* h) {
            common::run(state_, routine, gcbo, h);
        },
        common::routineNames()));
    modules_.push_back(router.add(
        "TARNconfig",
        [this](const std::string& routine, QObject* gcbo, platform::Handles* h) {
            tarnconfig::run(state_, routine, gcbo, h);
        },
        tarnconfig::routineNames()));
}

Application::~Application() {
    if (latest == this) latest = nullptr;
    // The slot setup dialog and everything else of the application go with
    // the main window.
    delete state_.mainWindow.data();
}

QMainWindow* Application::start() {
    return OneX_Rev_GUI_b(state_);
}

QMainWindow* OneX_Rev_b() {
    auto* app = new Application;
    QMainWindow* main = app->start();
    // The application ends with its main window. The window is being
    // destroyed already (its guard is not cleared yet): the application must
    // not delete it a second time.
    QObject::connect(main, &QObject::destroyed, [app] {
        app->state().mainWindow = nullptr;
        delete app;
    });
    return main;
}

}  // namespace onex::ui
