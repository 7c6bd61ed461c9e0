#pragma once

// The main window module: start-up, the parameter controls and the redraw
// of the parameter set into them.

#include <QMainWindow>
#include <string>
#include <vector>

#include "UI/AppState.h"
#include "UI/platform/Handles.h"

namespace onex::ui {

// Start-up: splash, state, windows, redraw; shows the main window and
// returns it.
QMainWindow* OneX_Rev_GUI_b(AppState& state);

// Runs the local routine `name` (a control callback, "redraw", "Calculate",
// ...) with the firing object and the window's handles; a failure is printed
// on the console and goes no further.
void OneX_Rev_GUI_b(AppState& state, const std::string& name, QObject* gcbo,
                    platform::Handles* handles);

namespace mainwindow {

// The splash stays up at least this long.
inline constexpr double kSplashSeconds = 3;

// The same as OneX_Rev_GUI_b(state, name, ...) without the guard: failures
// reach the caller (the shared commands call back this way).
void run(AppState& state, const std::string& name, QObject* gcbo, platform::Handles* handles);
// The routines run() knows.
std::vector<std::string> routineNames();

void InitializeAppInfo(AppState& state);
void InitializeConfiguration(AppState& state);
void InitializeParameters(AppState& state);
void InitializeSigGenSettings(AppState& state);
void InitializeFigures(AppState& state);
void InitializeFigure(AppState& state, platform::Handles& handles);
void redraw(AppState& state, platform::Handles& handles);
void redrawFormatParameters(AppState& state, platform::Handles& handles);
// Calculates the frame from the parameter set; the waveform and markers are
// replaced only when it succeeds.
void Calculate(AppState& state);

}  // namespace mainwindow
}  // namespace onex::ui
