#pragma once

// The slot setup dialog: ACK activity and bit per slot, DRC activity, value
// and Walsh cover per slot (17 DRC entries: the 17th is the last slot of the
// previous frame). It edits a working copy and hands it back on OK.

#include <QWidget>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "OneX/Parameters.h"
#include "UI/AppState.h"
#include "UI/platform/Handles.h"

namespace onex::ui {

struct SlotSetupAnswer {
    std::string answer;  // "OK" or "Cancel"
    SlotParameters retSlot;
};

// Shows the dialog `fig` modally with `slot` (the defaults when none) and
// returns the answer and the working copy at the end.
SlotSetupAnswer OneX_Rev_GUI_SlotSetup(AppState& state, QWidget* fig,
                                       std::optional<SlotParameters> slot = std::nullopt);

// Runs the local routine `name` with the catch-and-print guard.
void OneX_Rev_GUI_SlotSetup(AppState& state, const std::string& name, QObject* gcbo,
                            platform::Handles* handles);

namespace slotsetup {

void run(AppState& state, const std::string& name, QObject* gcbo, platform::Handles* handles);
// The routines run() knows.
std::vector<std::string> routineNames();

SlotParameters defaultSlotStruct();
void InitializeFigure(platform::Handles& handles);
void redrawACKslot(const AppState& state, platform::Handles& handles, int n);
void redrawACK(const AppState& state, platform::Handles& handles);
void redrawDRCslot(const AppState& state, platform::Handles& handles, int n);
void redrawDRC(const AppState& state, platform::Handles& handles);
void redrawAll(const AppState& state, platform::Handles& handles);

// The number formed by the trailing decimal digits of a tag
// (txtDRCslotValue17 -> 17); nothing when the tag does not end in a digit.
std::optional<int> slotNumberOfTag(std::string_view tag);

}  // namespace slotsetup
}  // namespace onex::ui
