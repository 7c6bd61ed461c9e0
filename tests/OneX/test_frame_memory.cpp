// The frame's memory: blocks reused across calculations without disturbing
// a frame someone still holds, the prebuilt filter taps, and the channel
// layout the builder places its chips by.

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <complex>
#include <cstring>
#include <thread>
#include <vector>

#include "OneX/BasebandFilter.h"
#include "OneX/ChannelLayout.h"
#include "OneX/FilterTapsTable.h"
#include "OneX/FirDesign.h"
#include "OneX/FrameBuilder.h"
#include "OneX/Spreading.h"
#include "platform/LargeBuffer.h"

using namespace onex;
using C = std::complex<double>;

namespace {

Parameters everyChannel(double os) {
    Parameters p = InitializeParameters();
    p.RRIactive = p.DRCactive = p.ACKactive = p.DATAactive = 1;
    p.RRIvalue = 5;
    p.DataRate = 3;
    p.OverSampling = os;
    return p;
}

long minorFaults() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_minflt;
}

struct Copy {
    std::vector<C> wave;
    std::vector<std::uint8_t> m1, m2;
    explicit Copy(const FrameResult& f)
        : wave(f.waveform.begin(), f.waveform.end()),
          m1(f.marker1.begin(), f.marker1.end()),
          m2(f.marker2.begin(), f.marker2.end()) {}
    bool sameAs(const FrameResult& f) const {
        return std::ranges::equal(wave, f.waveform) && std::ranges::equal(m1, f.marker1) &&
               std::ranges::equal(m2, f.marker2);
    }
};

}  // namespace

TEST(FrameMemory, AHeldFrameStaysAsItIsWhileLaterOnesReuseFreedMemory) {
    Parameters p = everyChannel(8);
    const FrameResult held = Calculate(p);
    const Copy before(held);
    const void* heldBlock = held.storage.get();

    // A frame dropped at once gives its block back; the next takes it, and
    // never the held one.
    const void* reused = nullptr;
    for (double gain : {-3.0, 2.0, 5.0}) {
        p.DATArelGain = gain;
        const FrameResult f = Calculate(p);
        EXPECT_NE(f.storage.get(), heldBlock);
        if (reused) {
            EXPECT_EQ(f.storage.get(), reused);
        }
        reused = f.storage.get();
        EXPECT_FALSE(before.sameAs(f));
    }
    EXPECT_TRUE(before.sameAs(held));

    // Copies share the block; it stays until the last copy is gone.
    FrameResult copy = held;
    EXPECT_EQ(copy.waveform.data(), held.waveform.data());
    EXPECT_EQ(held.marker1.data() + held.marker1.size(), held.marker2.data());

    // The pool keeps a bounded number of unused blocks.
    {
        std::vector<FrameResult> many;
        for (int k = 0; k < 8; ++k)
            many.push_back(Calculate(p));
    }
    EXPECT_LE(platform::largeBlockPoolStats().blocks, platform::kKeptLargeBlocks);
    EXPECT_TRUE(before.sameAs(copy));
}

TEST(FrameMemory, TenCalculationsAfterTheFirstCostAlmostNoPageFaults) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer's allocator and shadow memory fault pages of their own";
#endif
    // The highest data rate makes the encoder's working memory the largest.
    for (const double rate : {3.0, 5.0}) {
        Parameters p = everyChannel(30);
        p.DataRate = rate;
        Calculate(p);
        const long pages = static_cast<long>(kFrameChips * 30 * (sizeof(C) + 2) / 4096);
        const long before = minorFaults();
        for (int k = 0; k < 10; ++k)
            EXPECT_EQ(Calculate(p).waveform.size(), kFrameChips * 30);
        const long faults = minorFaults() - before;
        EXPECT_LT(faults, pages / 100) << faults << " minor page faults at data rate " << rate
                                       << "; the frame has " << pages << " pages";
    }
}

TEST(FrameMemory, CalculationsOnSeveralThreadsGiveTheSameFrames) {
    const std::vector<Parameters> sets = {everyChannel(5), everyChannel(12), everyChannel(30)};
    std::vector<Copy> expected;
    for (const Parameters& p : sets)
        expected.emplace_back(Calculate(p));
    std::vector<int> wrong(4, 0);
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < wrong.size(); ++t)
        threads.emplace_back([&, t] {
            for (int round = 0; round < 6; ++round) {
                const std::size_t k = (t + round) % sets.size();
                if (!expected[k].sameAs(Calculate(sets[k]))) ++wrong[t];
            }
        });
    for (auto& th : threads)
        th.join();
    EXPECT_EQ(wrong, std::vector<int>(wrong.size(), 0));
}

TEST(FrameMemory, PrebuiltTapsAreTheDesignBitForBit) {
    for (std::size_t os = kPrebuiltTapsMinRate; os <= kPrebuiltTapsMaxRate; ++os) {
        const auto rate = static_cast<double>(os);
        const std::vector<double> std = FilterCoeff_IS95_Std(rate),
                                  acp = FilterCoeff_IS95_Acp(rate);
        const std::span<const double> stdTable = prebuiltFilterTaps(false, rate),
                                      acpTable = prebuiltFilterTaps(true, rate);
        ASSERT_EQ(stdTable.size(), std.size()) << os;
        ASSERT_EQ(acpTable.size(), acp.size()) << os;
        EXPECT_EQ(std::memcmp(stdTable.data(), std.data(), std.size() * sizeof(double)), 0) << os;
        EXPECT_EQ(std::memcmp(acpTable.data(), acp.data(), acp.size() * sizeof(double)), 0) << os;
    }
    EXPECT_TRUE(prebuiltFilterTaps(true, 1).empty());
    EXPECT_TRUE(prebuiltFilterTaps(true, 2.5).empty());
    EXPECT_TRUE(prebuiltFilterTaps(false, 31).empty());
}

// Each channel alone: its side of the despread chip frame is non-zero exactly
// on the layout's stretches, and marker 2 marks exactly the ACK's.
TEST(ChannelLayout, EachChannelAloneOccupiesExactlyItsStretches) {
    Parameters base = InitializeParameters();
    base.slot.ACKslotActive = {1, 0, 1, 1, 0, 0, 1, 0, 1, 1, 1, 0, 0, 0, 1, 1};
    base.slot.DRCslotActive = {0, 1, 1, 0, 1, 0, 0, 1, 1, 1, 0, 1, 0, 0, 1, 1, 1};
    struct Case {
        CodeChannel channel;
        double Parameters::*flag;
    };
    for (const Case c : {Case{CodeChannel::DRC, &Parameters::DRCactive},
                         Case{CodeChannel::ACK, &Parameters::ACKactive},
                         Case{CodeChannel::Data, &Parameters::DATAactive}}) {
        Parameters p = base;
        p.*(c.flag) = 1;
        const std::vector<double> bits = prepareDataBits(p);
        const FrameInputs in = frameInputsFrom(p, bits);
        const ChipFrame chips = chipFrameOf(in);
        std::vector<bool> expected(kFrameChips, false);
        for (const ChannelStretch& s : channelStretches(c.channel, channelSwitchesOf(in)))
            std::fill_n(expected.begin() + static_cast<std::ptrdiff_t>(s.first), s.count, true);
        for (std::size_t k = 0; k < kFrameChips; ++k) {
            const C x = chips.chips[k];
            // The pilot alone fills the in-phase side.
            const double own = onInPhase(c.channel) ? x.real() - 1 : x.imag();
            ASSERT_EQ(own != 0, expected[k]) << codeChannelName(c.channel) << " chip " << k;
            if (c.channel == CodeChannel::ACK) {
                ASSERT_EQ(chips.marker2[k] != 0, expected[k]) << k;
            }
        }
    }
}
