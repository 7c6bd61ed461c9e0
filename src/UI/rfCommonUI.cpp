#include "UI/rfCommonUI.h"

#include <fmt/format.h>
#include <QAction>
#include <QKeySequence>
#include <QMenuBar>
#include <QPointer>

#include <cctype>
#include <cmath>
#include <functional>
#include <map>
#include <stop_token>

#include "Analysis/CaptureAnalysis.h"
#include "Analysis/EyeScatter.h"
#include "Analysis/Measurements.h"
#include "Displays/CaptureWindow.h"
#include "Displays/MeasurementsWindow.h"
#include "Displays/PlotRoutines.h"
#include "Instrument/CaptureFiles.h"
#include "Instrument/ConfigFile.h"
#include "Instrument/Corrections.h"
#include "Instrument/DacResolution.h"
#include "Instrument/DownloadCommand.h"
#include "Instrument/ParameterFiles.h"
#include "Instrument/SigGenSettingsArray.h"
#include "Instrument/WaveformFiles.h"
#include "MexIO/ConnectionAddress.h"
#include "MexIO/IoConfigArray.h"
#include "OneX/FrameSummary.h"
#include "OneX/Impairments.h"
#include "OneX/ParametersArray.h"
#include "UI/OneX_Rev_GUI_Impairments.h"
#include "UI/QV_SigGen.h"
#include "UI/WindowUtilities.h"
#include "UI/platform/Background.h"
#include "UI/platform/Controls.h"
#include "UI/platform/Expression.h"
#include "UI/platform/QtDialogs.h"
#include "UI/platform/Services.h"
#include "UI/platform/Windows.h"
#include "platform/Error.h"
#include "platform/Text.h"

namespace onex::ui {

using platform::Handles;

namespace {

constexpr const char* kModule = "rfCommonUI";
constexpr const char* kTitlePrefix = "Wavecraft - ";
constexpr double kOption001Samples = 8000000;

using Routine = ModuleRoutine;

onex::platform::Dialogs& dialogs() {
    return *platform::services().dialogs;
}

Handles& need(Handles* h, const std::string& routine) {
    return platform::needHandles(kModule, h, routine);
}

QWidget& mainOf(Handles& h) {
    return h.get<QWidget>("main");
}

std::string filter(const AppState& s) {
    return "*" + s.appInfo.ParameterFileExtension;
}

// --- menu bar ---

struct MenuItem {
    const char* label;
    const char* tag;
    const char* routine;
    bool separator = false;
    bool hidden = false;
    bool disabled = false;
};

QMenu* addMenu(QMenuBar& bar, const char* label, const char* tag, bool hidden = false) {
    QString title = QString::fromUtf8(label);
    // The menu bar takes the access key of every menu, shown or not; a
    // hidden menu would take Alt+key from the window's buttons (Alt+S of
    // Slot Setup), so it goes without one.
    if (hidden) title.remove('&');
    auto* menu = new QMenu(title, &bar);
    menu->setObjectName(tag);
    bar.addMenu(menu);
    if (hidden) menu->menuAction()->setVisible(false);
    return menu;
}

QAction* addItem(QMenu& menu, const MenuItem& item) {
    if (item.separator) menu.addSeparator();
    auto* action = new QAction(QString::fromUtf8(item.label), &menu);
    action->setObjectName(item.tag);
    platform::setCallback(*action, platform::callbackText(kModule, item.routine));
    if (item.hidden) action->setVisible(false);
    if (item.disabled) action->setEnabled(false);
    menu.addAction(action);
    return action;
}

// --- commands ---

void pbCalculate_Callback(AppState& s, QObject*, Handles* h) {
    common::executeCalculation(s, need(h, "pbCalculate_Callback"));
}

// The outcome of Download or Refresh: its message box (failures with the
// error icon) and a line in the status bar, `done` when it succeeded (a
// successful refresh has no box). Nothing when the user closed the window to
// cancel it (the window closes instead).
void showOutcome(QWidget& main, const CommandOutcome& outcome, const platform::Cancellation& cancel,
                 const std::string& done) {
    if (cancel.windowClosing) return;
    const std::string text = onex::platform::printable(outcome.text);
    if (outcome.status == 0)
        platform::showStatus(main, done);
    else
        platform::showFailureStatus(main, outcome.title + ": " + text.substr(0, text.find('\n')));
    if (outcome.title.empty()) return;
    if (outcome.status == 0)
        dialogs().messageBox(text, outcome.title, true);
    else
        dialogs().errorBox(text, outcome.title, true);
}

// Runs `work` in the background with the watch pointer on `main`, the
// progress window saying `what` and its Cancel button; `work` reads only
// copies, whatever happens to the state meanwhile.
template <class R>
R runWithWatch(QWidget& main, const char* what, platform::Cancellation& cancel,
               const std::function<R(std::stop_token)>& work) {
    const std::string pointer = platform::getPointer(main);
    platform::setPointer(main, "watch");
    try {
        R result = platform::runInBackground<R>(
            &main, what, [&] { return work(cancel.source.get_token()); }, &cancel);
        platform::setPointer(main, pointer);
        return result;
    } catch (...) {
        platform::setPointer(main, pointer);
        throw;
    }
}

// An instrument command in the background, then its outcome (`done` in the
// status bar when it succeeded).
void runInstrumentCommand(QWidget& main, const char* what, const std::string& done,
                          const std::function<CommandOutcome(std::stop_token)>& work) {
    platform::Cancellation cancel;
    const CommandOutcome outcome = runWithWatch(main, what, cancel, work);
    showOutcome(main, outcome, cancel, done);
}

// "Settings sent to TCPIP 192.168.0.5; playing ONEX" (`what` sent).
std::string sentTo(const std::string& what, const IoConfig& config,
                   const onex::SigGenSettings& settings) {
    return what + " sent to " + describeConnection(config) + "; playing " + settings.Title;
}

void pbDownload_Callback(AppState& s, QObject*, Handles* hp) {
    Handles& h = need(hp, "pbDownload_Callback");
    if (common::checkWaveformReady(s, h, "Download") == 0) return;
    const FrameResult frame = s.frame;
    const MarkerValues markers(frame.marker1, frame.marker2);
    const onex::SigGenSettings settings = s.SigGenSettings;
    const IoConfig config = s.configuration;
    const std::string platformLetter = s.appInfo.Platform;
    platform::GuiThreadDialogs workerDialogs(dialogs());
    runInstrumentCommand(mainOf(h), "Downloading the waveform to the signal generator ...",
                         sentTo("Waveform and settings", config, settings),
                         [&](std::stop_token stop) {
                             return runDownloadCommand(frame.waveform, markers.rows(), settings,
                                                       config, platformLetter, workerDialogs,
                                                       defaultCorrectionFolder(), stop);
                         });
}

void pbRefresh_Callback(AppState& s, QObject*, Handles* hp) {
    Handles& h = need(hp, "pbRefresh_Callback");
    const onex::SigGenSettings settings = s.SigGenSettings;
    const IoConfig config = s.configuration;
    const std::string platformLetter = s.appInfo.Platform;
    runInstrumentCommand(mainOf(h), "Sending the settings to the signal generator ...",
                         sentTo("Settings", config, settings), [&](std::stop_token stop) {
                             return runRefreshCommand(settings, config, platformLetter, stop);
                         });
}

void menuFileNew_Callback(AppState& s, QObject*, Handles* hp) {
    Handles& h = need(hp, "menuFileNew_Callback");
    if (!common::offerToSave(s, h)) return;
    s.configuration.LastParameterFilename = "";
    common::callApplication(s, "InitializeParameters", &h);
    common::callApplication(s, "InitializeSigGenSettings", &h);
    common::callApplication(s, "redraw", &h);
    common::markSaved(s);
}

void menuFileOpen_Callback(AppState& s, QObject*, Handles* hp) {
    Handles& h = need(hp, "menuFileOpen_Callback");
    if (!common::offerToSave(s, h)) return;
    const auto file = dialogs().openFile(filter(s), "Select File to Open");
    if (!file) return;
    if (common::loadParameters(s, *file, h) == 1) {
        s.configuration.LastParameterFilename = *file;
        common::redrawAppTitle(s, h);
    }
}

// Save under a name the user picks; true when the file was written.
bool saveWithNewName(AppState& s, Handles& h) {
    const auto file = dialogs().saveFile(filter(s), "Select File to Write");
    if (!file) return false;
    const std::string name = common::addFileExtention(*file, s.appInfo.ParameterFileExtension);
    // The new name becomes the current file only once the file is written,
    // so that the title never names a file that does not hold the settings.
    if (!common::saveParameters(name, s.parameters, s.SigGenSettings)) return false;
    s.configuration.LastParameterFilename = name;
    common::markSaved(s);
    common::redrawAppTitle(s, h);
    return true;
}

// File/Save: to the current file, or under a name the user picks when there
// is none; true when the file was written.
bool saveToCurrentFile(AppState& s, Handles& h) {
    const std::string current = s.configuration.LastParameterFilename.value_or("");
    if (current.empty()) return saveWithNewName(s, h);
    if (!common::saveParameters(current, s.parameters, s.SigGenSettings)) return false;
    common::markSaved(s);
    return true;
}

void menuFileSave_Callback(AppState& s, QObject*, Handles* hp) {
    saveToCurrentFile(s, need(hp, "menuFileSave_Callback"));
}

void menuFileSaveAs_Callback(AppState& s, QObject*, Handles* hp) {
    saveWithNewName(s, need(hp, "menuFileSaveAs_Callback"));
}

void menuFileExit_Callback(AppState& s, QObject*, Handles* hp) {
    Handles& h = need(hp, "menuFileExit_Callback");
    if (common::offerToSave(s, h)) common::AppShutDown(s, h);
}

// The connection dialog for one of the two configurations.
void connectionDialog(AppState& s, Handles& h, IoConfig& config,
                      const std::optional<std::string>& windowName) {
    try {
        const SigGenAnswer answer = siggen::openConnectionDialog(&mainOf(h), toArray(config),
                                                                 s.appInfo.Platform, windowName);
        if (answer.response == "OK") {
            IoConfig changed;
            fromArray(answer.retConfig, changed);
            config = changed;
        }
    } catch (const std::exception& e) {
        // Nothing changes; the text is still worth a line on the console.
        platform::printToConsole(std::string(kModule) + "/connection dialog: " + e.what());
    }
}

void menuConfigSigGenIO_Callback(AppState& s, QObject*, Handles* hp) {
    connectionDialog(s, need(hp, "menuConfigSigGenIO_Callback"), s.configuration, std::nullopt);
}

// The impairments are part of the parameter set: OK changes it like any
// other edit (the waveform is then stale).
void menuConfigImpairments_Callback(AppState& s, QObject*, Handles* hp) {
    Handles& h = need(hp, "menuConfigImpairments_Callback");
    const ImpairmentsAnswer answer = OneX_Rev_GUI_Impairments(&mainOf(h), s.parameters);
    if (answer.answer == "OK") s.parameters = answer.parameters;
}

void menuConfigSpecAnIO_Callback(AppState& s, QObject*, Handles* hp) {
    connectionDialog(s, need(hp, "menuConfigSpecAnIO_Callback"), s.configurationSA,
                     std::string("Spectrum Analyzer IO Connection"));
}

void checkBBGOption(Handles& h, bool option1) {
    platform::setChecked(h.at("menuConfigBBG1Opt1"), option1);
    platform::setChecked(h.at("menuConfigBBG1Opt2"), !option1);
}

void menuConfigBBG1Opt1_Callback(AppState& s, QObject*, Handles* hp) {
    Handles& h = need(hp, "menuConfigBBG1Opt1_Callback");
    if (s.parameters.ProjectedLength > kOption001Samples) {
        const std::string answer = dialogs().questionBox(
            "The waveform based on the current settings \nis too large to for Option 001. "
            "Changing to\nOption 001 will reset all settings to the defaults.\nDo you wish to "
            "change anyway ?",
            "Waveform too large", {"Yes", "Cancel"}, "Cancel");
        if (answer == "Cancel") return;
        common::callApplication(s, "InitializeParameters", &h);
        common::callApplication(s, "redraw", &h);
    }
    s.configuration.BBGtype = "001";
    checkBBGOption(h, true);
}

void menuConfigBBG1Opt2_Callback(AppState& s, QObject*, Handles* hp) {
    Handles& h = need(hp, "menuConfigBBG1Opt2_Callback");
    s.configuration.BBGtype = "002";
    checkBBGOption(h, false);
}

void menuSpecialSaveWave_Callback(AppState& s, QObject*, Handles* hp) {
    Handles& h = need(hp, "menuSpecialSaveWave_Callback");
    if (common::checkWaveformReady(s, h, "Save") == 0) return;
    const auto file = dialogs().saveFile("*.txt", "Select File to Write");
    if (!file) return;
    QWidget& main = mainOf(h);
    const std::string pointer = platform::getPointer(main);
    platform::setPointer(main, "watch");
    const FileResult result = saveWaveMat(*file, s.frame.waveform, s.waveformSampleRate);
    if (!result.ok) dialogs().errorBox(result.message, result.title, true);
    platform::setPointer(main, pointer);
}

// --- plots ---

using PlotOpener = std::function<QWidget*(QWidget& main, const std::string& title,
                                          const std::vector<std::complex<double>>& wave)>;

// A plot command: the waveform check, the title with the time of plotting,
// the waveform as the 14-bit DAC plays it, and the new window among the
// client windows that exit closes.
std::string plotTitle(const AppState& s) {
    return s.appInfo.Name + " (" + common::plotTimeStamp(platform::services().clock->dateVector()) +
           ")";
}

// The parameter set the waveform was calculated from: after "Yes" to the
// stale-waveform question the current set is not that one.
const Parameters& calculatedFrom(const AppState& s) {
    return s.appInfo.LastCaluclatedParameterSet ? *s.appInfo.LastCaluclatedParameterSet
                                                : s.parameters;
}

void plotCommand(AppState& s, Handles& h, const PlotOpener& open) {
    if (common::checkWaveformReady(s, h, "Plot") == 0) return;
    const std::string title = plotTitle(s);
    const auto wave = applyDacRes(s.frame.waveform, 14);
    if (QWidget* fig = open(mainOf(h), title, wave)) s.appInfo.ClientWindows.emplace_back(fig);
}

void menuPlotSpectrum_Callback(AppState& s, QObject*, Handles* hp) {
    plotCommand(s, need(hp, "menuPlotSpectrum_Callback"), [&](QWidget& main, auto& title, auto& w) {
        return displays::QV_PlotSpectrum(&main, title, s.waveformSampleRate, w);
    });
}

void menuPlotWaterfall_Callback(AppState& s, QObject*, Handles* hp) {
    plotCommand(s, need(hp, "menuPlotWaterfall_Callback"),
                [&](QWidget& main, auto& title, auto& w) {
                    const double rate = s.waveformSampleRate;
                    const double slice = static_cast<double>(w.size()) / rate / 200;
                    return displays::QV_PlotWaterfall(&main, title, rate, slice, w);
                });
}

void menuPlotIQTime_Callback(AppState& s, QObject*, Handles* hp) {
    plotCommand(s, need(hp, "menuPlotIQTime_Callback"), [&](QWidget& main, auto& title, auto& w) {
        return displays::QV_PlotIQTime(&main, title, s.waveformSampleRate, 0, w);
    });
}

void menuPlotIQTimeSameAxes_Callback(AppState& s, QObject*, Handles* hp) {
    plotCommand(s, need(hp, "menuPlotIQTimeSameAxes_Callback"),
                [&](QWidget& main, auto& title, auto& w) {
                    return displays::QV_PlotIQTime(&main, title, s.waveformSampleRate, 1, w);
                });
}

void menuPlotCCDF_Callback(AppState& s, QObject*, Handles* hp) {
    plotCommand(s, need(hp, "menuPlotCCDF_Callback"), [&](QWidget& main, auto& title, auto& w) {
        return displays::QV_PlotCCDF(&main, title, w);
    });
}

// The eye and scatter dialogs: two answers as numbers, or nothing when
// cancelled.
std::optional<std::array<double, 2>> askTwoNumbers(const std::string& first,
                                                   const std::string& title) {
    const auto answers =
        dialogs().inputBox({first, "Enter symbol delay (0-1):"}, title, 1, {"1", "0"});
    if (!answers || answers->size() < 2) return std::nullopt;
    return std::array<double, 2>{platform::str2num((*answers)[0]),
                                 platform::str2num((*answers)[1])};
}

// Runs `open` with the main window's pointer at "watch", restoring it after.
QWidget* withWatchPointer(QWidget& main, const std::function<QWidget*()>& open) {
    const std::string pointer = platform::getPointer(main);
    platform::setPointer(main, "watch");
    QWidget* fig = nullptr;
    try {
        fig = open();
    } catch (...) {
        platform::setPointer(main, pointer);
        throw;
    }
    platform::setPointer(main, pointer);
    return fig;
}

// Measurements of the waveform as calculated (not the 14-bit one the plots
// show), against the parameter set and at the clock it was calculated with.
void menuPlotMeasurements_Callback(AppState& s, QObject*, Handles* hp) {
    Handles& h = need(hp, "menuPlotMeasurements_Callback");
    if (common::checkWaveformReady(s, h, "Plot") == 0) return;
    const std::string title = plotTitle(s);
    QWidget& main = mainOf(h);
    QWidget* fig = withWatchPointer(main, [&]() -> QWidget* {
        try {
            return displays::QV_ShowMeasurements(
                &main, title,
                analysis::measureFrame(s.frame.waveform, s.waveformSampleRate, calculatedFrom(s)));
        } catch (const Error& e) {
            displays::reportPlotError("Measurements", e.what(), dialogs());
            return nullptr;
        }
    });
    if (fig) s.appInfo.ClientWindows.emplace_back(fig);
}

void menuPlotEyeDiagram_Callback(AppState& s, QObject*, Handles* hp) {
    plotCommand(s, need(hp, "menuPlotEyeDiagram_Callback"),
                [&](QWidget& main, auto& title, auto& w) -> QWidget* {
                    const auto answers =
                        askTwoNumbers("Enter number of symbols:", "Eye Diagram Configuration");
                    if (!answers) return nullptr;
                    const double os = calculatedFrom(s).OverSampling;
                    const analysis::EyeSettings e = analysis::eyeSettingsFromAnswers(
                        (*answers)[0], (*answers)[1], os, w.size());
                    return withWatchPointer(main, [&] {
                        return displays::QV_PlotEyeDiagram(&main, title, w, e.samplesPerTrace,
                                                           e.samplesPerTrace / s.waveformSampleRate,
                                                           e.delaySamples, dialogs());
                    });
                });
}

void menuPlotScatterDiagram_Callback(AppState& s, QObject*, Handles* hp) {
    plotCommand(s, need(hp, "menuPlotScatterDiagram_Callback"),
                [&](QWidget& main, auto& title, auto& w) -> QWidget* {
                    const auto answers =
                        askTwoNumbers("Trace On (0|1):", "Scatter Diagram Configuration");
                    if (!answers) return nullptr;
                    const double os = calculatedFrom(s).OverSampling;
                    const double trace = analysis::traceFlagFromAnswer((*answers)[0]);
                    const double delay = analysis::delayInSamples((*answers)[1], os);
                    return withWatchPointer(main, [&] {
                        return displays::QV_PlotScatterDiagram(&main, title, w, os, delay, trace,
                                                               dialogs());
                    });
                });
}

// --- capture analysis ---

constexpr const char* kCaptureFilter =
    "Captures (*.sigmf-meta *.sigmf-data *.mat *.csv *.cf32 *.ci16 *.ci8 *.cu8 *.raw *.bin)";
constexpr const char* kCaptureErrorTitle = "Error Analyzing Capture";

// What the file does not say: the sample rate of raw and CSV files, and the
// sample format of raw ones. Nothing when cancelled or refused (after an
// error box).
bool askCaptureFormat(CaptureFileKind kind, CaptureReadOptions& read) {
    const bool raw = kind == CaptureFileKind::Raw;
    if (!raw && kind != CaptureFileKind::Csv) return true;
    std::vector<std::string> prompts = {"Sample rate of the capture (Hz):"};
    std::vector<std::string> defaults = {""};
    if (raw) {
        prompts.emplace_back("Sample format (cf32, ci16, ci8 or cu8):");
        defaults.emplace_back("ci16");
    }
    const auto answers = dialogs().inputBox(prompts, "Capture Format", 1, defaults);
    if (!answers || answers->size() != prompts.size()) return false;
    const double rate = platform::str2num((*answers)[0]);
    if (!std::isfinite(rate) || rate <= 0) {
        dialogs().errorBox("The sample rate \"" + (*answers)[0] + "\" is not a number of Hz.",
                           kCaptureErrorTitle, true);
        return false;
    }
    read.sampleRate = rate;
    if (raw) {
        read.format = captureFormatNamed(onex::platform::toLower((*answers)[1]));
        if (!read.format) {
            dialogs().errorBox(
                "The sample format \"" + (*answers)[1] + "\" is none of cf32, ci16, ci8 and cu8.",
                kCaptureErrorTitle, true);
            return false;
        }
    }
    return true;
}

struct CaptureOutcome {
    analysis::CaptureAnalysis analysis;
    std::string description;
};

// File / Analyze capture: a recording of the current parameter set's frame,
// played at SigGen.SamplingRate, against that frame (the analysis makes it:
// no calculated waveform is needed).
void menuFileAnalyzeCapture_Callback(AppState& s, QObject*, Handles* hp) {
    Handles& h = need(hp, "menuFileAnalyzeCapture_Callback");
    const auto file = dialogs().openFile(kCaptureFilter, "Select Capture to Analyze");
    if (!file) return;
    CaptureReadOptions read;
    if (!askCaptureFormat(captureFileKind(*file), read)) return;
    const analysis::CaptureReference reference{s.parameters, s.SigGenSettings.SamplingRate};
    analysis::CaptureAnalysisOptions options;
    options.keepChips = true;
    read.samplesWanted = [&](double rate) {
        return analysis::captureSamplesWanted(rate, reference, options.maxFrames);
    };
    const std::string title = plotTitle(s);
    QWidget& main = mainOf(h);
    platform::Cancellation cancel;
    std::optional<CaptureOutcome> done;
    try {
        done = runWithWatch<std::optional<CaptureOutcome>>(
            main, "Analyzing the capture ...", cancel,
            [&](std::stop_token stop) -> std::optional<CaptureOutcome> {
                const CaptureData data = readCaptureFile(*file, read);
                // The analysis takes no stop: a Cancel during the reading
                // skips it.
                if (stop.stop_requested()) return std::nullopt;
                CaptureOutcome out{
                    analysis::analyzeCapture(data.samples, data.sampleRate, reference, options),
                    data.description};
                // The file's own count, when only its start was read.
                out.analysis.captureSamples = data.fileSamples;
                return out;
            });
    } catch (const Error& e) {
        dialogs().errorBox(e.what(), kCaptureErrorTitle, true);
        return;
    }
    if (!done || cancel.source.stop_requested()) return;
    const std::string heading =
        fmt::format("{:<28}{}\n{:<28}{}\n", "File", *file, "Read", done->description);
    if (QWidget* fig = displays::QV_ShowCaptureAnalysis(&main, title, done->analysis, heading))
        s.appInfo.ClientWindows.emplace_back(fig);
}

void menuHelpHelp_Callback(AppState&, QObject*, Handles*) {
    dialogs().messageBox("HTML help is not available in this version.", "Option unavailable", true);
}

void menuHelpAbout_Callback(AppState& s, QObject*, Handles* hp) {
    QV_About(&mainOf(need(hp, "menuHelpAbout_Callback")), &s.appInfo);
}

const std::map<std::string, Routine>& routines() {
    static const std::map<std::string, Routine> table = {
        {"InitializeFigure",
         [](AppState& s, QObject*, Handles* h) {
             common::InitializeFigure(s, need(h, "InitializeFigure"));
         }},
        {"redrawAppTitle",
         [](AppState& s, QObject*, Handles* h) {
             common::redrawAppTitle(s, need(h, "redrawAppTitle"));
         }},
        {"executeCalculation",
         [](AppState& s, QObject*, Handles* h) {
             common::executeCalculation(s, need(h, "executeCalculation"));
         }},
        {"AppShutDown",
         [](AppState& s, QObject*, Handles* h) { common::AppShutDown(s, need(h, "AppShutDown")); }},
        {"pbCalculate_Callback", pbCalculate_Callback},
        {"pbDownload_Callback", pbDownload_Callback},
        {"pbRefresh_Callback", pbRefresh_Callback},
        {"menuFileNew_Callback", menuFileNew_Callback},
        {"menuFileOpen_Callback", menuFileOpen_Callback},
        {"menuFileSave_Callback", menuFileSave_Callback},
        {"menuFileSaveAs_Callback", menuFileSaveAs_Callback},
        {"menuFileAnalyzeCapture_Callback", menuFileAnalyzeCapture_Callback},
        {"menuFileExit_Callback", menuFileExit_Callback},
        {"menuConfigSigGenIO_Callback", menuConfigSigGenIO_Callback},
        {"menuConfigSpecAnIO_Callback", menuConfigSpecAnIO_Callback},
        {"menuConfigImpairments_Callback", menuConfigImpairments_Callback},
        {"menuConfigBBG1Opt1_Callback", menuConfigBBG1Opt1_Callback},
        {"menuConfigBBG1Opt2_Callback", menuConfigBBG1Opt2_Callback},
        {"menuSpecialSaveWave_Callback", menuSpecialSaveWave_Callback},
        {"menuPlotSpectrum_Callback", menuPlotSpectrum_Callback},
        {"menuPlotWaterfall_Callback", menuPlotWaterfall_Callback},
        {"menuPlotIQTime_Callback", menuPlotIQTime_Callback},
        {"menuPlotIQTimeSameAxes_Callback", menuPlotIQTimeSameAxes_Callback},
        {"menuPlotEyeDiagram_Callback", menuPlotEyeDiagram_Callback},
        {"menuPlotScatterDiagram_Callback", menuPlotScatterDiagram_Callback},
        {"menuPlotCCDF_Callback", menuPlotCCDF_Callback},
        {"menuPlotMeasurements_Callback", menuPlotMeasurements_Callback},
        {"menuHelpHelp_Callback", menuHelpHelp_Callback},
        {"menuHelpAbout_Callback", menuHelpAbout_Callback},
    };
    return table;
}

std::string eventTip(int n) {
    return "Description of the signal available on\nthe Event " + std::to_string(n) +
           " Connector of the rear panel.";
}

}  // namespace

void rfCommonUI(AppState& state, const std::string& name, QObject* gcbo, Handles* handles) {
    platform::guarded(kModule, name, [&] { common::run(state, name, gcbo, handles); });
}

namespace common {

void run(AppState& state, const std::string& name, QObject* gcbo, Handles* handles) {
    platform::runRoutine(kModule, routines(), name, state, gcbo, handles);
}

std::vector<std::string> routineNames() {
    return platform::routineNames(routines());
}

MenuHeaders QV_AddMenu(const AppState& state, QMainWindow& hFigure) {
    QMenuBar& bar = *hFigure.menuBar();
    MenuHeaders m;

    m.File = addMenu(bar, "&File", "menuFile");
    addItem(*m.File, {"&New", "menuFileNew", "menuFileNew_Callback"})
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
    addItem(*m.File, {"&Open...", "menuFileOpen", "menuFileOpen_Callback"})
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    addItem(*m.File, {"&Save", "menuFileSave", "menuFileSave_Callback"})
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    addItem(*m.File, {"Save &As...", "menuFileSaveAs", "menuFileSaveAs_Callback"});
    addItem(*m.File, {"Analyze &capture...", "menuFileAnalyzeCapture",
                      "menuFileAnalyzeCapture_Callback", true});
    addItem(*m.File, {"E&xit", "menuFileExit", "menuFileExit_Callback", true});

    m.Plot = addMenu(bar, "&Plot", "menuPlot");
    addItem(*m.Plot, {"&Spectrum", "menuPlotSpectrum", "menuPlotSpectrum_Callback"});
    addItem(*m.Plot,
            {"&Waterfall", "menuPlotWaterfall", "menuPlotWaterfall_Callback", false, true});
    addItem(*m.Plot, {"I(t) Q(t)", "menuPlotIQTime", "menuPlotIQTime_Callback", true});
    addItem(*m.Plot,
            {"I(t) Q(t) Overlayed", "menuPlotIQTimeSameAxes", "menuPlotIQTimeSameAxes_Callback"});
    addItem(*m.Plot,
            {"&Eye Diagram", "menuPlotEyeDiagram", "menuPlotEyeDiagram_Callback", false, true});
    addItem(*m.Plot, {"S&catter Diagram", "menuPlotScatterDiagram",
                      "menuPlotScatterDiagram_Callback", false, true});
    addItem(*m.Plot, {"&CCDF", "menuPlotCCDF", "menuPlotCCDF_Callback", true});
    addItem(*m.Plot, {"Measurements...", "menuPlotMeasurements", "menuPlotMeasurements_Callback"});

    m.Config = addMenu(bar, "&Configuration", "menuConfig");
    addItem(*m.Config, {"&Sig Gen I/O", "menuConfigSigGenIO", "menuConfigSigGenIO_Callback"});
    addItem(*m.Config,
            {"&Impairments...", "menuConfigImpairments", "menuConfigImpairments_Callback"});
    addItem(*m.Config,
            {"Spec &An I/O", "menuConfigSpecAnIO", "menuConfigSpecAnIO_Callback", false, true});
    if (state.appInfo.Platform == "c") {
        m.Config->addSeparator();
        auto* bbg = new QMenu("&Baseband Generator", m.Config);
        bbg->setObjectName("menuConfigBBG1");
        m.Config->addMenu(bbg);
        addItem(*bbg,
                {"Option 00&1 (8 Msamples)", "menuConfigBBG1Opt1", "menuConfigBBG1Opt1_Callback"})
            ->setCheckable(true);
        addItem(*bbg,
                {"Option 00&2 (32 Msamples)", "menuConfigBBG1Opt2", "menuConfigBBG1Opt2_Callback"})
            ->setCheckable(true);
    }

    m.Special = addMenu(bar, "&Special", "menuSpecial", true);
    addItem(*m.Special, {"Save &Wave...", "menuSpecialSaveWave", "menuSpecialSaveWave_Callback"});
    addItem(*m.Special, {"&Impairments", "menuSpecialImpairments", "menuSpecialSaveWave_Callback",
                         false, true, true});

    m.Help = addMenu(bar, "&Help", "menuHelp");
    addItem(*m.Help, {"&Help", "menuHelpHelp", "menuHelpHelp_Callback"});
    addItem(*m.Help, {"&About", "menuHelpAbout", "menuHelpAbout_Callback"});
    return m;
}

void InitializeFigure(AppState& s, Handles& h) {
    if (std::optional<IoConfig> stored = loadConfig()) s.configuration = *stored;

    platform::setTooltip(h.at("pbCalculate"),
                         "Calculates the waveform based\non current settings.");
    platform::setTooltip(h.at("pbDownload"),
                         "Downloads the current waveform and\nsettings to the TARN.");
    platform::setTooltip(h.at("pbRefresh"), "Downloads just the current settings\nto the TARN.");
    platform::setTooltip(h.at("txtEvent1"), eventTip(1));
    platform::setTooltip(h.at("txtEvent2"), eventTip(2));
    if (s.appInfo.Platform == "c") {
        platform::setTooltip(h.at("txtNumberOfSamples"),
                             "The number of samples generated \nby the current settings.\n(The "
                             "K2218C can hold up to 8 or 32 M samples.)");
        platform::setTooltip(h.at("txtEvent3"), eventTip(3));
        platform::setTooltip(h.at("txtEvent4"), eventTip(4));
        checkBBGOption(h, s.configuration.BBGtype.value_or("") == "001");
    } else {
        platform::setTooltip(h.at("txtNumberOfSamples"),
                             "The number of samples generated \nby the current settings.\n(An "
                             "TARN can hold up to 1 M samples.)");
    }
}

void redrawAppTitle(AppState& s, Handles& h) {
    std::string title = kTitlePrefix + s.appInfo.Name;
    const std::string file = s.configuration.LastParameterFilename.value_or("");
    if (!file.empty()) title += " : " + file;
    platform::setName(mainOf(h), title);
}

void callApplication(AppState& s, const std::string& routine, Handles* handles) {
    // Unguarded: a failure reaches the caller (a failed calculation must not
    // be recorded as done).
    platform::services().router.callDirect(s.appInfo.ApplicationFunction, routine, nullptr,
                                           handles);
}

void executeCalculation(AppState& s, Handles& h) {
    QWidget& window = mainOf(h);
    const std::string pointer = platform::getPointer(window);
    platform::setPointer(window, "watch");
    platform::Clock& clock = *platform::services().clock;
    const double started = clock.seconds();
    try {
        callApplication(s, "Calculate", &h);
    } catch (const std::exception& e) {
        platform::setPointer(window, pointer);
        dialogs().errorBox(e.what(), kCalculationErrorTitle, true);
        throw;
    }
    const double milliseconds = (clock.seconds() - started) * 1000;
    s.appInfo.LastCalcTimeStamp = clock.dateVector();
    s.appInfo.LastCaluclatedParameterSet = s.parameters;
    platform::setPointer(window, pointer);
    const double rate = s.waveformSampleRate;
    std::string status =
        describeFrame(summarizeFrame(s.frame.waveform), rate, s.parameters, milliseconds);
    const ImpairmentPlan plan = planImpairments(s.parameters, rate, s.frame.waveform.size());
    if (plan.asked()) status += "; impairments: " + describeImpairments(plan);
    platform::showStatus(window, status);
}

namespace {
// Frequency error and noise are made for the sample clock of the
// calculation: with either asked, a new clock makes the waveform stale too.
bool clockChangedUnderImpairments(const AppState& s) {
    if (s.SigGenSettings.SamplingRate == s.waveformSampleRate) return false;
    try {
        const ImpairmentPlan plan = planImpairments(s.parameters, s.SigGenSettings.SamplingRate, 1);
        return plan.freqAsked || plan.noise;
    } catch (const std::exception&) {
        return true;  // a setting the calculation would refuse: not what was calculated
    }
}
}  // namespace

int checkWaveformReady(AppState& s, Handles& h, const std::string& actionString) {
    int status = 0;
    const std::string action = onex::platform::toLower(actionString);
    if (!s.appInfo.LastCalcTimeStamp) {
        const std::string calculate = "Calculate & " + actionString;
        const std::string answer = dialogs().questionBox(
            "The waveform has not yet been calculated. Do you wish to calculate\nthe waveform "
            "and then " +
                action + " ?",
            "Waveform Not Calculated", {calculate, "Cancel"}, calculate);
        if (answer != "Cancel") {
            executeCalculation(s, h);
            status = 1;
        }
    } else if (!s.appInfo.LastCaluclatedParameterSet ||
               !compareStruct(s.parameters, *s.appInfo.LastCaluclatedParameterSet) ||
               clockChangedUnderImpairments(s)) {
        const std::string recalc = "Recalc & " + actionString;
        const std::string answer = dialogs().questionBox(
            "Settings have changed since last calculating the waveform.\n" + actionString +
                " will use the last calculated waveform.\nDo you wish to " + action + " anyway ?",
            "Waveform Not Recalculated", {"Yes", recalc, "Cancel"}, recalc);
        if (answer != "Cancel") {
            if (answer == recalc) executeCalculation(s, h);
            status = 1;
        }
    } else {
        status = 1;
    }
    return status;
}

void AppShutDown(AppState& s, Handles& h) {
    auto& clients = s.appInfo.ClientWindows;
    while (!clients.empty()) {
        if (QWidget* w = clients.front().data()) delete w;
        clients.erase(clients.begin());
    }
    common::saveConfig(s.configuration);
    // Deleted once this callback has returned: its menu item lives in the
    // window.
    QWidget& main = mainOf(h);
    main.hide();
    main.deleteLater();
}

void markSaved(AppState& s) {
    s.lastSaved = SavedSettings{s.parameters, s.SigGenSettings};
}

bool editedSinceSaved(const AppState& s) {
    if (!s.lastSaved) return false;
    // As the stale-waveform check compares: a NaN kept is no edit.
    return !compareStruct(s.parameters, s.lastSaved->parameters) ||
           !compareStruct(toArray(s.SigGenSettings), toArray(s.lastSaved->sigGen));
}

bool offerToSave(AppState& s, Handles& h) {
    if (!editedSinceSaved(s)) return true;
    const std::string file = s.configuration.LastParameterFilename.value_or("");
    const std::string name =
        file.empty() ? "Untitled" : std::filesystem::path(file).filename().string();
    const std::string answer = dialogs().questionBox(
        "Save changes to " + name + "?", s.appInfo.Name, {"Save", "Discard", "Cancel"}, "Save");
    if (answer == "Discard") return true;
    return answer == "Save" && saveToCurrentFile(s, h);
}

std::string addFileExtention(const std::string& name, const std::string& ext) {
    return onex::addFileExtention(name, ext);
}

bool saveParameters(const std::string& filename, const Parameters& fileParameters,
                    const onex::SigGenSettings& sigGenParameters) {
    const FileResult result = onex::saveParameters(filename, fileParameters, sigGenParameters);
    if (!result.ok) {
        if (!result.detail.empty()) platform::printToConsole(result.detail);
        dialogs().errorBox(result.message, result.title, true);
    }
    return result.ok;
}

int loadParameters(AppState& s, const std::string& filename, Handles& h) {
    const FileResult result = onex::loadParameters(filename, s.parameters, s.SigGenSettings);
    if (!result.ok) {
        if (!result.detail.empty()) platform::printToConsole(filename + ": " + result.detail);
        dialogs().errorBox(result.message, result.title, true);
        return 0;
    }
    callApplication(s, "redraw", &h);
    markSaved(s);
    return 1;
}

void saveConfig(const IoConfig& fileParameters) {
    (void)onex::saveConfig(fileParameters);
}

std::optional<IoConfig> loadConfig(const std::filesystem::path& file) {
    return onex::loadConfig(file);
}

std::string plotTimeStamp(const std::array<double, 6>& d) {
    static const char* months[] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                   "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
    const int month = static_cast<int>(d[1]);
    const char* monthText = month >= 1 && month <= 12 ? months[month - 1] : "???";
    char text[64];
    std::snprintf(text, sizeof text, "%02d%s%d %d:%02d:%02d", static_cast<int>(d[2]), monthText,
                  static_cast<int>(d[0]), static_cast<int>(d[3]), static_cast<int>(d[4]),
                  static_cast<int>(std::floor(d[5])));
    return text;
}

}  // namespace common
}  // namespace onex::ui
