#pragma once

// The application's state: one object, owned by the application and handed
// to every window module (the globals the modules share by name).

#include <QMainWindow>
#include <QPointer>
#include <QWidget>
#include <array>
#include <complex>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "Instrument/SigGenSettings.h"
#include "MexIO/IoConfig.h"
#include "OneX/Parameters.h"

namespace onex::ui {

namespace platform {
class Handles;
}

struct AppInfo {
    std::string Name;
    std::string Platform;  // "b", or "c" for the other instrument platform
    double IsRelease = 0;
    std::string Rev;
    std::string Date;
    std::string Notes;
    std::string NotesLine2;
    std::string NotesLine3;
    std::string NotesLine4;
    std::string NotesLine5;
    std::string ApplicationFunction;  // the module the shared commands call back
    std::string ParameterFileExtension;
    std::vector<QPointer<QWidget>> ClientWindows;  // plot windows, closed on exit
    // The parameter set and clock time of the last calculation; none yet
    // while no waveform was calculated.
    std::optional<Parameters> LastCaluclatedParameterSet;
    std::optional<std::array<double, 6>> LastCalcTimeStamp;
};

struct FigureList {
    QPointer<QWidget> figSlotSetup;
};

// The parameter set and settings as last saved or loaded, or as start-up
// and File/New set them.
struct SavedSettings {
    Parameters parameters;
    onex::SigGenSettings sigGen;
};

struct AppState {
    Parameters parameters;
    onex::SigGenSettings SigGenSettings;
    IoConfig configuration;
    IoConfig configurationSA;  // the hidden spectrum-analyser connection
    AppInfo appInfo;
    FigureList figureList;
    // The last calculated frame (waveform and markers). Its memory is shared:
    // a copy costs nothing and stays as it is while the state moves on.
    FrameResult frame;
    // The sample clock the frame was calculated for (SigGenSettings'
    // SamplingRate at that moment): its plots and measurements keep it when
    // the settings change afterwards.
    double waveformSampleRate = 0;
    // The slot setup dialog's working copy (that module's own `slot`).
    SlotParameters slotWorkingCopy;
    // New, Open and Exit offer to save when the settings differ from these.
    std::optional<SavedSettings> lastSaved;
    // The main window, once start-up has opened it.
    QPointer<QMainWindow> mainWindow;
};

// A routine of a window module: the application state, the object that
// fired (or null) and the window's handles (or null when called by name).
using ModuleRoutine = std::function<void(AppState&, QObject* gcbo, platform::Handles* handles)>;

}  // namespace onex::ui
