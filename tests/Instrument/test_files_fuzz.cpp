// Bounded random-mutation runs over the file loaders (the CI counterpart of
// tests/fuzz/run_files_fuzz.sh). Byte mutations of the seed corpus go through
// the public loaders; value mutations of the MAT structures go through the
// checks directly. Whatever comes in: no crash, no escaping exception, a
// refused load changes nothing, and an accepted one holds only values the
// windows could store. ONEX_FUZZ_ITERATIONS scales both runs.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>
#include <random>

#include "FileTestSupport.h"
#include "Instrument/ConfigFile.h"
#include "Instrument/CorrectionFile.h"
#include "Instrument/ParameterFiles.h"
#include "Instrument/SigGenSettingsArray.h"
#include "MexIO/IoConfigArray.h"
#include "OneX/ParameterFields.h"
#include "OneX/ParametersArray.h"

using namespace onex;
using onex::platform::Array;
using onex::testfiles::TempDir;

namespace {

std::size_t iterations(std::size_t normal) {
    const char* v = std::getenv("ONEX_FUZZ_ITERATIONS");
    return v ? std::strtoul(v, nullptr, 10) : normal;
}

std::vector<std::vector<unsigned char>> seeds() {
    std::vector<std::filesystem::path> paths;
    for (const auto& e : std::filesystem::directory_iterator(std::string(ONEX_SOURCE_DIR) +
                                                             "/tests/fuzz/corpus/files"))
        paths.push_back(e.path());
    std::sort(paths.begin(), paths.end());  // directory order is not stable
    std::vector<std::vector<unsigned char>> out;
    for (const auto& p : paths)
        out.push_back(onex::testfiles::readBytes(p));
    return out;
}

void mutateBytes(std::vector<unsigned char>& b, std::mt19937& rng) {
    const auto pick = [&](std::size_t n) {
        return n ? std::uniform_int_distribution<std::size_t>(0, n - 1)(rng) : 0;
    };
    const int steps = 1 + static_cast<int>(rng() % 3);
    for (int s = 0; s < steps && !b.empty(); ++s) {
        switch (rng() % 7) {
            case 0:
                b[pick(b.size())] ^= static_cast<unsigned char>(1u << (rng() % 8));
                break;
            case 1:
                b[pick(b.size())] = static_cast<unsigned char>(rng());
                break;
            case 2: {  // a size or tag field turned extreme
                static const std::uint32_t words[] = {
                    0, 1, 0x7FFFFFFF, 0xFFFFFFFF, 0x80000000, 0x10000, 14, 6, 1, 5};
                std::uint32_t w = words[rng() % std::size(words)];
                std::size_t at = pick(b.size());
                for (int k = 0; k < 4 && at + k < b.size(); ++k)
                    b[at + k] = static_cast<unsigned char>(w >> (8 * k));
                break;
            }
            case 3:
                b.resize(pick(b.size()));
                break;
            case 4: {
                std::size_t at = pick(b.size()), len = pick(64);
                std::vector<unsigned char> chunk(
                    b.begin() + static_cast<long>(at),
                    b.begin() + static_cast<long>(std::min(b.size(), at + len)));
                b.insert(b.begin() + static_cast<long>(pick(b.size())), chunk.begin(), chunk.end());
                break;
            }
            case 5: {  // a double turned into NaN, Inf or a huge value
                static const double values[] = {std::numeric_limits<double>::quiet_NaN(),
                                                std::numeric_limits<double>::infinity(),
                                                1e9,
                                                -1,
                                                9,
                                                0.5};
                double v = values[rng() % std::size(values)];
                std::size_t at = pick(b.size());
                if (at + 8 <= b.size()) std::memcpy(b.data() + at, &v, 8);
                break;
            }
            default:
                b.erase(b.begin() + static_cast<long>(pick(b.size())));
        }
    }
}

// A value of a random class and shape.
Array randomValue(std::mt19937& rng) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    switch (rng() % 12) {
        case 0:
            return Array(static_cast<double>(static_cast<int>(rng() % 40) - 5));
        case 1:
            return Array(nan);
        case 2:
            return Array(std::numeric_limits<double>::infinity());
        case 3:
            return Array(1e9);
        case 4:
            return Array::row(std::vector<double>(rng() % 25, static_cast<double>(rng() % 3)));
        case 5:
            return Array::string(rng() % 2 ? "OneX-Rev" : "x y");
        case 6:
            return Array();
        case 7:
            return Array::structure({{"a", Array(1.0)}});
        case 8:
            return Array::cellRow({Array(1.0)});
        case 9:
            return Array::logical(true);
        case 10:
            return Array::numeric<std::int32_t>({1, 1}, {3});
        default:
            return Array(std::complex<double>(1, 1));
    }
}

void mutateStruct(Array& s, std::mt19937& rng) {
    if (!s.isStruct() || s.numel() != 1 || s.numFields() == 0) return;
    const auto& names = s.fieldNames();
    const std::string name = names[rng() % names.size()];
    switch (rng() % 4) {
        case 0:
            s.removeField(name);
            break;
        case 1:
            if (s.field(name).isStruct()) {
                mutateStruct(s.field(name), rng);
                break;
            }
            [[fallthrough]];
        default:
            s.setField(name, randomValue(rng));
    }
}

}  // namespace

TEST(FilesFuzz, MutatedFilesThroughThePublicLoaders) {
    const auto corpus = seeds();
    ASSERT_GE(corpus.size(), 5u);
    TempDir dir;
    const auto path = dir / "input.mat";
    std::mt19937 rng(20240601);
    const Parameters p0 = InitializeParameters();
    const SigGenSettings s0 = InitializeSigGenSettings(5);
    std::size_t accepted = 0, n = iterations(600);
    for (std::size_t i = 0; i < n; ++i) {
        auto bytes = corpus[i % corpus.size()];
        mutateBytes(bytes, rng);
        std::ofstream(path, std::ios::binary | std::ios::trunc)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));

        Parameters p = p0;
        SigGenSettings s = s0;
        FileResult r = loadParameters(path, p, s);
        if (r.ok) {
            ++accepted;
            EXPECT_FALSE(checkParameterSet(p).has_value()) << i;
            EXPECT_FALSE(checkSigGenSettings(s).has_value()) << i;
        } else {
            EXPECT_EQ(p, p0) << i;
            EXPECT_EQ(s, s0) << i;
            EXPECT_EQ(r.title, "Error Loading File");
            EXPECT_FALSE(r.message.empty());
        }
        (void)loadConfig(path);
        CorrectionData c = LoadTarnIqCorrectionData(path);
        if (c.status.empty()) {
            for (const auto& rec : c.records)
                EXPECT_TRUE(rec.rev == 1 || rec.rev == 2 || rec.rev == 3) << i;
        } else {
            EXPECT_TRUE(c.records.empty());
        }
    }
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"input.mat"});  // no stray files
    std::printf("%zu mutated files, %zu loaded as parameter files\n", n, accepted);
}

TEST(FilesFuzz, MutatedStructuresThroughTheChecks) {
    std::mt19937 rng(7);
    const std::string id = InitializeParameters().ParameterFileFormat_ID;
    std::size_t accepted = 0, n = iterations(600) * 10;
    for (std::size_t i = 0; i < n; ++i) {
        Array fp = toArray(InitializeParameters());
        Array sg = toArray(InitializeSigGenSettings(5));
        Array cfg = toArray(startupIoConfig());
        for (unsigned k = 0, m = 1 + rng() % 3; k < m; ++k) {
            mutateStruct(rng() % 3 ? fp : sg, rng);
            mutateStruct(cfg, rng);
        }
        ParameterFileResult r =
            parseParameterFile({{"fileParameters", fp}, {"sigGenParameters", sg}}, "f.mat", id);
        if (r.result.ok) {
            ++accepted;
            ASSERT_TRUE(r.contents && r.contents->settings);
            EXPECT_FALSE(checkParameterSet(r.contents->parameters).has_value());
            // What is accepted goes out and comes back unchanged.
            Parameters back;
            fromArray(toArray(r.contents->parameters), back);
            EXPECT_TRUE(compareStruct(back, r.contents->parameters));
        } else {
            EXPECT_FALSE(r.contents.has_value());
            EXPECT_EQ(r.result.message.rfind("f.mat\nhas an Invalid File ", 0), 0u)
                << r.result.message;
        }
        (void)parseConfigFile({{"fileParameters", cfg}});
        Array rec = Array::structure({{"rev", Array(3.0)}});
        for (int k = 0; k < 3; ++k)
            rec.setField(std::string("f") + std::to_string(k), randomValue(rng));
        (void)parseCorrectionData({{"TarnIqCorrectionData", rec}});
    }
    EXPECT_GT(accepted, 0u);  // the run also explored sets that load
    std::printf("%zu mutated structures, %zu accepted\n", n, accepted);
}
