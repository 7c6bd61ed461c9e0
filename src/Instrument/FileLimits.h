#pragma once

// What the MAT-file reader may spend on each file this system keeps. All are
// small structs a few levels deep (a parameter set holds the slot struct, a
// configuration its connection structs, a correction file its records), so
// a damaged or hostile file is stopped long before it costs much.

#include <chrono>
#include <cstddef>

#include "platform/MatFile.h"

namespace onex {

// Nesting: far deeper than any of these files goes.
inline constexpr std::size_t kOwnFileMaxDepth = 16;
// Parameter and configuration files are read at a user's command or at
// start-up: a few kilobytes, read in milliseconds.
inline constexpr std::chrono::seconds kSettingsFileReadTime{5};

inline constexpr platform::MatReadLimits kParameterFileLimits{
    std::size_t{64} << 20, kOwnFileMaxDepth, kSettingsFileReadTime};
inline constexpr platform::MatReadLimits kConfigFileLimits{std::size_t{16} << 20, kOwnFileMaxDepth,
                                                           kSettingsFileReadTime};
// Correction files carry calibration tables of any length, read before a
// download.
inline constexpr platform::MatReadLimits kCorrectionFileLimits{
    std::size_t{256} << 20, kOwnFileMaxDepth, std::chrono::seconds(10)};

}  // namespace onex
