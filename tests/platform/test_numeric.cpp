#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>

#include "platform/Numeric.h"

using namespace onex::platform;

TEST(Numeric, RoundsHalvesAwayFromZero) {
    EXPECT_EQ(roundHalfAway(2.5), 3.0);
    EXPECT_EQ(roundHalfAway(-2.5), -3.0);
    EXPECT_EQ(roundHalfAway(0.49999999999999994), 0.0);
}

TEST(Numeric, ClampTakesUpperBoundForNaN) {
    EXPECT_EQ(clampValue(9, 0, 7), 7);
    EXPECT_EQ(clampValue(-3, 0, 7), 0);
    EXPECT_EQ(clampValue(std::nan(""), 0, 7), 7);
    EXPECT_EQ(clampValue(5, 0, 7), 5);
}

TEST(Numeric, Int32ConversionSaturates) {
    EXPECT_EQ(toInt32Saturated(-1), -1);
    EXPECT_EQ(toInt32Saturated(19200.4), 19200);
    EXPECT_EQ(toInt32Saturated(2.5), 3);
    EXPECT_EQ(toInt32Saturated(1e12), std::numeric_limits<int32_t>::max());
    EXPECT_EQ(toInt32Saturated(-1e12), std::numeric_limits<int32_t>::min());
}

TEST(Numeric, HexParsingAndPrinting) {
    EXPECT_EQ(parseHex("3FFFFFFFFFF").value(), 4398046511103.0);
    EXPECT_EQ(parseHex(" 0x24b91bfd3a8 ").value(), 0x24B91BFD3A8);
    EXPECT_FALSE(parseHex("").has_value());
    EXPECT_FALSE(parseHex("12G").has_value());
    EXPECT_FALSE(parseHex("FFFFFFFFFFFFFFFFFF").has_value());
    EXPECT_EQ(toHex(4398046511103.0), "3FFFFFFFFFF");
    EXPECT_EQ(toHex(0), "0");
}

TEST(Numeric, Num2strFollowsTheDefaultConversion) {
    EXPECT_EQ(num2str(1.9e9), "1900000000");
    EXPECT_EQ(num2str(-10), "-10");
    EXPECT_EQ(num2str(-0.0), "0");
    EXPECT_EQ(num2str(2.5), "2.5");
    EXPECT_EQ(num2str(-12.5), "-12.5");
    EXPECT_EQ(num2str(-10.25), "-10.25");
    EXPECT_EQ(num2str(3.14159265), "3.1416");
    EXPECT_EQ(num2str(0.00123456), "0.0012346");
}

TEST(Numeric, DecimalParsingTakesDecimalNumbersOnly) {
    EXPECT_EQ(parseDecimal(" -2.5e1 ").value(), -25.0);
    EXPECT_EQ(parseDecimal(".5").value(), 0.5);
    EXPECT_EQ(parseDecimal("7.").value(), 7.0);
    EXPECT_EQ(parseDecimal("+1E3").value(), 1000.0);
    for (const char* text : {"0x10", "0x1p3", "1p3", "inf", "nan", "-Infinity", "", ".", "1e",
                             "1e+", "--1", "1 2", "1e999", "٣"})
        EXPECT_FALSE(parseDecimal(text).has_value()) << text;
}

TEST(Numeric, ExactNumberTextNeverNamesAnotherValue) {
    EXPECT_EQ(exactNumberText(4.1e9), "4100000000");
    EXPECT_EQ(exactNumberText(-6.5), "-6.5");
    EXPECT_EQ(exactNumberText(30.0000001), "30.0000001");
    EXPECT_EQ(std::strtod(exactNumberText(0.1 + 0.2).c_str(), nullptr), 0.1 + 0.2);
}
