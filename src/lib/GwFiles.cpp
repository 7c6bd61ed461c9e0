// Gateways of the file routines: user data files, the Halberd waveform file,
// parameter files and the I/O configuration file.
//
// The library has no windows: where the application shows an error dialog,
// the library prints its title and text on stderr and returns the routine's
// own failure value.

#include <fmt/format.h>

#include <cstdio>

#include "Instrument/ConfigFile.h"
#include "Instrument/ParameterFiles.h"
#include "Instrument/SigGenSettingsArray.h"
#include "Instrument/WaveformFiles.h"
#include "MexIO/IoConfigArray.h"
#include "OneX/DataSources.h"
#include "OneX/ParametersArray.h"
#include "lib/Gateways.h"
#include "lib/Instrument.h"
#include "platform/Error.h"

namespace onex::lib::gw {

namespace {

using Outputs = std::vector<Array>;

void showErrorBox(const std::string& title, const std::string& message) {
    std::fprintf(stderr, "%s: %s\n", title.c_str(), message.c_str());
}

std::string fileResultText(const FileResult& r) {
    std::string text = r.title.empty() ? r.message : r.title + ": " + r.message;
    if (!r.detail.empty()) text += "\n  " + r.detail;
    return text;
}

}  // namespace

Outputs LoadUserDataFile(const Args& a) {
    // The file-open dialog of the application is replaced by the third input.
    if (!a.has(2))
        a.fail(
            "the library has no file-open dialog; give the file name as the third input "
            "(fileName).");
    const double maxLengthInBits = a.optNumber(0).value_or(0);
    const std::string bitorder = a.has(1) ? a.text(1) : std::string("right-msb");
    const std::string fileName = a.text(2);
    UserDataFile f = onex::LoadUserDataFile(fileName, maxLengthInBits, bitorder);
    if (f.status <= 0) {
        showErrorBox("File Error", f.message);
        return {numberOf(f.status), Array()};
    }
    return {numberOf(f.status), rowOf(f.bits)};
}

Outputs saveHalberdWaveform(const Args& a) {
    std::vector<Array> args;
    for (std::size_t k = 0; k < a.count(); ++k)
        args.push_back(a.at(k));
    return {numberOf(onex::saveHalberdWaveform(args))};
}

Outputs addFileExtention(const Args& a) {
    return {textOf(onex::addFileExtention(a.text(0), a.text(1)))};
}

Outputs saveParameters(const Args& a) {
    const std::string filename = a.text(0);
    const Array& fileParameters = a.structure(1);
    const Array& sigGenParameters = a.structure(2);
    Parameters p;
    try {
        fromArray(fileParameters, p);
    } catch (const Error& e) {
        a.fail(fmt::format("{}: {}", a.label(1), e.what()));
    }
    SigGenSettings s;
    try {
        fromArray(sigGenParameters, s);
    } catch (const Error& e) {
        a.fail(fmt::format("{}: {}", a.label(2), e.what()));
    }
    FileResult r = onex::saveParameters(filename, p, s);
    // Without a window to show it in, a failed save is the call's error.
    if (!r.ok) throw Error(fileResultText(r));
    return {};
}

Outputs loadParameters(const Args& a) {
    // handles (input 2) would be the main window's; there is none to redraw.
    const std::string filename = a.text(0);
    Parameters p = InitializeParameters();
    SigGenSettings s = InitializeSigGenSettings(p.OverSampling);
    FileResult r = onex::loadParameters(filename, p, s);
    if (!r.ok) {
        showErrorBox(r.title, r.detail.empty() ? r.message : r.message + "\n  " + r.detail);
        return {numberOf(0), Array(), Array()};
    }
    return {numberOf(1), toArray(p), toArray(s)};
}

Outputs saveConfig(const Args& a) {
    const IoConfig c = ioConfigArg(a, 0);
    // The application ignores this failure on exit; a host is told.
    if (!onex::saveConfig(c))
        a.fail(fmt::format("could not write the configuration file \"{}\".", kConfigFileName));
    return {};
}

Outputs loadConfig(const Args&) {
    std::optional<IoConfig> c = onex::loadConfig();
    if (!c) return {Array()};
    return {toArray(*c)};
}

}  // namespace onex::lib::gw
