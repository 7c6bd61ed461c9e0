// Writes the seed files of the parameter/configuration/correction-file fuzz
// corpus with this system's own writers (the Octave-written parameter files
// come from tests/data/params/make_octave_params.m and are copied in).
//   g++ -std=c++20 -Isrc tests/fuzz/make_files_seeds.cpp -Lbuild-files/lib \
//       -lonex_instrument -lonex_mexio -lonex_synth -lonex_platform \
//       $(pkg-config --libs matio fftw3) -lfmt -lz -o /tmp/files-seeds
//   /tmp/files-seeds tests/fuzz/corpus/files
#include <cstdio>
#include <filesystem>
#include <limits>

#include "../Instrument/CorrectionTestSupport.h"
#include "Instrument/ConfigFile.h"
#include "Instrument/ParameterFiles.h"
#include "Instrument/SigGenSettingsArray.h"
#include "MexIO/IoConfigArray.h"
#include "OneX/ParametersArray.h"
#include "SeedFolder.h"
#include "platform/MatFile.h"

using namespace onex;
using platform::Array;
using platform::MatFormat;

namespace {

Array record(double rev) {
    return testcorr::sampleRecord(rev);
}

}  // namespace

int main(int argc, char** argv) {
    const auto folder = seedFolder(argc, argv);
    if (!folder) return 2;
    const std::filesystem::path& dir = *folder;

    Parameters p = InitializeParameters();
    p.DATASourceType = 7;
    p.dataSourceBitstream = {1, 0, 1, 1, 0, 0, 1, 0};
    p.ProjectedLength = std::numeric_limits<double>::quiet_NaN();
    SigGenSettings s = InitializeSigGenSettings(5);
    s.BBfilter = 2;
    const platform::MatVariables params = {{"fileParameters", toArray(p)},
                                           {"filename", Array::string("/tmp/params.mat")},
                                           {"sigGenParameters", toArray(s)}};
    platform::writeMatFile(dir / "params_v6.mat", params, MatFormat::V6);
    platform::writeMatFile(dir / "params_v7.mat", params, MatFormat::V7);

    IoConfig c = startupIoConfig();
    c.RS232->device = "/dev/ttyUSB0";
    platform::writeMatFile(dir / "config_v6.mat", {{"fileParameters", toArray(c)}}, MatFormat::V6);

    Array records = Array::structArray({1, 2}, record(3).fieldNames());
    for (std::size_t e = 0; e < 2; ++e)
        for (const auto& name : records.fieldNames())
            records.setField(name, record(3).field(name), e);
    platform::writeMatFile(dir / "correction_rev1_v6.mat", {{"TarnIqCorrectionData", record(1)}},
                           MatFormat::V6);
    platform::writeMatFile(dir / "correction_rev3_v7.mat", {{"TarnIqCorrectionData", record(3)}},
                           MatFormat::V7);
    platform::writeMatFile(dir / "correction_array_v6.mat", {{"TarnIqCorrectionData", records}},
                           MatFormat::V6);
    return 0;
}
