#include "UI/OneX_Rev_GUI_Impairments.h"

#include <QLineEdit>
#include <cmath>
#include <functional>
#include <limits>
#include <map>

#include "OneX/ParameterFields.h"
#include "UI/WindowUtilities.h"
#include "UI/platform/Callbacks.h"
#include "UI/platform/Controls.h"
#include "UI/platform/Expression.h"
#include "UI/platform/Services.h"
#include "UI/platform/Windows.h"
#include "platform/Error.h"
#include "platform/Numeric.h"

namespace onex::ui {

using platform::Handles;
namespace im = impairments;

namespace {

constexpr const char* kModule = "OneX_Rev_GUI_Impairments";
constexpr const char* kLayout = "OneX_Rev_GUI_Impairments";
constexpr const char* kWindow = "figImpairments";
constexpr const char* kEntries = "entries";

using Routine = std::function<void(QObject*, Handles&)>;

// One entry of the dialog: its field of the parameter set, what the status
// bar calls it, its value and its switch in the working copy (no switch:
// always on).
struct Row {
    const char* field;
    const char* what;
    double im::Entries::*value;
    bool im::Entries::*on;
};

const std::vector<Row>& rows() {
    using E = im::Entries;
    static const std::vector<Row> table = {
        {"IQGainImbalance", "I/Q gain imbalance", &E::gain, &E::gainOn},
        {"QuadratureError", "Quadrature error", &E::quadrature, &E::quadratureOn},
        {"CarrierLeakage", "Carrier leakage", &E::leakage, &E::leakageOn},
        {"FreqError", "Frequency error", &E::freq, &E::freqOn},
        {"CNRatio", "C/N", &E::cn, &E::cnOn},
        {"NoiseSeed", "Noise seed", &E::seed, nullptr},
    };
    return table;
}

const ParameterField& fieldOf(const Row& r) {
    const ParameterField* f = findParameterField(r.field);
    if (!f) throw Error(std::string("no parameter field ") + r.field);
    return *f;
}

std::string tag(const char* prefix, const Row& r) {
    return prefix + std::string(r.field);
}

im::Entries& entries(Handles& h) {
    return h.field<im::Entries>(kEntries);
}

void redraw(Handles& h) {
    const im::Entries& e = entries(h);
    for (const Row& r : rows()) {
        platform::setString(h.at(tag("txt", r)), onex::platform::num2str(e.*r.value));
        if (r.on) {
            platform::setValue(h.at(tag("chk", r)), e.*r.on ? 1 : 0);
            platform::setEnable(h.at(tag("txt", r)), e.*r.on);
        }
    }
    platform::setValue(h.at("chkFreqErrorSnap"), e.snap);
    platform::setEnable(h.at("chkFreqErrorSnap"), e.freqOn);
    platform::setEnable(h.at("txtNoiseSeed"), e.cnOn);
}

// A value entry: read as the main window's number fields read, rounded for
// whole-number fields and clamped into the field's range. A text that is no
// number changes nothing and says why.
Routine valueField(const Row& r) {
    return [&r](QObject*, Handles& h) {
        QObject& control = h.at(tag("txt", r));
        const ParameterField& f = fieldOf(r);
        const std::string typed = platform::getString(control);
        const std::optional<double> v = platform::readNumber(typed);
        if (!v) {
            redraw(h);
            throw platform::unreadableEntry(r.what, typed,
                                            "a number from " + onex::platform::num2str(f.lo) +
                                                " to " + onex::platform::num2str(f.hi),
                                            platform::getString(control));
        }
        const double whole = f.kind == FieldKind::Real ? *v : onex::platform::roundHalfAway(*v);
        entries(h).*r.value = onex::platform::clampValue(whole, f.lo, f.hi);
        redraw(h);
    };
}

Routine switchBox(const Row& r) {
    return [&r](QObject*, Handles& h) {
        entries(h).*r.on = platform::getValue(h.at(tag("chk", r))) != 0;
        redraw(h);
    };
}

void ending(Handles& h, const char* answer) {
    h.setField<std::string>("answer", answer);
    platform::uiresume(&h.get<QWidget>(kWindow));
}

const std::map<std::string, Routine>& routines() {
    static const std::map<std::string, Routine> table = [] {
        std::map<std::string, Routine> t;
        for (const Row& r : rows()) {
            t[tag("txt", r) + "_Callback"] = valueField(r);
            if (r.on) t[tag("chk", r) + "_Callback"] = switchBox(r);
        }
        t["chkFreqErrorSnap_Callback"] = [](QObject*, Handles& h) {
            entries(h).snap = platform::getValue(h.at("chkFreqErrorSnap"));
        };
        t["pbOK_Callback"] = [](QObject*, Handles& h) { ending(h, "OK"); };
        t["pbCancel_Callback"] = [](QObject*, Handles& h) { ending(h, "Cancel"); };
        t["close_Callback"] = [](QObject*, Handles& h) { ending(h, "Cancel"); };
        return t;
    }();
    return table;
}

void registerModule() {
    static const auto registration = platform::services().router.add(
        kModule,
        [](const std::string& routine, QObject* gcbo, Handles* handles) {
            im::run(routine, gcbo, handles);
        },
        platform::routineNames(routines()));
    (void)registration;
}

void initializeFigure(Handles& h) {
    ResizeAllFonts(h);
    for (const Row& r : rows()) {
        const std::string range = describeFieldRange(fieldOf(r));
        platform::setTooltip(h.at(tag("txt", r)), std::string(r.what) + ":\n" + range);
        platform::acceptNumbersOnly(h.get<QLineEdit>(tag("txt", r)));
        if (r.on) platform::setTooltip(h.at(tag("chk", r)), "Turns the impairment on or off.");
    }
    platform::setTooltip(h.at("chkFreqErrorSnap"),
                         "Rounds the frequency error to whole cycles\nper frame, so that the "
                         "looped waveform\nhas no phase jump.");
}

}  // namespace

ImpairmentsAnswer OneX_Rev_GUI_Impairments(QWidget* parent, const Parameters& p) {
    registerModule();
    QWidget* dialog = platform::findOpenLayout(kLayout);
    if (!dialog) dialog = platform::openLayout(kLayout, parent);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    platform::guidata(dialog, platform::buildHandles(dialog));
    Handles& h = *platform::guidata(dialog);
    h.setField(kEntries, im::entriesOf(p));
    initializeFigure(h);
    redraw(h);
    if (parent) PositionChildWindow(parent, *dialog);

    ImpairmentsAnswer out{"Cancel", p};
    const std::optional<std::string> answer = platform::askModal(dialog);
    if (answer) {
        out.answer = *answer;
        if (out.answer == "OK")
            out.parameters = im::applyEntries(p, entries(*platform::guidata(dialog)));
        delete dialog;
    }
    return out;
}

void OneX_Rev_GUI_Impairments(const std::string& name, QObject* gcbo, Handles* handles) {
    platform::guarded(kModule, name, [&] { im::run(name, gcbo, handles); });
}

namespace impairments {

Entries entriesOf(const Parameters& p) {
    Entries e;
    e.gainOn = p.IQGainImbalance != 0;
    e.quadratureOn = p.QuadratureError != 0;
    e.leakageOn = std::isfinite(p.CarrierLeakage);
    e.freqOn = p.FreqError != 0;
    e.cnOn = std::isfinite(p.CNRatio);
    if (e.gainOn) e.gain = p.IQGainImbalance;
    if (e.quadratureOn) e.quadrature = p.QuadratureError;
    if (e.leakageOn) e.leakage = p.CarrierLeakage;
    if (e.freqOn) e.freq = p.FreqError;
    if (e.cnOn) e.cn = p.CNRatio;
    e.seed = p.NoiseSeed;
    e.snap = p.FreqErrorSnap;
    return e;
}

Parameters applyEntries(Parameters p, const Entries& e) {
    const auto offValue = [](const char* name) {
        return findParameterField(name)->offValue;  // 0, or the field's infinity
    };
    p.IQGainImbalance = e.gainOn ? e.gain : offValue("IQGainImbalance");
    p.QuadratureError = e.quadratureOn ? e.quadrature : offValue("QuadratureError");
    p.CarrierLeakage = e.leakageOn ? e.leakage : offValue("CarrierLeakage");
    p.FreqError = e.freqOn ? e.freq : offValue("FreqError");
    p.FreqErrorSnap = e.snap;
    p.CNRatio = e.cnOn ? e.cn : offValue("CNRatio");
    p.NoiseSeed = e.seed;
    return p;
}

void run(const std::string& name, QObject* gcbo, Handles* handles) {
    platform::runRoutine(kModule, routines(), name, gcbo,
                         platform::needHandles(kModule, handles, name, "dialog"));
}

std::vector<std::string> routineNames() {
    return platform::routineNames(routines());
}

}  // namespace impairments
}  // namespace onex::ui
