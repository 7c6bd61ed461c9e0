// libFuzzer harness for the file loaders: every input is read as a parameter
// file, a configuration file and a correction-data file.
//
//   ONEX_FUZZ_MODE=inprocess (default): the MAT-file read and the checks run
//       in this process, so AddressSanitizer sees every fault in them.
//       HDF5 (v7.3) inputs are skipped (see matfile_fuzzer.cpp).
//   ONEX_FUZZ_MODE=public: loadParameters, loadConfig and
//       LoadTarnIqCorrectionData as callers use them (reader process).
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "Instrument/ConfigFile.h"
#include "Instrument/CorrectionFile.h"
#include "Instrument/ParameterFiles.h"
#include "platform/MatFile.h"

namespace {

const std::string& tempPath() {
    static const std::string path = [] {
        const char* dir = std::getenv("TMPDIR");
        return std::string(dir ? dir : "/tmp") + "/onex_filesfuzz_" + std::to_string(::getpid()) +
               ".mat";
    }();
    return path;
}

bool publicMode() {
    const char* v = std::getenv("ONEX_FUZZ_MODE");
    return v && std::strcmp(v, "public") == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace onex;
    {
        std::ofstream out(tempPath(), std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    const std::string id = InitializeParameters().ParameterFileFormat_ID;
    if (publicMode()) {
        Parameters p = InitializeParameters();
        SigGenSettings s = InitializeSigGenSettings(5);
        (void)loadParameters(tempPath(), p, s);
        (void)loadConfig(tempPath());
        (void)LoadTarnIqCorrectionData(tempPath());
        return 0;
    }
    const bool isHdf5 =
        size >= 128 && data[124] + data[125] == 2 && (data[126] == 'I' || data[126] == 'M');
    if (isHdf5) return 0;
    platform::MatReadLimits limits;
    limits.maxBytes = std::size_t{64} << 20;
    limits.maxDepth = 16;
    platform::MatVariables vars;
    try {
        vars = platform::detail::readMatFileInProcess(tempPath(), limits);
    } catch (const Error&) {
        return 0;  // not readable: the loaders report the reader's text
    }
    (void)parseParameterFile(vars, tempPath(), id);
    (void)parseConfigFile(vars);
    (void)parseCorrectionData(vars);
    return 0;
}
