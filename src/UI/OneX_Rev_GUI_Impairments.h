#pragma once

// The impairments dialog (Configuration -> Impairments...): each impairment
// of the parameter set with its value, its unit and a switch. It edits a
// working copy and hands it back on OK; Cancel, Escape and the close box
// drop it.

#include <QWidget>
#include <string>
#include <vector>

#include "OneX/Parameters.h"
#include "UI/platform/Handles.h"

namespace onex::ui {

struct ImpairmentsAnswer {
    std::string answer;     // "OK" or "Cancel"
    Parameters parameters;  // the set given, with the dialog's impairments on OK
};

// Shows the dialog modally over `parent` with the impairments of `p`.
ImpairmentsAnswer OneX_Rev_GUI_Impairments(QWidget* parent, const Parameters& p);

// Runs the local routine `name` with the catch-and-print guard.
void OneX_Rev_GUI_Impairments(const std::string& name, QObject* gcbo, platform::Handles* handles);

namespace impairments {

// What the dialog shows: a value for every entry (kept while its switch is
// off) and the switches. An impairment that is off in the set shows a value
// to start from.
struct Entries {
    double gain = 0, quadrature = 0, leakage = -40, freq = 0, cn = 20, seed = 0, snap = 1;
    bool gainOn = false, quadratureOn = false, leakageOn = false, freqOn = false, cnOn = false;
};
Entries entriesOf(const Parameters& p);
// The set with the entries' impairments (an entry that is off stores its
// field's "off" value).
Parameters applyEntries(Parameters p, const Entries& e);

void run(const std::string& name, QObject* gcbo, platform::Handles* handles);
std::vector<std::string> routineNames();

}  // namespace impairments
}  // namespace onex::ui
