#include "UI/OneX_Rev_GUI_b.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPointer>
#include <filesystem>
#include <functional>
#include <map>

#include "Instrument/SigGenSettings.h"
#include "MexIO/IoConfig.h"
#include "OneX/AirInterface.h"
#include "OneX/BasebandFilter.h"
#include "OneX/Parameters.h"
#include "UI/OneX_Rev_GUI_SlotSetup.h"
#include "UI/TARNconfig.h"
#include "UI/UserDataFile.h"
#include "UI/WindowUtilities.h"
#include "UI/platform/Background.h"
#include "UI/platform/Controls.h"
#include "UI/platform/Expression.h"
#include "UI/platform/Services.h"
#include "UI/platform/Windows.h"
#include "UI/rfCommonUI.h"
#include "platform/Error.h"
#include "platform/Numeric.h"
#include "platform/Text.h"

namespace onex::ui {

using platform::Handles;
namespace mw = mainwindow;

namespace {

constexpr const char* kModule = "OneX_Rev_GUI_b";
constexpr double kUserFileSource = 7;

using Routine = ModuleRoutine;

Handles& need(Handles* h, const std::string& routine) {
    return platform::needHandles(kModule, h, routine);
}

void redrawParameters(AppState& s, Handles& h) {
    mw::redrawFormatParameters(s, h);
}

// What a field's text reads as; a text that is no value changes nothing: the
// redraw shows the stored value again and the failure says why (the status
// line shows it). `what` names the field in that message.
double entered(AppState& s, Handles& h, const char* tag, const char* what, bool hex = false) {
    const std::string typed = platform::getString(h.at(tag));
    if (const auto v = hex ? platform::readHex(typed) : platform::readNumber(typed)) return *v;
    redrawParameters(s, h);
    throw platform::unreadableEntry(what, typed, hex ? "a hexadecimal number" : "a number",
                                    platform::getString(h.at(tag)));
}

// "Number" fields: the number kept by the field's rule (rounded or not,
// clamped); the status bar says when that changed it. `unit` follows the
// values in that note.
double keptNumber(AppState& s, Handles& h, const char* tag, const char* what,
                  const platform::EntryRule& rule, const char* unit = "") {
    const double number = entered(s, h, tag, what);
    const platform::KeptEntry kept = platform::keepEntry(
        number, rule, what, [unit](double v) { return onex::platform::exactNumberText(v) + unit; });
    platform::showEntryNote(h.at(tag), kept.note);
    return kept.value;
}

constexpr const char* kWholeNumber = "whole number";

double maskValue(AppState& s, Handles& h, const char* tag, const char* what) {
    const std::string typed(onex::platform::trimBlanks(platform::getString(h.at(tag))));
    const platform::KeptEntry kept = platform::keepEntry(
        entered(s, h, tag, what, true), {0, kMaxLongCodeMask}, what,
        [](double v) { return onex::platform::toHex(v); }, typed);
    platform::showEntryNote(h.at(tag), kept.note);
    return kept.value;
}

// Check box and edit callbacks that store one value and redraw.
Routine checkBox(const char* tag, double Parameters::*field) {
    return [tag, field](AppState& s, QObject*, Handles* hp) {
        Handles& h = need(hp, tag);
        s.parameters.*field = platform::getValue(h.at(tag));
        redrawParameters(s, h);
    };
}

Routine gainField(const char* tag, const char* what, double Parameters::*field) {
    return [tag, what, field](AppState& s, QObject*, Handles* hp) {
        Handles& h = need(hp, tag);
        s.parameters.*field = keptNumber(s, h, tag, what, {-30, 30}, " dB");
        redrawParameters(s, h);
    };
}

Routine maskField(const char* tag, const char* what, double Parameters::*field) {
    return [tag, what, field](AppState& s, QObject*, Handles* hp) {
        Handles& h = need(hp, tag);
        s.parameters.*field = maskValue(s, h, tag, what);
        redrawParameters(s, h);
    };
}

void pbSlotSetup_Callback(AppState& s, QObject*, Handles*) {
    const SlotSetupAnswer result =
        OneX_Rev_GUI_SlotSetup(s, s.figureList.figSlotSetup, s.parameters.slot);
    if (result.answer == "OK") s.parameters.slot = result.retSlot;
}

// The Data channel's switch and rate menu store their value; the RRI value
// follows the data rate.
Routine dataControl(const char* tag, double Parameters::*field) {
    return [tag, field](AppState& s, QObject*, Handles* hp) {
        Handles& h = need(hp, std::string(tag) + "_Callback");
        s.parameters.*field = platform::getValue(h.at(tag));
        s.parameters.RRIvalue = s.parameters.DataRate;
        redrawParameters(s, h);
    };
}

void txtRRIbits_Callback(AppState& s, QObject*, Handles* hp) {
    Handles& h = need(hp, "txtRRIbits_Callback");
    s.parameters.RRIvalue = keptNumber(s, h, "txtRRIbits", "RRI value", {0, 7, kWholeNumber});
    redrawParameters(s, h);
}

void orate_Callback(AppState& s, QObject*, Handles* hp) {
    Handles& h = need(hp, "orate_Callback");
    s.parameters.OverSampling = keptNumber(s, h, "orateText", "Oversampling",
                                           {kMinOverSampling, kMaxOverSampling, kWholeNumber});
    s.SigGenSettings.SamplingRate = chipSamplingRate(s.parameters.OverSampling);
    mw::redraw(s, h);  // the settings panel shows the new sampling rate
}

void pdDataSourceType_Callback(AppState& s, QObject*, Handles* hp) {
    Handles& h = need(hp, "pdDataSourceType_Callback");
    const double position = platform::getValue(h.at("pdDataSourceType"));
    if (position == kUserFileSource) {
        UserDataLoad load = LoadUserDataFile(s.parameters, kDataFrameSymbols);
        if (load.status > 0 && load.bits.empty()) {
            // An empty file would only fail at the next calculation; say so
            // now and keep the source that works.
            platform::services().dialogs->errorBox("The file\n" + load.file + "\ncontains no data.",
                                                   "File Error", true);
        } else if (load.status > 0) {
            const std::size_t taken = load.bits.size();
            s.parameters.dataSourceBitstream = std::move(load.bits);
            s.parameters.DATASourceType = kUserFileSource;
            // The name goes with the bits (and into parameter files), so the
            // menu can say whose bits they are.
            s.parameters.DATASourceName = load.file;
            const std::string name = std::filesystem::path(load.file).filename().string();
            platform::showStatus(
                h.get<QWidget>("main"),
                load.fileBits > taken
                    ? "User file " + name + ": the first " + std::to_string(taken) + " of its " +
                          std::to_string(load.fileBits) + " bits are used, the other " +
                          std::to_string(load.fileBits - taken) + " are left out."
                    : "User file " + name + ": " + std::to_string(taken) + " bits.");
        }
    } else {
        s.parameters.DATASourceType = position;
    }
    redrawParameters(s, h);
}

void filterType_Callback(AppState& s, QObject*, Handles* hp) {
    s.parameters.FilterType = platform::getValue(need(hp, "filterType_Callback").at("filterType"));
}

void chkMirrorSpectrum_Callback(AppState& s, QObject*, Handles* hp) {
    s.parameters.MirrorSpectrum =
        platform::getValue(need(hp, "chkMirrorSpectrum_Callback").at("chkMirrorSpectrum"));
}

// The user-file entry of the data source menu names the file and the bits
// taken while it is the source; otherwise it shows its layout text.
void redrawUserFileItem(const Parameters& p, QComboBox& menu) {
    const int index = static_cast<int>(kUserFileSource) - 1;
    if (index >= menu.count()) return;
    constexpr const char* kLayoutText = "onexLayoutText";
    if (!menu.property(kLayoutText).isValid()) menu.setProperty(kLayoutText, menu.itemText(index));
    QString text = menu.property(kLayoutText).toString();
    if (p.DATASourceType == kUserFileSource && !p.dataSourceBitstream.empty()) {
        const std::string bits = std::to_string(p.dataSourceBitstream.size()) + " bits";
        const std::string name = std::filesystem::path(p.DATASourceName).filename().string();
        text = QString::fromStdString(name.empty() ? "User file (" + bits + ")"
                                                   : "User file: " + name + " (" + bits + ")");
    }
    menu.setItemText(index, text);
}

const std::map<std::string, Routine>& routines() {
    static const std::map<std::string, Routine> table = {
        {"InitializeFigures", [](AppState& s, QObject*, Handles*) { mw::InitializeFigures(s); }},
        {"InitializeAppInfo", [](AppState& s, QObject*, Handles*) { mw::InitializeAppInfo(s); }},
        {"InitializeConfiguration",
         [](AppState& s, QObject*, Handles*) { mw::InitializeConfiguration(s); }},
        {"InitializeSigGenSettings",
         [](AppState& s, QObject*, Handles*) { mw::InitializeSigGenSettings(s); }},
        {"InitializeParameters",
         [](AppState& s, QObject*, Handles*) { mw::InitializeParameters(s); }},
        {"InitializeFigure",
         [](AppState& s, QObject*, Handles* h) {
             mw::InitializeFigure(s, need(h, "InitializeFigure"));
         }},
        {"redraw", [](AppState& s, QObject*, Handles* h) { mw::redraw(s, need(h, "redraw")); }},
        {"redrawFormatParameters",
         [](AppState& s, QObject*, Handles* h) {
             mw::redrawFormatParameters(s, need(h, "redrawFormatParameters"));
         }},
        {"Calculate", [](AppState& s, QObject*, Handles*) { mw::Calculate(s); }},
        {"pbSlotSetup_Callback", pbSlotSetup_Callback},
        {"RRIactive_Callback", checkBox("RRIactive", &Parameters::RRIactive)},
        {"DRCactive_Callback", checkBox("DRCactive", &Parameters::DRCactive)},
        {"ACKactive_Callback", checkBox("ACKactive", &Parameters::ACKactive)},
        {"DataActive_Callback", dataControl("DataActive", &Parameters::DATAactive)},
        {"txtRRIbits_Callback", txtRRIbits_Callback},
        {"DRCRelGain_Callback", gainField("DRCRelGain", "DRC gain", &Parameters::DRCrelGain)},
        {"ACKRelGain_Callback", gainField("ACKRelGain", "ACK gain", &Parameters::ACKrelGain)},
        {"DataRelGain_Callback", gainField("DataRelGain", "Data gain", &Parameters::DATArelGain)},
        {"orate_Callback", orate_Callback},
        {"chkEncoderActive_Callback", checkBox("chkEncoderActive", &Parameters::EncoderActive)},
        {"pdDataRate_Callback", dataControl("pdDataRate", &Parameters::DataRate)},
        {"IMask_Callback", maskField("IMaskText", "I mask", &Parameters::IMask)},
        {"QMask_Callback", maskField("QMaskText", "Q mask", &Parameters::QMask)},
        {"pdDataSourceType_Callback", pdDataSourceType_Callback},
        {"filterType_Callback", filterType_Callback},
        {"chkMirrorSpectrum_Callback", chkMirrorSpectrum_Callback},
    };
    return table;
}

// Tool tips of InitializeFigure.
const std::vector<std::pair<const char*, const char*>>& toolTips() {
    static const std::vector<std::pair<const char*, const char*>> tips = {
        {"RRIactive", "Enables/disables the RRI Channel."},
        {"DRCactive", "Enables/disables the DRC Channel."},
        {"ACKactive", "Enables/disables the ACK Channel."},
        {"DataActive", "Enables/disables the Data Channel."},
        {"txtRRIbits", "Value of the RRI bits for the frame.\nValid Range: 0 to 7 Octal"},
        {"DRCRelGain",
         "Sets the gain of the DRC channel\nrelative to the Pilot Channel.\nValid Range: +30dB "
         "to -30dB"},
        {"ACKRelGain",
         "The gain of the ACK channel\nrelative to the Pilot Channel.\nValid Range: +30dB to "
         "-30dB"},
        {"DataRelGain",
         "The gain of the data channel\nrelative to the Pilot Channel.\nValid Range: +30dB to "
         "-30dB"},
        {"orateText", "Sets the oversampling rate.\nValid Range: 2 to 30"},
        {"filterType", "Selects the baseband filter."},
        {"chkMirrorSpectrum", "Enable/disables spectrum mirroring."},
        {"chkEncoderActive", "Enables/disables the\ndata channel encoder."},
        {"pdDataRate", "Sets the data rate of\nthe data channel encoder."},
        {"pdDataSourceType", "Selects the source data for\nthe Data Channel."},
        {"IMaskText",
         "Determines the I-Mask.\n(Hexadecimal representaion \nof a 42 bit mask "
         "value.)\nValid Range: 0 to 3FFFFFFFFFF"},
        {"QMaskText",
         "Determines the Q-Mask.\n(Hexadecimal representaion \nof a 42 bit mask "
         "value.)\nValid Range: 0 to 3FFFFFFFFFF"},
        {"pbSlotSetup", "Configures each of the\n16 time slots."},
    };
    return tips;
}

}  // namespace

namespace mainwindow {

void run(AppState& state, const std::string& name, QObject* gcbo, Handles* handles) {
    platform::runRoutine(kModule, routines(), name, state, gcbo, handles);
}

std::vector<std::string> routineNames() {
    return platform::routineNames(routines());
}

void InitializeAppInfo(AppState& s) {
    // Built whole and moved in (assigning literals field by field trips a
    // false -Wrestrict of GCC 12).
    using namespace std::string_literals;
    AppInfo a;
    a.Name = "1xEV Reverse Link"s;
    a.Platform = "b"s;
    a.IsRelease = 1;
    a.Rev = "A.01.06.000"s;
    a.Date = "21-Aug-2002"s;
    a.Notes = "Release Notes:"s;
    a.NotesLine2 = "1xEV Reverse Link Signal Generation Applet for"s;
    a.NotesLine3 = "the TARN family of ARB signal generators."s;
    a.NotesLine4 = "This applet supports all modulation parameters"s;
    a.NotesLine5 = "of the 1xEV Reverse Link standard."s;
    a.ApplicationFunction = kModule;
    a.ParameterFileExtension = ".mat"s;
    s.appInfo = std::move(a);
}

void InitializeConfiguration(AppState& s) {
    s.configuration = startupIoConfig();
}

void InitializeParameters(AppState& s) {
    s.parameters = onex::InitializeParameters();
}

void InitializeSigGenSettings(AppState& s) {
    s.SigGenSettings = onex::InitializeSigGenSettings(s.parameters.OverSampling);
}

void InitializeFigures(AppState& s) {
    auto* main = qobject_cast<QMainWindow*>(loadFigure("OneX_Rev_GUI_b", nullptr));
    if (!main) throw Error("The layout OneX_Rev_GUI_b is no main window");
    s.mainWindow = main;
    common::QV_AddMenu(s, *main);
    platform::guidata(main, platform::buildHandles(main));
    rfCommonUI(s, "InitializeFigure", nullptr, platform::guidata(main));

    QWidget* slot = loadFigure("OneX_Rev_GUI_SlotSetup", main);
    s.figureList.figSlotSetup = slot;
    OneX_Rev_GUI_SlotSetup(s, "InitializeFigure", nullptr, platform::guidata(slot));
}

void InitializeFigure(AppState& s, Handles& h) {
    for (const auto& [tag, tip] : toolTips())
        platform::setTooltip(h.at(tag), tip);
    platform::setItems(h.at("filterType"), std::vector<std::string>(kBasebandFilterNames.begin(),
                                                                    kBasebandFilterNames.end()));
    for (const char* tag : {"txtRRIbits", "DRCRelGain", "ACKRelGain", "DataRelGain", "orateText"})
        platform::acceptNumbersOnly(h.get<QLineEdit>(tag));
    for (const char* tag : {"IMaskText", "QMaskText"})
        platform::acceptHexOnly(h.get<QLineEdit>(tag));
    ResizeAllFonts(h);
    TARNconfig(s, "InitializeSigGenScreenObjects", nullptr, &h);
}

void redraw(AppState& s, Handles& h) {
    redrawFormatParameters(s, h);
    rfCommonUI(s, "redrawAppTitle", nullptr, &h);
    TARNconfig(s, "redrawSigGenSettings", nullptr, &h);
}

void redrawFormatParameters(AppState& s, Handles& h) {
    using namespace platform;
    using onex::platform::num2str;
    using onex::platform::toHex;
    const Parameters& p = s.parameters;

    setValue(h.at("RRIactive"), p.RRIactive);
    setEnable(h.at("txtRRIbits"), p.RRIactive != 0);
    setString(h.at("txtRRIbits"), toHex(p.RRIvalue));

    setValue(h.at("DRCactive"), p.DRCactive);
    setEnable(h.at("DRCRelGain"), p.DRCactive != 0);
    setString(h.at("DRCRelGain"), num2str(p.DRCrelGain));

    setValue(h.at("ACKactive"), p.ACKactive);
    setEnable(h.at("ACKRelGain"), p.ACKactive != 0);
    setString(h.at("ACKRelGain"), num2str(p.ACKrelGain));

    setValue(h.at("DataActive"), p.DATAactive);
    const bool data = p.DATAactive != 0;
    setEnable(h.at("DataRelGain"), data);
    setEnable(h.at("pdDataSourceType"), data);
    setEnable(h.at("chkEncoderActive"), data);
    setString(h.at("DataRelGain"), num2str(p.DATArelGain));

    setValue(h.at("chkEncoderActive"), p.EncoderActive);
    setEnable(h.at("pdDataRate"), p.EncoderActive != 0 && data);

    setValue(h.at("pdDataRate"), p.DataRate);
    redrawUserFileItem(p, h.get<QComboBox>("pdDataSourceType"));
    setValue(h.at("pdDataSourceType"), p.DATASourceType);

    setString(h.at("IMaskText"), toHex(p.IMask));
    setString(h.at("QMaskText"), toHex(p.QMask));

    setString(h.at("orateText"), num2str(p.OverSampling));
    setValue(h.at("filterType"), p.FilterType);
    setValue(h.at("chkMirrorSpectrum"), p.MirrorSpectrum);

    setString(h.at("txtNumberOfSamples"),
              num2str(static_cast<double>(kFrameChips) * p.OverSampling) + " Samples");
}

void Calculate(AppState& s) {
    const Parameters p = s.parameters;
    const double rate = s.SigGenSettings.SamplingRate;  // the impairments need the clock
    FrameResult frame = platform::runInBackground<FrameResult>(
        s.mainWindow, "Calculating the waveform ...",
        [&p, rate]() -> FrameResult { return onex::Calculate(p, rate); });
    s.frame = std::move(frame);
    s.waveformSampleRate = rate;
}

}  // namespace mainwindow

void OneX_Rev_GUI_b(AppState& state, const std::string& name, QObject* gcbo, Handles* handles) {
    platform::guarded(kModule, name, [&] { mw::run(state, name, gcbo, handles); });
}

QMainWindow* OneX_Rev_GUI_b(AppState& state) {
    platform::Clock& clock = *platform::services().clock;
    QPointer<QWidget> splash;
    platform::guarded(kModule, "QV_Splash", [&] { splash = QV_Splash(); });
    const double started = clock.seconds();

    mw::InitializeAppInfo(state);
    mw::InitializeConfiguration(state);
    mw::InitializeParameters(state);
    mw::InitializeSigGenSettings(state);
    mw::InitializeFigures(state);

    QMainWindow* main = state.mainWindow;
    platform::guidata(main, platform::buildHandles(main));
    Handles& handles = *platform::guidata(main);
    mw::InitializeFigure(state, handles);
    mw::redraw(state, handles);
    common::markSaved(state);  // Untitled, nothing edited yet

    const double elapsed = clock.seconds() - started;
    if (elapsed < mw::kSplashSeconds) clock.pause(mw::kSplashSeconds - elapsed);
    delete splash.data();

    scrollOnSmallScreens(*main, handles.get<QWidget>("panels"));
    PositionChildWindow(nullptr, *main);
    main->show();
    main->raise();
    main->activateWindow();
    return main;
}

}  // namespace onex::ui
