#include "OneX/PhysicalLayerPacket.h"

#include <algorithm>
#include <cstdint>

#include "OneX/AirInterface.h"

namespace onex {

std::vector<double> OneX_RevTrfPhysicalLayerPacket(std::span<const double> macLayerPacket) {
    if (std::find(kPayloadLengths.begin(), kPayloadLengths.end(), macLayerPacket.size()) ==
        kPayloadLengths.end())
        return {};
    std::vector<double> packet(macLayerPacket.begin(), macLayerPacket.end());
    const std::vector<double> fcs = OneX_PhysicalLayerFCS(macLayerPacket);
    packet.insert(packet.end(), fcs.begin(), fcs.end());
    packet.insert(packet.end(), 6, 0.0);
    return packet;
}

std::vector<double> OneX_PhysicalLayerFCS(std::span<const double> bits) {
    // Bit 15 of the register is the coefficient of x^15 (position 1).
    constexpr std::uint16_t kTaps = 0x1021;  // x^12 + x^5 + x^0
    std::uint16_t reg = 0;
    for (double b : bits) {
        const bool feedback = ((reg >> 15) & 1) != (b != 0);
        reg = static_cast<std::uint16_t>(reg << 1);
        if (feedback) reg ^= kTaps;
    }
    std::vector<double> fcs(16);
    for (int i = 0; i < 16; ++i)
        fcs[i] = (reg >> (15 - i)) & 1;
    return fcs;
}

}  // namespace onex
