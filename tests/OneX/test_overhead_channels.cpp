#include <gtest/gtest.h>

#include "OneX/OverheadChannels.h"
#include "OneX/TestBits.h"
#include "platform/Error.h"

using namespace onex;
using onex::test::bits;

TEST(WalshMatrix, SizesAndSylvesterOrder) {
    EXPECT_EQ(OneX_WalshMatrix(16).rows(), 16u);
    EXPECT_EQ(OneX_WalshMatrix(8).cols(), 8u);
    EXPECT_EQ(OneX_WalshMatrix(12), OneX_WalshMatrix(8));
    EXPECT_EQ(OneX_WalshMatrix(1), RealMatrix(1, 1, 1.0));
    EXPECT_EQ(OneX_WalshMatrix(0), RealMatrix(1, 1, 1.0));

    const RealMatrix w4 = OneX_WalshMatrix(4);
    const double expected[4][4] = {{1, 1, 1, 1}, {1, -1, 1, -1}, {1, 1, -1, -1}, {1, -1, -1, 1}};
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_EQ(w4(r, c), expected[r][c]) << r << "," << c;

    // Rows are mutually orthogonal.
    const RealMatrix w16 = OneX_WalshMatrix(16);
    for (int a = 0; a < 16; ++a)
        for (int b = 0; b < 16; ++b) {
            double dot = 0;
            for (int c = 0; c < 16; ++c)
                dot += w16(a, c) * w16(b, c);
            EXPECT_EQ(dot, a == b ? 16 : 0);
        }
    EXPECT_THROW(OneX_WalshMatrix(1e9), onex::Error);
    EXPECT_THROW(OneX_WalshMatrix(-1), onex::Error);
}

TEST(WalshCover, EachSymbolTimesTheWholeCode) {
    const std::vector<double> code{1, -1};
    EXPECT_EQ(OneX_WalshCover(std::vector<double>{1, -1}, code),
              (std::vector<double>{1, -1, -1, 1}));
    using C = std::complex<double>;
    const std::vector<C> sig{{1, 2}, {0, -1}};
    EXPECT_EQ(OneX_WalshCover(sig, code), (std::vector<C>{{1, 2}, {-1, -2}, {0, -1}, {0, 1}}));
}

TEST(RriChannel, CodewordsAndSlotLayout) {
    EXPECT_EQ(OneX_RevRRIencoder(0), bits("0000000"));
    EXPECT_EQ(OneX_RevRRIencoder(3), bits("1100110"));
    EXPECT_EQ(OneX_RevRRIencoder(5), bits("1011010"));
    EXPECT_EQ(OneX_RevRRIencoder(7), bits("1101001"));

    EXPECT_EQ(OneX_RevRRIchn(0, 5), RealMatrix(16, 16, 0.0));
    EXPECT_EQ(OneX_RevRRIchn(0, 99), RealMatrix(16, 16, 0.0));  // value unused when off

    const RealMatrix rri = OneX_RevRRIchn(1, 5);
    auto row = [&](std::size_t k) {
        return std::vector<double>(rri.row(k).begin(), rri.row(k).end());
    };
    EXPECT_EQ(row(0), bits("1011010101101010"));
    EXPECT_EQ(row(1), bits("1101010110101011"));
    EXPECT_EQ(row(15), bits("1101010110101011"));

    EXPECT_THROW(OneX_RevRRIchn(1, 8), onex::Error);
    EXPECT_THROW(OneX_RevRRIchn(1, 2.5), onex::Error);
    EXPECT_THROW(OneX_RevRRIencoder(-1), onex::Error);
}

TEST(DrcChannel, CodewordsCoversAndRanges) {
    EXPECT_EQ(OneX_RevDRCencoder(0), bits("00000000"));
    EXPECT_EQ(OneX_RevDRCencoder(3), bits("10101010"));
    EXPECT_EQ(OneX_RevDRCencoder(8), bits("00001111"));
    EXPECT_EQ(OneX_RevDRCencoder(13), bits("11000011"));
    EXPECT_EQ(OneX_RevDRCencoder(15), bits("10010110"));

    const std::vector<double> v3c0 = OneX_RevDrcChn(3, 0);
    ASSERT_EQ(v3c0.size(), 128u);
    for (std::size_t i = 0; i < 128; ++i)
        EXPECT_EQ(v3c0[i], (i / 8) % 2 == 0 ? -1 : 1) << i;  // eight -1, eight +1, ...

    const std::vector<double> v3c1 = OneX_RevDrcChn(3, 1);
    EXPECT_EQ(std::vector<double>(v3c1.begin(), v3c1.begin() + 8),
              (std::vector<double>{-1, 1, -1, 1, -1, 1, -1, 1}));

    EXPECT_EQ(OneX_RevDrcChn(0, 0), std::vector<double>(128, 1.0));
    EXPECT_EQ(OneX_RevDrcChn(1, 0), std::vector<double>(128, -1.0));

    try {
        OneX_RevDrcChn(16, 0);
        FAIL() << "no error";
    } catch (const onex::Error& e) {
        EXPECT_NE(std::string(e.what()).find("OneX_RevDRCencoder"), std::string::npos);
        EXPECT_NE(std::string(e.what()).find("16"), std::string::npos);
    }
    EXPECT_THROW(OneX_RevDrcChn(3, 8), onex::Error);
}
