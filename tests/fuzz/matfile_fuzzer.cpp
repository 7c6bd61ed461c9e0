// libFuzzer harness for the MAT-file reader. Each input is written to a
// temporary file and read back.
//
//   ONEX_FUZZ_MODE=inprocess (default): the structural checks and matio in
//       this process, so AddressSanitizer sees every fault. HDF5 (v7.3)
//       inputs are skipped unless ONEX_FUZZ_HDF5=1: HDF5 cannot be guarded
//       from outside, which is why readMatFile reads in a separate process.
//   ONEX_FUZZ_MODE=public: readMatFile as callers use it (reader process).
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "platform/MatFile.h"

namespace {

const std::string& tempPath() {
    static const std::string path = [] {
        const char* dir = std::getenv("TMPDIR");
        return std::string(dir ? dir : "/tmp") + "/onex_matfuzz_" + std::to_string(::getpid()) +
               ".mat";
    }();
    return path;
}

bool envIs(const char* name, const char* value) {
    const char* v = std::getenv(name);
    return v && std::strcmp(v, value) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace onex::platform;
    {
        std::ofstream out(tempPath(), std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    MatReadLimits limits;
    limits.maxBytes = std::size_t{64} << 20;  // far above any seed, far below the RSS limit
    limits.timeout = std::chrono::seconds(20);
    const bool isHdf5 =
        size >= 128 && data[124] + data[125] == 2 && (data[126] == 'I' || data[126] == 'M');
    try {
        if (envIs("ONEX_FUZZ_MODE", "public")) {
            (void)readMatFile(tempPath(), limits);
        } else if (!isHdf5 || envIs("ONEX_FUZZ_HDF5", "1")) {
            (void)detail::readMatFileInProcess(tempPath(), limits);
        }
    } catch (const onex::Error&) {
        // A clear error is the expected outcome for a damaged file.
    }
    return 0;
}
