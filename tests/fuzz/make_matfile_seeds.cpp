// Writes the seed files of the MAT-file fuzz corpus with this system's own
// writer (the Octave-written seeds come from tests/data/mat/make_octave_files.m).
//   clang++ -std=c++20 -Isrc tests/fuzz/make_matfile_seeds.cpp src/platform/Array.cpp \
//       src/platform/MatFile*.cpp $(pkg-config --cflags --libs matio) -lfmt -lz -o /tmp/seeds
//   /tmp/seeds tests/fuzz/corpus/matfile
#include <cstdio>
#include <filesystem>
#include <limits>

#include "SeedFolder.h"
#include "platform/MatFile.h"

using namespace onex::platform;

int main(int argc, char** argv) {
    const auto folder = seedFolder(argc, argv);
    if (!folder) return 2;
    const std::filesystem::path& dir = *folder;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    Array params = Array::structure({
        {"ParameterFileFormat_ID", Array::string("OneX-Rev - Format 1.1")},
        {"DataRate", Array(2.0)},
        {"Mask", Array::row({1, 0, 1, 1})},
        {"empty", Array()},
        {"emptyText", Array::string("")},
        {"inner", Array::structure({{"x", Array(nan)}})},
    });
    Array records = Array::structArray({1, 2}, {"rev", "H"});
    records.setField("rev", Array(3.0), 0);
    records.setField("H", Array::complexRow(std::vector<std::complex<double>>{{1, -1}, {0, 2}}), 1);
    const MatVariables rich{
        {"fileParameters", params},
        {"wave", Array::complexRow(std::vector<std::complex<double>>{{0.5, -0.5}, {1, 1}})},
        {"lines", Array::charMatrix({"ab", "c"})},
        {"flags", Array::logicalArray({1, 3}, {true, false, true})},
        {"i16", Array::numeric<std::int16_t>({1, 2}, {-3, 4})},
        {"f32", Array::numeric<float>({2, 1}, {1.5f, 2.5f})},
        {"c", Array::cellRow({Array(1.0), Array::string("t"), Array::cellRow({})})},
        {"records", records},
    };
    writeMatFile(dir / "rich_v6.mat", rich, MatFormat::V6);
    writeMatFile(dir / "rich_v7.mat", rich, MatFormat::V7);
    writeMatFile(dir / "rich_v73.mat", rich, MatFormat::V73);
    writeMatFile(dir / "scalar_v6.mat", {{"x", Array(1.0)}}, MatFormat::V6);
    writeMatFile(dir / "struct_v7.mat", {{"fileParameters", params}}, MatFormat::V7);
    return 0;
}
