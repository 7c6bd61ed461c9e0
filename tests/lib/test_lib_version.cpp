// One version everywhere: the number in the top CMakeLists.txt, in the
// public header, from the library and from every program's --version, with
// the commit of a build from a git checkout.

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>

#include "Instrument/FileTestSupport.h"
#include "OneX_Rev_b_lib.h"
#include "system/support_sim.h"

namespace fs = std::filesystem;
using onex::testsim::runProgram;

namespace {

// Each test runs its programs in a folder of its own: the runner keeps their
// output there, and the tests run side by side.
using onex::testfiles::TempDir;

// Read here from the project() line, not from anything the build made.
std::string projectVersion() {
    const std::string cmake = onex::testsim::slurp(fs::path(ONEX_SOURCE_DIR) / "CMakeLists.txt");
    std::smatch m;
    return std::regex_search(cmake, m, std::regex(R"(project\(\w+ VERSION (\d+\.\d+\.\d+))"))
               ? m[1].str()
               : "";
}

TEST(Version, HeaderAndLibraryCarryTheProjectVersion) {
    const TempDir dir;
    const std::string number = projectVersion();
    ASSERT_FALSE(number.empty());
    EXPECT_EQ(ONEX_REV_B_LIB_VERSION, number);
    EXPECT_EQ(std::to_string(ONEX_REV_B_LIB_VERSION_MAJOR) + "." +
                  std::to_string(ONEX_REV_B_LIB_VERSION_MINOR) + "." +
                  std::to_string(ONEX_REV_B_LIB_VERSION_PATCH),
              number);

    // "+g<commit>" exactly when the source is a git checkout; the build
    // under test was made from the commit checked out now.
    const std::string version = OneX_Rev_b_libVersion();
    const auto git = runProgram(
        {"/usr/bin/env", "git", "-C", ONEX_SOURCE_DIR, "rev-parse", "--show-toplevel", "HEAD"},
        dir.path());
    std::error_code ec;
    const bool checkout =
        git.rc == 0 && fs::equivalent(git.out.substr(0, git.out.find('\n')), ONEX_SOURCE_DIR, ec);
    if (!checkout) {
        EXPECT_EQ(version, number);
        return;
    }
    std::smatch m;
    ASSERT_TRUE(std::regex_match(version, m, std::regex(number + R"(\+g([0-9a-f]{7,40}))")))
        << version;
    const std::string head = git.out.substr(git.out.find('\n') + 1);
    EXPECT_EQ(head.rfind(m[1].str(), 0), 0u) << version << " is not HEAD " << head;
}

TEST(Version, EveryProgramShowsTheLibrarysVersion) {
    const TempDir dir;
    const std::string expected = std::string(" ") + OneX_Rev_b_libVersion() + "\n";
    for (const char* program : {"onexrev-cli", "tarn-sim", "onexrev"}) {
        const fs::path path = fs::path(ONEX_BIN_DIR) / program;
        if (std::string(program) == "onexrev" && !fs::exists(path)) continue;  // no GUI build
        // onexrev answers before Qt starts: no display, no platform needed.
        const auto r = runProgram({path.string(), "--version"}, dir.path(),
                                  {{"QT_QPA_PLATFORM", "no-such-platform"}});
        EXPECT_EQ(r.rc, 0) << program << ": " << r.err;
        EXPECT_EQ(r.out, program + expected);
    }
}

TEST(Version, SonameCarriesTheMajorVersion) {
    const TempDir dir;
    const auto r = runProgram(
        {"/usr/bin/env", "readelf", "-d", std::string(ONEX_LIB_DIR) + "/libOneX_Rev_b_lib.so"},
        dir.path());
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_NE(
        r.out.find("[libOneX_Rev_b_lib.so." + std::to_string(ONEX_REV_B_LIB_VERSION_MAJOR) + "]"),
        std::string::npos)
        << r.out;
}

}  // namespace
