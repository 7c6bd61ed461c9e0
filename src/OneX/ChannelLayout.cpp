#include "OneX/ChannelLayout.h"

#include <algorithm>

namespace onex {

std::string_view codeChannelName(CodeChannel channel) {
    static constexpr std::string_view kNames[kCodeChannels] = {"pilot", "rri", "drc", "ack",
                                                               "data"};
    return kNames[static_cast<std::size_t>(channel)];
}

WalshCode walshCoverOf(CodeChannel channel) {
    switch (channel) {
        case CodeChannel::Pilot:
        case CodeChannel::RRI:
            return kPilotWalsh;
        case CodeChannel::DRC:
            return kDrcWalsh;
        case CodeChannel::ACK:
            return kAckWalsh;
        case CodeChannel::Data:
            break;
    }
    return kDataWalsh;
}

bool onInPhase(CodeChannel channel) {
    return channel == CodeChannel::Pilot || channel == CodeChannel::RRI ||
           channel == CodeChannel::ACK;
}

std::vector<ChannelStretch> channelStretches(CodeChannel channel, const ChannelSwitches& on) {
    std::vector<ChannelStretch> out;
    auto slotActive = [](std::span<const double> row, std::size_t k) {
        return k < row.size() && row[k] != 0;
    };
    for (std::size_t k = 0; k < kSlotsPerFrame; ++k) {
        const std::size_t start = k * kSlotChips;
        switch (channel) {
            case CodeChannel::Pilot:
                if (on.rri)
                    out.push_back({k, start + kRriChipsPerSlot, kSlotChips - kRriChipsPerSlot,
                                   kRriChipsPerSlot});
                else
                    out.push_back({k, start, kSlotChips, 0});
                break;
            case CodeChannel::RRI:
                if (on.rri) out.push_back({k, start, kRriChipsPerSlot, 0});
                break;
            case CodeChannel::DRC:
                if (k == 0 && on.drc && slotActive(on.drcSlotActive, kSlotsPerFrame))
                    out.push_back({kSlotsPerFrame, 0, kHalfSlotChips, kHalfSlotChips});
                if (on.drc && slotActive(on.drcSlotActive, k))
                    out.push_back({k, start + kHalfSlotChips,
                                   std::min(kSlotChips, kFrameChips - start - kHalfSlotChips), 0});
                break;
            case CodeChannel::ACK:
                if (on.ack && slotActive(on.ackSlotActive, k))
                    out.push_back({k, start, kHalfSlotChips, 0});
                break;
            case CodeChannel::Data:
                if (on.data) out.push_back({k, start, kSlotChips, 0});
                break;
        }
    }
    return out;
}

}  // namespace onex
