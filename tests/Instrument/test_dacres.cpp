#include <gtest/gtest.h>

#include <cmath>

#include "Instrument/DacResolution.h"
#include "platform/Error.h"

using namespace onex;
using C = std::complex<double>;

TEST(DacResolution, RoundsOnTheScaleOfThePeakComponent) {
    // 3 bits: peak 1 maps to 3, so the steps are 1/3; halves go away from zero.
    const std::vector<C> wave{{1, 0.5}, {-0.25, 0.1}, {0, -0.5}};
    const std::vector<C> q = applyDacRes(wave, 3);
    const std::vector<C> expected{{1, 2.0 / 3}, {-1.0 / 3, 0}, {0, -2.0 / 3}};
    ASSERT_EQ(q.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_NEAR(q[i].real(), expected[i].real(), 1e-15) << i;
        EXPECT_NEAR(q[i].imag(), expected[i].imag(), 1e-15) << i;
    }
}

TEST(DacResolution, FourteenBitsPutThePeakOnFullScale) {
    // Peak in the imaginary part: it becomes -8191 steps and stays -2.
    const std::vector<C> wave{{0.3, -2}, {1.23456789, 0.001}};
    const std::vector<C> q = applyDacRes(wave, 14);
    const double step = 2.0 / 8191;
    EXPECT_DOUBLE_EQ(q[0].imag(), -2);
    EXPECT_DOUBLE_EQ(q[1].real(), std::round(1.23456789 / step) * step);
    EXPECT_DOUBLE_EQ(q[1].imag(), 4 * step);  // 0.001 is 4.0955 steps
}

TEST(DacResolution, PassThroughCasesAndLimits) {
    const std::vector<C> wave{{0.123, -0.456}, {0.789, 0.0001}};
    EXPECT_EQ(applyDacRes(wave, 2), wave);
    EXPECT_EQ(applyDacRes(wave, -5), wave);
    const std::vector<C> zeros(10);
    EXPECT_EQ(applyDacRes(zeros, 14), zeros);  // no 0/0
    EXPECT_TRUE(applyDacRes(std::vector<C>{}, 14).empty());
    // More than 32 bits counts as 32, and so does NaN.
    EXPECT_EQ(applyDacRes(wave, 40), applyDacRes(wave, 32));
    EXPECT_EQ(applyDacRes(wave, std::nan("")), applyDacRes(wave, 32));
    EXPECT_THROW(applyDacRes(std::vector<C>{{INFINITY, 0}}, 14), Error);
}
