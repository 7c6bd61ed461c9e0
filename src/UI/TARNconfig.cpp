#include "UI/TARNconfig.h"

#include <QLineEdit>
#include <cmath>
#include <functional>
#include <map>

#include "Instrument/SigGenSettings.h"
#include "UI/platform/Callbacks.h"
#include "UI/platform/Controls.h"
#include "UI/platform/Expression.h"
#include "platform/Error.h"
#include "platform/Numeric.h"

namespace onex::ui {

using platform::Handles;
namespace tc = tarnconfig;

namespace {

constexpr const char* kModule = "TARNconfig";

using Routine = ModuleRoutine;

Handles& need(Handles* h, const std::string& routine) {
    return platform::needHandles(kModule, h, routine);
}

// A frequency in hertz as the panel shows it: number and unit ("100 kHz").
std::string withUnit(Handles& h, const char* unitTag, double hertz) {
    const tc::FrequencyDisplay d = tc::frequencyDisplay(hertz);
    const auto units = platform::getItems(h.at(unitTag));
    const auto unit = static_cast<std::size_t>(d.unit);
    return unit >= 1 && unit <= units.size() ? d.text + " " + units[unit - 1] : d.text;
}

// The number in a text field times the factor of the unit selected next to
// it (position 1 Hz, 2 kHz, 3 MHz, 4 GHz), clamped; the status bar says when
// the clamp changed it. A text that is no number changes nothing: the panel
// shows the `stored` setting again and the failure says why.
double valueWithUnit(AppState& s, Handles& h, const char* textTag, const char* unitTag,
                     const char* what, double stored, double lo, double hi) {
    const std::string typed = platform::getString(h.at(textTag));
    const auto number = platform::readNumber(typed);
    if (!number) {
        tc::redrawSigGenSettings(s, h);
        throw platform::unreadableEntry(what, typed, "a number", withUnit(h, unitTag, stored));
    }
    const double position = platform::getValue(h.at(unitTag));
    const double factor = std::pow(10.0, 3 * (position - 1));
    const platform::KeptEntry kept = platform::keepEntry(
        *number * factor, {lo, hi}, what, [&](double v) { return withUnit(h, unitTag, v); });
    platform::showEntryNote(h.at(textTag), kept.note);
    return kept.value;
}

Routine redrawAfter(std::function<void(AppState&, Handles&)> store, const char* routine) {
    return [store = std::move(store), routine](AppState& s, QObject*, Handles* hp) {
        Handles& h = need(hp, routine);
        store(s, h);
        tc::redrawSigGenSettings(s, h);
    };
}

void txtAmplitude_Callback(AppState& s, QObject*, Handles* hp) {
    Handles& h = need(hp, "txtAmplitude_Callback");
    const std::string typed = platform::getString(h.at("txtAmplitude"));
    const auto number = platform::readNumber(typed);
    if (number) {
        const platform::KeptEntry entry = platform::keepEntry(
            *number, {-136, 20, "whole dB"}, "Amplitude",
            [](double v) { return onex::platform::exactNumberText(v) + " dBm"; });
        s.SigGenSettings.Amplitude = entry.value;
        platform::showEntryNote(h.at("txtAmplitude"), entry.note);
    }
    const std::string kept = onex::platform::num2str(s.SigGenSettings.Amplitude);
    platform::setString(h.at("txtAmplitude"), kept);
    if (!number) throw platform::unreadableEntry("Amplitude", typed, "a number", kept + " dBm");
}

const std::map<std::string, Routine>& routines() {
    static const std::map<std::string, Routine> table = {
        {"InitializeSigGenScreenObjects",
         [](AppState&, QObject*, Handles* h) {
             tc::InitializeSigGenScreenObjects(need(h, "InitializeSigGenScreenObjects"));
         }},
        {"redrawSigGenSettings",
         [](AppState& s, QObject*, Handles* h) {
             tc::redrawSigGenSettings(s, need(h, "redrawSigGenSettings"));
         }},
        {"updateFrequency", [](AppState& s, QObject*,
                               Handles* h) { tc::updateFrequency(s, need(h, "updateFrequency")); }},
        {"updateSamplingRate",
         [](AppState& s, QObject*, Handles* h) {
             tc::updateSamplingRate(s, need(h, "updateSamplingRate"));
         }},
        {"pdReconFilter_Callback",
         [](AppState& s, QObject*, Handles* h) {
             s.SigGenSettings.ReconFilter =
                 platform::getValue(need(h, "pdReconFilter_Callback").at("pdReconFilter"));
         }},
        {"txtAmplitude_Callback", txtAmplitude_Callback},
        {"chkRFblanking_Callback",
         [](AppState& s, QObject*, Handles* h) {
             s.SigGenSettings.RFblanking =
                 platform::getValue(need(h, "chkRFblanking_Callback").at("chkRFblanking"));
         }},
        {"tbArbRefSource_Callback", redrawAfter(
                                        [](AppState& s, Handles& h) {
                                            s.SigGenSettings.ArbRefSource =
                                                platform::getValue(h.at("tbArbRefSource"));
                                        },
                                        "tbArbRefSource_Callback")},
        {"tbMarkerPolarity_Callback", redrawAfter(
                                          [](AppState& s, Handles& h) {
                                              s.SigGenSettings.MarkerPolarity =
                                                  platform::getValue(h.at("tbMarkerPolarity"));
                                          },
                                          "tbMarkerPolarity_Callback")},
        {"txtFrequency_Callback", redrawAfter(tc::updateFrequency, "txtFrequency_Callback")},
        {"pdFrequencyUnits_Callback",
         redrawAfter(tc::updateFrequency, "pdFrequencyUnits_Callback")},
        {"txtSamplingRate_Callback",
         redrawAfter(tc::updateSamplingRate, "txtSamplingRate_Callback")},
        {"pdSamplingRateUnits_Callback",
         redrawAfter(tc::updateSamplingRate, "pdSamplingRateUnits_Callback")},
        {"txtWaveformTitle_Callback", redrawAfter(
                                          [](AppState& s, Handles& h) {
                                              s.SigGenSettings.Title = applyTitleRule(
                                                  platform::getString(h.at("txtWaveformTitle")));
                                          },
                                          "txtWaveformTitle_Callback")},
    };
    return table;
}

}  // namespace

void TARNconfig(AppState& state, const std::string& name, QObject* gcbo, Handles* handles) {
    platform::guarded(kModule, name, [&] { tc::run(state, name, gcbo, handles); });
}

namespace tarnconfig {

void run(AppState& state, const std::string& name, QObject* gcbo, Handles* handles) {
    platform::runRoutine(kModule, routines(), name, state, gcbo, handles);
}

std::vector<std::string> routineNames() {
    return platform::routineNames(routines());
}

void InitializeSigGenScreenObjects(Handles& h) {
    static const std::vector<std::pair<const char*, const char*>> tips = {
        {"txtFrequency",
         "Sets the carrier frequency.\nValid Range: 100 kHz - 4 GHz\n(Note: TARN model "
         "determines the\nmaximum frequency.)"},
        {"txtAmplitude",
         "Sets the output power.\nValid Range: -136 dBm to +20 dBm\n(Note: TARN model determines "
         "the\nmaximum amplitude.)"},
        {"txtSamplingRate",
         "Sets the baseband samping rate.\nValid Range: 1 Hz - 40 MHz\n(Configures automatically "
         "to be consistent\nwith the selected Oversampling Ratio.)"},
        {"pdReconFilter", "Selects the TARN reconstruction filter."},
        {"chkRFblanking", "Toggles the state of the\nRF Blanking feature."},
        {"tbArbRefSource",
         "Toggles the source of the ARB reference\nbetween internal and external.\n(Note: Ensure "
         "that an external reference\nis connected to the TARN before setting\nthe ARB reference "
         "source to external.)"},
        {"tbMarkerPolarity",
         "Toggles the Event marker polarity.\n(Note: The Event 2 Marker is used by\nthe internal "
         "RF Blanking feature, inverting the\npolarity while RF Blanking is active may\nlead to "
         "unexpected behaivour.)"},
        {"txtWaveformTitle", "Enter the title used to store the \nwaveform in the TARN."},
    };
    for (const auto& [tag, tip] : tips)
        platform::setTooltip(h.at(tag), tip);
    for (const char* tag : {"txtFrequency", "txtAmplitude", "txtSamplingRate"})
        platform::acceptNumbersOnly(h.get<QLineEdit>(tag));
}

FrequencyDisplay frequencyDisplay(double value) {
    using onex::platform::num2str;
    if (value < 1e3) return {1, num2str(value)};
    if (value < 1e6) return {2, num2str(value / 1e3)};
    if (value < 1e9) return {3, num2str(value / 1e6)};
    return {4, num2str(value / 1e9)};
}

void redrawSigGenFrequency(QObject& unitsControl, QObject& textControl, double value) {
    const FrequencyDisplay d = frequencyDisplay(value);
    platform::setValue(unitsControl, d.unit);
    platform::setString(textControl, d.text);
}

void redrawSigGenSettings(AppState& s, Handles& h) {
    const onex::SigGenSettings& g = s.SigGenSettings;
    redrawSigGenFrequency(h.at("pdFrequencyUnits"), h.at("txtFrequency"), g.Frequency);
    redrawSigGenFrequency(h.at("pdSamplingRateUnits"), h.at("txtSamplingRate"), g.SamplingRate);
    platform::setString(h.at("txtWaveformTitle"), g.Title);
    platform::setString(h.at("txtAmplitude"), onex::platform::num2str(g.Amplitude));
    platform::setValue(h.at("pdReconFilter"), g.ReconFilter);
    platform::setValue(h.at("chkRFblanking"), g.RFblanking);
    platform::setValue(h.at("tbArbRefSource"), g.ArbRefSource);
    platform::setString(h.at("tbArbRefSource"), g.ArbRefSource == 0 ? "Int. Ref" : "Ext. Ref");
    platform::setValue(h.at("tbMarkerPolarity"), g.MarkerPolarity);
    platform::setString(h.at("tbMarkerPolarity"), g.MarkerPolarity == 0 ? "+ Mkrs" : "- Mkrs");
}

void updateFrequency(AppState& s, Handles& h) {
    s.SigGenSettings.Frequency =
        valueWithUnit(s, h, "txtFrequency", "pdFrequencyUnits", "Frequency",
                      s.SigGenSettings.Frequency, 100000, 4000000000);
}

void updateSamplingRate(AppState& s, Handles& h) {
    s.SigGenSettings.SamplingRate =
        valueWithUnit(s, h, "txtSamplingRate", "pdSamplingRateUnits", "Sampling rate",
                      s.SigGenSettings.SamplingRate, 1, 40000000);
}

}  // namespace tarnconfig
}  // namespace onex::ui
