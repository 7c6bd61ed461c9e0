#pragma once

// Where each code channel of the reverse link sits in a frame and how it is
// covered. The frame builder places every channel's chips by this, and the
// code-domain receiver reads them back by it, so the two cannot disagree.

#include <cstddef>
#include <span>
#include <string_view>
#include <vector>

#include "OneX/AirInterface.h"

namespace onex {

enum class CodeChannel { Pilot, RRI, DRC, ACK, Data };
inline constexpr std::size_t kCodeChannels = 5;

// "pilot", "rri", "drc", "ack", "data"
std::string_view codeChannelName(CodeChannel channel);

// The RRI fills the first 256 chips of every slot (16 bits of 16 chips); the
// pilot the rest, or the whole slot when the RRI is off.
inline constexpr std::size_t kRriChipsPerSlot = 256;

// The Walsh cover of each channel: row `row` (0-based) of the Walsh matrix of
// order `order`. The pilot and the RRI share one.
struct WalshCode {
    double order;
    std::size_t row;
};
inline constexpr WalshCode kPilotWalsh{16, 0};  // all +1
inline constexpr WalshCode kDrcWalsh{16, 8};    // 8 x +1, 8 x -1
inline constexpr WalshCode kAckWalsh{8, 4};     // 4 x +1, 4 x -1
inline constexpr WalshCode kDataWalsh{4, 2};    // + + - -

WalshCode walshCoverOf(CodeChannel channel);

// Pilot/RRI and ACK ride the in-phase side, DRC and Data the quadrature side.
bool onInPhase(CodeChannel channel);

// The switches that decide which chips carry a channel: the channels' flags
// and the per-slot rows (DRC: 17 entries, the last for the previous frame's
// last slot; ACK: 16).
struct ChannelSwitches {
    bool rri = false, drc = false, ack = false, data = false;
    std::span<const double> drcSlotActive;
    std::span<const double> ackSlotActive;
};

// One stretch of a channel: chips [offset, offset + count) of what slot
// `slot` sends on it (0-based; slot 16 is the previous frame's last slot)
// occupy frame chips [first, first + count). A slot sends 2048 chips of
// pilot/RRI, Data and DRC, 1024 of ACK. Stretches come in frame order.
struct ChannelStretch {
    std::size_t slot, first, count, offset;
};

// Pilot and RRI: the first 256 chips of each slot carry the RRI when it is
// on, the rest the pilot. ACK: the first half-slot of each slot where it is
// on. DRC: a burst runs from the middle of its slot to the middle of the
// next, so the frame opens with the second half of the previous frame's
// burst and the second half of slot 16's falls outside. Data: every chip.
std::vector<ChannelStretch> channelStretches(CodeChannel channel, const ChannelSwitches& on);

}  // namespace onex
