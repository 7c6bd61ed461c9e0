#include <gtest/gtest.h>

#include <string>

#include "OneX/PhysicalLayerPacket.h"
#include "OneX/TestBits.h"

using namespace onex;
using onex::test::bits;

TEST(FrameCheckSequence, CheckValueAndGenerator) {
    std::vector<double> text;
    for (unsigned char c : std::string("123456789"))
        for (int b = 7; b >= 0; --b)
            text.push_back((c >> b) & 1);
    EXPECT_EQ(OneX_PhysicalLayerFCS(text), bits("0011000111000011"));  // 31C3

    std::vector<double> lastOne(234, 0.0);
    lastOne.back() = 1;
    EXPECT_EQ(OneX_PhysicalLayerFCS(lastOne), bits("0001000000100001"));
    EXPECT_EQ(OneX_PhysicalLayerFCS(std::vector<double>(234, 0.0)), std::vector<double>(16, 0.0));
}

TEST(PhysicalLayerPacket, LayoutAndLengths) {
    const std::size_t payloads[] = {234, 490, 1002, 2026, 4074};
    for (std::size_t n : payloads) {
        std::vector<double> payload(n);
        for (std::size_t i = 0; i < n; ++i)
            payload[i] = (i * 7 + 3) % 5 < 2;
        const std::vector<double> packet = OneX_RevTrfPhysicalLayerPacket(payload);
        ASSERT_EQ(packet.size(), n + 22) << n;
        EXPECT_TRUE(std::equal(payload.begin(), payload.end(), packet.begin()));
        const std::vector<double> fcs(packet.begin() + static_cast<std::ptrdiff_t>(n),
                                      packet.begin() + static_cast<std::ptrdiff_t>(n + 16));
        EXPECT_EQ(fcs, OneX_PhysicalLayerFCS(payload));
        EXPECT_EQ(std::vector<double>(packet.end() - 6, packet.end()), std::vector<double>(6, 0.0));
        // A packet with its check bits divides by the generator: the CRC of
        // payload + FCS is zero.
        EXPECT_EQ(OneX_PhysicalLayerFCS(std::span(packet).first(n + 16)),
                  std::vector<double>(16, 0.0));
    }
    EXPECT_EQ(OneX_RevTrfPhysicalLayerPacket(std::vector<double>(234, 0.0)),
              std::vector<double>(256, 0.0));
    EXPECT_TRUE(OneX_RevTrfPhysicalLayerPacket(std::vector<double>(235, 0.0)).empty());
}
