// The display models of a capture analysis, on chips whose errors are
// chosen: the EVM they must show follows from the choice.

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>

#include "Analysis/CaptureDisplays.h"
#include "OneX/AirInterface.h"
#include "platform/Error.h"

using namespace onex;
using namespace onex::analysis;
using C = std::complex<double>;

namespace {

// 1024 ideal chips on four points; the measured ones through a gain of 2 at
// 30 degrees, the first run of chips with an error of 10 % alternating in
// sign (so that it leaves the gain estimate alone), the rest exact.
CaptureAnalysis chipsWithKnownErrors() {
    CaptureAnalysis a;
    const C points[] = {{1, 0.5}, {-1, 0.5}, {-1, -0.5}, {1, -0.5}};
    const C gain = std::polar(2.0, std::numbers::pi / 6);
    const double rms = std::abs(points[0]);
    for (std::size_t k = 0; k < 1024; ++k) {
        const C r = points[(k / 2) % 4];
        const double e = k < kEvmChipsPerPoint ? (k % 2 ? -0.1 : 0.1) * rms : 0;
        a.idealChips.push_back(r);
        a.chips.push_back(gain * (r + e));
    }
    return a;
}

}  // namespace

TEST(CaptureDisplays, EvmOfEachRunAndOfTheFrame) {
    const CaptureDisplays d = captureDisplays(chipsWithKnownErrors());
    const EvmTimeModel& m = d.evm;
    ASSERT_EQ(m.evmPct.size(), 4u);
    EXPECT_NEAR(m.evmPct[0], 10, 1e-9);
    for (std::size_t k = 1; k < 4; ++k)
        EXPECT_NEAR(m.evmPct[k], 0, 1e-9) << k;
    EXPECT_NEAR(m.chipEvmPct[7], 10, 1e-9);
    EXPECT_NEAR(m.chipEvmPct[kEvmChipsPerPoint], 0, 1e-9);
    // A quarter of the chips at 10 %: 5 % over the frame.
    EXPECT_NEAR(m.rmsPct, 5, 1e-9);
    const double chipMs = 1e3 / kChipRate;
    EXPECT_NEAR(m.timeMs[0], 128 * chipMs, 1e-12);
    EXPECT_NEAR(m.frameMs, 1024 * chipMs, 1e-12);
    EXPECT_NEAR(m.limitPct, 11, 1e-9);

    // The constellation as measured, the ideal points once each, all of
    // them inside the axes and the outermost near their edge.
    const ChipConstellationModel& c = d.constellation;
    EXPECT_EQ(c.i.size(), 1024u);
    EXPECT_EQ(c.idealI.size(), 4u);
    double largest = 0;
    for (std::size_t k = 0; k < c.i.size(); ++k)
        largest = std::max({largest, std::abs(c.i[k]), std::abs(c.q[k])});
    EXPECT_LE(largest, c.limit);
    EXPECT_GT(largest, c.limit / 1.2);
}

TEST(CaptureDisplays, CodePowerBarsOfTheActiveChannelsAndTheInactiveCodes) {
    CaptureAnalysis a = chipsWithKnownErrors();
    a.channels[0] = {true, 0, 0.01};
    a.channels[2] = {true, -3, -3.02};
    a.channels[4] = {false, 4.5, std::nullopt};
    a.maxInactiveDb = -45;
    CodePowerModel m = captureDisplays(a).codePower;
    ASSERT_EQ(m.bars.size(), 3u);
    EXPECT_EQ(m.bars[0].label, "pilot");
    EXPECT_EQ(m.bars[1].label, "drc");
    EXPECT_EQ(m.bars[1].configuredDb, -3);
    EXPECT_EQ(m.bars[1].measuredDb, -3.02);
    EXPECT_FALSE(m.bars[2].configuredDb);
    EXPECT_EQ(m.bars[2].measuredDb, -45);
    EXPECT_EQ(m.floorDb, -50);
    EXPECT_EQ(m.topDb, 10);
    // A clean capture's inactive codes do not push the floor down.
    a.maxInactiveDb = -92;
    m = captureDisplays(a).codePower;
    EXPECT_EQ(m.floorDb, kCodePowerFloorDb);
    EXPECT_EQ(m.bars.back().measuredDb, -92);

    a.chips.clear();
    EXPECT_THROW(captureDisplays(a), Error);
}
