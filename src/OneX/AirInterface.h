#pragma once

// Facts of the reverse-link air interface that several layers use: the chip
// timing of a frame, the range of the long-code masks and the payload of the
// Data channel's physical-layer packet at each data rate.

#include <array>
#include <cstddef>

namespace onex {

inline constexpr double kChipRate = 1228800;  // chips per second
inline constexpr std::size_t kSlotChips = 2048;
inline constexpr std::size_t kHalfSlotChips = 1024;
inline constexpr std::size_t kSlotsPerFrame = 16;
inline constexpr std::size_t kFrameChips = kSlotChips * kSlotsPerFrame;
// DRC rows: one entry per slot and a last one for the previous frame's last
// slot, whose DRC burst reaches into this frame.
inline constexpr std::size_t kDrcSlotEntries = kSlotsPerFrame + 1;
// Code symbols of the Data channel in a frame (raw bits when the encoder is
// off).
inline constexpr std::size_t kDataFrameSymbols = 8192;
static_assert(kDataFrameSymbols * 4 == kFrameChips,
              "a Data symbol spans the four chips of its Walsh cover");
// Samples per chip of a parameter set's frame.
inline constexpr int kMinOverSampling = 2;
inline constexpr int kMaxOverSampling = 30;

// The sample clock that plays a frame at the chip rate: 1228800 x
// overSampling Hz. Setting the oversampling sets the sample clock to it.
inline constexpr double chipSamplingRate(double overSampling) {
    return kChipRate * overSampling;
}

// Largest I or Q long-code mask: 42 bits, 3FFFFFFFFFF.
inline constexpr double kMaxLongCodeMask = 4398046511103.0;  // 2^42 - 1

// Payload bits of the physical-layer packet at data rates 1..5: packets of
// 256..4096 bits less 16 check bits and 6 tail bits.
inline constexpr std::array<std::size_t, 5> kPayloadLengths = {234, 490, 1002, 2026, 4074};

}  // namespace onex
