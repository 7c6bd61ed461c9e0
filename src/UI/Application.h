#pragma once

// The application: its state, the window modules registered for the
// controls' callbacks, and the top-level routine that opens the main window.

#include <QMainWindow>
#include <QObject>
#include <QPointer>
#include <vector>

#include "UI/AppState.h"
#include "UI/platform/Callbacks.h"

namespace onex::ui {

// Makes the compiled-in layouts and images available and installs the
// standard services (Qt dialogs, system clock, console). Needs a
// QApplication; safe to call more than once.
void initializeUi();

class Application {
  public:
    // Registers the modules OneX_Rev_GUI_b, OneX_Rev_GUI_SlotSetup,
    // rfCommonUI and TARNconfig on this application's state.
    Application();
    // Deletes the main window when it is still open.
    ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    // The start-up of the main window module; returns the main window.
    QMainWindow* start();

    AppState& state() { return state_; }
    QMainWindow* mainWindow() const { return state_.mainWindow; }

  private:
    AppState state_;
    std::vector<platform::CallbackRouter::Registration> modules_;
};

// The application started last and still alive, for the routines that the
// exported library runs by name; null when none.
Application* runningApplication();

// The top-level routine: opens the main window and returns it (a host may
// wait for its destruction). The application lives until its main window is
// deleted (the Exit command, or closing the window).
QMainWindow* OneX_Rev_b();

}  // namespace onex::ui
