// onexrev-cli's file verbs as a user runs them: params --out/--show,
// calculate --params, and the .bin, .mat and .sigmf outputs.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <thread>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "Instrument/ParameterFiles.h"
#include "Instrument/SigGenSettingsArray.h"
#include "OneX/ParameterFields.h"
#include "OneX/ParametersArray.h"
#include "platform/MatFile.h"
#include "support_sim.h"
#include "system/CliTestSupport.h"

namespace fs = std::filesystem;
using onex::platform::Array;

namespace {

using namespace onex::testsim;

class CliFiles : public CliFolderTest {
  protected:
    CliFiles() : CliFolderTest("cli_files") {}
    Outcome run(const std::string& program, std::vector<std::string> args) const {
        args.insert(args.begin(), program);
        return onex::testsim::runProgram(std::move(args), dir_);
    }
};

std::vector<unsigned char> bytesOf(const fs::path& p) {
    std::string s = slurp(p);
    return {s.begin(), s.end()};
}

// Largest |value| among the big-endian 16-bit words of a Halberd file.
int largestWord(const std::vector<unsigned char>& b) {
    int best = 0;
    for (std::size_t i = 0; i + 1 < b.size(); i += 2) {
        auto w = static_cast<std::int16_t>((b[i] << 8) | b[i + 1]);
        best = std::max(best, std::abs(static_cast<int>(w)));
    }
    return best;
}

}  // namespace

TEST_F(CliFiles, ParamsWritesAFileThatShowsAndLoadsBack) {
    Outcome r = cli({"params", "--out", "set", "--set", "DRCactive=1", "--set", "DRCrelGain=-6.5",
                     "--set", "slot.DRCslotValue=[0 1 2 3 4 5 6 7 8 9 A B C D E F 3]", "--set",
                     "OverSampling=8", "--set", "SigGen.Frequency=1.9e9", "--set",
                     "SigGen.Title=MY_WAVE", "--set", "SigGen.ALC=1"});
    ASSERT_EQ(r.rc, 0) << r.err;
    const fs::path file = at("set.mat");  // the extension is added
    EXPECT_NE(r.out.find(file.string()), std::string::npos) << r.out;

    onex::Parameters p = onex::InitializeParameters();
    onex::SigGenSettings s = onex::InitializeSigGenSettings(5);
    ASSERT_TRUE(onex::loadParameters(file, p, s).ok);
    EXPECT_EQ(p.DRCactive, 1);
    EXPECT_EQ(p.DRCrelGain, -6.5);
    EXPECT_EQ(p.slot.DRCslotValue[15], 15);
    EXPECT_EQ(p.OverSampling, 8);
    EXPECT_EQ(s.SamplingRate, 8 * 1228800.0);  // follows the oversampling
    EXPECT_EQ(s.Frequency, 1.9e9);
    EXPECT_EQ(s.Title, "MY_WAVE");
    EXPECT_EQ(s.ALC, 1.0);
    // The file records its full path.
    EXPECT_TRUE(*onex::platform::readMatVariable(file, "filename") == Array::string(file.string()));

    r = cli({"params", "--show", file.string()});
    ASSERT_EQ(r.rc, 0) << r.err;
    for (const auto& f : onex::parameterFields())
        EXPECT_NE(r.out.find("  " + std::string(f.name) + " "), std::string::npos) << f.name;
    for (const char* line :
         {"DRCrelGain                -6.5",
          "slot.DRCslotValue         [0 1 2 3 4 5 6 7 8 9 A B C D E F 3] (hex)",
          "IMask                     3FFFFFFFFFF (hex)", "Title                     \"MY_WAVE\"",
          "Frequency                 1900000000", "SamplingRate              9830400",
          "ALC                       1"})
        EXPECT_NE(r.out.find(line), std::string::npos) << line << "\n" << r.out;
    EXPECT_EQ(r.out.find("BBfilter"), std::string::npos);  // absent optional field

    // Starting from the file and writing it again changes nothing.
    r = cli({"params", "--params", file.string(), "--out", "again.mat"});
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_TRUE(*onex::platform::readMatVariable(file, "fileParameters") ==
                *onex::platform::readMatVariable(at("again.mat"), "fileParameters"));
    EXPECT_TRUE(*onex::platform::readMatVariable(file, "sigGenParameters") ==
                *onex::platform::readMatVariable(at("again.mat"), "sigGenParameters"));
}

TEST_F(CliFiles, CalculateFromAParameterFileMatchesTheSameSettingsGivenDirectly) {
    ASSERT_EQ(cli({"params", "--out", "p.mat", "--set", "DATAactive=1", "--set", "DataRate=3",
                   "--set", "OverSampling=2"})
                  .rc,
              0);
    Outcome a = cli({"calculate", "--params", "p.mat", "--set", "ACKactive=1", "--out", "a.bin"});
    Outcome b = cli({"calculate", "--set", "DATAactive=1", "--set", "DataRate=3", "--set",
                     "OverSampling=2", "--set", "ACKactive=1", "--out", "b.bin"});
    ASSERT_EQ(a.rc, 0) << a.err;
    ASSERT_EQ(b.rc, 0) << b.err;
    const auto bytes = bytesOf(at("a.bin"));
    EXPECT_EQ(bytes.size(), 4u * 2 * 32768);
    EXPECT_EQ(bytes, bytesOf(at("b.bin")));
    // At scale 1 the largest component is 2^15 - 2; --scale 0.5 halves it.
    EXPECT_EQ(largestWord(bytes), 32766);
    ASSERT_EQ(cli({"calculate", "--params", "p.mat", "--out", "half.bin", "--scale", "0.5"}).rc, 0);
    EXPECT_EQ(largestWord(bytesOf(at("half.bin"))), 16383);
}

TEST_F(CliFiles, SigMFRecordingMatchesTheMatOutputAndTheStandardsRequiredFields) {
    Outcome r = cli({"calculate", "--set", "ACKactive=1", "--set", "OverSampling=4", "--set",
                     "SigGen.Frequency=1.9e9", "--out", "rec.sigmf-data"});
    ASSERT_EQ(r.rc, 0) << r.err;
    ASSERT_EQ(
        cli({"calculate", "--set", "ACKactive=1", "--set", "OverSampling=4", "--out", "rec.mat"})
            .rc,
        0);
    const std::size_t n = 4 * 32768;
    const std::string data = slurp(at("rec.sigmf-data"));
    ASSERT_EQ(data.size(), 8 * n);
    const Array wave = *onex::platform::readMatVariable(at("rec.mat"), "wave");
    ASSERT_EQ(wave.dims(), (Array::Dims{n, 2}));
    for (std::size_t i = 0; i < n; i += 997) {
        float iq[2];
        std::memcpy(iq, data.data() + 8 * i, 8);  // little-endian host
        EXPECT_EQ(iq[0], static_cast<float>(wave.realAt(i)));
        EXPECT_EQ(iq[1], static_cast<float>(wave.realAt(n + i)));
    }
    const std::string meta = slurp(at("rec.sigmf-meta"));
    EXPECT_NE(meta.find("\"core:sample_rate\": 4915200"), std::string::npos);
    EXPECT_NE(meta.find("\"core:frequency\": 1900000000"), std::string::npos);
    EXPECT_NE(meta.find("ACKactive=1"), std::string::npos);

    if (onex::testsim::findProgram("python3").empty()) GTEST_SKIP() << "python3 not installed";
    Outcome check = run(onex::testsim::findProgram("python3"),
                        {std::string(ONEX_SOURCE_DIR) + "/tests/system/check_sigmf.py",
                         std::string(ONEX_TEST_DATA_DIR) + "/sigmf/sigmf-core-required.schema.json",
                         at("rec").string()});
    if (check.rc == 3) GTEST_SKIP() << "python3-jsonschema not installed";
    ASSERT_EQ(check.rc, 0) << check.out << check.err;
    // 32 half-slot pulses of one chip (4 samples); 16 ACK half-slots of 1024 chips.
    EXPECT_NE(check.out.find("Marker 1: 32 x [4]"), std::string::npos) << check.out;
    EXPECT_NE(check.out.find("Marker 2: 16 x [4096]"), std::string::npos) << check.out;
}

TEST_F(CliFiles, AFifoIsRefusedAtOnceWhereverAFileIsRead) {
    ASSERT_EQ(::mkfifo(at("ff").c_str(), 0600), 0);
    const std::string timeout = onex::testsim::findProgram("timeout");
    if (timeout.empty()) GTEST_SKIP() << "timeout (coreutils) not installed";
    for (const std::vector<std::string>& args : {std::vector<std::string>{"params", "--show", "ff"},
                                                 {"calculate", "--params", "ff"},
                                                 {"calculate", "--userfile", "ff"}}) {
        std::vector<std::string> command = {"20", std::string(ONEX_BIN_DIR) + "/onexrev-cli"};
        command.insert(command.end(), args.begin(), args.end());
        Outcome r = run(timeout, command);  // 124: it hung
        EXPECT_TRUE(r.rc == 1 || r.rc == 2) << args[1] << ": " << r.rc;
        EXPECT_NE(r.err.find("It is a FIFO, not a regular file"), std::string::npos) << r.err;
    }
}

// Starts onexrev-cli in `dir`, kills it with SIGKILL after `delay` and
// waits for it.
void killDuring(const fs::path& dir, std::vector<std::string> args,
                std::chrono::milliseconds delay) {
    args.insert(args.begin(), std::string(ONEX_BIN_DIR) + "/onexrev-cli");
    const pid_t pid = spawnProgram(std::move(args), dir);
    std::this_thread::sleep_for(delay);
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
}

// The sample rate a SigMF metadata file states, or -1.
double metaSampleRate(const std::string& meta) {
    const std::string key = "\"core:sample_rate\": ";
    const auto at = meta.find(key);
    return at == std::string::npos ? -1 : std::strtod(meta.c_str() + at + key.size(), nullptr);
}

TEST_F(CliFiles, AKilledSaveLeavesNoTemporaryFileAndNoMixedRecording) {
    // An old recording at OverSampling 5 and an old MAT-file; then saves at
    // OverSampling 30 killed at every stage. Afterwards the folder holds the
    // two files (old or new), nothing else, and metadata that exists
    // describes the data beside it.
    ASSERT_EQ(cli({"calculate", "--out", "r.sigmf-data"}).rc, 0);
    ASSERT_EQ(cli({"calculate", "--out", "x.mat"}).rc, 0);
    // A kill in the instant between naming the finished file and renaming it
    // can leave that hidden name (no process can act on SIGKILL); the next
    // save of the same file removes it, as the end of this test checks.
    const auto entries = [&](bool allowKilledTemporaries) {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir_)) {
            const std::string name = e.path().filename().string();
            if (name == ".stdout" || name == ".stderr") continue;
            if (allowKilledTemporaries &&
                (name.rfind(".x.mat.", 0) == 0 || name.rfind(".r.sigmf-", 0) == 0))
                continue;
            names.push_back(name);
        }
        std::sort(names.begin(), names.end());
        return names;
    };
    for (int ms = 5; ms <= 400; ms += 15) {
        SCOPED_TRACE(ms);
        killDuring(dir_, {"calculate", "--set", "OverSampling=30", "--out", "x.mat"},
                   std::chrono::milliseconds(ms));
        killDuring(dir_, {"calculate", "--set", "OverSampling=30", "--out", "r.sigmf-data"},
                   std::chrono::milliseconds(ms));
        const auto names = entries(true);
        EXPECT_TRUE(names == (std::vector<std::string>{"r.sigmf-data", "r.sigmf-meta", "x.mat"}) ||
                    names == (std::vector<std::string>{"r.sigmf-data", "x.mat"}))
            << ::testing::PrintToString(names);
        if (fs::exists(at("r.sigmf-meta"))) {
            const double rate = metaSampleRate(slurp(at("r.sigmf-meta")));
            EXPECT_EQ(fs::file_size(at("r.sigmf-data")), 8 * 32768 * rate / 1228800);
        }
    }
    EXPECT_NO_THROW(onex::platform::readMatFile(at("x.mat")));
    ASSERT_EQ(cli({"calculate", "--out", "x.mat"}).rc, 0);
    ASSERT_EQ(cli({"calculate", "--out", "r.sigmf-data"}).rc, 0);
    EXPECT_EQ(entries(false), (std::vector<std::string>{"r.sigmf-data", "r.sigmf-meta", "x.mat"}));
}

TEST_F(CliFiles, ASigMFSaveThatFailsKeepsTheOldPair) {
    ASSERT_EQ(cli({"calculate", "--out", "r.sigmf-data"}).rc, 0);
    const std::string data = slurp(at("r.sigmf-data")), meta = slurp(at("r.sigmf-meta"));
    // A folder in the way of the metadata: refused before either file changes.
    fs::create_directory(at("s.sigmf-meta"));
    Outcome r = cli({"calculate", "--set", "OverSampling=2", "--out", "s.sigmf-data"});
    EXPECT_EQ(r.rc, 1);
    EXPECT_NE(r.err.find("s.sigmf-meta': it is a folder"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(at("s.sigmf-data")));
    // A new pair replaces both files.
    ASSERT_EQ(cli({"calculate", "--set", "OverSampling=2", "--out", "r.sigmf-meta"}).rc, 0);
    EXPECT_NE(slurp(at("r.sigmf-data")), data);
    EXPECT_EQ(metaSampleRate(slurp(at("r.sigmf-meta"))), 2 * 1228800.0);
    EXPECT_NE(meta, slurp(at("r.sigmf-meta")));
}

TEST_F(CliFiles, WriteFailuresSayTheSystemsReason) {
    fs::create_directory(at("folder.bin"));
    Outcome r = cli({"calculate", "--out", "folder.bin"});
    EXPECT_EQ(r.rc, 1);
    EXPECT_NE(r.err.find("Unable to write file 'folder.bin': it is a folder."), std::string::npos)
        << r.err;

    // A folder the user may not write to (root may write anywhere: run as
    // nobody then).
    const std::string setpriv = onex::testsim::findProgram("setpriv");
    if (::geteuid() != 0 || !setpriv.empty()) {
        std::vector<std::string> args = {std::string(ONEX_BIN_DIR) + "/onexrev-cli", "calculate",
                                         "--out", "o.bin"};
        if (::geteuid() == 0) {
            ASSERT_EQ(::chmod(dir_.c_str(), 0755), 0);
            args.insert(args.begin(),
                        {setpriv, "--reuid=65534", "--regid=65534", "--clear-groups"});
        } else {
            ASSERT_EQ(::chmod(dir_.c_str(), 0555), 0);
        }
        r = onex::testsim::runProgram(args, dir_);
        ::chmod(dir_.c_str(), 0755);
        EXPECT_EQ(r.rc, 1) << r.out << r.err;
        EXPECT_NE(r.err.find("Unable to write file 'o.bin': Permission denied."), std::string::npos)
            << r.err;
    }

    // A full and a read-only file system.
    const fs::path small = at("small");
    const SmallFileSystem tmpfs(small, "512k");
    if (!tmpfs.mounted()) GTEST_SKIP() << tmpfs.error();
    // Default oversampling: 0.66 MB of .bin, 5.2 MB of .mat, 1.3 MB of .sigmf-data.
    for (const char* name : {"small/o.bin", "small/o.mat", "small/o.sigmf-data"}) {
        r = cli({"calculate", "--out", name});
        EXPECT_EQ(r.rc, 1) << name;
        EXPECT_NE(r.err.find("No space left on device"), std::string::npos) << name << r.err;
    }
    EXPECT_TRUE(fs::is_empty(small));  // nothing left behind
    ASSERT_EQ(::mount(nullptr, small.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0);
    for (const char* name : {"small/o.bin", "small/o.mat", "small/o.sigmf-data"}) {
        r = cli({"calculate", "--set", "OverSampling=2", "--out", name});
        EXPECT_EQ(r.rc, 1) << name;
        EXPECT_NE(r.err.find("Read-only file system"), std::string::npos) << name << r.err;
    }
}

TEST_F(CliFiles, WithoutTheReaderProgramMatFilesAreNotReadButStillWritten) {
    const std::string cliPath = std::string(ONEX_BIN_DIR) + "/onexrev-cli";
    const std::vector<std::pair<std::string, std::string>> noReader = {
        {"ONEXREV_MATREADER", (dir_ / "no-such-reader").string()}};
    Outcome r = onex::testsim::runProgram({cliPath, "params", "--out", "p.mat"}, dir_, noReader);
    ASSERT_EQ(r.rc, 0) << r.err;
    r = onex::testsim::runProgram({cliPath, "params", "--show", "p.mat"}, dir_, noReader);
    EXPECT_EQ(r.rc, 1);
    EXPECT_NE(r.err.find("the reader program onexrev-matreader is missing (looked in "
                         "ONEXREV_MATREADER=" +
                         (dir_ / "no-such-reader").string() + ";"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(cli({"params", "--show", "p.mat"}).rc, 0);

    // A reader of another version refuses the arguments it is given.
    const fs::path other = at("other-reader");
    std::ofstream(other) << "#!/bin/sh\nexit 2\n";
    fs::permissions(other, fs::perms::owner_all);
    r = onex::testsim::runProgram({cliPath, "params", "--show", "p.mat"}, dir_,
                                  {{"ONEXREV_MATREADER", other.string()}});
    EXPECT_EQ(r.rc, 1);
    EXPECT_NE(r.err.find(other.string() + " is of another version than this program"),
              std::string::npos)
        << r.err;
}

TEST_F(CliFiles, AMatFileModuleThatCannotBeLoadedKeepsTheFile) {
    ASSERT_EQ(cli({"params", "--out", "p.mat"}).rc, 0);
    const std::string before = slurp(at("p.mat"));
    const std::string cliPath = std::string(ONEX_BIN_DIR) + "/onexrev-cli";
    std::ofstream(at("junk.so")) << "no library";
    const std::pair<std::string, std::string> modules[] = {
        {at("missing.so").string(), "it is not installed (looked for " + at("missing.so").string()},
        {at("junk.so").string(), at("junk.so").string() + ": "},
    };
    for (const auto& [module, reason] : modules) {
        const std::vector<std::pair<std::string, std::string>> env = {
            {"ONEXREV_MAT_MODULE", module}};
        // Reading and calculating do not need it.
        EXPECT_EQ(onex::testsim::runProgram({cliPath, "params", "--show", "p.mat"}, dir_, env).rc,
                  0);
        EXPECT_EQ(onex::testsim::runProgram({cliPath, "calculate"}, dir_, env).rc, 0);
        // Waveform files are written without it.
        EXPECT_EQ(onex::testsim::runProgram({cliPath, "calculate", "--out", "w.mat"}, dir_, env).rc,
                  0);
        const Outcome r = onex::testsim::runProgram(
            {cliPath, "params", "--set", "OverSampling=3", "--out", "p.mat"}, dir_, env);
        EXPECT_EQ(r.rc, 1);
        EXPECT_NE(r.err.find("p.mat': The MAT-file module "
                             "libonexrev-mat.so cannot be loaded:"),
                  std::string::npos)
            << r.err;
        EXPECT_NE(r.err.find(reason), std::string::npos) << r.err;
        EXPECT_EQ(slurp(at("p.mat")), before);
    }
}

TEST_F(CliFiles, RefusalsAndFailuresHaveTheirExitCodes) {
    onex::platform::writeMatFile(
        at("old.mat"),
        {{"fileParameters",
          Array::structure({{"ParameterFileFormat_ID", Array::string("OneX-Rev - Format 1.0")}})}});
    struct Case {
        std::vector<std::string> args;
        int rc;
        std::string text;
    } cases[] = {
        {{"calculate", "--set", "SigGen.Frequency=5e9"},
         2,
         "SigGen.Frequency: 5000000000 is out of range (expected a number from 100000 to "
         "4000000000)"},
        {{"calculate", "--set", "SigGen.Title=my wave"}, 2, "SigGen.Title"},
        {{"calculate", "--set", "SigGen.Power=1"}, 2, "unknown field \"SigGen.Power\""},
        {{"calculate", "--set", "OverSampling=31"}, 2, "OverSampling"},
        {{"calculate", "--set", "OverSampling=0x10"}, 2, "\"0x10\" is not an integer"},
        {{"calculate", "--set", "DRCrelGain=0x1p3"}, 2, "DRCrelGain: \"0x1p3\" is not a number"},
        {{"calculate", "--set", "SigGen.Amplitude=0x0"}, 2, "SigGen.Amplitude: \"0x0\""},
        {{"calculate", "--set", "DRCrelGain=30.0000001"}, 2, "DRCrelGain: 30.0000001 is out"},
        {{"calculate", "--out", "x.wav"}, 2, "unknown file kind"},
        {{"calculate", "--out", "x.mat", "--scale", "0.5"}, 2, "--scale"},
        {{"calculate", "--out", "x.bin", "--scale", "0"}, 2, "--scale"},
        {{"params"}, 2, "--out FILE or --show FILE"},
        {{"params", "--show", "a.mat", "--set", "DRCactive=1"}, 2, "excludes"},
        {{"calculate", "--params", "missing.mat"}, 1, "No such file"},
        // A file that cannot be read fails the operation, whichever option names it.
        {{"calculate", "--userfile", "loopA"},
         1,
         "--userfile: Unable to read file 'loopA': No such file or directory.\n"},
        {{"calculate", "--userfile", "/proc/self/mem", "--set", "DATASourceType=7"},
         1,
         "--userfile: Unable to read file '/proc/self/mem': Input/output error."},
        {{"calculate", "--params", "old.mat"}, 1, "has an Invalid File Parameter ID."},
        {{"params", "--show", "old.mat"}, 1, "has an Invalid File Parameter ID."},
        {{"params", "--out", "no folder/p.mat"}, 1, "Unable to write file"},
        {{"calculate", "--out", "no folder/x.bin"}, 1, "Unable to write file"},
    };
    for (const auto& c : cases) {
        Outcome r = cli(c.args);
        EXPECT_EQ(r.rc, c.rc) << c.args[0] << " " << c.args.back() << "\n" << r.err;
        EXPECT_NE(r.err.find(c.text), std::string::npos) << r.err;
    }
    EXPECT_FALSE(fs::exists(at("x.wav")) || fs::exists(at("x.mat")) || fs::exists(at("x.bin")));
}

// The byte count of the first variable's tag (after the 128-byte header and
// its type word) set to `count`.
std::string withFirstSize(std::string file, std::uint32_t count) {
    std::memcpy(file.data() + 132, &count, 4);
    return file;
}

TEST_F(CliFiles, AVariableWhoseSizeCoversTheNextOnesIsRefusedNotDropped) {
    ASSERT_EQ(cli({"params", "--out", "p.mat", "--set", "SigGen.Frequency=1.9e9"}).rc, 0);
    const std::string file = slurp(at("p.mat"));
    // fileParameters made to reach the end of the file, over filename and
    // sigGenParameters.
    std::ofstream(at("hidden.mat"), std::ios::binary)
        << withFirstSize(file, static_cast<std::uint32_t>(file.size() - 136));
    Outcome r = cli({"params", "--show", "hidden.mat"});
    EXPECT_EQ(r.rc, 1) << r.out;
    EXPECT_NE(r.err.find("Unable to read MAT-file 'hidden.mat'"), std::string::npos) << r.err;
    r = cli({"calculate", "--params", "hidden.mat", "--out", "x.sigmf-data"});
    EXPECT_EQ(r.rc, 1);
    EXPECT_FALSE(fs::exists(at("x.sigmf-data")));
}

// /proc/PID/stat, or empty when the process has gone (a stream would
// throw when it goes while being read).
std::string statOf(const std::string& pid) {
    const int fd = ::open(("/proc/" + pid + "/stat").c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return {};
    char text[1024];
    const ssize_t n = ::read(fd, text, sizeof text);
    ::close(fd);
    return n > 0 ? std::string(text, static_cast<std::size_t>(n)) : std::string();
}

// The processes whose parent is `parent`.
std::vector<pid_t> childrenOf(pid_t parent) {
    std::vector<pid_t> found;
    std::error_code ec;
    for (fs::directory_iterator it("/proc", ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        const std::string stat = statOf(name);
        const auto close = stat.rfind(')');
        if (close == std::string::npos) continue;
        char state = 0;
        int ppid = 0;
        if (std::sscanf(stat.c_str() + close + 1, " %c %d", &state, &ppid) == 2 && ppid == parent)
            found.push_back(std::stoi(name));
    }
    return found;
}

// The state letter of a process (R, S, T, Z, ...), or 0 when it is gone.
char stateOf(pid_t pid) {
    const std::string stat = statOf(std::to_string(pid));
    const auto close = stat.rfind(')');
    return close == std::string::npos || close + 2 >= stat.size() ? 0 : stat[close + 2];
}

bool holdsOpen(pid_t pid, const fs::path& file) {
    std::error_code ec;
    for (fs::directory_iterator it("/proc/" + std::to_string(pid) + "/fd", ec), end;
         !ec && it != end; it.increment(ec)) {
        if (fs::read_symlink(it->path(), ec) == file) return true;
    }
    return false;
}

TEST_F(CliFiles, AKilledCallerTakesItsReaderProcessWithIt) {
    // A parameter-sized file that takes the reader a while: one 1 x 6e6
    // double (48 MB of zeros, a sparse file).
    const std::uint32_t n = 6000000;
    const auto le32 = [](std::uint32_t v) { return std::string(reinterpret_cast<char*>(&v), 4); };
    std::string head = "MATLAB 5.0 MAT-file, test";
    head.resize(116, ' ');
    head += std::string(8, '\0') + std::string("\x00\x01IM", 4);
    const std::string body = le32(6) + le32(8) + le32(6) + le32(0) + le32(5) + le32(8) + le32(1) +
                             le32(n) + le32(1) + le32(1) + std::string("x\0\0\0\0\0\0\0", 8) +
                             le32(9) + le32(8 * n);
    head += le32(14) + le32(static_cast<std::uint32_t>(body.size()) + 8 * n) + body;
    const fs::path big = at("big.mat");
    std::ofstream(big, std::ios::binary) << head;
    fs::resize_file(big, head.size() + 8ull * n);

    // Caught while it reads (it has the file open, long after its start),
    // stopped there so that it cannot end by itself, and its caller killed.
    pid_t reader = -1;
    for (int attempt = 0; attempt < 10 && reader < 0; ++attempt) {
        const pid_t caller = spawnProgram(
            {std::string(ONEX_BIN_DIR) + "/onexrev-cli", "params", "--show", big.string()}, dir_);
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (reader < 0 && std::chrono::steady_clock::now() < until) {
            for (pid_t child : childrenOf(caller)) {
                if (holdsOpen(child, big) && ::kill(child, SIGSTOP) == 0) reader = child;
            }
            if (stateOf(caller) == 'Z') break;  // the read was over before it was seen
        }
        ::kill(caller, SIGKILL);
        int status = 0;
        ::waitpid(caller, &status, 0);
    }
    ASSERT_GT(reader, 0) << "the reader was never seen reading";
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (stateOf(reader) != 0 && stateOf(reader) != 'Z' &&
           std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const char state = stateOf(reader);
    EXPECT_TRUE(state == 0 || state == 'Z') << "the reader lives on in state " << state;
    if (state != 0 && state != 'Z') ::kill(reader, SIGKILL);
}

TEST_F(CliFiles, AReaderThatHangsIsEndedAndTheTimeLimitNamed) {
    ASSERT_EQ(cli({"params", "--out", "p.mat"}).rc, 0);
    // A reader that closes its output at once but does not end.
    const fs::path script = at("hanging-reader");
    std::ofstream(script) << "#!/bin/sh\necho $$ > " << at("reader.pid").string()
                          << "\nexec sleep 60 >&-\n";
    fs::permissions(script, fs::perms::owner_all);
    const auto start = std::chrono::steady_clock::now();
    const Outcome r = onex::testsim::runProgram(
        {std::string(ONEX_BIN_DIR) + "/onexrev-cli", "params", "--show", "p.mat"}, dir_,
        {{"ONEXREV_MATREADER", script.string()}});
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    EXPECT_EQ(r.rc, 1);
    EXPECT_NE(r.err.find("Unable to read MAT-file 'p.mat': reading took longer than 5 s."),
              std::string::npos)
        << r.err;
    const pid_t pid = std::atoi(slurp(at("reader.pid")).c_str());
    ASSERT_GT(pid, 0);
    EXPECT_EQ(stateOf(pid), 0) << "the reader was not ended and reaped";
}
