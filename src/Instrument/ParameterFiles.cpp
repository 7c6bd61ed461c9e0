#include "Instrument/ParameterFiles.h"

#include <fmt/format.h>

#include "Instrument/FileLimits.h"
#include "Instrument/SigGenSettingsArray.h"
#include "OneX/ParameterFields.h"
#include "OneX/ParametersArray.h"

namespace onex {

using platform::Array;
using platform::MatVariables;

namespace {

constexpr const char* kLoadTitle = "Error Loading File";

// Like the platform's load: a later variable of the same name wins.
const Array* findVariable(const MatVariables& variables, std::string_view name) {
    for (auto it = variables.rbegin(); it != variables.rend(); ++it)
        if (it->name == name) return &it->value;
    return nullptr;
}

ParameterFileResult refused(const std::string& filename, std::string_view what,
                            std::string detail = {}) {
    ParameterFileResult r;
    r.result = {false, fmt::format("{}\n{}", filename, what), kLoadTitle, std::move(detail)};
    return r;
}

}  // namespace

std::string addFileExtention(std::string_view name, std::string_view ext) {
    if (name.size() >= ext.size() && name.substr(name.size() - ext.size()) == ext)
        return std::string(name);
    return std::string(name) + std::string(ext);
}

FileResult saveParameters(const std::filesystem::path& filename, const Parameters& fileParameters,
                          const SigGenSettings& sigGenParameters) {
    const std::string name = filename.string();
    const auto failed = [&](std::string message) {
        return FileResult{false, std::move(message), "Error Saving " + name, {}};
    };
    // A file this system would refuse to load back is better not written.
    auto invalid = checkParameterSet(fileParameters);
    if (!invalid) invalid = checkSigGenSettings(sigGenParameters);
    if (invalid)
        return failed(fmt::format("Unable to write file '{}': the settings are not valid ({}).",
                                  name, *invalid));
    try {
        platform::writeMatFile(filename,
                               {{"fileParameters", toArray(fileParameters)},
                                {"filename", Array::string(name)},
                                {"sigGenParameters", toArray(sigGenParameters)}},
                               platform::MatFormat::V6);
    } catch (const std::exception& e) {
        return failed(e.what());
    }
    return {};
}

ParameterFileResult parseParameterFile(const MatVariables& variables, const std::string& filename,
                                       std::string_view formatId) {
    const Array* fp = findVariable(variables, "fileParameters");
    if (!fp) return refused(filename, "has an Invalid File Format.");
    if (!fp->isStruct() || fp->ndims() != 2 || !fp->isScalar())
        return refused(filename, "has an Invalid File Structure.",
                       fmt::format("fileParameters is {}, expected a 1x1 struct", fp->describe()));
    if (!fp->hasField("ParameterFileFormat_ID"))
        return refused(filename, "has an Invalid File Structure.",
                       "fileParameters.ParameterFileFormat_ID: missing");
    const Array& id = fp->field("ParameterFileFormat_ID");
    if (!id.isChar() || id.rows() > 1 || id.ndims() != 2 || id.toString() != formatId)
        return refused(filename, "has an Invalid File Parameter ID.");

    ParameterFile contents;
    try {
        fromArray(*fp, contents.parameters);
    } catch (const Error& e) {
        return refused(filename, "has an Invalid File Structure.",
                       fmt::format("fileParameters.{}", e.what()));
    }
    if (const Array* sg = findVariable(variables, "sigGenParameters")) {
        SigGenSettings settings;
        try {
            fromArray(*sg, settings);
        } catch (const Error& e) {
            return refused(filename, "has an Invalid File Structure.",
                           fmt::format("sigGenParameters.{}", e.what()));
        }
        contents.settings = std::move(settings);
    }
    if (const Array* fn = findVariable(variables, "filename");
        fn && fn->isChar() && fn->rows() <= 1)
        contents.savedFilename = fn->toString();

    ParameterFileResult r;
    r.contents = std::move(contents);
    return r;
}

ParameterFileResult readParameterFile(const std::filesystem::path& filename,
                                      std::string_view formatId) {
    MatVariables variables;
    try {
        // The reader recognises a MAT-file by its content, so no copy under
        // a ".mat" name is needed whatever the file is called.
        variables = platform::readMatFile(filename, kParameterFileLimits);
    } catch (const std::exception& e) {
        ParameterFileResult r;
        r.result = {false, e.what(), kLoadTitle, {}};
        return r;
    }
    return parseParameterFile(variables, filename.string(), formatId);
}

FileResult loadParameters(const std::filesystem::path& filename, Parameters& parameters,
                          SigGenSettings& settings) {
    ParameterFileResult r = readParameterFile(filename, parameters.ParameterFileFormat_ID);
    if (!r.result.ok) return r.result;
    parameters = std::move(r.contents->parameters);
    // Files of this system always hold settings; without them the current
    // ones stay rather than becoming undefined.
    if (r.contents->settings) settings = std::move(*r.contents->settings);
    return r.result;
}

}  // namespace onex
