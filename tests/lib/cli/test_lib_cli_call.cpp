// onexrev-cli call: the library's routines from the command line, inputs and
// outputs as MAT-file variables, errors in the library's words.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <complex>
#include <cstdint>
#include <cstdio>
#include <filesystem>

#include "platform/MatFile.h"

using onex::platform::Array;
using onex::platform::MatVariables;
namespace fs = std::filesystem;

namespace {

struct Outcome {
    int status = -1;
    std::string out, err;
};

Outcome cli(const std::string& args, const fs::path& dir) {
    const fs::path err = dir / "stderr.txt";
    Outcome r;
    FILE* p = ::popen(("cd " + dir.string() + " && " + ONEX_BIN_DIR + "/onexrev-cli " + args +
                       " 2>" + err.string())
                          .c_str(),
                      "r");
    if (!p) return r;
    char buf[512];
    while (std::fgets(buf, sizeof buf, p))
        r.out += buf;
    const int rc = ::pclose(p);
    r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    if (FILE* f = std::fopen(err.c_str(), "r")) {
        while (std::fgets(buf, sizeof buf, f))
            r.err += buf;
        std::fclose(f);
    }
    return r;
}

std::vector<double> bits(const std::string& t) {
    std::vector<double> out;
    for (char c : t)
        if (c == '0' || c == '1') out.push_back(c - '0');
    return out;
}

const Array& variable(const MatVariables& vars, const std::string& name) {
    for (const auto& v : vars)
        if (v.name == name) return v.value;
    throw std::runtime_error("no variable " + name);
}

class CallVerb : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("onex_cli_call_" + std::to_string(::getpid()));
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    void writeInputs(const MatVariables& vars) {
        onex::platform::writeMatFile(dir_ / "in.mat", vars);
    }
    fs::path dir_;
};

TEST_F(CallVerb, InputsAndOutputsAreNumberedVariables) {
    std::vector<double> init;
    for (int i = 0; i < 42; ++i)
        init.push_back(static_cast<double>((0x24B91BFD3A8ull >> i) & 1));
    writeInputs({{"in1", Array(32.0)},
                 {"in2", Array::row(init)},
                 {"in3", Array(4398046511103.0)},
                 {"in4", Array(4398046511103.0)},
                 {"unrelated", Array::string("not an input")}});
    Outcome r = cli("call OneX_RevLongCode --in in.mat --out out.mat --nargout 2", dir_);
    ASSERT_EQ(r.status, 0) << r.err;
    const MatVariables out = onex::platform::readMatFile(dir_ / "out.mat");
    ASSERT_EQ(out.size(), 2u);
    const Array& i = variable(out, "out1");
    EXPECT_EQ(i.rows(), 1u);
    EXPECT_EQ(i.toDoubleVector(), bits("10001110100010001111000100100001"));
    EXPECT_EQ(variable(out, "out2"), i);

    // Without --nargout only the first output is written.
    r = cli("call OneX_RevLongCode --in in.mat --out one.mat", dir_);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(onex::platform::readMatFile(dir_ / "one.mat").size(), 1u);
}

TEST_F(CallVerb, StructuresAndTextsCrossAsTheyAre) {
    writeInputs({{"in1", Array::string(ONEX_TEST_DATA_DIR "/params/octave_default_v6.mat")}});
    Outcome r = cli("call loadParameters --in in.mat --out out.mat --nargout 3", dir_);
    ASSERT_EQ(r.status, 0) << r.err;
    const MatVariables out = onex::platform::readMatFile(dir_ / "out.mat");
    EXPECT_EQ(variable(out, "out1").scalar(), 1);
    const Array& p = variable(out, "out2");
    ASSERT_TRUE(p.isStruct());
    EXPECT_EQ(p.field("ParameterFileFormat_ID").toString(), "OneX-Rev - Format 1.1");
    EXPECT_TRUE(variable(out, "out3").hasField("SamplingRate"));
}

// The library's frame of a parameter set is the calculate verb's, noise bits
// and all, at the sample clock given; two processes each.
TEST_F(CallVerb, CalculateFrameGivesTheCalculateVerbsImpairedFrame) {
    const std::string sets =
        " --set CNRatio=20 --set NoiseSeed=7 --set FreqError=1000 --set CarrierLeakage=-25"
        " --set OverSampling=3 --set SigGen.SamplingRate=4000000";
    ASSERT_EQ(cli("params --out p.mat" + sets, dir_).status, 0);
    Outcome r = cli("calculate --out frame.mat" + sets, dir_);
    ASSERT_EQ(r.status, 0) << r.err;
    // fs / N = 4000000 / 98304 Hz: 1000 Hz is 24.58 steps, snapped to 25.
    EXPECT_NE(r.out.find("Impairments: carrier leakage -25 dBc, frequency error 1017.2526 Hz "
                         "(1000 Hz asked, snapped to a multiple of 40.6901 Hz), C/N 20 dB (seed "
                         "7)\n"),
              std::string::npos)
        << r.out;
    ASSERT_EQ(cli("calculate --out again.mat" + sets, dir_).status, 0);
    const Array wave = *onex::platform::readMatVariable(dir_ / "frame.mat", "wave");
    EXPECT_TRUE(wave == *onex::platform::readMatVariable(dir_ / "again.mat", "wave"));

    writeInputs({{"in1", *onex::platform::readMatVariable(dir_ / "p.mat", "fileParameters")},
                 {"in2", Array(4000000.0)}});
    r = cli("call calculateFrame --in in.mat --out out.mat --nargout 3", dir_);
    ASSERT_EQ(r.status, 0) << r.err;
    const MatVariables out = onex::platform::readMatFile(dir_ / "out.mat");
    const Array& frame = variable(out, "out1");
    ASSERT_EQ(frame.numel(), 3u * 32768);
    ASSERT_EQ(wave.rows(), frame.numel());
    for (std::size_t i = 0; i < frame.numel(); ++i)
        if (frame.realAt(i) != wave.realAt(i) || frame.imagAt(i) != wave.realAt(i + wave.rows()))
            FAIL() << "sample " << i << " differs";
    EXPECT_EQ(variable(out, "out2").rows(), 2u);
    EXPECT_NE(variable(out, "out3").toString().find("C/N 20 dB (seed 7)"), std::string::npos);
}

TEST_F(CallVerb, CorrectionFilesAreReadAndApplied) {
    // A revision-2 record whose RF channel response is flat.
    std::vector<double> f;
    for (int k = -5; k <= 5; ++k)
        f.push_back(k * 1e6);
    const std::vector<std::complex<double>> flat(11, {1, 0});
    Array rec = Array::structure({{"rev", Array(2.0)},
                                  {"F", Array::row(f)},
                                  {"H", Array::complexRow(flat)},
                                  {"rfChannel", Array::complexRow(flat)}});
    for (const char* n : {"ID", "date", "fltr", "modAttn", "cf", "bw", "pwr"})
        rec.setField(n, Array(0.0));
    onex::platform::writeMatFile(dir_ / "US1 1.9 GHz.mat", {{"TarnIqCorrectionData", rec}});
    writeInputs({{"in1", Array::string((dir_ / "US1 1.9 GHz.mat").string())}});
    Outcome r = cli("call LoadTarnIqCorrectionData --in in.mat --out out.mat --nargout 2", dir_);
    ASSERT_EQ(r.status, 0) << r.err;
    MatVariables out = onex::platform::readMatFile(dir_ / "out.mat");
    EXPECT_EQ(variable(out, "out2").toString(), "");
    EXPECT_EQ(variable(out, "out1").field("rev").scalar(), 2);

    std::vector<std::complex<double>> wave;
    for (int k = 0; k < 64; ++k)
        wave.emplace_back(std::cos(0.2 * k), std::sin(0.3 * k));
    writeInputs({{"in1", Array::complexRow(wave)}, {"in2", rec}, {"in3", Array(20e6)}});
    r = cli("call ApplyRfChannelCorrection --in in.mat --out out.mat --nargout 2", dir_);
    ASSERT_EQ(r.status, 0) << r.err;
    out = onex::platform::readMatFile(dir_ / "out.mat");
    EXPECT_EQ(variable(out, "out2").toString(), "");
    const auto x = variable(out, "out1").toComplexVector();
    ASSERT_EQ(x.size(), wave.size());
    for (std::size_t k = 0; k < x.size(); ++k)
        EXPECT_LT(std::abs(x[k] - wave[k]), 0.05) << k;  // a flat channel changes little
}

TEST_F(CallVerb, ErrorsReadAsTheLibraryWordsThem) {
    writeInputs({{"in1", Array(1.0)},
                 {"in2", Array(1.0)},
                 {"in3", Array(1.0)},
                 {"in4", Array(1.0)},
                 {"in5", Array(1.0)}});
    Outcome r = cli("call OneX_RevLongCode --in in.mat --out out.mat", dir_);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              "Run-time Error: File: OneX_RevLongCode Line: 1 Column: 1 The function "
              "\"OneX_RevLongCode\" was called with more than the declared number of inputs "
              "(4).\n");
    EXPECT_FALSE(fs::exists(dir_ / "out.mat"));

    writeInputs({{"in1", Array::structure({{"a", Array(1.0)}})}});
    r = cli("call OneX_RevShortCode --in in.mat --out out.mat --nargout 3", dir_);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              "Run-time Error: File: OneX_RevShortCode Line: 1 Column: 1 The function "
              "\"OneX_RevShortCode\" was called with more than the declared number of outputs "
              "(2).\n");
    r = cli("call OneX_RevShortCode --in in.mat --out out.mat", dir_);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              "OneX_RevShortCode: input 1 (reps) must be a real number, got a 1x1 struct.\n");
    r = cli("call OneX_RevShortCode --out out.mat", dir_);
    EXPECT_EQ(r.err,
              "OneX_RevShortCode: not enough input arguments (0 given, exactly 1 needed).\n");
}

TEST_F(CallVerb, CommandLineMistakesAreUsageErrors) {
    // An input file without what the call needs is a refused file: the
    // operation failed (1), as for every file a verb cannot use.
    writeInputs({{"in1", Array(1.0)}, {"in3", Array(1.0)}});
    Outcome r = cli("call OneX_Repeat --in in.mat --out out.mat", dir_);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("in2 is missing"), std::string::npos) << r.err;
    r = cli("call NoSuchRoutine --out out.mat", dir_);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("unknown routine \"NoSuchRoutine\""), std::string::npos) << r.err;
    r = cli("call OneX_RevShortCode", dir_);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("--out"), std::string::npos) << r.err;
}

TEST_F(CallVerb, ListShowsEveryRoutineWithItsCounts) {
    Outcome r = cli("call --list", dir_);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("[frame, events] = OneX_RevTrfChn(RRIactive,"), std::string::npos);
    EXPECT_NE(r.out.find("remez2                           in 3-6   out 3"), std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("saveParameters"), std::string::npos);
}

}  // namespace

namespace {

// The window routines are in the registry the command line shares with the
// library, but the command line has no windows: they are listed with their
// open counts and fail with a clear text, as in a library built without its
// desktop part.
TEST_F(CallVerb, WindowRoutinesAreListedButHaveNoWindowsHere) {
    Outcome r = cli("call --list", dir_);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("OneX_Rev_GUI_b                   in 0-any out any [varargout] = "
                         "OneX_Rev_GUI_b(varargin)"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("rfCommonUI                       in 1-any out 0   "), std::string::npos);

    r = cli("call OneX_Rev_b", dir_);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              "OneX_Rev_b: the windows are not available here; only OneX_Rev_b_lib built with its "
              "desktop part (ONEX_BUILD_GUI) has them.\n");
    // Any number of inputs reaches the routine; a fixed count is still
    // checked first.
    writeInputs({{"in1", Array::string("redraw")},
                 {"in2", Array(1.0)},
                 {"in3", Array(1.0)},
                 {"in4", Array(1.0)},
                 {"in5", Array(1.0)}});
    r = cli("call TARNconfig --in in.mat", dir_);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("TARNconfig: the windows are not available here"), std::string::npos)
        << r.err;
    r = cli("call QV_About --in in.mat", dir_);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("declared number of inputs (2)."), std::string::npos) << r.err;
}

}  // namespace
