#pragma once

// The signal-generator settings panel of the main window: carrier, power,
// sample clock, reconstruction filter, RF blanking, reference, marker
// polarity and the waveform's title in the instrument.

#include <QObject>
#include <string>
#include <vector>

#include "UI/AppState.h"
#include "UI/platform/Handles.h"

namespace onex::ui {

// Runs the local routine `name` with the catch-and-print guard.
void TARNconfig(AppState& state, const std::string& name, QObject* gcbo,
                platform::Handles* handles);

namespace tarnconfig {

void run(AppState& state, const std::string& name, QObject* gcbo, platform::Handles* handles);
// The routines run() knows.
std::vector<std::string> routineNames();

void InitializeSigGenScreenObjects(platform::Handles& handles);
void redrawSigGenSettings(AppState& state, platform::Handles& handles);
// Shows a value in hertz with the unit chosen by its magnitude.
void redrawSigGenFrequency(QObject& unitsControl, QObject& textControl, double value);
void updateFrequency(AppState& state, platform::Handles& handles);
void updateSamplingRate(AppState& state, platform::Handles& handles);

// The unit position (1 Hz .. 4 GHz) and the number shown for a value in Hz.
struct FrequencyDisplay {
    int unit;
    std::string text;
};
FrequencyDisplay frequencyDisplay(double value);

}  // namespace tarnconfig
}  // namespace onex::ui
