#pragma once

// Shared between the MAT-file sources; not part of the platform's interface.

#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>

#include "platform/MatFile.h"

namespace onex::platform {

// The MAT-file library (and HDF5 below it) is not thread-safe.
std::mutex& matioMutex();

namespace detail {

struct FileProbe {
    std::optional<MatFormat> format;
    std::uint64_t size = 0;
    bool littleEndian = true;  // Level 5 only
};

// Opens the file and reads its header; throws MatFileError FileNotFound or
// Unreadable. `format` is empty when it is no MAT-file.
FileProbe probeFile(const std::filesystem::path& path);

std::optional<MatFormat> detectFormat(const unsigned char* head, std::size_t size,
                                      std::uint64_t fileSize);

// Structural checks run before the library reads a file (see MatFileCheck.cpp);
// both throw MatFileError. checkLevel5 returns the number of variables.
std::size_t checkLevel5(const std::filesystem::path& path, const FileProbe& probe,
                        const MatReadLimits& limits);
void checkVersion4(const std::filesystem::path& path, const FileProbe& probe);

// The library read proper; the caller holds matioMutex
// (readMatFileInProcess takes it).
MatVariables readWithMatio(const std::filesystem::path& path, const MatReadLimits& limits);

// Writes the variables to `tempPath` with the library, holding matioMutex;
// throws onex::Error with the library's text on failure.
void writeWithMatio(const std::filesystem::path& tempPath, const MatVariables& variables,
                    MatFormat format);

}  // namespace detail
}  // namespace onex::platform
