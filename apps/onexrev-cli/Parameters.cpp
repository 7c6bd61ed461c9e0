#include <fmt/format.h>

#include "Cli.h"
#include "Instrument/ParameterFiles.h"
#include "OneX/AirInterface.h"
#include "OneX/DataSources.h"
#include "OneX/ParameterFields.h"

namespace onex::cli {

namespace {
constexpr std::string_view kSigGenPrefix = "SigGen.";
}  // namespace

void ParameterOptions::addTo(CLI::App& app, bool withUserFile) {
    app.add_option("--params", paramsFile,
                   "parameter file to start from instead of the defaults (its settings too)");
    app.add_option("--set", sets,
                   "FIELD=VALUE override of a parameter-set field (repeatable); FIELD as in "
                   "parameter files (DRCactive, OverSampling, slot.DRCslotValue, ...), or "
                   "SigGen.FIELD for the signal-generator settings (SigGen.Frequency, "
                   "SigGen.Amplitude, SigGen.Title, ...)")
        ->allow_extra_args(false);
    if (withUserFile)
        app.add_option("--userfile", userFile,
                       fmt::format("file whose bits become dataSourceBitstream (least "
                                   "significant bit first, at most {} bits); use with --set "
                                   "DATASourceType=7",
                                   kDataFrameSymbols));
}

Setup buildSetup(const ParameterOptions& options) {
    Setup setup{InitializeParameters(), {}};
    setup.settings = InitializeSigGenSettings(setup.parameters.OverSampling);
    if (!options.paramsFile.empty()) {
        FileResult r = loadParameters(options.paramsFile, setup.parameters, setup.settings);
        if (!r.ok) throw Error(fmt::format("--params: {}", failureText(r)));
    }
    for (const std::string& s : options.sets) {
        auto eq = s.find('=');
        if (eq == std::string::npos)
            throw UsageError{fmt::format("--set {}: expected FIELD=VALUE", s)};
        std::string name = s.substr(0, eq);
        const std::string_view value = std::string_view(s).substr(eq + 1);
        if (name.rfind(kSigGenPrefix, 0) == 0) {
            const SigGenField* field = findSigGenField(name.substr(kSigGenPrefix.size()));
            if (!field) throw UsageError{fmt::format("--set: unknown field \"{}\"", name)};
            if (auto err = setSigGenField(setup.settings, *field, value)) throw UsageError{*err};
            continue;
        }
        const ParameterField* field = findParameterField(name);
        if (!field) throw UsageError{fmt::format("--set: unknown field \"{}\"", name)};
        if (auto err = setParameterField(setup.parameters, *field, value)) throw UsageError{*err};
        // The oversampling field of the main window sets the sample clock too.
        if (name == "OverSampling")
            setup.settings.SamplingRate = chipSamplingRate(setup.parameters.OverSampling);
    }
    if (!options.userFile.empty()) {
        UserDataFile file = LoadUserDataFile(options.userFile, kDataFrameSymbols);
        if (file.status <= 0)
            throw Error(fmt::format("--userfile: Unable to read file '{}': {}.", options.userFile,
                                    file.reason));
        setup.parameters.dataSourceBitstream = std::move(file.bits);
    }
    return setup;
}

}  // namespace onex::cli
