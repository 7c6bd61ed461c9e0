#include <gtest/gtest.h>

#include <numeric>

#include "OneX/TestBits.h"
#include "OneX/TurboEncoder.h"
#include "platform/Error.h"

using namespace onex;
using onex::test::bits;

namespace {
std::vector<double> pattern(std::size_t n) {
    std::vector<double> v(n);
    for (std::size_t i = 0; i < n; ++i)
        v[i] = ((i * 13 + 5) % 7) < 3;
    return v;
}
}  // namespace

TEST(ConstituentEncoder, SingleOneAndTermination) {
    const ConstituentOutput one = OneX_ConstituentEncoder(bits("1"));
    EXPECT_EQ(one.x, bits("1011"));
    EXPECT_EQ(one.y0, bits("1101"));
    EXPECT_EQ(one.y1, bits("1111"));

    // The tail returns the register to zero: encoding the data then zeros
    // continues as from a fresh start (the outputs after the tail are zero).
    const std::vector<double> in = pattern(50);
    const ConstituentOutput a = OneX_ConstituentEncoder(in);
    std::vector<double> withTail(in);
    withTail.insert(withTail.end(), a.x.end() - 3, a.x.end());  // tail inputs = tail x
    withTail.insert(withTail.end(), 5, 0.0);
    const ConstituentOutput b = OneX_ConstituentEncoder(withTail);
    for (std::size_t i = 53; i < 58; ++i) {
        EXPECT_EQ(b.y0[i], 0) << i;
        EXPECT_EQ(b.y1[i], 0) << i;
    }
    EXPECT_THROW(OneX_ConstituentEncoder(std::vector<double>{0.5}), Error);
}

TEST(TurboInterleaver, FirstOutputAndPermutation) {
    std::vector<double> ramp(250);
    std::iota(ramp.begin(), ramp.end(), 1.0);
    const std::vector<double> out = OneX_TurboInterleaver(ramp);
    EXPECT_EQ(out[0], 2);  // counter 0 -> address 1

    for (std::size_t n : {129u, 250u, 506u, 1018u, 2042u, 4090u, 4096u}) {
        std::vector<double> r(n);
        std::iota(r.begin(), r.end(), 0.0);
        std::vector<double> p = OneX_TurboInterleaver(r);
        std::sort(p.begin(), p.end());
        EXPECT_EQ(p, r) << n;  // every position exactly once
    }
    EXPECT_THROW(OneX_TurboInterleaver(std::vector<double>(128)), Error);
    EXPECT_THROW(OneX_TurboInterleaver(std::vector<double>(4097)), Error);
}

TEST(TurboCoder, OutputLengthsAndPuncturingLayout) {
    const std::vector<double> in = pattern(250);
    EXPECT_EQ(OneX_TurboCoder(in, 1), in);
    EXPECT_EQ(OneX_TurboCoder(in, 0.5).size(), 2 * 250u + 12);
    EXPECT_EQ(OneX_TurboCoder(in, 1.0 / 3).size(), 3 * 250u + 18);
    EXPECT_EQ(OneX_TurboCoder(in, 0.25).size(), 4 * 250u + 24);
    EXPECT_EQ(OneX_TurboCoder(in, 0.2).size(), 5 * 250u + 30);
    EXPECT_TRUE(OneX_TurboCoder(in, 0.3).empty());

    // Layout at rate 1/4 against the constituent outputs.
    const ConstituentOutput a = OneX_ConstituentEncoder(in);
    std::vector<double> permuted = OneX_TurboInterleaver(in);
    const ConstituentOutput b = OneX_ConstituentEncoder(permuted);
    const std::vector<double> q = OneX_TurboCoder(in, 0.25);
    for (std::size_t i = 0; i < 250; ++i) {  // i 0-based: even i = odd bit number
        EXPECT_EQ(q[4 * i], a.x[i]);
        EXPECT_EQ(q[4 * i + 1], a.y0[i]);
        EXPECT_EQ(q[4 * i + 2], i % 2 == 0 ? a.y1[i] : b.y0[i]);
        EXPECT_EQ(q[4 * i + 3], b.y1[i]);
    }
    for (std::size_t t = 0; t < 3; ++t) {
        const std::size_t c = 250 + t, p1 = 4 * c, p2 = 4 * c + 12;
        EXPECT_EQ((std::vector<double>(q.begin() + p1, q.begin() + p1 + 4)),
                  (std::vector<double>{a.x[c], a.x[c], a.y0[c], a.y1[c]}));
        EXPECT_EQ((std::vector<double>(q.begin() + p2, q.begin() + p2 + 4)),
                  (std::vector<double>{b.x[c], b.x[c], b.y0[c], b.y1[c]}));
    }
    // Rate 1/2 alternates the parity source.
    const std::vector<double> h = OneX_TurboCoder(in, 0.5);
    EXPECT_EQ(h[1], a.y0[0]);
    EXPECT_EQ(h[3], b.y0[1]);
    EXPECT_EQ(h[2 * 250 + 6], b.x[250]);  // second encoder's tail after 6 symbols
}

TEST(RevEncoder, EightThousandSymbolsForEveryRate) {
    for (int rate = 1; rate <= 5; ++rate) {
        const std::size_t packet = std::size_t{256} << (rate - 1);
        std::vector<double> in = pattern(packet);
        std::fill(in.end() - 6, in.end(), 0.0);
        EXPECT_EQ(OneX_RevEncoder(in, rate).size(), 8192u) << rate;
        EXPECT_EQ(OneX_RevEncoder(std::vector<double>(packet, 0.0), rate),
                  std::vector<double>(8192, 0.0));
    }
    // Rate 1 sends the interleaved code eight times over.
    const std::vector<double> out = OneX_RevEncoder(pattern(256), 1);
    for (std::size_t i = 1024; i < 8192; ++i)
        ASSERT_EQ(out[i], out[i % 1024]) << i;

    EXPECT_THROW(OneX_RevEncoder(pattern(256), 6), Error);
    EXPECT_THROW(OneX_RevEncoder(pattern(256), 2.5), Error);
    EXPECT_THROW(OneX_RevEncoder(pattern(3), 1), Error);
}
