#include <fmt/format.h>

#include "Cli.h"
#include "OneX/DataSources.h"
#include "OneX/ParameterFields.h"

namespace onex::cli {

void ParameterOptions::addTo(CLI::App& app, bool withUserFile) {
    app.add_option("--set", sets,
                   "FIELD=VALUE override of a parameter-set field (repeatable); FIELD as in "
                   "parameter files (DRCactive, OverSampling, slot.DRCslotValue, ...)")
        ->allow_extra_args(false);
    if (withUserFile)
        app.add_option("--userfile", userFile,
                       "file whose bits become dataSourceBitstream (least significant bit "
                       "first, at most 8192 bits); use with --set DATASourceType=7");
}

Parameters buildParameters(const ParameterOptions& options) {
    Parameters p = InitializeParameters();
    for (const std::string& s : options.sets) {
        auto eq = s.find('=');
        if (eq == std::string::npos)
            throw UsageError{fmt::format("--set {}: expected FIELD=VALUE", s)};
        std::string name = s.substr(0, eq);
        const ParameterField* field = findParameterField(name);
        if (!field) throw UsageError{fmt::format("--set: unknown field \"{}\"", name)};
        if (auto err = setParameterField(p, *field, std::string_view(s).substr(eq + 1)))
            throw UsageError{*err};
    }
    if (!options.userFile.empty()) {
        UserDataFile file = LoadUserDataFile(options.userFile, 8192);
        if (file.status <= 0)
            throw UsageError{fmt::format("--userfile: could not open {}{}", options.userFile,
                                         file.message.empty() ? "" : ": " + file.message)};
        p.dataSourceBitstream = std::move(file.bits);
    }
    return p;
}

}  // namespace onex::cli
