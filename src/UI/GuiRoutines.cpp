#include "UI/GuiRoutines.h"

#include <QMainWindow>
#include <QMenu>
#include <QPointer>
#include <cmath>
#include <map>
#include <unordered_map>

#include "Analysis/EyeScatter.h"
#include "Displays/PlotRoutines.h"
#include "UI/Application.h"
#include "UI/OneX_Rev_GUI_SlotSetup.h"
#include "UI/OneX_Rev_GUI_b.h"
#include "UI/QV_SigGen.h"
#include "UI/TARNconfig.h"
#include "UI/WindowUtilities.h"
#include "UI/platform/Services.h"
#include "UI/rfCommonUI.h"
#include "platform/Error.h"

namespace onex::ui {

using onex::platform::Array;
using Outputs = std::vector<Array>;
using Inputs = std::span<const Array>;

namespace {

struct HandleTable {
    std::map<double, QPointer<QObject>> objects;
    std::unordered_map<const QObject*, double> numbers;
    double next = 1;
};
HandleTable& table() {
    static HandleTable t;
    return t;
}

[[noreturn]] void fail(std::string_view routine, const std::string& text) {
    throw Error(std::string(routine) + ": " + text);
}

bool isText(const Array& a) {
    return a.isChar() && (a.isRow() || a.isEmpty());
}
bool isHandleNumber(const Array& a) {
    return a.isNumeric() && !a.isComplex() && a.numel() == 1;
}

QWidget* windowArgument(std::string_view routine, const Array& a, const char* what) {
    if (a.isEmpty() || (isHandleNumber(a) && a.scalar() == 0)) return nullptr;
    if (!isHandleNumber(a)) fail(routine, std::string(what) + " must be a window handle");
    auto* w = qobject_cast<QWidget*>(objectOf(a.scalar()));
    if (!w || !w->isWindow()) fail(routine, std::string(what) + " is no open window");
    return w;
}

AppState& running(std::string_view routine) {
    Application* app = runningApplication();
    if (!app) fail(routine, "the application is not running (OneX_Rev_b opens it)");
    return app->state();
}

// The callback form: name, then the firing object, an empty event argument
// and the window's handles (either may be left out).
struct NamedCall {
    std::string routine;
    QObject* gcbo = nullptr;
    platform::Handles* handles = nullptr;
};

NamedCall namedCall(Inputs in) {
    NamedCall c;
    c.routine = in[0].toString();
    for (std::size_t k = 1; k < in.size(); ++k) {
        if (!c.gcbo && isHandleNumber(in[k])) c.gcbo = objectOf(in[k].scalar());
        if (!c.handles && in[k].isStruct()) c.handles = handlesFromArray(in[k]);
    }
    if (!c.handles && c.gcbo) c.handles = platform::guidata(c.gcbo);
    return c;
}

std::vector<double> row(const Array& s, const char* field) {
    if (!s.hasField(field)) throw Error(std::string("slot has no field ") + field);
    return s.field(field).toDoubleVector();
}

SlotParameters slotFromArray(const Array& a) {
    if (!a.isStruct() || a.numel() != 1) throw Error("slot must be a structure");
    SlotParameters s;
    s.ACKslotActive = row(a, "ACKslotActive");
    s.ACKslotValue = row(a, "ACKslotValue");
    s.DRCslotActive = row(a, "DRCslotActive");
    s.DRCslotValue = row(a, "DRCslotValue");
    s.DRCslotCover = row(a, "DRCslotCover");
    return s;
}

Array slotToArray(const SlotParameters& s) {
    return Array::structure({{"ACKslotActive", Array::row(s.ACKslotActive)},
                             {"ACKslotValue", Array::row(s.ACKslotValue)},
                             {"DRCslotActive", Array::row(s.DRCslotActive)},
                             {"DRCslotValue", Array::row(s.DRCslotValue)},
                             {"DRCslotCover", Array::row(s.DRCslotCover)}});
}

AppInfo appInfoFromArray(const Array& a) {
    if (!a.isStruct() || a.numel() != 1) throw Error("QV_About: app must be a structure");
    auto text = [&](const char* f) {
        return a.hasField(f) && isText(a.field(f)) ? a.field(f).toString() : std::string();
    };
    AppInfo info;
    info.Name = text("Name");
    info.Rev = text("Rev");
    info.Date = text("Date");
    info.Notes = text("Notes");
    info.NotesLine2 = text("NotesLine2");
    info.NotesLine3 = text("NotesLine3");
    info.NotesLine4 = text("NotesLine4");
    info.NotesLine5 = text("NotesLine5");
    info.IsRelease = a.hasField("IsRelease") && isHandleNumber(a.field("IsRelease"))
                         ? a.field("IsRelease").scalar()
                         : 0;
    return info;
}

// --- gateways ---

Outputs gwOneX_Rev_b(Inputs, std::size_t) {
    OneX_Rev_b();
    return {};
}

Outputs gwOneX_Rev_GUI_b(Inputs in, std::size_t) {
    if (in.empty()) return {Array(handleOf(OneX_Rev_b()))};
    if (!isText(in[0])) fail("OneX_Rev_GUI_b", "the first input must be a routine name");
    const NamedCall c = namedCall(in);
    OneX_Rev_GUI_b(running("OneX_Rev_GUI_b"), c.routine, c.gcbo, c.handles);
    return {};
}

Outputs gwOneX_Rev_GUI_SlotSetup(Inputs in, std::size_t) {
    constexpr std::string_view name = "OneX_Rev_GUI_SlotSetup";
    if (in.empty()) fail(name, "the dialog window is needed");
    if (isText(in[0])) {
        const NamedCall c = namedCall(in);
        OneX_Rev_GUI_SlotSetup(running(name), c.routine, c.gcbo, c.handles);
        return {};
    }
    QWidget* fig = windowArgument(name, in[0], "fig");
    std::optional<SlotParameters> slot;
    if (in.size() > 1) slot = slotFromArray(in[1]);
    const SlotSetupAnswer answer = OneX_Rev_GUI_SlotSetup(running(name), fig, slot);
    return {Array::string(answer.answer), slotToArray(answer.retSlot)};
}

Outputs gwrfCommonUI(Inputs in, std::size_t) {
    if (in.empty() || !isText(in[0])) fail("rfCommonUI", "the first input must be a routine name");
    const NamedCall c = namedCall(in);
    rfCommonUI(running("rfCommonUI"), c.routine, c.gcbo, c.handles);
    return {};
}

Outputs gwTARNconfig(Inputs in, std::size_t) {
    if (in.empty() || !isText(in[0])) fail("TARNconfig", "the first input must be a routine name");
    const NamedCall c = namedCall(in);
    TARNconfig(running("TARNconfig"), c.routine, c.gcbo, c.handles);
    return {};
}

Outputs gwQV_SigGen(Inputs in, std::size_t) {
    if (!in.empty() && isText(in[0]) && !in[0].isEmpty()) {
        const NamedCall c = namedCall(in);
        QV_SigGen(c.routine, c.gcbo, c.handles);
        return {};
    }
    QWidget* parent = in.empty() ? nullptr : windowArgument("QV_SigGen", in[0], "parent");
    std::optional<Array> config;
    if (in.size() > 1) config = in[1];
    std::optional<std::string> platformText;
    if (in.size() > 2 && isText(in[2])) platformText = in[2].toString();
    const SigGenAnswer answer = QV_SigGen(parent, config, platformText);
    return {Array::string(answer.response), answer.retConfig};
}

Outputs gwQV_About(Inputs in, std::size_t) {
    std::optional<AppInfo> info;
    if (in.size() > 1) info = appInfoFromArray(in[1]);
    if (in.empty()) {
        QV_About(nullptr);
        return {};
    }
    QObject* parent = isHandleNumber(in[0]) ? objectOf(in[0].scalar()) : nullptr;
    QV_About(parent, info ? &*info : nullptr);
    return {};
}

Outputs gwQV_Splash(Inputs, std::size_t) {
    return {Array(handleOf(QV_Splash()))};
}

Outputs gwloadFigure(Inputs in, std::size_t) {
    if (!isText(in[0])) fail("loadFigure", "filename must be a text");
    QWidget* parent = in.size() > 1 ? windowArgument("loadFigure", in[1], "parentHandle") : nullptr;
    return {Array(handleOf(loadFigure(in[0].toString(), parent)))};
}

Outputs gwPositionChildWindow(Inputs in, std::size_t) {
    QWidget* parent = windowArgument("PositionChildWindow", in[0], "parent");
    QWidget* child = windowArgument("PositionChildWindow", in[1], "child");
    if (!child) fail("PositionChildWindow", "child must be a window");
    PositionChildWindow(parent, *child);
    return {};
}

Outputs gwResizeAllFonts(Inputs in, std::size_t) {
    if (!in[0].isStruct() || in[0].numel() != 1)
        fail("ResizeAllFonts", "handles must be a structure");
    platform::Handles h;
    for (const std::string& tag : in[0].fieldNames()) {
        const Array& v = in[0].field(tag);
        if (isHandleNumber(v))
            if (QObject* o = objectOf(v.scalar())) h.set(tag, o);
    }
    ResizeAllFonts(h);
    return {};
}

Outputs gwQV_AddMenu(Inputs in, std::size_t) {
    auto* fig = qobject_cast<QMainWindow*>(windowArgument("QV_AddMenu", in[0], "hFigure"));
    if (!fig) fail("QV_AddMenu", "hFigure must be a main window");
    AppState defaults;
    defaults.appInfo.Platform = "b";
    Application* app = runningApplication();
    const common::MenuHeaders m = common::QV_AddMenu(app ? app->state() : defaults, *fig);
    return {Array::structure({{"File", Array(handleOf(m.File))},
                              {"Plot", Array(handleOf(m.Plot))},
                              {"Config", Array(handleOf(m.Config))},
                              {"Special", Array(handleOf(m.Special))},
                              {"Help", Array(handleOf(m.Help))}})};
}

// --- displays ---

// A waveform input: any real or complex vector, or [] (a test pattern).
// `twoColumns` also takes an N x 2 real matrix as I and Q columns; a wider
// matrix is then refused with the plotting routines' text.
std::vector<std::complex<double>> waveArgument(std::string_view routine, const Array& a,
                                               bool twoColumns = false) {
    if (a.isEmpty()) return {};
    if (!a.isNumeric()) fail(routine, "iqWave must be numeric");
    // Levels and axes of a waveform with Inf or NaN in it mean nothing.
    for (std::size_t k = 0; k < a.numel(); ++k)
        if (!std::isfinite(a.realAt(k)) || (a.isComplex() && !std::isfinite(a.imagAt(k))))
            fail(routine, "iqWave has a sample that is not a finite number");
    if (a.isVector()) return a.toComplexVector();
    if (twoColumns && a.dims().size() == 2) {
        if (a.cols() > 2) throw Error(analysis::kTooManyColumns);
        if (a.isComplex()) fail(routine, "an N x 2 iqWave must be real");
        const std::vector<double> v = a.toDoubleVector();
        std::vector<std::complex<double>> w(a.rows());
        for (std::size_t k = 0; k < a.rows(); ++k)
            w[k] = {v[k], v[a.rows() + k]};
        return w;
    }
    fail(routine, "iqWave must be a vector");
}

double numberArgument(std::string_view routine, const Array& a, const char* what) {
    if (!isHandleNumber(a)) fail(routine, std::string(what) + " must be a real number");
    return a.scalar();
}

std::string labelArgument(std::string_view routine, const Array& a) {
    if (!isText(a)) fail(routine, "label must be a text");
    return a.toString();
}

Array figureOutput(QWidget* fig) {
    return fig ? Array(handleOf(fig)) : Array();
}

onex::platform::Dialogs& plotDialogs(std::string_view routine) {
    onex::platform::Dialogs* d = platform::services().dialogs;
    if (!d) fail(routine, "no dialogs are installed");
    return *d;
}

Outputs gwQV_PlotCCDF(Inputs in, std::size_t) {
    constexpr std::string_view name = "QV_PlotCCDF";
    QWidget* parent = in.empty() ? nullptr : windowArgument(name, in[0], "hParent");
    const std::string label = in.size() > 1 ? labelArgument(name, in[1]) : "Test Data";
    const auto wave =
        in.size() > 2 ? waveArgument(name, in[2]) : std::vector<std::complex<double>>{};
    return {figureOutput(displays::QV_PlotCCDF(parent, label, wave))};
}

Outputs gwQV_PlotSpectrum(Inputs in, std::size_t) {
    constexpr std::string_view name = "QV_PlotSpectrum";
    QWidget* parent = windowArgument(name, in[0], "hParent");
    const auto wave = waveArgument(name, in[3]);
    return {figureOutput(displays::QV_PlotSpectrum(
        parent, labelArgument(name, in[1]), numberArgument(name, in[2], "sampleRate"), wave))};
}

Outputs gwQV_PlotIQTime(Inputs in, std::size_t) {
    constexpr std::string_view name = "QV_PlotIQTime";
    QWidget* parent = windowArgument(name, in[0], "hParent");
    const auto wave = waveArgument(name, in[4]);
    return {figureOutput(displays::QV_PlotIQTime(parent, labelArgument(name, in[1]),
                                                 numberArgument(name, in[2], "sampleRate"),
                                                 numberArgument(name, in[3], "overlay"), wave))};
}

// The eye and scatter windows report a refused waveform in their error
// window too, as they do every drawing failure.
template <class Open>
Outputs eyeOrScatter(std::string_view name, const char* what, const Array& waveArray, Open&& open) {
    std::vector<std::complex<double>> wave;
    try {
        wave = waveArgument(name, waveArray, true);
    } catch (const std::exception& e) {
        displays::reportPlotError(what, e.what(), plotDialogs(name));
        return {Array()};
    }
    return {figureOutput(open(wave))};
}

Outputs gwQV_PlotEyeDiagram(Inputs in, std::size_t) {
    constexpr std::string_view name = "QV_PlotEyeDiagram";
    QWidget* parent = windowArgument(name, in[0], "hParent");
    const std::string label = labelArgument(name, in[1]);
    const double n = numberArgument(name, in[3], "n");
    const double period = numberArgument(name, in[4], "period");
    const double offset = numberArgument(name, in[5], "offset");
    return eyeOrScatter(name, "Eye Diagram", in[2], [&](const auto& wave) {
        return displays::QV_PlotEyeDiagram(parent, label, wave, n, period, offset,
                                           plotDialogs(name));
    });
}

Outputs gwQV_PlotScatterDiagram(Inputs in, std::size_t) {
    constexpr std::string_view name = "QV_PlotScatterDiagram";
    QWidget* parent = windowArgument(name, in[0], "hParent");
    const std::string label = labelArgument(name, in[1]);
    const double n = numberArgument(name, in[3], "n");
    const double offset = numberArgument(name, in[4], "offset");
    const double traceOn = numberArgument(name, in[5], "traceOn");
    return eyeOrScatter(name, "Scatter Diagram", in[2], [&](const auto& wave) {
        return displays::QV_PlotScatterDiagram(parent, label, wave, n, offset, traceOn,
                                               plotDialogs(name));
    });
}

Outputs gwQV_PlotWaterfall(Inputs in, std::size_t) {
    constexpr std::string_view name = "QV_PlotWaterfall";
    QWidget* parent = windowArgument(name, in[0], "hParent");
    const auto wave = waveArgument(name, in[4]);
    return {figureOutput(displays::QV_PlotWaterfall(parent, labelArgument(name, in[1]),
                                                    numberArgument(name, in[2], "sampleRate"),
                                                    numberArgument(name, in[3], "period"), wave))};
}

std::vector<GuiRoutine> buildTable() {
    return {
        {"OneX_Rev_b", 0, {}, {}, "Opens the main window.", gwOneX_Rev_b},
        {"OneX_Rev_GUI_b",
         0,
         {"varargin"},
         {"varargout"},
         "Main window: with no input opens it and returns its handle; with a routine name runs "
         "that routine (callback form: name, gcbo, [], handles).",
         gwOneX_Rev_GUI_b},
        // The dispatchers take and give what the routine they run does:
        // (fig, slot) -> [answer, retSlot], or a callback's four inputs.
        {"OneX_Rev_GUI_SlotSetup",
         1,
         {"varargin"},
         {"varargout"},
         "Slot setup dialog: (fig, slot) shows fig modally on slot and gives [answer, retSlot], "
         "answer \"OK\" or \"Cancel\". With a routine name first, runs that routine.",
         gwOneX_Rev_GUI_SlotSetup},
        {"rfCommonUI",
         1,
         {"varargin"},
         {},
         "Runs a routine of the shared command module.",
         gwrfCommonUI},
        {"TARNconfig", 1, {"varargin"}, {}, "Runs a routine of the settings panel.", gwTARNconfig},
        {"QV_SigGen",
         0,
         {"varargin"},
         {"varargout"},
         "Connection dialog: (parent, config, platform) -> [response, retConfig]; platform "
         "\"b\" or \"c\". With a routine name first, runs that routine.",
         gwQV_SigGen},
        {"QV_About", 0, {"parentHandle", "app"}, {}, "The modal About box.", gwQV_About},
        {"QV_Splash", 0, {}, {"fig"}, "Shows the splash window.", gwQV_Splash},
        {"loadFigure",
         1,
         {"filename", "parentHandle"},
         {"fig"},
         "Opens a window from its layout, centred over parentHandle (0: the screen).",
         gwloadFigure},
        {"PositionChildWindow",
         2,
         {"parent", "child"},
         {},
         "Centres child over parent (0: the screen).",
         gwPositionChildWindow},
        {"ResizeAllFonts",
         1,
         {"handles"},
         {},
         "Enlarges the fonts of the handles' controls on a 96 pixels-per-inch screen.",
         gwResizeAllFonts},
        {"QV_AddMenu",
         1,
         {"hFigure"},
         {"menuHeaders"},
         "Builds the main window's menu bar.",
         gwQV_AddMenu},
        {"QV_PlotCCDF",
         0,
         {"hParent", "label", "iqWave"},
         {"fig"},
         "CCDF window of iqWave (none: a test waveform) against Gaussian noise.",
         gwQV_PlotCCDF},
        {"QV_PlotSpectrum",
         4,
         {"hParent", "label", "sampleRate", "iqWave"},
         {"fig"},
         "Magnitude spectrum window of iqWave.",
         gwQV_PlotSpectrum},
        {"QV_PlotIQTime",
         5,
         {"hParent", "label", "sampleRate", "overlay", "iqWave"},
         {"fig"},
         "I and Q against time: two plots, or one when overlay is not 0.",
         gwQV_PlotIQTime},
        {"QV_PlotEyeDiagram",
         6,
         {"hParent", "label", "iqWave", "n", "period", "offset"},
         {"fig"},
         "Eye diagram of traces of n samples over period seconds; [] after a Plot Error.",
         gwQV_PlotEyeDiagram},
        {"QV_PlotScatterDiagram",
         6,
         {"hParent", "label", "iqWave", "n", "offset", "traceOn"},
         {"fig"},
         "Constellation of every n-th sample from offset, with the trajectory when traceOn; [] "
         "after a Plot Error.",
         gwQV_PlotScatterDiagram},
        {"QV_PlotWaterfall",
         5,
         {"hParent", "label", "sampleRate", "period", "iqWave"},
         {"fig"},
         "Spectrum waterfall of slices of period seconds.",
         gwQV_PlotWaterfall},
    };
}

}  // namespace

double handleOf(const QObject* object) {
    if (!object) return 0;
    HandleTable& t = table();
    auto it = t.numbers.find(object);
    // A number whose object has gone may be met again at the same address.
    if (it != t.numbers.end() && t.objects[it->second] == object) return it->second;
    const double number = t.next++;
    t.objects[number] = const_cast<QObject*>(object);
    t.numbers[object] = number;
    return number;
}

QObject* objectOf(double handle) {
    HandleTable& t = table();
    auto it = t.objects.find(handle);
    return it == t.objects.end() ? nullptr : it->second.data();
}

Array handlesToArray(const platform::Handles& handles) {
    std::vector<std::pair<std::string, Array>> fields;
    for (const std::string& tag : handles.tags())
        fields.emplace_back(tag, Array(handleOf(handles.find(tag))));
    return Array::structure(fields);
}

platform::Handles* handlesFromArray(const Array& handles) {
    if (!handles.isStruct() || handles.numel() != 1) return nullptr;
    for (const std::string& tag : handles.fieldNames()) {
        const Array& v = handles.field(tag);
        if (!isHandleNumber(v)) continue;
        if (QObject* o = objectOf(v.scalar()))
            if (platform::Handles* h = platform::guidata(o)) return h;
    }
    return nullptr;
}

std::span<const GuiRoutine> guiRoutines() {
    static const std::vector<GuiRoutine> all = buildTable();
    return all;
}

const GuiRoutine* findGuiRoutine(std::string_view name) {
    for (const GuiRoutine& r : guiRoutines())
        if (r.name == name) return &r;
    return nullptr;
}

}  // namespace onex::ui
