// Capture files as recorders write them: sample formats decoded to the
// values their bytes hold, only the samples wanted read, and every refusal
// naming its reason.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "Instrument/CaptureFiles.h"
#include "platform/Array.h"
#include "platform/Error.h"
#include "platform/MatFile.h"

using namespace onex;
namespace fs = std::filesystem;

namespace {

class CaptureFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("onex_capture_files_" + std::to_string(::getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    fs::path write(const std::string& name, const std::string& bytes) const {
        std::ofstream(dir_ / name, std::ios::binary) << bytes;
        return dir_ / name;
    }
    std::string failure(const fs::path& path, CaptureReadOptions o = {}) const {
        try {
            readCaptureFile(path, o);
        } catch (const Error& e) {
            return e.what();
        }
        return "read";
    }
    fs::path dir_;
};

std::string bytes(std::initializer_list<int> values) {
    std::string s;
    for (int v : values)
        s += static_cast<char>(static_cast<unsigned char>(v));
    return s;
}

}  // namespace

TEST_F(CaptureFiles, DecodesEachSampleFormat) {
    CaptureReadOptions o;
    o.sampleRate = 5e6;
    struct Case {
        const char* format;
        std::string data;
        std::complex<float> first, second;
    } cases[] = {
        // 1.0f and -2.5f little-endian, then 0 and 0.5f.
        {"cf32",
         bytes({0, 0, 0x80, 0x3F, 0, 0, 0x20, 0xC0, 0, 0, 0, 0, 0, 0, 0, 0x3F}),
         {1, -2.5f},
         {0, 0.5f}},
        // 16384 and -32768, then 1 and -1.
        {"ci16",
         bytes({0, 0x40, 0, 0x80, 1, 0, 0xFF, 0xFF}),
         {0.5f, -1},
         {1 / 32768.f, -1 / 32768.f}},
        {"ci8", bytes({64, 0x80, 1, 0xFF}), {0.5f, -1}, {1 / 128.f, -1 / 128.f}},
        // The unsigned midpoint 127.5 is zero.
        {"cu8", bytes({255, 0, 128, 127}), {1, -1}, {0.5f / 127.5f, -0.5f / 127.5f}},
    };
    for (const Case& c : cases) {
        o.format = captureFormatNamed(c.format);
        const CaptureData d = readCaptureFile(write(std::string("x.") + c.format, c.data), o);
        ASSERT_EQ(d.samples.size(), 2u) << c.format;
        EXPECT_EQ(d.samples[0], c.first) << c.format;
        EXPECT_EQ(d.samples[1], c.second) << c.format;
        EXPECT_EQ(d.sampleRate, 5e6);
    }
    // A file cut inside a sample is refused with its size.
    o.format = CaptureSampleFormat::Ci16;
    EXPECT_NE(failure(write("cut.raw", std::string(4001, '\0')), o)
                  .find("4001 bytes, not a whole number of samples of 4 bytes"),
              std::string::npos);
    o.format.reset();
    EXPECT_NE(failure(write("y.raw", std::string(8, '\0')), o).find("--format"), std::string::npos);
}

// A large capture is read only as far as it is wanted, for the rate the
// file names.
TEST_F(CaptureFiles, ReadsOnlyTheSamplesWanted) {
    write(
        "big.sigmf-meta",
        R"({"global": {"core:datatype": "ci8", "core:sample_rate": 2.5e6, "core:version": "1.0.0"},
              "captures": [], "annotations": []})");
    write("big.sigmf-data", std::string(2 * 100000, '\x10'));
    CaptureReadOptions o;
    double askedFor = 0;
    o.samplesWanted = [&](double rate) {
        askedFor = rate;
        return std::size_t{1000};
    };
    const CaptureData d = readCaptureFile(dir_ / "big.sigmf-data", o);
    EXPECT_EQ(askedFor, 2.5e6);
    EXPECT_EQ(d.samples.size(), 1000u);
    EXPECT_EQ(d.fileSamples, 100000u);
    EXPECT_EQ(d.description, "SigMF recording, ci8");

    // A rate given beside the file's must agree with it.
    o.sampleRate = 2e6;
    EXPECT_NE(failure(dir_ / "big.sigmf-meta", o).find("2500000 Hz, not 2000000 Hz"),
              std::string::npos);
    // Other datatypes are named and refused.
    for (const char* type : {"cf64_le", "ci16_be", "cf32", "rf32_le"}) {
        write("t.sigmf-meta", std::string(R"({"global": {"core:datatype": ")") + type +
                                  R"(", "core:sample_rate": 1e7}})");
        write("t.sigmf-data", std::string(64, '\0'));
        EXPECT_NE(
            failure(dir_ / "t.sigmf-meta").find(std::string("datatype ") + type + " is not read"),
            std::string::npos)
            << type;
    }
    write("t.sigmf-meta", "not json");
    EXPECT_NE(failure(dir_ / "t.sigmf-meta").find("not SigMF metadata"), std::string::npos);
}

TEST_F(CaptureFiles, MatAndCsvCaptures) {
    // Save Wave's layout: wave N x 2 and sampleRate.
    const std::vector<double> wave = {1, 2, 3, -1, -2, -3};
    platform::writeMatFile(dir_ / "w.mat", {{"wave", platform::Array::matrix(3, 2, wave)},
                                            {"sampleRate", platform::Array(7.68e6)}});
    CaptureData d = readCaptureFile(dir_ / "w.mat", {});
    ASSERT_EQ(d.samples.size(), 3u);
    EXPECT_EQ(d.samples[2], std::complex<float>(3, -3));
    EXPECT_EQ(d.sampleRate, 7.68e6);
    // A lone complex vector, its rate given.
    const std::vector<std::complex<double>> iq = {{1, -1}, {0.5, 0.25}};
    platform::writeMatFile(dir_ / "c.mat", {{"iq", platform::Array::complexRow(iq)}});
    CaptureReadOptions o;
    EXPECT_NE(failure(dir_ / "c.mat", o).find("--rate"), std::string::npos);
    o.sampleRate = 5e6;
    d = readCaptureFile(dir_ / "c.mat", o);
    ASSERT_EQ(d.samples.size(), 2u);
    EXPECT_EQ(d.samples[1], std::complex<float>(0.5f, 0.25f));
    platform::writeMatFile(dir_ / "n.mat", {{"x", platform::Array(1.0)}});
    EXPECT_NE(failure(dir_ / "n.mat", o).find("no variable wave"), std::string::npos);

    // CSV: a header line, CRLF, blanks; a bad line is named.
    d = readCaptureFile(write("a.csv", "I,Q\r\n0.5, -0.25\r\n1e-3,2\r\n\r\n"), o);
    ASSERT_EQ(d.samples.size(), 2u);
    EXPECT_EQ(d.samples[0], std::complex<float>(0.5f, -0.25f));
    EXPECT_EQ(d.samples[1], std::complex<float>(1e-3f, 2));
    EXPECT_NE(failure(write("b.csv", "1,2\n3,x\n"), o).find("line 2 is not two numbers"),
              std::string::npos);
}
