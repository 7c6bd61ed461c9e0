#include "OneX/FrameBuilder.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "OneX/Checks.h"
#include "OneX/DataSources.h"
#include "OneX/Impairments.h"
#include "OneX/OverheadChannels.h"
#include "OneX/PhysicalLayerPacket.h"
#include "OneX/SequenceOps.h"
#include "OneX/Spreading.h"
#include "OneX/TurboEncoder.h"
#include "platform/LargeBuffer.h"
#include "platform/Numeric.h"

namespace onex {

namespace {

constexpr const char* kBuilder = "OneX_RevTrfChn";
constexpr std::size_t kDataBitsPerSlot = 512;

// Packet bits the encoder takes at data-rate index 1..5.
std::size_t packetBits(long long rate) {
    return std::size_t{256} << (rate - 1);
}

std::string slotName(const char* row, std::size_t k) {
    return std::string(row) + " of slot " + std::to_string(k + 1);
}

void requireSlots(std::span<const double> row, std::size_t count, const char* name) {
    if (row.size() != count)
        detail::fail(kBuilder,
                     std::string(name) + " must have " + std::to_string(count) + " entries, given",
                     static_cast<double>(row.size()));
}

double amplitude(double gainDb) {
    return std::pow(10.0, gainDb / 20.0);
}

}  // namespace

void validateFrameInputs(const FrameInputs& in) {
    const bool rri = detail::flag(kBuilder, "RRIactive", in.RRIactive);
    const bool ack = detail::flag(kBuilder, "ACKactive", in.ACKactive);
    const bool drc = detail::flag(kBuilder, "DRCactive", in.DRCactive);
    const bool data = detail::flag(kBuilder, "DATAactive", in.DATAactive);
    const bool encoder = detail::flag(kBuilder, "DATAencoderActive", in.DATAencoderActive);
    detail::flag(kBuilder, "mirrorSpectrum", in.mirrorSpectrum);
    detail::requireFinite(kBuilder, "ACKgain", in.ACKgain);
    detail::requireFinite(kBuilder, "DRCgain", in.DRCgain);
    detail::requireFinite(kBuilder, "DATAgain", in.DATAgain);
    detail::requireWhole(kBuilder, "Imask", in.Imask, 0, kMaxLongCodeMask);
    detail::requireWhole(kBuilder, "Qmask", in.Qmask, 0, kMaxLongCodeMask);
    detail::requireWhole(kBuilder, "oversamplingRate", in.oversamplingRate, 1, kMaxOverSampling);

    requireSlots(in.ACKslotActive, kSlotsPerFrame, "ACKslotActive");
    requireSlots(in.ACKbits, kSlotsPerFrame, "ACKbits");
    requireSlots(in.DRCslotActive, kDrcSlotEntries, "DRCslotActive");
    requireSlots(in.DRCvalue, kDrcSlotEntries, "DRCvalue");
    requireSlots(in.DRCcover, kDrcSlotEntries, "DRCcover");

    if (rri) detail::requireWhole(kBuilder, "RRIvalue", in.RRIvalue, 0, 7);
    if (ack)
        for (std::size_t k = 0; k < kSlotsPerFrame; ++k)
            if (detail::flag(kBuilder, slotName("ACKslotActive", k), in.ACKslotActive[k]))
                detail::requireFinite(kBuilder, slotName("ACKbits", k), in.ACKbits[k]);
    if (drc)
        for (std::size_t k = 0; k <= kSlotsPerFrame; ++k)
            if (detail::flag(kBuilder, slotName("DRCslotActive", k), in.DRCslotActive[k])) {
                detail::requireWhole(kBuilder, slotName("DRCvalue", k), in.DRCvalue[k], 0, 15);
                detail::requireWhole(kBuilder, slotName("DRCcover", k), in.DRCcover[k], 0, 7);
            }

    if (!data) return;
    if (encoder) {
        const long long rate = detail::requireWhole(kBuilder, "DATArate", in.DATArate, 1, 5);
        if (in.DATAbits.size() != packetBits(rate))
            detail::fail(kBuilder,
                         "DATAbits must be a packet of " + std::to_string(packetBits(rate)) +
                             " bits for DATArate " + std::to_string(rate) + ", given",
                         static_cast<double>(in.DATAbits.size()));
        for (double b : in.DATAbits)
            if (b != 0 && b != 1) detail::fail(kBuilder, "DATAbits must be 0 or 1", b);
    } else {
        if (in.DATAbits.size() < kDataFrameSymbols)
            detail::fail(
                kBuilder,
                fmt::format("DATAbits must hold at least {} bits, given", kDataFrameSymbols),
                static_cast<double>(in.DATAbits.size()));
        for (double b : in.DATAbits.first(kDataFrameSymbols))
            detail::requireFinite(kBuilder, "DATAbits", b);
    }
}

void validateDataPreparation(const Parameters& p) {
    const char* routine = "Calculate";
    const bool encoder = detail::flag(routine, "EncoderActive", p.EncoderActive);
    if (encoder && p.DataRate >= 1 && p.DataRate <= 5 && !detail::isWhole(p.DataRate))
        detail::fail(routine, "DataRate has no payload length; it must be 1, 2, 3, 4 or 5",
                     p.DataRate);
    const double type = p.DATASourceType;
    if ((type == 7 || type == 8) && p.dataSourceBitstream.empty())
        detail::fail(routine, "data source type " + platform::num2str(type) +
                                  " needs user data bits, but none are loaded");
    if (detail::flag(routine, "DATAactive", p.DATAactive) &&
        !(detail::isWhole(type) && type >= 1 && type <= 8))
        detail::fail(routine, "DATASourceType must be a whole number from 1 to 8", type);
}

std::vector<double> prepareDataBits(const Parameters& p) {
    validateDataPreparation(p);
    if (p.EncoderActive != 0 && p.DataRate >= 1 && p.DataRate <= 5) {
        const auto length =
            static_cast<double>(kPayloadLengths[static_cast<std::size_t>(p.DataRate) - 1]);
        return OneX_RevTrfPhysicalLayerPacket(
            GenerateBitStream(p.DATASourceType, length, p.dataSourceBitstream));
    }
    return GenerateBitStream(p.DATASourceType, kDataFrameSymbols, p.dataSourceBitstream);
}

ChannelSwitches channelSwitchesOf(const FrameInputs& in) {
    ChannelSwitches on;
    on.rri = in.RRIactive != 0;
    on.drc = in.DRCactive != 0;
    on.ack = in.ACKactive != 0;
    on.data = in.DATAactive != 0;
    on.drcSlotActive = in.DRCslotActive;
    on.ackSlotActive = in.ACKslotActive;
    return on;
}

namespace {

// The chip frame into the given rows (32768 each), every element written.
void buildChipsInto(const FrameInputs& in, std::span<const double> dataSymbols,
                    std::span<std::complex<double>> chips, std::span<std::uint8_t> marker1,
                    std::span<std::uint8_t> marker2) {
    const RealMatrix w16 = OneX_WalshMatrix(16);
    const RealMatrix w8 = OneX_WalshMatrix(8);
    const RealMatrix w4 = OneX_WalshMatrix(4);
    auto cover = [&](CodeChannel channel) {
        const WalshCode code = walshCoverOf(channel);
        const RealMatrix& w = code.order == 16 ? w16 : code.order == 8 ? w8 : w4;
        return w.row(code.row);
    };

    const double ackGain = amplitude(in.ACKgain);
    const double drcGain = amplitude(in.DRCgain);
    const double dataGain = amplitude(in.DATAgain);
    const RealMatrix rriChn = OneX_RevRRIchn(in.RRIactive, in.RRIvalue);

    // What slot k sends on each channel, as the system defines it.
    // Pilot and RRI: 16 RRI bits then 112 pilot zeros, 16 chips each.
    auto pilotAndRri = [&](std::size_t k) {
        std::vector<double> bits(128, 0.0);
        std::copy(rriChn.row(k).begin(), rriChn.row(k).end(), bits.begin());
        return OneX_WalshCover(OneX_SignalMap(bits), cover(CodeChannel::Pilot));
    };
    auto drcBurst = [&](std::size_t k) {
        std::vector<double> burst = OneX_WalshCover(OneX_RevDrcChn(in.DRCvalue[k], in.DRCcover[k]),
                                                    cover(CodeChannel::DRC));
        for (double& c : burst)
            c *= drcGain;
        return burst;
    };
    auto ackHalfSlot = [&](std::size_t k) {
        std::vector<double> ack = OneX_WalshCover(
            OneX_SignalMap(OneX_Repeat(in.ACKbits.subspan(k, 1), 128)), cover(CodeChannel::ACK));
        for (double& c : ack)
            c *= ackGain;
        return ack;
    };
    // 512 bits per slot, 4 chips each.
    auto dataSlot = [&](std::size_t k) {
        std::vector<double> data = OneX_WalshCover(
            OneX_SignalMap(dataSymbols.subspan(k * kDataBitsPerSlot, kDataBitsPerSlot)),
            cover(CodeChannel::Data));
        for (double& c : data)
            c *= dataGain;
        return data;
    };

    // Each side is the sum of its channels, added in this order onto zeros:
    // in-phase = pilot/RRI + ACK, quadrature = DRC + Data.
    std::fill(chips.begin(), chips.end(), std::complex<double>{});
    std::fill(marker1.begin(), marker1.end(), 0);
    std::fill(marker2.begin(), marker2.end(), 0);
    // In-phase and quadrature parts as doubles (the layout std::complex
    // guarantees).
    double* parts = reinterpret_cast<double*>(chips.data());
    const ChannelSwitches on = channelSwitchesOf(in);
    auto place = [&](CodeChannel channel, auto&& sent) {
        double* to = parts + (onInPhase(channel) ? 0 : 1);
        for (const ChannelStretch& s : channelStretches(channel, on)) {
            const std::vector<double> sentChips = sent(s.slot);
            for (std::size_t i = 0; i < s.count; ++i)
                to[2 * (s.first + i)] += sentChips[s.offset + i];
            if (channel == CodeChannel::ACK)  // marker 2 marks the ACK chips
                std::fill_n(marker2.begin() + static_cast<std::ptrdiff_t>(s.first), s.count, 1);
        }
    };
    // Pilot and RRI come from one sequence per slot; the RRI's stretches
    // (when on) and the pilot's together cover every slot.
    place(CodeChannel::Pilot, pilotAndRri);
    place(CodeChannel::RRI, pilotAndRri);
    place(CodeChannel::ACK, ackHalfSlot);
    place(CodeChannel::DRC, drcBurst);
    place(CodeChannel::Data, dataSlot);

    // Marker 1: a one-chip pulse at the start of each half-slot.
    for (std::size_t c = 0; c < kFrameChips; c += kHalfSlotChips)
        marker1[c] = 1;
}

// The inputs checked and the Data channel's 8192 symbols: the encoder's
// output (kept in `encoded`) when the encoder and the channel are on.
std::span<const double> checkedDataSymbols(const FrameInputs& in, std::vector<double>& encoded) {
    validateFrameInputs(in);
    std::span<const double> dataSymbols = in.DATAbits;
    if (in.DATAencoderActive != 0 && in.DATAactive != 0) {
        encoded = OneX_RevEncoder(in.DATAbits, in.DATArate);
        dataSymbols = encoded;
    }
    if (in.DATAactive != 0 && dataSymbols.size() < kDataFrameSymbols)
        detail::fail(
            kBuilder,
            fmt::format("the Data channel needs {} symbols, the encoder gave", kDataFrameSymbols),
            static_cast<double>(dataSymbols.size()));
    return dataSymbols;
}

}  // namespace

ChipFrame buildChipFrame(const FrameInputs& in, std::span<const double> dataSymbols) {
    ChipFrame out{std::vector<std::complex<double>>(kFrameChips),
                  std::vector<std::uint8_t>(kFrameChips), std::vector<std::uint8_t>(kFrameChips)};
    buildChipsInto(in, dataSymbols, out.chips, out.marker1, out.marker2);
    return out;
}

ChipFrame chipFrameOf(const FrameInputs& in) {
    std::vector<double> encoded;
    return buildChipFrame(in, checkedDataSymbols(in, encoded));
}

FrameUnderConstruction allocateFrame(std::size_t samples) {
    // One block: the waveform, then marker 1 and marker 2 as bytes.
    const std::size_t waveBytes = samples * sizeof(std::complex<double>);
    std::shared_ptr<platform::LargeBlock> block =
        platform::acquireLargeBlock(waveBytes + 2 * samples);
    auto* bytes = static_cast<std::uint8_t*>(block->data());
    FrameUnderConstruction f;
    f.waveform = {reinterpret_cast<std::complex<double>*>(bytes), samples};
    f.marker1 = {bytes + waveBytes, samples};
    f.marker2 = {bytes + waveBytes + samples, samples};
    f.frame.waveform = f.waveform;
    f.frame.marker1 = f.marker1;
    f.frame.marker2 = f.marker2;
    f.frame.storage = std::move(block);
    return f;
}

namespace {

// The frame builder, its rows still writable.
FrameUnderConstruction buildFrame(const FrameInputs& in) {
    std::vector<double> encoded;
    const std::span<const double> dataSymbols = checkedDataSymbols(in, encoded);
    // The chips in a working block of the pool (reused by the next
    // calculation), spread and, for mirrorSpectrum 0, conjugated in place:
    // the output is the conjugate of the filtered frame, and as the taps are
    // real, conjugating the 32768 chips before filtering gives exactly the
    // same samples for a thirtieth of the work.
    // The chip-rate markers follow the chips in the same block, so that a
    // calculation allocates nothing large of its own from the heap.
    const std::shared_ptr<platform::LargeBlock> work =
        platform::acquireLargeBlock(kFrameChips * (sizeof(std::complex<double>) + 2));
    const std::span<std::complex<double>> chips(static_cast<std::complex<double>*>(work->data()),
                                                kFrameChips);
    const std::span<std::uint8_t> marker1(
        reinterpret_cast<std::uint8_t*>(chips.data() + kFrameChips), kFrameChips),
        marker2(marker1.data() + kFrameChips, kFrameChips);
    buildChipsInto(in, dataSymbols, chips, marker1, marker2);
    spreadInPlace(chips, in.Imask, in.Qmask);
    if (in.mirrorSpectrum == 0)
        for (auto& c : chips)
            c = std::conj(c);

    // Oversampling and filtering in one step, straight into the frame: the
    // zero-stuffed frame is never formed, and nothing is copied afterwards.
    const auto os = static_cast<std::size_t>(in.oversamplingRate);
    FrameUnderConstruction f = allocateFrame(kFrameChips * os);
    filterOversampledChips(chips, in.oversamplingRate, in.filterType, f.waveform);
    upsampleMarker(marker1, os, f.marker1);
    upsampleMarker(marker2, os, f.marker2);
    return f;
}

}  // namespace

FrameResult OneX_RevTrfChn(const FrameInputs& in) {
    return buildFrame(in).frame;
}

FrameResult OneX_RevTrfChn(double RRIactive, double RRIvalue, double ACKactive, double ACKgain,
                           std::span<const double> ACKslotActive, std::span<const double> ACKbits,
                           double DRCactive, double DRCgain, std::span<const double> DRCslotActive,
                           std::span<const double> DRCvalue, std::span<const double> DRCcover,
                           double DATAactive, double DATAgain, std::span<const double> DATAbits,
                           double DATAencoderActive, double DATArate, double Imask, double Qmask,
                           double oversamplingRate, const FilterChoice& filterType,
                           double mirrorSpectrum) {
    return OneX_RevTrfChn(FrameInputs{
        RRIactive,        RRIvalue,   ACKactive,         ACKgain,  ACKslotActive, ACKbits,
        DRCactive,        DRCgain,    DRCslotActive,     DRCvalue, DRCcover,      DATAactive,
        DATAgain,         DATAbits,   DATAencoderActive, DATArate, Imask,         Qmask,
        oversamplingRate, filterType, mirrorSpectrum});
}

Parameters InitializeParameters() {
    Parameters p;
    p.ParameterFileFormat_ID = "OneX-Rev - Format 1.1";
    p.RRIactive = 0;
    p.RRIvalue = 0;
    p.DRCactive = 0;
    p.DRCrelGain = 0;
    p.ACKactive = 0;
    p.ACKrelGain = 0;
    p.DATAactive = 0;
    p.DATArelGain = 0;
    p.EncoderActive = 1;
    p.DataRate = 1;
    p.DATASourceType = 6;
    p.DATASourceName = "";
    p.dataSourceBitstream = {};
    p.IMask = kMaxLongCodeMask;
    p.QMask = kMaxLongCodeMask;
    p.slot.ACKslotActive.assign(16, 1.0);
    p.slot.ACKslotValue.assign(16, 1.0);
    p.slot.DRCslotActive.assign(kDrcSlotEntries, 1.0);
    p.slot.DRCslotValue.assign(kDrcSlotEntries, 15.0);
    p.slot.DRCslotCover.assign(kDrcSlotEntries, 7.0);
    p.OverSampling = 5;
    p.FilterType = 3;
    p.MirrorSpectrum = 0;
    p.ProjectedLength = 5 * 32768.0;
    p.LastPath = "";
    p.IQGainImbalance = 0;
    p.QuadratureError = 0;
    p.CarrierLeakage = -std::numeric_limits<double>::infinity();
    p.FreqError = 0;
    p.FreqErrorSnap = 1;
    p.CNRatio = std::numeric_limits<double>::infinity();
    p.NoiseSeed = 0;
    return p;
}

FrameInputs frameInputsFrom(const Parameters& p, std::span<const double> dataBits) {
    FrameInputs in;
    in.RRIactive = p.RRIactive;
    in.RRIvalue = p.RRIvalue;
    in.ACKactive = p.ACKactive;
    in.ACKgain = p.ACKrelGain;
    in.ACKslotActive = p.slot.ACKslotActive;
    in.ACKbits = p.slot.ACKslotValue;
    in.DRCactive = p.DRCactive;
    in.DRCgain = p.DRCrelGain;
    in.DRCslotActive = p.slot.DRCslotActive;
    in.DRCvalue = p.slot.DRCslotValue;
    in.DRCcover = p.slot.DRCslotCover;
    in.DATAactive = p.DATAactive;
    in.DATAgain = p.DATArelGain;
    in.DATAbits = dataBits;
    in.DATAencoderActive = p.EncoderActive;
    in.DATArate = p.DataRate;
    in.Imask = p.IMask;
    in.Qmask = p.QMask;
    in.oversamplingRate = p.OverSampling;
    in.filterType = p.FilterType;
    in.mirrorSpectrum = p.MirrorSpectrum;
    return in;
}

FrameResult Calculate(const Parameters& p, double sampleRate) {
    // DATAbits are prepared whether or not the Data channel is on.
    const std::vector<double> dataBits = prepareDataBits(p);
    FrameUnderConstruction f = buildFrame(frameInputsFrom(p, dataBits));
    applyImpairments(f.waveform, planImpairments(p, sampleRate, f.waveform.size()));
    return f.frame;
}

FrameResult Calculate(const Parameters& p) {
    return Calculate(p, chipSamplingRate(p.OverSampling));
}

}  // namespace onex
