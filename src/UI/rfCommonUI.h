#pragma once

// The shared command module: menu bar, window title, Calculate, Download and
// Refresh, the stale-waveform questions, the file commands, the connection
// dialog, Help and About, and the shut-down. It calls back into the
// application module named in appInfo.ApplicationFunction.

#include <QMainWindow>
#include <QMenu>
#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "Instrument/SigGenSettings.h"
#include "MexIO/IoConfig.h"
#include "OneX/Parameters.h"
#include "UI/AppState.h"
#include "UI/platform/Handles.h"

namespace onex::ui {

// Runs the local routine `name` with the catch-and-print guard.
void rfCommonUI(AppState& state, const std::string& name, QObject* gcbo,
                platform::Handles* handles);

namespace common {

// Titles of the message box that reports a failed calculation.
inline constexpr const char* kCalculationErrorTitle = "Error Calculating Waveform";

struct MenuHeaders {
    QMenu* File = nullptr;
    QMenu* Plot = nullptr;
    QMenu* Config = nullptr;
    QMenu* Special = nullptr;
    QMenu* Help = nullptr;
};

// Builds the menu bar of the main window.
MenuHeaders QV_AddMenu(const AppState& state, QMainWindow& hFigure);

// Runs a routine without the guard (failures reach the caller).
void run(AppState& state, const std::string& name, QObject* gcbo, platform::Handles* handles);
// The routines run() knows.
std::vector<std::string> routineNames();

void InitializeFigure(AppState& state, platform::Handles& handles);
void redrawAppTitle(AppState& state, platform::Handles& handles);
// Calculates through the application module and records the parameter set
// and time. A failed calculation puts the pointer back, shows its text in an
// error box and is thrown on; nothing is recorded and the previous waveform
// stays.
void executeCalculation(AppState& state, platform::Handles& handles);
// 1 = go ahead, 0 = stop. actionString: "Download", "Plot" or "Save".
int checkWaveformReady(AppState& state, platform::Handles& handles,
                       const std::string& actionString);
void AppShutDown(AppState& state, platform::Handles& handles);

// The parameter set and settings as they stand are what the current file
// holds (after a save or a load, at start-up and after File/New).
void markSaved(AppState& state);
// True when the parameter set or the settings were edited since then.
bool editedSinceSaved(const AppState& state);
// Before a command that drops the settings (New, Open, Exit): when they
// were edited, asks "Save changes to <file>?" with Save, Discard and Cancel.
// False when the command must not go on: Cancel, the question closed, or a
// save that was cancelled or failed.
bool offerToSave(AppState& state, platform::Handles& handles);

// Calls a routine of the application module named in appInfo.ApplicationFunction.
void callApplication(AppState& state, const std::string& routine, platform::Handles* handles);

// The file routines, with their dialogs.
std::string addFileExtention(const std::string& name, const std::string& ext);
// Writes a parameter file; an error box on failure. True when written.
bool saveParameters(const std::string& filename, const Parameters& fileParameters,
                    const onex::SigGenSettings& sigGenParameters);
// Takes a parameter file over and redraws; an error box and 0 when refused.
int loadParameters(AppState& state, const std::string& filename, platform::Handles& handles);
// Writes "rfIOConfig.mat" in the current folder; failures are ignored.
void saveConfig(const IoConfig& fileParameters);
// The stored configuration (an old-style one converted), its last file name
// emptied; nothing when there is none.
std::optional<IoConfig> loadConfig(const std::filesystem::path& file = "rfIOConfig.mat");

// The time stamp of plot titles: 21AUG2002 9:05:07.
std::string plotTimeStamp(const std::array<double, 6>& dateVector);

}  // namespace common
}  // namespace onex::ui
