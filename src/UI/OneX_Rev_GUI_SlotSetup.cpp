#include "UI/OneX_Rev_GUI_SlotSetup.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPointer>
#include <cctype>
#include <functional>
#include <map>

#include "OneX/AirInterface.h"
#include "UI/WindowUtilities.h"
#include "UI/platform/Controls.h"
#include "UI/platform/Expression.h"
#include "UI/platform/Services.h"
#include "UI/platform/Windows.h"
#include "platform/Error.h"
#include "platform/Numeric.h"
#include "platform/Text.h"

namespace onex::ui {

using platform::Handles;
namespace ss = slotsetup;

namespace {

constexpr const char* kModule = "OneX_Rev_GUI_SlotSetup";
constexpr int kSlots = static_cast<int>(kSlotsPerFrame);
constexpr int kDrcEntries =
    static_cast<int>(kDrcSlotEntries);  // the last: previous frame's last slot

using Routine = ModuleRoutine;

Handles& need(Handles* h, const std::string& routine) {
    return platform::needHandles(kModule, h, routine);
}

std::string tag(const char* prefix, int n) {
    return prefix + std::to_string(n);
}

// 1-based entry n of a slot vector, refusing a vector that is too short.
double& entry(std::vector<double>& v, int n, const char* field) {
    if (n < 1 || static_cast<std::size_t>(n) > v.size())
        throw Error(std::string("slot.") + field + " has no entry " + std::to_string(n));
    return v[static_cast<std::size_t>(n - 1)];
}
double entry(const std::vector<double>& v, int n, const char* field) {
    return entry(const_cast<std::vector<double>&>(v), n, field);
}

int slotOf(QObject* gcbo) {
    if (!gcbo) throw Error("The slot callbacks need the control that fired");
    const auto n = ss::slotNumberOfTag(gcbo->objectName().toStdString());
    if (!n) throw Error("No slot number in the tag " + gcbo->objectName().toStdString());
    return *n;
}

// A slot field's hexadecimal value clamped to 0..hi; the dialog's status
// line says when the clamp changed it. A text that is no such value changes
// nothing: `redraw` shows the stored value again and the failure says why,
// with the field's range.
double hexField(QObject& control, double hi, const std::string& what,
                const std::function<void()>& redraw) {
    const std::string typed = platform::getString(control);
    if (const auto v = platform::readHex(typed)) {
        const platform::KeptEntry kept = platform::keepEntry(
            *v, {0, hi}, what, [](double x) { return onex::platform::toHex(x); },
            std::string(onex::platform::trimBlanks(typed)));
        platform::showEntryNote(control, kept.note);
        return kept.value;
    }
    redraw();
    throw platform::unreadableEntry(what, typed, "a value from 0 to " + onex::platform::toHex(hi),
                                    platform::getString(control));
}

// "Slot 5 DRC cover", "Prev. slot DRC cover" (the previous frame's last
// slot, the dialog's "Prev." column).
std::string slotName(const char* what, int n) {
    return (n == kDrcEntries ? std::string("Prev. slot ") : "Slot " + std::to_string(n) + " ") +
           what;
}

double randomBit() {
    return onex::platform::roundHalfAway(platform::services().uniform());
}

// The activity patterns of the two activity menus, over `count` entries.
std::vector<double> activityPattern(int position, std::size_t count) {
    std::vector<double> v(count, 1);
    auto setQuarter = [&](double value) {
        for (std::size_t i = 4; i <= kSlotsPerFrame && i <= count; i += 4)
            v[i - 1] = value;
    };
    switch (position) {
        case 1:
            break;
        case 2:
            setQuarter(0);
            break;
        case 3:
            for (std::size_t i = 2; i <= kSlotsPerFrame && i <= count; i += 2)
                v[i - 1] = 0;
            break;
        case 4:
            v.assign(count, 0);
            setQuarter(1);
            break;
        case 5:
            v.assign(count, 0);
            break;
        default:
            for (double& x : v)
                x = randomBit();
    }
    return v;
}

// After a fast edit the menu shows its prompt again: the table may be
// edited further, so a remembered choice would soon be untrue.
void resetFastEdit(Handles& h, const char* menu) {
    platform::setValue(h.at(menu), 0);
}

int fastEditPosition(Handles& h, const char* menu) {
    return static_cast<int>(platform::getValue(h.at(menu)));
}

// The value patterns of the ACK value menu over the 16 slots.
std::vector<double> ackValuePattern(int position) {
    std::vector<double> v(kSlots, 1);
    switch (position) {
        case 1:
            v.assign(kSlots, 0);
            break;
        case 2:
            break;
        case 3:
            for (int i = 1; i <= kSlots; i += 2)
                v[i - 1] = 0;
            break;
        case 4:
            for (int i = 2; i <= kSlots; i += 2)
                v[i - 1] = 0;
            break;
        default:
            for (double& x : v)
                x = randomBit();
    }
    return v;
}

// All entries p - 1 for the first `fixed` positions, random ones beyond.
std::vector<double> drcRow(int position, int fixed) {
    std::vector<double> v(kDrcEntries);
    for (double& x : v)
        x = position >= 1 && position <= fixed
                ? position - 1
                : onex::platform::roundHalfAway((fixed - 1) * platform::services().uniform());
    return v;
}

using SlotRow = std::vector<double> SlotParameters::*;
using TableRedraw = void (*)(const AppState&, Handles&);
using SlotRedraw = void (*)(const AppState&, Handles&, int);

// A fast-edit menu sets a whole row from its position, then shows its
// prompt again.
Routine fastEdit(const char* menu, SlotRow row, std::function<std::vector<double>(int)> pattern,
                 TableRedraw redraw) {
    return [menu, row, pattern = std::move(pattern), redraw](AppState& s, QObject*, Handles* hp) {
        Handles& h = need(hp, std::string(menu) + "_Callback");
        s.slotWorkingCopy.*row = pattern(fastEditPosition(h, menu));
        redraw(s, h);
        resetFastEdit(h, menu);
    };
}

// A slot's check box ("chkACKslotActive5") stores its state in entry 5 of
// the row `field`.
Routine slotCheckBox(const char* prefix, const char* field, SlotRow row, SlotRedraw redraw) {
    return [=](AppState& s, QObject* gcbo, Handles* hp) {
        Handles& h = need(hp, std::string(prefix) + "_Callback");
        const int n = slotOf(gcbo);
        entry(s.slotWorkingCopy.*row, n, field) = platform::getValue(h.at(tag(prefix, n)));
        redraw(s, h, n);
    };
}

// A slot's hexadecimal field stores its value clamped to 0..hi; `what`
// names it in messages ("DRC value").
Routine slotHexField(const char* prefix, const char* field, SlotRow row, double hi,
                     const char* what, SlotRedraw redraw) {
    return [=](AppState& s, QObject* gcbo, Handles* hp) {
        Handles& h = need(hp, std::string(prefix) + "_Callback");
        const int n = slotOf(gcbo);
        entry(s.slotWorkingCopy.*row, n, field) =
            hexField(h.at(tag(prefix, n)), hi, slotName(what, n), [&] { redraw(s, h, n); });
        redraw(s, h, n);
    };
}

// OK, Cancel and the close box: the answer goes with the window's data and
// the waiting opener goes on.
Routine ending(const char* answer) {
    return [answer](AppState&, QObject*, Handles* hp) {
        Handles& h = need(hp, "pbOK_Callback");
        h.setField<std::string>("answer", answer);
        platform::uiresume(&h.get<QWidget>("figSlotSetup"));
    };
}

const std::map<std::string, Routine>& routines() {
    static const std::map<std::string, Routine> table = {
        {"InitializeFigure", [](AppState&, QObject*,
                                Handles* h) { ss::InitializeFigure(need(h, "InitializeFigure")); }},
        {"redrawACK",
         [](AppState& s, QObject*, Handles* h) { ss::redrawACK(s, need(h, "redrawACK")); }},
        {"redrawDRC",
         [](AppState& s, QObject*, Handles* h) { ss::redrawDRC(s, need(h, "redrawDRC")); }},
        {"redrawAll",
         [](AppState& s, QObject*, Handles* h) { ss::redrawAll(s, need(h, "redrawAll")); }},
        {"fasteditACKactive_Callback",
         fastEdit(
             "fasteditACKactive", &SlotParameters::ACKslotActive,
             [](int p) { return activityPattern(p, kSlots); }, ss::redrawACK)},
        {"fasteditDRCactive_Callback",
         fastEdit(
             "fasteditDRCactive", &SlotParameters::DRCslotActive,
             [](int p) { return activityPattern(p, kDrcEntries); }, ss::redrawDRC)},
        {"fasteditACKvalue_Callback", fastEdit("fasteditACKvalue", &SlotParameters::ACKslotValue,
                                               ackValuePattern, ss::redrawACK)},
        {"fasteditDRCvalue_Callback", fastEdit(
                                          "fasteditDRCvalue", &SlotParameters::DRCslotValue,
                                          [](int p) { return drcRow(p, kSlots); }, ss::redrawDRC)},
        {"fasteditDRCcover_Callback", fastEdit(
                                          "fasteditDRCcover", &SlotParameters::DRCslotCover,
                                          [](int p) { return drcRow(p, 8); }, ss::redrawDRC)},
        {"chkACKslotActive_Callback",
         slotCheckBox("chkACKslotActive", "ACKslotActive", &SlotParameters::ACKslotActive,
                      ss::redrawACKslot)},
        {"txtACKslotValue_Callback",
         slotHexField("txtACKslotValue", "ACKslotValue", &SlotParameters::ACKslotValue, 1,
                      "ACK value", ss::redrawACKslot)},
        {"chkDRCslotActive_Callback",
         slotCheckBox("chkDRCslotActive", "DRCslotActive", &SlotParameters::DRCslotActive,
                      ss::redrawDRCslot)},
        {"txtDRCslotValue_Callback",
         slotHexField("txtDRCslotValue", "DRCslotValue", &SlotParameters::DRCslotValue, 15,
                      "DRC value", ss::redrawDRCslot)},
        {"txtDRCslotCover_Callback",
         slotHexField("txtDRCslotCover", "DRCslotCover", &SlotParameters::DRCslotCover, 7,
                      "DRC cover", ss::redrawDRCslot)},
        {"pbOK_Callback", ending("OK")},
        {"pbCancel_Callback", ending("Cancel")},
        {"close_Callback", ending("Cancel")},
    };
    return table;
}

}  // namespace

void OneX_Rev_GUI_SlotSetup(AppState& state, const std::string& name, QObject* gcbo,
                            Handles* handles) {
    platform::guarded(kModule, name, [&] { ss::run(state, name, gcbo, handles); });
}

SlotSetupAnswer OneX_Rev_GUI_SlotSetup(AppState& state, QWidget* fig,
                                       std::optional<SlotParameters> slot) {
    if (!fig) throw Error("OneX_Rev_GUI_SlotSetup: the dialog window does not exist");
    platform::guidata(fig, platform::buildHandles(fig));
    state.slotWorkingCopy = slot ? std::move(*slot) : ss::defaultSlotStruct();
    ss::redrawAll(state, *platform::guidata(fig));
    platform::showStatus(*fig, "");  // nothing left from the last opening
    SlotSetupAnswer out;
    const std::optional<std::string> answer = platform::askModal(fig);
    out.answer = answer.value_or("Cancel");
    if (answer) fig->hide();
    out.retSlot = state.slotWorkingCopy;
    return out;
}

namespace slotsetup {

void run(AppState& state, const std::string& name, QObject* gcbo, Handles* handles) {
    platform::runRoutine(kModule, routines(), name, state, gcbo, handles);
}

std::vector<std::string> routineNames() {
    return platform::routineNames(routines());
}

SlotParameters defaultSlotStruct() {
    SlotParameters s;
    s.ACKslotActive.assign(kSlots, 1);
    s.ACKslotValue.assign(kSlots, 1);
    s.DRCslotActive.assign(kDrcEntries, 1);
    s.DRCslotValue.assign(kDrcEntries, 15);
    s.DRCslotCover.assign(kDrcEntries, 7);
    return s;
}

void InitializeFigure(Handles& h) {
    ResizeAllFonts(h);
    for (int n = 1; n <= kSlots; ++n) {
        const std::string slot = std::to_string(n);
        platform::setTooltip(h.at(tag("chkACKslotActive", n)),
                             "Enables/disables the\nACK Channel for slot " + slot + ".");
        platform::setTooltip(h.at(tag("chkDRCslotActive", n)),
                             "Enables/disables the\nDRC Channel for slot " + slot + ".");
        platform::setTooltip(
            h.at(tag("txtACKslotValue", n)),
            "Sets the value of the\nACK burst for slot " + slot + ".\nValid Range: 0 or 1");
        platform::setTooltip(h.at(tag("txtDRCslotValue", n)),
                             "Sets the value of the\nDRC burst for slot " + slot +
                                 ".\nValid Range: 0 to F Hexadecimal");
        platform::setTooltip(
            h.at(tag("txtDRCslotCover", n)),
            "Sets the Walsh Cover of the\nDRC burst for slot " + slot + ".\nValid Range: 0 to 7");
    }
    platform::setTooltip(h.at("chkDRCslotActive17"),
                         "Enables/disables the\nDRC Channel for the last slot \nof the previous "
                         "frame.");
    platform::setTooltip(h.at("txtDRCslotValue17"),
                         "Sets the value of the\nDRC burst for the last slot \nof the previous "
                         "frame.\nValid Range: 0 to F Hexadecimal");
    platform::setTooltip(h.at("txtDRCslotCover17"),
                         "Sets the Walsh Cover of the\nDRC burst for the last slot\nof the "
                         "previous frame.\nValid Range: 0 to 7");
    platform::setTooltip(h.at("fasteditACKactive"),
                         "FastEdit:\nAdjusts the activity status\nfor all ACK slots.");
    platform::setTooltip(h.at("fasteditDRCactive"),
                         "FastEdit:\nAdjusts the activity status\nfor all DRC slots.");
    platform::setTooltip(h.at("fasteditACKvalue"), "FastEdit:\nAdjusts all of the ACK data.");
    platform::setTooltip(h.at("fasteditDRCvalue"), "FastEdit:\nAdjusts all of the DRC data.");
    platform::setTooltip(h.at("fasteditDRCcover"), "FastEdit:\nAdjusts all of the DRC covers.");
    for (const char* menu : {"fasteditACKactive", "fasteditDRCactive", "fasteditACKvalue",
                             "fasteditDRCvalue", "fasteditDRCcover"})
        resetFastEdit(h, menu);
    for (int n = 1; n <= kDrcEntries; ++n) {
        if (n <= kSlots) platform::acceptHexOnly(h.get<QLineEdit>(tag("txtACKslotValue", n)));
        platform::acceptHexOnly(h.get<QLineEdit>(tag("txtDRCslotValue", n)));
        platform::acceptHexOnly(h.get<QLineEdit>(tag("txtDRCslotCover", n)));
    }
}

void redrawACKslot(const AppState& s, Handles& h, int n) {
    const SlotParameters& slot = s.slotWorkingCopy;
    const double active = entry(slot.ACKslotActive, n, "ACKslotActive");
    platform::setEnable(h.at(tag("txtACKslotValue", n)), active != 0);
    platform::setString(h.at(tag("txtACKslotValue", n)),
                        onex::platform::num2str(entry(slot.ACKslotValue, n, "ACKslotValue")));
    platform::setValue(h.at(tag("chkACKslotActive", n)), active);
}

void redrawDRCslot(const AppState& s, Handles& h, int n) {
    const SlotParameters& slot = s.slotWorkingCopy;
    const double active = entry(slot.DRCslotActive, n, "DRCslotActive");
    platform::setEnable(h.at(tag("txtDRCslotValue", n)), active != 0);
    platform::setEnable(h.at(tag("txtDRCslotCover", n)), active != 0);
    platform::setString(h.at(tag("txtDRCslotValue", n)),
                        onex::platform::toHex(entry(slot.DRCslotValue, n, "DRCslotValue")));
    platform::setString(h.at(tag("txtDRCslotCover", n)),
                        onex::platform::toHex(entry(slot.DRCslotCover, n, "DRCslotCover")));
    platform::setValue(h.at(tag("chkDRCslotActive", n)), active);
}

void redrawACK(const AppState& s, Handles& h) {
    for (int n = 1; n <= kSlots; ++n)
        redrawACKslot(s, h, n);
}

void redrawDRC(const AppState& s, Handles& h) {
    for (int n = 1; n <= kDrcEntries; ++n)
        redrawDRCslot(s, h, n);
}

void redrawAll(const AppState& s, Handles& h) {
    redrawACK(s, h);
    redrawDRC(s, h);
}

std::optional<int> slotNumberOfTag(std::string_view t) {
    std::size_t start = t.size();
    while (start > 0 && std::isdigit(static_cast<unsigned char>(t[start - 1])))
        --start;
    if (start == t.size() || t.size() - start > 9) return std::nullopt;
    return std::stoi(std::string(t.substr(start)));
}

}  // namespace slotsetup
}  // namespace onex::ui
