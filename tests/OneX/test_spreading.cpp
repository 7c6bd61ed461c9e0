#include <gtest/gtest.h>

#include "OneX/Codes.h"
#include "OneX/DataSources.h"
#include "OneX/Spreading.h"
#include "platform/Error.h"

using namespace onex;
using C = std::complex<double>;

namespace {
constexpr double kAllOnes = 4398046511103.0;
}

TEST(QuadSpreading, FirstChipsOfConstantFrames) {
    const std::vector<C> inPhase(32768, C(1, 0));
    const std::vector<C> out1 = OneX_RevQuadSpreading(inPhase, kAllOnes, kAllOnes);
    const std::vector<C> expected1{{1, 1}, {1, -1}, {-1, -1}, {1, -1},
                                   {1, 1}, {-1, 1}, {-1, -1}, {-1, 1}};
    EXPECT_EQ(std::vector<C>(out1.begin(), out1.begin() + 8), expected1);

    const std::vector<C> quad(32768, C(0, 1));
    const std::vector<C> out2 = OneX_RevQuadSpreading(quad, kAllOnes, kAllOnes);
    const std::vector<C> expected2{{-1, 1}, {1, 1},   {1, -1}, {1, 1},
                                   {-1, 1}, {-1, -1}, {1, -1}, {-1, -1}};
    EXPECT_EQ(std::vector<C>(out2.begin(), out2.begin() + 8), expected2);

    // For a frame of ones the output is the code itself: every chip has unit
    // real and imaginary parts, and the Q/I code ratio flips within each pair.
    for (std::size_t k = 0; k < out1.size(); ++k) {
        ASSERT_EQ(std::abs(out1[k].real()), 1.0);
        ASSERT_EQ(std::abs(out1[k].imag()), 1.0);
        if (k % 2 == 1) {
            ASSERT_EQ(out1[k].imag() / out1[k].real(), -out1[k - 1].imag() / out1[k - 1].real())
                << k;
        }
    }
}

TEST(QuadSpreading, ZerosStayZeroAndLengthIsChecked) {
    const std::vector<C> zeros(32768);
    EXPECT_EQ(OneX_RevQuadSpreading(zeros, 1234, 5678), zeros);
    EXPECT_THROW(OneX_RevQuadSpreading(std::vector<C>(32767), 1, 1), Error);
    EXPECT_THROW(OneX_RevQuadSpreading(zeros, 4398046511104.0, 1), Error);
}

// The sequence is made from bits; it must equal the product of the long and
// short code rows as the code generators give them, over the whole frame.
TEST(QuadSpreading, EqualsTheProductOfTheCodeRows) {
    const std::vector<double> start = de2bi(0x24B91BFD3A8);
    const CodeSequences shortCode = OneX_RevShortCode(1);
    auto s = [](double bit) { return 1 - 2 * bit; };
    for (const auto& [im, qm] :
         {std::pair{kAllOnes, kAllOnes}, {0x123456789ABp0, 0x3F0F0F0F0F0p0}, {1.0, 0.0}}) {
        const CodeSequences longCode = OneX_RevLongCode(32768, start, im, qm);
        const std::vector<C> out = OneX_RevQuadSpreading(std::vector<C>(32768, C(1, 0)), im, qm);
        for (std::size_t k = 0; k < 32768; ++k) {
            const double i = s(shortCode.Iseq[k]) * s(longCode.Iseq[k]);
            const std::size_t even = k - k % 2;
            const double q = s(shortCode.Qseq[even]) * s(longCode.Qseq[even]) * (k % 2 ? -1 : 1);
            ASSERT_EQ(out[k], C(i, q * i)) << "chip " << k << " masks " << im << " " << qm;
        }
    }
}
