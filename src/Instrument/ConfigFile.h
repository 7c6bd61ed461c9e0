#pragma once

// The I/O configuration file: "rfIOConfig.mat" in the working directory with
// the one variable `fileParameters`. Its failures are silent by design: the
// start-up defaults simply stay in force.

#include <filesystem>
#include <optional>

#include "MexIO/IoConfig.h"
#include "platform/MatFile.h"

namespace onex {

inline constexpr const char* kConfigFileName = "rfIOConfig.mat";

// Writes the configuration (through a temporary file, so a failed write keeps
// the previous file). False on failure, which callers may ignore.
bool saveConfig(const IoConfig& fileParameters,
                const std::filesystem::path& file = kConfigFileName);

// The stored configuration with LastParameterFilename emptied, or nothing
// when the file is missing, unreadable, lacks `fileParameters` or holds one
// that is no configuration structure. One of the older form is converted
// (reStructureConfig). The application and the command line both read the
// file through this.
std::optional<IoConfig> loadConfig(const std::filesystem::path& file = kConfigFileName);

// The same on variables already read.
std::optional<IoConfig> parseConfigFile(const platform::MatVariables& variables);

}  // namespace onex
