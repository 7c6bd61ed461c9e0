#include "platform/Module.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstdlib>

#include <fmt/format.h>

#include "platform/Error.h"

namespace onex::platform {

namespace fs = std::filesystem;

namespace {

// Why the module `lib` (loaded from `path`) is not the one of this build,
// or empty when its tag matches ours. Only the tag function is called
// before the tag is known to match.
std::string tagMismatch(void* lib, const std::string& path, std::string_view kind,
                        const char* tagSymbol, const ModuleTag& ours) {
    using TagFunction = const ModuleTag* (*)();
    const auto tagOf = reinterpret_cast<TagFunction>(::dlsym(lib, tagSymbol));
    const ModuleTag* theirs = tagOf ? tagOf() : nullptr;
    if (!theirs) {
        return fmt::format(
            "{} has no version tag (a copy from an older build?); this program is "
            "version {}",
            path, ours.version);
    }
    const bool same = theirs->size == ours.size &&
                      theirs->interfaceVersion == ours.interfaceVersion &&
                      std::string_view(theirs->version ? theirs->version : "") == ours.version &&
                      theirs->payloadSize == ours.payloadSize;
    if (same) return {};
    return fmt::format(
        "{} is version {} (interface {}), this program is version {} (interface {}): "
        "install the {} of this build",
        path, theirs->version ? theirs->version : "?", theirs->interfaceVersion, ours.version,
        ours.interfaceVersion, kind);
}

}  // namespace

void* loadTaggedModule(std::string_view kind, std::string_view fileName,
                       const std::vector<fs::path>& candidates, const char* tagSymbol,
                       const ModuleTag& ours, std::string_view note) {
    std::string reasons;
    for (const fs::path& c : candidates) {
        const bool searched = !c.has_parent_path();
        std::error_code ec;
        if (!searched && !fs::exists(c, ec)) continue;
        void* lib = ::dlopen(c.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!lib) {
            // The loader's search finding nothing is no news.
            const char* e = ::dlerror();
            if (e && !searched) reasons += fmt::format("\n  {}", e);
            continue;
        }
        const std::string mismatch = tagMismatch(lib, c.string(), kind, tagSymbol, ours);
        if (mismatch.empty()) return lib;
        reasons += "\n  " + mismatch;
        ::dlclose(lib);
    }
    if (reasons.empty()) {
        std::string looked;
        for (const fs::path& c : candidates)
            looked += (looked.empty() ? "" : ", ") + c.string();
        reasons = fmt::format(" it is not installed (looked for {})", looked);
    }
    throw Error(fmt::format("The {} {} cannot be loaded{}:{}", kind, fileName, note, reasons));
}

std::vector<fs::path> moduleCandidates(const char* envVariable, const char* fileName) {
    std::vector<fs::path> candidates;
    if (const char* env = std::getenv(envVariable); env && *env) {
        candidates.emplace_back(env);
        return candidates;
    }
    const fs::path own = objectFolder(reinterpret_cast<const void*>(&moduleCandidates));
    for (const fs::path& folder : {own, programFolder()}) {
        if (folder.empty()) continue;
        for (const char* relative : {".", "../lib", ONEX_MODULEDIR_FROM_LIBDIR,
                                     ONEX_MODULEDIR_FROM_BINDIR, ONEX_MODULEDIR_FROM_PYTHONDIR}) {
            const fs::path c = (folder / relative / fileName).lexically_normal();
            if (std::find(candidates.begin(), candidates.end(), c) == candidates.end())
                candidates.push_back(c);
        }
    }
    return candidates;
}

void* moduleSymbol(void* module, std::string_view fileName, const char* symbol) {
    if (void* f = ::dlsym(module, symbol)) return f;
    throw Error(fmt::format("The module {} has no {}.", fileName, symbol));
}

fs::path programFolder() {
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::path() : exe.parent_path();
}

fs::path objectFolder(const void* code) {
    Dl_info info{};
    if (::dladdr(code, &info) == 0 || !info.dli_fname || info.dli_fname[0] != '/') return {};
    return fs::path(info.dli_fname).parent_path();
}

}  // namespace onex::platform
