#include <gtest/gtest.h>

#include <numeric>

#include "OneX/Codes.h"
#include "OneX/DataSources.h"
#include "OneX/TestBits.h"
#include "platform/Error.h"

using namespace onex;
using onex::test::bits;

namespace {
constexpr double kAllOnes = 4398046511103.0;  // 2^42 - 1
std::vector<double> head(const std::vector<double>& v, std::size_t n) {
    return {v.begin(), v.begin() + static_cast<std::ptrdiff_t>(n)};
}
}  // namespace

TEST(LongCode, FirstChipsFromTheFixedStartState) {
    const std::vector<double> start = de2bi(0x24B91BFD3A8);
    ASSERT_EQ(start.size(), 42u);

    const CodeSequences all = OneX_RevLongCode(64, start, kAllOnes, kAllOnes);
    EXPECT_EQ(head(all.Iseq, 32), bits("10001110100010001111000100100001"));
    EXPECT_EQ(all.Iseq, all.Qseq);

    // Masks 1 and 2 read stages 1 and 2 directly.
    const CodeSequences stages = OneX_RevLongCode(8, start, 1, 2);
    EXPECT_EQ(stages.Iseq, bits("01001001"));
    EXPECT_EQ(stages.Qseq, bits("01101101"));
    // Chip 1 is stage 1 of the start state, i.e. its bit 0 (0x...A8 is even).
    EXPECT_EQ(stages.Iseq[0], start[0]);

    const CodeSequences zero = OneX_RevLongCode(100, start, 0, 0);
    EXPECT_EQ(zero.Iseq, std::vector<double>(100, 0.0));

    const CodeSequences none = OneX_RevLongCode(0, start, kAllOnes, kAllOnes);
    EXPECT_TRUE(none.Iseq.empty());
    EXPECT_TRUE(none.Qseq.empty());
}

TEST(LongCode, RefusesBadMasksAndStates) {
    const std::vector<double> start = de2bi(0x24B91BFD3A8);
    EXPECT_THROW(OneX_RevLongCode(8, start, kAllOnes + 1, 0), Error);
    EXPECT_THROW(OneX_RevLongCode(8, start, 0, -1), Error);
    EXPECT_THROW(OneX_RevLongCode(8, start, 0.5, 0), Error);
    EXPECT_THROW(OneX_RevLongCode(8, start, std::nan(""), 0), Error);
    EXPECT_THROW(OneX_RevLongCode(8, std::vector<double>(41, 0.0), 1, 1), Error);
    EXPECT_THROW(OneX_RevLongCode(1e12, start, 1, 1), Error);
}

TEST(ShortCode, FirstChipsWeightAndRecursion) {
    const CodeSequences sc = OneX_RevShortCode(1);
    ASSERT_EQ(sc.Iseq.size(), 32768u);
    ASSERT_EQ(sc.Qseq.size(), 32768u);
    EXPECT_EQ(head(sc.Iseq, 32), bits("10101001001110100011011110011001"));
    EXPECT_EQ(head(sc.Qseq, 32), bits("10011110101110101101001110001010"));
    EXPECT_EQ(std::accumulate(sc.Iseq.begin(), sc.Iseq.end(), 0.0), 16384);
    EXPECT_EQ(std::accumulate(sc.Qseq.begin(), sc.Qseq.end(), 0.0), 16384);
    for (std::size_t i = 32768 - 15; i < 32768; ++i) {
        EXPECT_EQ(sc.Iseq[i], 0);
        EXPECT_EQ(sc.Qseq[i], 0);
    }
    // Chip j (1-based, 16..32753) obeys the characteristic recursions.
    auto s = [](const std::vector<double>& v, std::size_t j) { return static_cast<int>(v[j - 1]); };
    for (std::size_t j = 16; j <= 32753; ++j) {
        const int i = s(sc.Iseq, j - 15) ^ s(sc.Iseq, j - 10) ^ s(sc.Iseq, j - 8) ^
                      s(sc.Iseq, j - 7) ^ s(sc.Iseq, j - 6) ^ s(sc.Iseq, j - 2);
        const int q = s(sc.Qseq, j - 15) ^ s(sc.Qseq, j - 12) ^ s(sc.Qseq, j - 11) ^
                      s(sc.Qseq, j - 10) ^ s(sc.Qseq, j - 9) ^ s(sc.Qseq, j - 5) ^
                      s(sc.Qseq, j - 4) ^ s(sc.Qseq, j - 3);
        ASSERT_EQ(s(sc.Iseq, j), i) << j;
        ASSERT_EQ(s(sc.Qseq, j), q) << j;
    }

    const CodeSequences two = OneX_RevShortCode(2);
    ASSERT_EQ(two.Iseq.size(), 65536u);
    // Repeated before the rotation: still one period after another.
    EXPECT_EQ(head(two.Iseq, 32768), sc.Iseq);
    EXPECT_TRUE(std::equal(sc.Iseq.begin(), sc.Iseq.end(), two.Iseq.begin() + 32768));
}

TEST(Lfsr, SeedComesFirstAndShortRequestsKeepIt) {
    const std::vector<double> seed = bits("100000000000001");
    const std::vector<double> taps(16, 1.0);
    EXPECT_EQ(lfsr(15, taps, 15, seed), seed);
    EXPECT_EQ(lfsr(15, taps, 5, seed), seed);
    // order 3, taps 1 1 0: a(i) = a(i-3) xor a(i-2)
    EXPECT_EQ(lfsr(3, std::vector<double>{1, 1, 0}, 10, bits("100")), bits("1001011100"));
    EXPECT_THROW(lfsr(3, std::vector<double>{1, 1}, 10, bits("100")), Error);
    EXPECT_THROW(lfsr(3, std::vector<double>{1, 1, 0}, 10, bits("10")), Error);
}

TEST(CircularShiftLeft, RoundsAndNeverShiftsRight) {
    const std::vector<double> x{1, 2, 3, 4, 5};
    EXPECT_EQ(CircularShiftLeft(x, 2), (std::vector<double>{3, 4, 5, 1, 2}));
    EXPECT_EQ(CircularShiftLeft(x, 2.5), (std::vector<double>{4, 5, 1, 2, 3}));
    EXPECT_EQ(CircularShiftLeft(x, -4), x);
    EXPECT_EQ(CircularShiftLeft(x, 0), x);
    EXPECT_EQ(CircularShiftLeft(x, 5), x);
    EXPECT_EQ(CircularShiftLeft(x, 7), (std::vector<double>{3, 4, 5, 1, 2}));  // modulo length
    EXPECT_TRUE(CircularShiftLeft(std::vector<double>{}, 3).empty());
}
