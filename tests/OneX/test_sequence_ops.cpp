#include <gtest/gtest.h>

#include <numeric>

#include "OneX/SequenceOps.h"
#include "OneX/TestBits.h"
#include "platform/Error.h"

using namespace onex;
using onex::test::bits;

TEST(SequenceOps, RepeatWritesTheWholeRowAgain) {
    EXPECT_EQ(OneX_Repeat(bits("101"), 2), bits("101101"));
    EXPECT_EQ(OneX_Repeat(std::vector<double>{1}, 128), std::vector<double>(128, 1.0));
    EXPECT_TRUE(OneX_Repeat(bits("101"), 0).empty());
    EXPECT_THROW(OneX_Repeat(bits("101"), -1), Error);
    EXPECT_THROW(OneX_Repeat(bits("101"), 1.5), Error);
    EXPECT_THROW(OneX_Repeat(bits("101"), 1e12), Error);  // refused, not allocated
}

TEST(SequenceOps, SignalMapIsOneMinusTwiceTheInput) {
    EXPECT_EQ(OneX_SignalMap(bits("0110")), (std::vector<double>{1, -1, -1, 1}));
    EXPECT_EQ(OneX_SignalMap(std::vector<double>{0.5, 2}), (std::vector<double>{0, -3}));
}

TEST(SequenceOps, ReverseBits) {
    EXPECT_EQ(ReverseBits(1, 5), 16u);
    EXPECT_EQ(ReverseBits(6, 5), 12u);
    EXPECT_EQ(ReverseBits(0, 5), 0u);
    EXPECT_EQ(ReverseBits(31, 5), 31u);
    EXPECT_EQ(ReverseBits(1, 10), 512u);
    EXPECT_EQ(ReverseBits(0, 0), 0u);
    EXPECT_EQ(ReverseBits(1, 1), 1u);
    EXPECT_EQ(ReverseBits(1, 63), std::uint64_t{1} << 62);
    EXPECT_EQ(ReverseBits(0x0123456789ABCDEFu, 63), 0x7BD9EAC8F3516240u);
    EXPECT_THROW(ReverseBits(32, 5), onex::Error);
}

TEST(SequenceOps, ChannelInterleaverReversesIndexBits) {
    EXPECT_EQ(OneX_RevChnInterleaver(std::vector<double>{0, 1, 2, 3, 4, 5, 6, 7}),
              (std::vector<double>{0, 4, 2, 6, 1, 5, 3, 7}));

    std::vector<double> ramp(1024);
    std::iota(ramp.begin(), ramp.end(), 1.0);  // value = 1-based position
    const std::vector<double> out = OneX_RevChnInterleaver(ramp);
    EXPECT_EQ(out[0], 1);
    EXPECT_EQ(out[1], 513);
    EXPECT_EQ(out[2], 257);
    EXPECT_EQ(out[3], 769);
    EXPECT_EQ(OneX_RevChnInterleaver(out), ramp);  // its own inverse

    EXPECT_THROW(OneX_RevChnInterleaver(std::vector<double>(1000)), onex::Error);
    EXPECT_EQ(OneX_RevChnInterleaver(std::vector<double>{7}), std::vector<double>{7});
}
