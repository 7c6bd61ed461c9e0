// The library as a host sees it: the example hosts write the same file as
// the command line, only the C API is exported, and an installed copy is
// found through pkg-config and CMake.

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>

#include "lib/LibTest.h"

namespace fs = std::filesystem;

namespace {

struct Outcome {
    int status = -1;
    std::string output;  // stdout and stderr
};

Outcome run(const std::string& command) {
    Outcome r;
    FILE* p = ::popen((command + " 2>&1").c_str(), "r");
    if (!p) return r;
    char buf[512];
    while (std::fgets(buf, sizeof buf, p))
        r.output += buf;
    const int rc = ::pclose(p);
    r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    return r;
}

std::string bytes(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

class Example : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("onex_lib_example_" + std::to_string(::getpid()));
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    // The default frame as the command line writes it.
    std::string cliFrame() {
        const fs::path out = dir_ / "cli.bin";
        Outcome r = run(std::string(ONEX_BIN_DIR) + "/onexrev-cli calculate --out " + out.string());
        EXPECT_EQ(r.status, 0) << r.output;
        return bytes(out);
    }
    fs::path dir_;
};

TEST_F(Example, HostProgramWritesWhatTheCommandLineWrites) {
    const fs::path out = dir_ / "host.bin";
    Outcome r = run(std::string(ONEX_BIN_DIR) + "/onex-host-example " + out.string());
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("frame: 1 x 163840 complex, markers 2 x 163840"), std::string::npos)
        << r.output;
    const std::string host = bytes(out);
    EXPECT_EQ(host.size(), 4u * 163840);
    EXPECT_TRUE(host == cliFrame()) << "the host's file differs from the command line's";
}

TEST_F(Example, PythonHostWritesTheSameFile) {
#ifdef ONEX_SANITIZED_BUILD
    GTEST_SKIP() << "an instrumented library cannot be loaded into an uninstrumented python";
#else
    if (run("python3 -c 'import ctypes'").status != 0) GTEST_SKIP() << "no python3";
    const fs::path out = dir_ / "py.bin";
    Outcome r = run(std::string("ONEX_LIB=") + ONEX_LIB_DIR + "/libOneX_Rev_b_lib.so python3 " +
                    ONEX_SOURCE_DIR + "/examples/host.py " + out.string());
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_TRUE(bytes(out) == cliFrame());
#endif
}

TEST_F(Example, APythonHostFindsTheMatFileReaderBesideTheLibrary) {
#ifdef ONEX_SANITIZED_BUILD
    GTEST_SKIP() << "an instrumented library cannot be loaded into an uninstrumented python";
#else
    if (run("python3 -c 'import ctypes'").status != 0) GTEST_SKIP() << "no python3";
    // python3 lives in /usr/bin: only the library's own place leads to the
    // reader program. A parameter file is no correction file, which only the
    // reader can tell; without the reader the status says it is missing.
    const fs::path params = dir_ / "p.mat";
    ASSERT_EQ(
        run(std::string(ONEX_BIN_DIR) + "/onexrev-cli params --out " + params.string()).status, 0);
    const fs::path script = dir_ / "read.py";
    std::ofstream(script) << R"(import ctypes, sys
lib = ctypes.CDLL(sys.argv[1])
lib.OneX_Rev_b_libInitialize()
lib.mxCreateString.restype = ctypes.c_void_p
lib.mxCreateString.argtypes = [ctypes.c_char_p]
lib.mlfLoadTarnIqCorrectionData.restype = ctypes.c_void_p
lib.mlfLoadTarnIqCorrectionData.argtypes = [ctypes.POINTER(ctypes.c_void_p), ctypes.c_void_p]
lib.mxArrayToString.restype = ctypes.c_void_p
lib.mxArrayToString.argtypes = [ctypes.c_void_p]
status = ctypes.c_void_p()
lib.mlfLoadTarnIqCorrectionData(ctypes.byref(status), lib.mxCreateString(sys.argv[2].encode()))
print("status:", ctypes.string_at(lib.mxArrayToString(status)).decode())
)";
    const std::string command = "cd / && env -u ONEXREV_MATREADER python3 " + script.string() +
                                " " + ONEX_LIB_DIR + "/libOneX_Rev_b_lib.so " + params.string();
    Outcome r = run(command);
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("status: Invalid data structure."), std::string::npos) << r.output;
    r = run("cd / && ONEXREV_MATREADER=/nonexistent python3 " + script.string() + " " +
            ONEX_LIB_DIR + "/libOneX_Rev_b_lib.so " + params.string());
    EXPECT_NE(r.output.find("the reader program onexrev-matreader is missing"), std::string::npos)
        << r.output;
#endif
}

TEST(ExportedSymbols, OnlyTheCApiIsExported) {
    Outcome r = run(std::string("nm -D --defined-only ") + ONEX_LIB_DIR + "/libOneX_Rev_b_lib.so");
    ASSERT_EQ(r.status, 0) << r.output;
    const std::regex api("^(mx|mlf|mlx|OneX_Rev_b_lib)[A-Za-z0-9_]*$");
    std::istringstream lines(r.output);
    std::string line;
    std::size_t count = 0;
    std::set<std::string> names;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string a, b, c;
        fields >> a >> b >> c;
        const std::string name = c.empty() ? b : c;  // "addr type name" or "type name"
        if (name.empty()) continue;
        EXPECT_TRUE(std::regex_match(name, api)) << "exported: " << name;
        names.insert(name);
        ++count;
    }
    EXPECT_GT(count, 100u);
    for (const char* expected :
         {"OneX_Rev_b_libInitialize", "OneX_Rev_b_libTerminate", "OneX_Rev_b_libLastError",
          "mlfOneX_RevTrfChn", "mlxOneX_RevTrfChn", "mlfNremez2", "mlfVremez2",
          "mlxsaveHalberdWaveform", "mxCreateDoubleMatrix", "mxFree", "mlfOneX_Rev_b",
          "mlxOneX_Rev_GUI_b", "mlfNQV_SigGen", "mlfVOneX_Rev_GUI_SlotSetup", "mlfrfCommonUI"})
        EXPECT_TRUE(names.count(expected)) << expected;
}

TEST_F(Example, InstalledLibraryIsFoundByPkgConfigAndCMake) {
#ifdef ONEX_SANITIZED_BUILD
    GTEST_SKIP() << "hosts built outside the sanitizer build cannot load its library";
#else
    const fs::path prefix = dir_ / "prefix";
    Outcome r =
        run("cmake --install " + std::string(ONEX_BUILD_DIR) + " --prefix " + prefix.string());
    ASSERT_EQ(r.status, 0) << r.output;
    // The installed tree holds the headers and the library.
    ASSERT_TRUE(fs::exists(prefix / "include" / "OneX_Rev_b_lib.h"));
    ASSERT_TRUE(fs::exists(prefix / "include" / "onex_mx.h"));

    // pkg-config, from wherever the tree was installed.
    r = run("PKG_CONFIG_PATH=$(dirname $(find " + prefix.string() +
            " -name OneX_Rev_b_lib.pc)) pkg-config --cflags --libs OneX_Rev_b_lib");
    ASSERT_EQ(r.status, 0) << r.output;
    std::string flags = r.output;
    flags.erase(flags.find_last_not_of(" \n") + 1);
    const fs::path host = dir_ / "host-pc";
    r = run("cc -std=c11 -Wall -Wextra -Werror " + std::string(ONEX_SOURCE_DIR) +
            "/examples/host.c " + flags + " -o " + host.string());
    ASSERT_EQ(r.status, 0) << r.output;
    const std::string libdir = fs::path(flags.substr(flags.find("-L") + 2)).string();
    const fs::path out = dir_ / "pc.bin";
    r = run("LD_LIBRARY_PATH=" + libdir.substr(0, libdir.find(' ')) + " " + host.string() + " " +
            out.string());
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_TRUE(bytes(out) == cliFrame());

    // CMake: find_package(OneX_Rev_b_lib) in a project of its own.
    const fs::path proj = dir_ / "proj";
    fs::create_directories(proj);
    std::ofstream(proj / "CMakeLists.txt")
        << "cmake_minimum_required(VERSION 3.20)\nproject(host C)\n"
           "find_package(OneX_Rev_b_lib 1 REQUIRED)\n"
           "add_executable(host "
        << ONEX_SOURCE_DIR
        << "/examples/host.c)\n"
           "target_link_libraries(host PRIVATE OneX_Rev_b_lib::OneX_Rev_b_lib)\n";
    r = run("cmake -S " + proj.string() + " -B " + (proj / "b").string() + " -DCMAKE_PREFIX_PATH=" +
            prefix.string() + " && cmake --build " + (proj / "b").string());
    ASSERT_EQ(r.status, 0) << r.output;
    r = run((proj / "b" / "host").string() + " " + (dir_ / "cmake.bin").string());
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_TRUE(bytes(dir_ / "cmake.bin") == cliFrame());
#endif
}

}  // namespace
