#include <gtest/gtest.h>

#include <limits>

#include "MexIO/WaveformEncoding.h"

using namespace onex;
using namespace onex::mexio;

TEST(BlockHeader, DigitCountThenLength) {
    EXPECT_EQ(blockHeader(0), "#10");
    EXPECT_EQ(blockHeader(8), "#18");
    EXPECT_EQ(blockHeader(12345), "#512345");
    EXPECT_EQ(blockHeader(3932160), "#73932160");  // a 983040-sample frame
    EXPECT_EQ(blockHeader(999999999), "#9999999999");
}

TEST(WaveformMessage, NormScalingBigEndianInterleavedIq) {
    // Peak 1: I of the first sample reaches +32767; -0.5 * 32767 = -16383.5
    // rounds away from zero to -16384 (0xC000).
    std::vector<std::complex<double>> data = {{1.0, -0.5}, {-1.0, 0.25}};
    std::vector<uint8_t> msg = waveformMessage(data, "AB");
    std::string head = ":MMEMory:DATA \"WFM1:AB\",#18";
    ASSERT_EQ(msg.size(), head.size() + 8 + 1);
    EXPECT_EQ(std::string(msg.begin(), msg.begin() + head.size()), head);
    const uint8_t expected[] = {0x7F, 0xFF, 0xC0, 0x00,   // 32767, -16384
                                0x80, 0x01, 0x20, 0x00};  // -32767, 8191.75 -> 8192
    EXPECT_TRUE(std::equal(std::begin(expected), std::end(expected), msg.begin() + head.size()));
    EXPECT_EQ(msg.back(), '\n');
    // Read back as the instrument holds them; a partial pair at the end is no sample.
    const std::vector<uint8_t> stored(std::begin(expected), std::end(expected) - 1);
    EXPECT_EQ(iqCodes(stored), (std::vector<std::complex<float>>{{32767, -16384}}));
    const std::vector<uint8_t> both(std::begin(expected), std::end(expected));
    EXPECT_EQ(iqCodes(both)[1], std::complex<float>(-32767, 8192));
}

TEST(WaveformMessage, ScaleFollowsTheLargestComponentOfEitherRail) {
    // The peak is in Q: 0.002 -> 32767, I 0.001 -> 16383.5 -> 16384.
    std::vector<std::complex<double>> data = {{0.001, -0.002}};
    EXPECT_DOUBLE_EQ(normScale(data), 32767 / 0.002);
    std::vector<uint8_t> iq;
    appendIq(data, normScale(data), iq);
    EXPECT_EQ(iq, (std::vector<uint8_t>{0x40, 0x00, 0x80, 0x01}));
}

TEST(WaveformMessage, AllZeroWaveformIsSentAsZeros) {
    std::vector<std::complex<double>> data(3);
    EXPECT_EQ(normScale(data), 0.0);
    std::vector<uint8_t> iq;
    appendIq(data, normScale(data), iq);
    EXPECT_EQ(iq, std::vector<uint8_t>(12, 0));
}

TEST(MarkerMessage, OneBytePerSampleWithMarkerOneInBitZero) {
    std::vector<double> m1 = {1, 0, 1, 0, 0.5}, m2 = {0, 1, 1, 0, 0};
    std::vector<uint8_t> msg = markerMessage({m1, m2}, 5, "M");
    std::string head = ":MMEMory:DATA \"MKR1:M\",#15";
    ASSERT_EQ(msg.size(), head.size() + 5 + 1);
    EXPECT_EQ(std::vector<uint8_t>(msg.begin() + head.size(), msg.end() - 1),
              (std::vector<uint8_t>{1, 2, 3, 0, 1}));
    // An empty row means that marker is off throughout.
    std::vector<uint8_t> only2;
    appendMarkers({{}, m2}, 5, only2);
    EXPECT_EQ(only2, (std::vector<uint8_t>{0, 2, 2, 0, 0}));
}

TEST(CheckDownload, RefusesWhatCannotBeSentSoundly) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    std::vector<std::complex<double>> good = {{0.1, 0.2}, {0.3, 0.4}};
    std::vector<double> two = {1, 0}, three = {1, 0, 1}, withNan = {1, nan};
    EXPECT_FALSE(checkDownload(good, {two, two}, "OK_name-1").has_value());
    EXPECT_FALSE(checkDownload(good, {}, "no markers").has_value());

    struct Case {
        std::vector<std::complex<double>> data;
        MarkerRows markers;
        std::string name;
        std::string why;
    } cases[] = {
        {{}, {}, "N", "empty"},
        {{{0.1, nan}}, {}, "N", "sample 1"},
        {{{0.1, 0}, {inf, 0}}, {}, "N", "sample 2"},
        {good, {three, {}}, "N", "marker 1 has 3 values for 2 samples"},
        {good, {{}, three}, "N", "marker 2"},
        {good, {withNan, {}}, "N", "not a number"},
        {good, {}, "", "name is empty"},
        {good, {}, "a\"b", "quote"},
        {good, {}, "a\nb", "control"},
    };
    for (const auto& c : cases) {
        auto why = checkDownload(c.data, c.markers, c.name);
        ASSERT_TRUE(why.has_value()) << c.why;
        EXPECT_NE(why->find(c.why), std::string::npos) << *why;
    }
}

TEST(ParseErrorReply, CodeAndTextOfAnErrorQueueEntry) {
    auto e = parseErrorReply("+0,\"No error\"");
    ASSERT_TRUE(e);
    EXPECT_EQ(e->code, 0);
    EXPECT_EQ(e->text, "No error");
    e = parseErrorReply("-113,\"Undefined header\"");
    ASSERT_TRUE(e);
    EXPECT_EQ(e->code, -113);
    EXPECT_EQ(e->text, "Undefined header");
    e = parseErrorReply(" -250,\"Mass storage error;full, really\" ");
    ASSERT_TRUE(e);
    EXPECT_EQ(e->text, "Mass storage error;full, really");
    for (const char* bad : {"", "garbage", "1", "x1,\"a\"", "+,\"a\"", "12a,\"b\""})
        EXPECT_FALSE(parseErrorReply(bad).has_value()) << bad;
}
