#pragma once

// Shared pieces of the command-line verbs.

#include <CLI/CLI.hpp>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "OneX/Parameters.h"

namespace onex::cli {

// Exit codes: 0 success, 1 the operation failed, 2 the command line was wrong.
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

// A refusal of the command line (bad field, bad value); exits with code 2.
struct UsageError {
    std::string text;
};

// The options that describe a parameter set: a starting file, overrides and
// a user data file.
struct ParameterOptions {
    std::string paramsFile;
    std::vector<std::string> sets;
    std::string userFile;
    void addTo(CLI::App& app, bool withUserFile);
};

// Builds the parameter set: defaults or the file, then each --set in order,
// then the user file. Throws UsageError for bad overrides.
Parameters buildParameters(const ParameterOptions& options);

void addCalculateCommand(CLI::App& app);

}  // namespace onex::cli
