// Waveform files: the Halberd byte stream, the Save Wave MAT-file and SigMF.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "FileTestSupport.h"
#include "Instrument/WaveformFiles.h"
#include "platform/MatFile.h"

using namespace onex;
using onex::platform::Array;
using onex::testfiles::readBytes;
using onex::testfiles::TempDir;
using Bytes = std::vector<unsigned char>;
using C = std::complex<double>;

namespace {

Bytes halberd(std::vector<C> v, double scale = 1) {
    auto b = halberdBytes(v, scale);
    return Bytes(b.begin(), b.end());
}

}  // namespace

TEST(Halberd, ByteExamples) {
    // Largest component to 32766, the other in proportion; big-endian words.
    EXPECT_EQ(halberd({{0.5, 0.25}}), (Bytes{0x7F, 0xFE, 0x3F, 0xFF}));
    // All magnitudes equal: no scaling, 0.5 rounds away from zero to 1.
    EXPECT_EQ(halberd({{0.5, -0.5}}), (Bytes{0x00, 0x01, 0xFF, 0xFF}));
    // -32766 is the word 8002 (two's complement).
    EXPECT_EQ(halberd({{-0.5, 0.25}}), (Bytes{0x80, 0x02, 0x3F, 0xFF}));
    // Scale 0.5: 16383 and 8191.5, which rounds to 8192.
    EXPECT_EQ(halberd({{0.5, 0.25}}, 0.5), (Bytes{0x3F, 0xFF, 0x20, 0x00}));
    EXPECT_EQ(halberd(std::vector<C>(3)), Bytes(12, 0x00));
    EXPECT_TRUE(halberd({}).empty());
}

TEST(Halberd, ScaleIsLimitedAndNonNumbersBecomeZero) {
    const std::vector<C> v = {{0.5, 0.25}, {-0.1, 0.3}};
    EXPECT_EQ(halberd(v, 2), halberd(v, 1));
    EXPECT_EQ(halberd(v, 0), halberd(v, 1e-5));
    EXPECT_EQ(halberd(v, -4), halberd(v, 1e-5));
    EXPECT_EQ(halberd(v, std::nan("")), halberd(v, 1));
    EXPECT_NE(halberd(v, 0.5), halberd(v, 1));
    // NaN leaves the scaling to the other components and is written as 0.
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(halberd({{nan, 0.5}, {0.25, 0}}),
              (Bytes{0x00, 0x00, 0x7F, 0xFE, 0x3F, 0xFF, 0x00, 0x00}));
    // Without scaling (equal magnitudes) big values wrap modulo 2^16.
    EXPECT_EQ(halberd({{65537, -65537}}), (Bytes{0x00, 0x01, 0xFF, 0xFF}));
}

TEST(Halberd, FileAndDynamicCall) {
    TempDir dir;
    const std::vector<C> v = {{0.5, 0.25}, {-0.25, 0.125}, {0, -0.5}};
    ASSERT_EQ(saveHalberdWaveform(v, dir / "w.bin"), 1);
    const Bytes expected = halberd(v);
    ASSERT_EQ(expected.size(), 12u);
    EXPECT_EQ(readBytes(dir / "w.bin"), expected);

    // Row and column give the same file; the file name defaults to TARN-C.
    Array row = Array::complexRow(v);
    Array column = row;
    column.reshape({3, 1});
    const Array rowArgs[] = {row, Array::string((dir / "row.bin").string())};
    const Array colArgs[] = {column, Array::string((dir / "col.bin").string()), Array(1.0)};
    EXPECT_EQ(saveHalberdWaveform(rowArgs), 1);
    EXPECT_EQ(saveHalberdWaveform(colArgs), 1);
    EXPECT_EQ(readBytes(dir / "row.bin"), expected);
    EXPECT_EQ(readBytes(dir / "col.bin"), expected);
    {
        onex::testfiles::ScopedCwd cwd(dir.path());
        EXPECT_EQ(saveHalberdWaveform(std::span<const Array>(rowArgs, 1)), 1);
        EXPECT_EQ(readBytes(dir / "TARN-C"), expected);
    }
    const Array halfScale[] = {row, Array::string((dir / "half.bin").string()), Array(0.5)};
    EXPECT_EQ(saveHalberdWaveform(halfScale), 1);
    EXPECT_EQ(readBytes(dir / "half.bin"), halberd(v, 0.5));

    // Wrong argument counts and kinds touch no file.
    const auto before = dir.entries();
    const Array four[] = {row, Array::string((dir / "four.bin").string()), Array(1.0), Array(1.0)};
    const Array textWave[] = {Array::string("abc"), Array::string((dir / "t.bin").string())};
    const Array numberName[] = {row, Array(3.0)};
    const Array rowScale[] = {row, Array::string((dir / "s.bin").string()), Array::row({1, 2})};
    EXPECT_EQ(saveHalberdWaveform(std::span<const Array>()), 0);
    EXPECT_EQ(saveHalberdWaveform(four), 0);
    EXPECT_EQ(saveHalberdWaveform(textWave), 0);
    EXPECT_EQ(saveHalberdWaveform(numberName), 0);
    EXPECT_EQ(saveHalberdWaveform(rowScale), 0);
    EXPECT_EQ(dir.entries(), before);

    // An unwritable target fails with 0 and leaves the old file whole.
    EXPECT_EQ(saveHalberdWaveform(v, dir / "missing" / "w.bin"), 0);
    EXPECT_EQ(saveHalberdWaveform(v, dir.path()), 0);
    EXPECT_EQ(readBytes(dir / "w.bin"), expected);
}

TEST(SaveWave, WritesWaveSampleRateAndSamplePoints) {
    TempDir dir;
    const std::vector<C> v = {{1, -1}, {0.5, 2}, {-3, 0}};
    EXPECT_EQ(waveMatFileName("a/wave"), "a/wave.mat");
    EXPECT_EQ(waveMatFileName("a/wave.txt"), "a/wave.txt");
    ASSERT_TRUE(saveWaveMat(dir / "wave", v, 6144000).ok);
    auto vars = platform::readMatFile(dir / "wave.mat");
    ASSERT_EQ(vars.size(), 3u);
    EXPECT_EQ(vars[0].name, "wave");
    EXPECT_TRUE(vars[0].value == Array::matrix(3, 2, std::vector<double>{1, 0.5, -3, -1, 2, 0}));
    EXPECT_EQ(vars[1].name, "sampleRate");
    EXPECT_TRUE(vars[1].value == Array(6144000.0));
    EXPECT_EQ(vars[2].name, "samplePoints");
    EXPECT_TRUE(vars[2].value == Array(3.0));

    const std::uint8_t m1[] = {1, 0, 0}, m2[] = {0, 1, 1};
    const FrameResult frame{v, m1, m2, nullptr};
    ASSERT_TRUE(saveWaveMat(dir / "with.txt", v, 1, &frame).ok);
    auto with = platform::readMatFile(dir / "with.txt");
    ASSERT_EQ(with.size(), 4u);
    EXPECT_TRUE(with[3].value == Array::matrix(2, 3, std::vector<double>{1, 0, 0, 1, 0, 1}));

    FileResult r = saveWaveMat(dir / "none" / "w.mat", v, 1);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.title, "Error Saving " + (dir / "none" / "w.mat").string());
}

// The waveform file is streamed from the frame by a writer of its own; after
// the header (which names the writer and the time) its bytes must be those
// the MAT-file library writes for the same variables. 40000 samples make
// both variables longer than one piece of the stream.
TEST(SaveWave, StreamedFileHasTheBytesOfTheGeneralWriter) {
    TempDir dir;
    const std::size_t n = 40000;
    std::vector<C> v(n);
    std::vector<std::uint8_t> m1(n), m2(n);
    for (std::size_t i = 0; i < n; ++i) {
        v[i] = {std::sin(0.001 * static_cast<double>(i)), -1.0 / static_cast<double>(i + 1)};
        m1[i] = i % 7 == 0;
        m2[i] = i % 3 == 0;
    }
    const FrameResult frame{v, m1, m2, nullptr};
    ASSERT_TRUE(saveWaveMat(dir / "streamed.mat", v, 9830400, &frame).ok);

    Array wave = Array::zeros({n, 2}), markers = Array::zeros({2, n});
    for (std::size_t i = 0; i < n; ++i) {
        wave.real()[i] = v[i].real();
        wave.real()[n + i] = v[i].imag();
        markers.real()[2 * i] = m1[i];
        markers.real()[2 * i + 1] = m2[i];
    }
    platform::writeMatFile(dir / "general.mat",
                           {{"wave", wave},
                            {"sampleRate", Array(9830400.0)},
                            {"samplePoints", Array(static_cast<double>(n))},
                            {"markers", markers}},
                           platform::MatFormat::V6);
    const Bytes streamed = readBytes(dir / "streamed.mat"),
                general = readBytes(dir / "general.mat");
    ASSERT_EQ(streamed.size(), general.size());
    EXPECT_TRUE(std::equal(streamed.begin() + 116, streamed.end(), general.begin() + 116));
    EXPECT_EQ(std::string(streamed.begin(), streamed.begin() + 19), "MATLAB 5.0 MAT-file");
}

TEST(SigMF, DataIsLittleEndianFloatPairsAndMetaDescribesIt) {
    TempDir dir;
    const std::vector<C> v = {{1.5, -0.25}, {0, 2}, {0, 0}, {0, 0}, {-1, 1}};
    const std::vector<std::uint8_t> m1 = {1, 0, 0, 1, 1}, m2 = {0, 1, 1, 0, 0};
    SigMFRecording rec{v, m1, m2, 6144000, 1.9e9, "line one\n\"quoted\" \\ back"};
    EXPECT_EQ(sigmfBase("x/rec.sigmf-data"), "x/rec");
    EXPECT_EQ(sigmfBase("x/rec.sigmf-meta"), "x/rec");
    EXPECT_EQ(sigmfBase("x/rec"), "x/rec");
    ASSERT_TRUE(saveSigMF(dir / "rec", rec).ok);

    const Bytes data = readBytes(dir / "rec.sigmf-data");
    ASSERT_EQ(data.size(), 5u * 8);
    // 1.5f = 3FC00000, -0.25f = BE800000, 2.0f = 40000000, least significant byte first.
    EXPECT_EQ(Bytes(data.begin(), data.begin() + 16),
              (Bytes{0, 0, 0xC0, 0x3F, 0, 0, 0x80, 0xBE, 0, 0, 0, 0, 0, 0, 0, 0x40}));

    const Bytes metaBytes = readBytes(dir / "rec.sigmf-meta");
    const std::string meta(metaBytes.begin(), metaBytes.end());
    EXPECT_EQ(meta, sigmfMetadata(rec));
    for (const char* part :
         {"\"core:datatype\": \"cf32_le\"", "\"core:version\": \"1.0.0\"",
          "\"core:sample_rate\": 6144000", "\"core:frequency\": 1900000000",
          "\"core:description\": \"line one\\n\\\"quoted\\\" \\\\ back\"",
          // Runs of ones, sorted by start: marker 1 at 0 and 3..4, marker 2 at 1..2.
          "{\"core:sample_start\": 0, \"core:sample_count\": 1, \"core:label\": \"Marker 1\"",
          "{\"core:sample_start\": 1, \"core:sample_count\": 2, \"core:label\": \"Marker 2\"",
          "{\"core:sample_start\": 3, \"core:sample_count\": 2, \"core:label\": \"Marker 1\""})
        EXPECT_NE(meta.find(part), std::string::npos) << part << "\n" << meta;
    EXPECT_LT(meta.find("\"core:sample_start\": 1,"), meta.find("\"core:sample_start\": 3,"));

    // Any bytes in a text become valid JSON: a stray byte as U+FFFD, control
    // characters escaped, valid UTF-8 kept.
    SigMFRecording raw = rec;
    raw.description =
        "a\xff"
        "b\x01"
        "c\xc3\xa9\xe2";
    EXPECT_NE(sigmfMetadata(raw).find("\"a\xef\xbf\xbd"
                                      "b\\u0001c\xc3\xa9\xef\xbf\xbd\""),
              std::string::npos)
        << sigmfMetadata(raw);

    SigMFRecording bad = rec;
    bad.sampleRate = 0;
    EXPECT_FALSE(saveSigMF(dir / "bad", bad).ok);
    bad = rec;
    bad.marker1 = std::span<const std::uint8_t>(m1).first(2);
    EXPECT_FALSE(saveSigMF(dir / "bad", bad).ok);
    EXPECT_FALSE(std::filesystem::exists(dir / "bad.sigmf-data"));
}
