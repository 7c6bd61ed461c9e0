#include "Instrument/ConfigFile.h"

#include "Instrument/FileLimits.h"
#include "MexIO/IoConfigArray.h"

namespace onex {

bool saveConfig(const IoConfig& fileParameters, const std::filesystem::path& file) {
    try {
        platform::writeMatFile(file, {{"fileParameters", toArray(fileParameters)}},
                               platform::MatFormat::V6);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

std::optional<IoConfig> parseConfigFile(const platform::MatVariables& variables) {
    for (auto it = variables.rbegin(); it != variables.rend(); ++it) {
        if (it->name != "fileParameters") continue;
        IoConfig config;
        try {
            // Files of the older form (Connection, GPIBboard, ...) are read
            // as the connection dialog converts them.
            fromArray(reStructureConfig(it->value), config);
        } catch (const std::exception&) {
            return std::nullopt;  // a damaged file counts as none
        }
        // A new run starts without a current parameter file.
        config.LastParameterFilename = std::string();
        return config;
    }
    return std::nullopt;
}

std::optional<IoConfig> loadConfig(const std::filesystem::path& file) {
    try {
        return parseConfigFile(platform::readMatFile(file, kConfigFileLimits));
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

}  // namespace onex
