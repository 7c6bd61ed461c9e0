#pragma once

// Physical-layer packet of the Data channel: payload, 16-bit frame check
// sequence and six tail bits.

#include <span>
#include <vector>

namespace onex {

// [payload, FCS, 6 zeros] for a payload of 234, 490, 1002, 2026 or 4074
// bits; an empty row for any other length.
std::vector<double> OneX_RevTrfPhysicalLayerPacket(std::span<const double> macLayerPacket);

// CRC-16 with g(x) = x^16 + x^12 + x^5 + 1, register started at zero, no
// reflection or final inversion; coefficient of x^15 first.
std::vector<double> OneX_PhysicalLayerFCS(std::span<const double> bits);

}  // namespace onex
