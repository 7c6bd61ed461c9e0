#pragma once

// Parameter files: a parameter set with its signal-generator settings in a
// MAT-file, variables `fileParameters`, `filename` and `sigGenParameters`.
// The functions return what the application shows; they never print.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "Instrument/FileResult.h"
#include "Instrument/SigGenSettings.h"
#include "OneX/Parameters.h"
#include "platform/MatFile.h"

namespace onex {

inline constexpr std::string_view kParameterFileExtension = ".mat";

// `name` with `ext` appended unless it already ends in `ext` (exact case):
// test -> test.mat, test.mat stays, TEST.MAT -> TEST.MAT.mat.
std::string addFileExtention(std::string_view name, std::string_view ext);

// Writes the parameter file (created or replaced through a temporary file in
// the same folder, so a failure leaves an older file as it was). A set the
// loader would refuse is not written. On failure: the platform's text,
// title "Error Saving " + filename.
FileResult saveParameters(const std::filesystem::path& filename, const Parameters& fileParameters,
                          const SigGenSettings& sigGenParameters);

struct ParameterFile {
    Parameters parameters;
    std::optional<SigGenSettings> settings;    // nothing: the file has no settings
    std::optional<std::string> savedFilename;  // the file's `filename` text, if any
};

struct ParameterFileResult {
    FileResult result;
    std::optional<ParameterFile> contents;  // present exactly when result.ok
};

// Reads a parameter file by its content, whatever its extension, and checks
// it against the identifier `formatId` (the one of the parameter set in
// memory). Refusals, all titled "Error Loading File":
//   unreadable / no MAT-file      the platform's text
//   no fileParameters             filename "\n" "has an Invalid File Format."
//   no ParameterFileFormat_ID     filename "\n" "has an Invalid File Structure."
//   another identifier            filename "\n" "has an Invalid File Parameter ID."
//   a field missing, of the wrong class or size or out of the windows' range
//   (in fileParameters or in sigGenParameters when present)
//                                 "has an Invalid File Structure." + detail
ParameterFileResult readParameterFile(const std::filesystem::path& filename,
                                      std::string_view formatId);

// The same checks on variables already read; `filename` is for the messages.
ParameterFileResult parseParameterFile(const platform::MatVariables& variables,
                                       const std::string& filename, std::string_view formatId);

// Takes a parameter file over: on success `parameters` becomes the file's set
// and `settings` its settings (kept as they are when the file has none); on
// any refusal both stay exactly as they were. result.ok is the `success`.
FileResult loadParameters(const std::filesystem::path& filename, Parameters& parameters,
                          SigGenSettings& settings);

}  // namespace onex
