// onexrev-cli measure as a user runs it: its JSON against an independent
// numpy computation from the MAT-file that calculate writes, the table, and
// refused command lines.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "system/CliTestSupport.h"
#include "system/support_sim.h"

namespace fs = std::filesystem;
using onex::testsim::Outcome;

namespace {

class CliMeasure : public onex::testsim::CliFolderTest {
  protected:
    CliMeasure() : CliFolderTest("cli_measure") {}
    Outcome python(std::vector<std::string> args) const {
        args.insert(args.begin(), python_);
        return onex::testsim::runProgram(std::move(args), dir_);
    }
    // The reference needs numpy and scipy: the python3 on PATH if it has
    // them, else the system's (where Debian's packages install them).
    bool findNumpy() {
        for (std::string p :
             {onex::testsim::findProgram("python3"), std::string("/usr/bin/python3")}) {
            if (p.empty() || ::access(p.c_str(), X_OK) != 0) continue;
            python_ = p;
            if (python({"-c", "import numpy, scipy.io"}).rc == 0) return true;
        }
        return false;
    }
    std::string python_;
};

std::vector<std::string> joined(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

}  // namespace

TEST_F(CliMeasure, JsonEqualsTheNumpyReference) {
    if (!findNumpy()) GTEST_SKIP() << "python3 with numpy and scipy not installed";
    struct Case {
        std::vector<std::string> sets, options;
    } cases[] = {
        // Every channel on at the lowest rate: the outer offsets are past
        // the Nyquist frequency.
        {{"--set", "RRIactive=1", "--set", "DRCactive=1", "--set", "ACKactive=1", "--set",
          "DATAactive=1", "--set", "DataRate=5", "--set", "DRCrelGain=-9", "--set", "DATArelGain=8",
          "--set", "OverSampling=2"},
         {}},
        // Sample and hold, mirrored, ACK in two slots.
        {{"--set", "FilterType=1", "--set", "MirrorSpectrum=1", "--set", "ACKactive=1", "--set",
          "ACKrelGain=-5", "--set", "slot.ACKslotActive=0,1,0,0,0,0,0,0,0,0,0,0,0,1,0,0", "--set",
          "OverSampling=5"},
         {}},
        // No filter, other bands.
        {{"--set", "FilterType=4", "--set", "DATAactive=1", "--set", "EncoderActive=0", "--set",
          "DATArelGain=3", "--set", "OverSampling=8"},
         {"--offsets=-500000,1000000,4800000", "--offset-bw", "10000", "--channel-bw", "1e6"}},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(cli(joined({"calculate", "--out", at("frame.mat").string()}, c.sets)).rc, 0);
        const Outcome measured = cli(joined(joined({"measure", "--json"}, c.sets), c.options));
        ASSERT_EQ(measured.rc, 0) << measured.err;
        std::ofstream(at("measure.json")) << measured.out;
        const Outcome ref = python(joined(
            {std::string(ONEX_SOURCE_DIR) + "/scripts/measure_reference.py", at("frame.mat")},
            c.options));
        ASSERT_EQ(ref.rc, 0) << ref.err;
        std::ofstream(at("reference.json")) << ref.out;
        const Outcome compared =
            python({std::string(ONEX_SOURCE_DIR) + "/tests/system/compare_measure.py",
                    at("measure.json"), at("reference.json")});
        EXPECT_EQ(compared.rc, 0) << compared.out << compared.err << "\nmeasure: " << measured.out
                                  << "reference: " << ref.out;
    }
}

TEST_F(CliMeasure, TableAndRefusedCommandLines) {
    const Outcome table = cli({"measure", "--set", "DRCactive=1", "--set", "DRCrelGain=-7"});
    ASSERT_EQ(table.rc, 0) << table.err;
    for (const char* line : {"Samples                     163840 at 6144000 Sa/s\n",
                             "Waveform quality (rho)      1.000000\n",
                             "drc       yes           -7.00 dB      -7.00 dB\n",
                             "ack       no             0.00 dB not available\n"})
        EXPECT_NE(table.out.find(line), std::string::npos) << line << "\nin\n" << table.out;

    struct Refusal {
        std::vector<std::string> args;
        std::string text;
    } refusals[] = {
        {{"--offsets=885000.5"}, "whole number of Hz"},
        {{"--offsets=885000,885000"}, "given twice"},
        {{"--offsets", "abc"}, "--offsets"},
        {{"--offset-bw", "0"}, "offset bandwidth"},
        {{"--channel-bw=-1"}, "channel bandwidth"},
        {{"--set", "Nope=1"}, "unknown field"},
    };
    for (const Refusal& r : refusals) {
        const Outcome o = cli(joined({"measure"}, r.args));
        EXPECT_EQ(o.rc, 2) << r.args[0];
        EXPECT_NE(o.err.find(r.text), std::string::npos) << o.err;
        EXPECT_TRUE(o.out.empty()) << o.out;
    }
    // A parameter file that does not load is a failure, not a refusal.
    EXPECT_EQ(cli({"measure", "--params", at("missing.mat").string()}).rc, 1);
}
