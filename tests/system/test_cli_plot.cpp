// onexrev-cli plot as a user runs it: every display as an image of the size
// asked for, its numbers as CSV equal to the model's, refused command lines,
// and the other verbs still free of Qt.

#include <gtest/gtest.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "Analysis/Ccdf.h"
#include "Analysis/Spectrum.h"
#include "Instrument/DacResolution.h"
#include "OneX/FrameBuilder.h"
#include "system/CliTestSupport.h"
#include "system/support_sim.h"

namespace fs = std::filesystem;
using namespace onex::testsim;

namespace {

const std::vector<std::string> kEveryChannel = {"--set", "RRIactive=1", "--set", "DRCactive=1",
                                                "--set", "ACKactive=1", "--set", "DATAactive=1",
                                                "--set", "DataRate=5",  "--set", "OverSampling=5"};

class CliPlot : public onex::testsim::CliFolderTest {
  protected:
    CliPlot() : CliFolderTest("cli_plot") {}
    void SetUp() override {
        if (!fs::exists(fs::path(ONEX_BIN_DIR) / "../lib/libonexrev-plot.so"))
            GTEST_SKIP() << "built without the desktop part: no plot renderer";
        CliFolderTest::SetUp();
    }
    Outcome plot(const std::string& kind, const std::string& out,
                 std::vector<std::string> more = {}) const {
        std::vector<std::string> args{"plot", kind, "--out", at(out).string()};
        args.insert(args.end(), more.begin(), more.end());
        return cli(args);
    }
};

// Width and height from a PNG's header chunk (big-endian after "IHDR").
std::pair<unsigned, unsigned> pngSize(const std::string& bytes) {
    if (bytes.size() < 24 || bytes.compare(1, 3, "PNG") != 0 || bytes.compare(12, 4, "IHDR") != 0)
        return {0, 0};
    auto be32 = [&](std::size_t at) {
        unsigned v = 0;
        for (std::size_t k = 0; k < 4; ++k)
            v = (v << 8) | static_cast<unsigned char>(bytes[at + k]);
        return v;
    };
    return {be32(16), be32(20)};
}

std::vector<std::vector<double>> csvRows(const std::string& text, std::string& header) {
    std::istringstream in(text);
    std::getline(in, header);
    std::vector<std::vector<double>> rows;
    for (std::string line; std::getline(in, line);) {
        std::vector<double> row;
        std::istringstream cells(line);
        for (std::string cell; std::getline(cells, cell, ',');)
            row.push_back(std::strtod(cell.c_str(), nullptr));
        rows.push_back(row);
    }
    return rows;
}

}  // namespace

TEST_F(CliPlot, EveryKindWritesAnImageOfTheSizeAskedFor) {
    for (const char* kind :
         {"spectrum", "ccdf", "iq", "iq-overlay", "eye", "scatter", "waterfall"}) {
        const std::string out = std::string(kind) + ".png";
        const Outcome r = plot(kind, out, kEveryChannel);
        ASSERT_EQ(r.rc, 0) << kind << ": " << r.err;
        EXPECT_EQ(pngSize(slurp(at(out))), (std::pair<unsigned, unsigned>{800, 600})) << kind;
    }
    Outcome r = plot("eye", "eye.svg", {"--size", "640x480", "--symbols", "2", "--delay", "0.5"});
    ASSERT_EQ(r.rc, 0) << r.err;
    const std::string svg = slurp(at("eye.svg"));
    EXPECT_NE(svg.find("<svg"), std::string::npos);
    EXPECT_NE(svg.find("viewBox=\"0 0 640 480\""), std::string::npos);
    r = plot("scatter", "scatter.pdf", {"--size", "640x480", "--decimation", "5", "--trace"});
    ASSERT_EQ(r.rc, 0) << r.err;
    const std::string pdf = slurp(at("scatter.pdf"));
    EXPECT_EQ(pdf.rfind("%PDF", 0), 0u);
    EXPECT_GT(pdf.size(), 1000u);
}

TEST_F(CliPlot, DataHoldsTheModelsNumbersInFull) {
    // The frame the command computes: defaults, quantised to 14 bits.
    const auto wave = onex::applyDacRes(onex::Calculate(onex::InitializeParameters()).waveform, 14);
    const auto spectrum = onex::analysis::spectrumModel(wave, 6144000);
    ASSERT_EQ(plot("spectrum", "s.png", {"--data", at("s.csv").string()}).rc, 0);
    std::string header;
    auto rows = csvRows(slurp(at("s.csv")), header);
    EXPECT_EQ(header, "Frequency (MHz),LogMag (dB)");
    ASSERT_EQ(rows.size(), spectrum.f.size());
    for (std::size_t k = 0; k < rows.size(); ++k) {
        ASSERT_EQ(rows[k], (std::vector<double>{spectrum.f[k], spectrum.magSignal[k]})) << k;
    }

    const auto ccdf = onex::analysis::ccdfModel(wave);
    ASSERT_EQ(plot("ccdf", "c.svg", {"--data", at("c.csv").string()}).rc, 0);
    rows = csvRows(slurp(at("c.csv")), header);
    EXPECT_EQ(header, "dB above Average,CCDF (%),Gaussian reference (%)");
    ASSERT_EQ(rows.size(), 201u);
    for (std::size_t k = 0; k < rows.size(); ++k)
        ASSERT_EQ(rows[k], (std::vector<double>{ccdf.X[k], ccdf.Y[k], ccdf.Y1[k]})) << k;
}

// The scatter offset is the samples skipped, also beyond one decimation
// step: 12 skipped with a point every 5 samples gives samples 12, 17, ...
TEST_F(CliPlot, ScatterOffsetSkipsThatManySamples) {
    const auto wave = onex::applyDacRes(onex::Calculate(onex::InitializeParameters()).waveform, 14);
    ASSERT_EQ(plot("scatter", "s.png",
                   {"--decimation", "5", "--offset", "12", "--data", at("s.csv").string()})
                  .rc,
              0);
    std::string header;
    const auto rows = csvRows(slurp(at("s.csv")), header);
    ASSERT_EQ(rows.size(), (wave.size() - 12 + 4) / 5);
    for (std::size_t k : {std::size_t{0}, std::size_t{1}, rows.size() - 1})
        EXPECT_EQ(rows[k], (std::vector<double>{wave[12 + 5 * k].real(), wave[12 + 5 * k].imag()}))
            << k;
}

TEST_F(CliPlot, RefusedCommandLinesWriteNothing) {
    const std::vector<std::vector<std::string>> refused = {
        {"plot", "polar", "--out", "p.png"},
        {"plot", "spectrum"},
        {"plot", "spectrum", "--out", "p.jpg"},
        {"plot", "spectrum", "--out", "p.png", "--size", "10x10"},
        {"plot", "spectrum", "--out", "p.png", "--size", "wide"},
        {"plot", "spectrum", "--out", "p.png", "--symbols", "2"},
        {"plot", "eye", "--out", "p.png", "--trace"},
        {"plot", "ccdf", "--out", "p.png", "--data", "p.txt"},
        {"plot", "ccdf", "--out", "p.png", "--set", "OverSampling=99"},
        {"plot", "scatter", "--out", "p.png", "--offset=-1"},
        {"plot", "scatter", "--out", "p.png", "--offset", "2.5"},
    };
    for (const auto& args : refused) {
        const Outcome r = cli(args);
        EXPECT_EQ(r.rc, 2) << args[1] << " " << args.back() << ": " << r.err;
        EXPECT_FALSE(r.err.empty());
    }
    EXPECT_FALSE(fs::exists(at("p.png")));
    // A calculation that fails is exit 1 with its text.
    const Outcome r = plot("ccdf", "p.png", {"--params", at("missing.mat").string()});
    EXPECT_EQ(r.rc, 1);
    EXPECT_FALSE(r.err.empty());
}

// Qt (plot), the MAT-file library with HDF5 (MAT writes), the resampler
// with OpenMP (analysis of captures at other rates) and the RPC library
// with Kerberos would cost every start; they are loaded only by what uses
// them, or not at all.
TEST_F(CliPlot, TheCommandLineAndTheLibraryStartWithoutWhatOnlySomeVerbsUse) {
    for (const std::string& object : {std::string(ONEX_BIN_DIR) + "/onexrev-cli",
                                      std::string(ONEX_BIN_DIR) + "/../lib/libOneX_Rev_b_lib.so"}) {
        const Outcome ldd = onex::testsim::runProgram({"/usr/bin/ldd", object}, dir_);
        ASSERT_EQ(ldd.rc, 0) << ldd.err;
        for (const char* library : {"libmatio", "hdf5", "libtirpc", "krb5", "libsoxr"})
            EXPECT_EQ(ldd.out.find(library), std::string::npos) << object << ldd.out;
        // The library holds the windows, whose Qt brings OpenMP along.
        if (object.ends_with("onexrev-cli")) {
            for (const char* library : {"Qt6", "qcustomplot", "libgomp"})
                EXPECT_EQ(ldd.out.find(library), std::string::npos) << ldd.out;
        }
    }
}

TEST_F(CliPlot, ARendererOfAnotherBuildIsRefusedBeforeItIsCalled) {
    const std::pair<const char*, std::string> libraries[] = {
        {ONEX_STALE_RENDERER,
         " is version 0.9.0 (interface 1), this program is version " ONEX_BUILD_VERSION},
        {ONEX_UNTAGGED_RENDERER, " has no version tag"},
    };
    for (const auto& [library, text] : libraries) {
        // The library's drawing function would abort the program.
        const Outcome r = onex::testsim::runProgram(
            {std::string(ONEX_BIN_DIR) + "/onexrev-cli", "plot", "ccdf", "--out",
             at("p.png").string(), "--data", at("p.csv").string()},
            dir_, {{"ONEXREV_PLOT_LIBRARY", library}});
        EXPECT_EQ(r.rc, 1) << library << "\n" << r.err;
        EXPECT_NE(r.err.find(library + text), std::string::npos) << r.err;
        EXPECT_FALSE(fs::exists(at("p.png")) || fs::exists(at("p.csv")));
    }
}

TEST_F(CliPlot, AnImageThatCannotBeWrittenKeepsThePreviousImageAndNumbers) {
    // A small file system with little room left.
    const fs::path small = at("small");
    const SmallFileSystem tmpfs(small, "1m");
    if (!tmpfs.mounted()) GTEST_SKIP() << tmpfs.error();
    const std::string image = (small / "p.png").string(), data = (small / "p.csv").string();
    ASSERT_EQ(plot("ccdf", "small/p.png", {"--size", "16x16", "--data", data}).rc, 0);
    const std::string oldImage = slurp(image), oldData = slurp(data);
    // Room for the new numbers (about 12 kB) but not for the new image too.
    struct statvfs fsInfo {};
    ASSERT_EQ(::statvfs(small.c_str(), &fsInfo), 0);
    const auto room = static_cast<std::uintmax_t>(fsInfo.f_bavail) * fsInfo.f_frsize;
    ASSERT_GT(room, 64u << 10);
    std::ofstream(small / "filler") << std::string(room - (24u << 10), 'x');

    const Outcome r = plot("ccdf", "small/p.png",
                           {"--size", "1600x1200", "--set", "OverSampling=2", "--data", data});
    EXPECT_EQ(r.rc, 1);
    EXPECT_NE(r.err.find("Cannot write the image file " + image), std::string::npos) << r.err;
    EXPECT_TRUE(slurp(image) == oldImage) << "the previous image was changed";
    EXPECT_TRUE(slurp(data) == oldData) << "the previous numbers were changed";
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(small))
        names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"filler", "p.csv", "p.png"}));
}
