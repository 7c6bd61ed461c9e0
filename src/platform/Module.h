#pragma once

// Shared libraries that programs load only when a feature needs them (the
// plot renderer with Qt, the MAT-file module with HDF5), so that everything
// else starts without them. A module is found by path, so a copy from
// another build (a stale installed one) may be met: its tag is compared with
// the loader's before anything else in it is called.

#include <cstdint>
#include <filesystem>
#include <string_view>
#include <vector>

namespace onex::platform {

// The first three members keep their places in every version, so that any
// two builds can read each other's size, interface and version.
struct ModuleTag {
    std::uint32_t size;              // sizeof(ModuleTag) of the build
    std::uint32_t interfaceVersion;  // raised whenever the module's functions change
    const char* version;             // the build's version
    std::uint32_t payloadSize;       // size of the main type that crosses the boundary
};

// The loaded module of `kind` ("plot renderer", ...), found by `tagSymbol`
// in the first of `candidates` that loads and whose tag equals `ours`;
// `note` follows the file name in the error (" (built only with ...)"). A
// candidate without a folder is left to the dynamic loader's search (the
// program's RUNPATH); one with a folder that does not exist is skipped.
// Throws Error naming the module and, for each candidate that was there,
// why it was refused. The module stays loaded for the life of the process.
void* loadTaggedModule(std::string_view kind, std::string_view fileName,
                       const std::vector<std::filesystem::path>& candidates, const char* tagSymbol,
                       const ModuleTag& ours, std::string_view note = {});

// Where a module of the platform's layout may be: the file that the
// environment variable `envVariable` names when it is set (and then only
// that), else `fileName` beside the code that loads it (the program, the
// shared library or the Python module) or the running program, in the build
// tree's layout (bin/ beside lib/) or the installation's (lib/onexrev/).
std::vector<std::filesystem::path> moduleCandidates(const char* envVariable, const char* fileName);

// `symbol` of a module loadTaggedModule returned; throws Error when it is missing.
void* moduleSymbol(void* module, std::string_view fileName, const char* symbol);

// The folder of the running program (empty when unknown), and the folder of
// the object (program or shared library) that holds `code`.
std::filesystem::path programFolder();
std::filesystem::path objectFolder(const void* code);

}  // namespace onex::platform
