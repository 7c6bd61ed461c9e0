#pragma once

// Shared pieces of the command-line verbs.

#include <CLI/CLI.hpp>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "Instrument/FileResult.h"
#include "Instrument/SigGenSettings.h"
#include "OneX/Parameters.h"
#include "platform/Error.h"

namespace onex::cli {

// Exit codes: 0 success, 1 the operation failed, 2 the command line was wrong.
// A file named on the command line that cannot be read, or whose content is
// refused, fails the operation (1): the command line itself was right.
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

// A refusal of the command line itself (bad field, bad value, options that
// do not go together); exits with code 2.
struct UsageError {
    std::string text;
};

// A failure whose text has already been printed; exits with code 1.
struct ReportedFailure {};

// The options that describe a parameter set and its signal-generator
// settings: a starting parameter file, overrides and a user data file.
struct ParameterOptions {
    std::string paramsFile;
    std::vector<std::string> sets;
    std::string userFile;
    void addTo(CLI::App& app, bool withUserFile);
};

struct Setup {
    Parameters parameters;
    SigGenSettings settings;
};

// Builds the parameter set and settings: defaults or the parameter file, then
// each --set in order (FIELD=VALUE for the parameter set, SigGen.FIELD=VALUE
// for the settings; OverSampling also sets SigGen.SamplingRate as the main
// window does), then the user file. Throws UsageError for bad overrides and
// onex::Error when the parameter file or the user file does not load.
Setup buildSetup(const ParameterOptions& options);

void addCalculateCommand(CLI::App& app);
void addParamsCommand(CLI::App& app);
void addDownloadCommand(CLI::App& app);
void addPlayCommand(CLI::App& app);
void addPingCommand(CLI::App& app);
void addCallCommand(CLI::App& app);
void addPlotCommand(CLI::App& app);
void addMeasureCommand(CLI::App& app);

}  // namespace onex::cli
