#pragma once

// The one argument of the seed writers: the folder to write the seeds to,
// created when missing. Nothing (after a usage line) for any other call.

#include <cstdio>
#include <filesystem>
#include <optional>

inline std::optional<std::filesystem::path> seedFolder(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s DIR\n", argv[0]);
        return std::nullopt;
    }
    const std::filesystem::path dir = argv[1];
    std::filesystem::create_directories(dir);
    return dir;
}
