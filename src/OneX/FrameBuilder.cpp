#include "OneX/FrameBuilder.h"

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
    detail::requireWhole(kBuilder, "oversamplingRate", in.oversamplingRate, 1, 30);

    requireSlots(in.ACKslotActive, kSlotsPerFrame, "ACKslotActive");
    requireSlots(in.ACKbits, kSlotsPerFrame, "ACKbits");
    requireSlots(in.DRCslotActive, kSlotsPerFrame + 1, "DRCslotActive");
    requireSlots(in.DRCvalue, kSlotsPerFrame + 1, "DRCvalue");
    requireSlots(in.DRCcover, kSlotsPerFrame + 1, "DRCcover");

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
        if (in.DATAbits.size() < kFrameChips / 4)
            detail::fail(kBuilder, "DATAbits must hold at least 8192 bits, given",
                         static_cast<double>(in.DATAbits.size()));
        for (double b : in.DATAbits.first(kFrameChips / 4))
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
    return GenerateBitStream(p.DATASourceType, 8192, p.dataSourceBitstream);
}

ChipFrame buildChipFrame(const FrameInputs& in, std::span<const double> dataSymbols) {
    const RealMatrix w16 = OneX_WalshMatrix(16);
    const RealMatrix w8 = OneX_WalshMatrix(8);
    const RealMatrix w4 = OneX_WalshMatrix(4);
    static_assert(kPilotWalsh.order == 16 && kDrcWalsh.order == 16 && kAckWalsh.order == 8 &&
                  kDataWalsh.order == 4);
    const std::span<const double> pilotCover = w16.row(kPilotWalsh.row);
    const std::span<const double> drcCover = w16.row(kDrcWalsh.row);
    const std::span<const double> ackCover = w8.row(kAckWalsh.row);
    const std::span<const double> dataCover = w4.row(kDataWalsh.row);

    const double ackGain = amplitude(in.ACKgain);
    const double drcGain = amplitude(in.DRCgain);
    const double dataGain = amplitude(in.DATAgain);
    const bool ackOn = in.ACKactive != 0;
    const bool drcOn = in.DRCactive != 0;
    const bool dataOn = in.DATAactive != 0;

    ChipFrame out{std::vector<std::complex<double>>(kFrameChips),
                  std::vector<double>(kFrameChips, 0.0), std::vector<double>(kFrameChips, 0.0)};

    const RealMatrix rriChn = OneX_RevRRIchn(in.RRIactive, in.RRIvalue);

    // A DRC burst starts at the half-slot boundary of its slot and ends at the
    // next one; entry 17 is the burst of the previous frame's last slot.
    auto drcBurst = [&](std::size_t k) {
        std::vector<double> burst =
            OneX_WalshCover(OneX_RevDrcChn(in.DRCvalue[k], in.DRCcover[k]), drcCover);
        for (double& c : burst)
            c *= drcGain;
        return burst;
    };
    std::vector<double> previousDrcHalf(kHalfSlotChips, 0.0);
    if (drcOn && in.DRCslotActive[kSlotsPerFrame] != 0) {
        const std::vector<double> burst = drcBurst(kSlotsPerFrame);
        previousDrcHalf.assign(burst.begin() + kHalfSlotChips, burst.end());
    }

    std::vector<double> partA(kSlotChips), partB(kSlotChips), partC(kSlotChips), partD(kSlotChips);
    for (std::size_t k = 0; k < kSlotsPerFrame; ++k) {
        const std::size_t base = k * kSlotChips;
        out.marker1[base] = 1;
        out.marker1[base + kHalfSlotChips] = 1;

        // Pilot and RRI: 16 RRI bits then 112 pilot zeros, 16 chips each.
        std::vector<double> bitsA(128, 0.0);
        std::copy(rriChn.row(k).begin(), rriChn.row(k).end(), bitsA.begin());
        partA = OneX_WalshCover(OneX_SignalMap(bitsA), pilotCover);

        // DRC: the spill of the previous burst, then the first half of this one.
        std::copy(previousDrcHalf.begin(), previousDrcHalf.end(), partB.begin());
        if (drcOn && in.DRCslotActive[k] != 0) {
            const std::vector<double> burst = drcBurst(k);
            std::copy(burst.begin(), burst.begin() + kHalfSlotChips,
                      partB.begin() + kHalfSlotChips);
            previousDrcHalf.assign(burst.begin() + kHalfSlotChips, burst.end());
        } else {
            std::fill(partB.begin() + kHalfSlotChips, partB.end(), 0.0);
            std::fill(previousDrcHalf.begin(), previousDrcHalf.end(), 0.0);
        }

        // ACK: first half-slot only.
        std::fill(partC.begin(), partC.end(), 0.0);
        if (ackOn && in.ACKslotActive[k] != 0) {
            std::fill(out.marker2.begin() + static_cast<std::ptrdiff_t>(base),
                      out.marker2.begin() + static_cast<std::ptrdiff_t>(base + kHalfSlotChips),
                      1.0);
            const std::vector<double> ack = OneX_WalshCover(
                OneX_SignalMap(OneX_Repeat(in.ACKbits.subspan(k, 1), 128)), ackCover);
            for (std::size_t i = 0; i < kHalfSlotChips; ++i)
                partC[i] = ack[i] * ackGain;
        }

        // Data: 512 bits per slot, 4 chips each; no per-slot switch.
        if (dataOn) {
            partD = OneX_WalshCover(
                OneX_SignalMap(dataSymbols.subspan(k * kDataBitsPerSlot, kDataBitsPerSlot)),
                dataCover);
            for (double& c : partD)
                c *= dataGain;
        } else {
            std::fill(partD.begin(), partD.end(), 0.0);
        }

        for (std::size_t i = 0; i < kSlotChips; ++i)
            out.chips[base + i] = {partA[i] + partC[i], partB[i] + partD[i]};
    }
    return out;
}

ChipFrame chipFrameOf(const FrameInputs& in) {
    validateFrameInputs(in);

    std::vector<double> encoded;
    std::span<const double> dataSymbols = in.DATAbits;
    if (in.DATAencoderActive != 0 && in.DATAactive != 0) {
        encoded = OneX_RevEncoder(in.DATAbits, in.DATArate);
        dataSymbols = encoded;
    }
    if (in.DATAactive != 0 && dataSymbols.size() < kFrameChips / 4)
        detail::fail(kBuilder, "the Data channel needs 8192 symbols, the encoder gave",
                     static_cast<double>(dataSymbols.size()));
    return buildChipFrame(in, dataSymbols);
}

FrameResult OneX_RevTrfChn(const FrameInputs& in) {
    ChipFrame chipFrame = chipFrameOf(in);
    std::vector<std::complex<double>> spread =
        OneX_RevQuadSpreading(chipFrame.chips, in.Imask, in.Qmask);
    chipFrame.chips = {};
    // mirrorSpectrum 0 outputs the conjugate of the filtered frame. The taps
    // are real, so conjugating the 32768 chips before filtering gives exactly
    // the same samples for a thirtieth of the work.
    if (in.mirrorSpectrum == 0)
        for (auto& c : spread)
            c = std::conj(c);

    FrameResult result;
    // Oversampling and filtering in one step: the zero-stuffed frame is never
    // formed.
    result.waveform = filterOversampledChips(spread, in.oversamplingRate, in.filterType);
    result.marker1 = upsampleMarker(chipFrame.marker1, in.oversamplingRate);
    result.marker2 = upsampleMarker(chipFrame.marker2, in.oversamplingRate);
    return result;
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
    p.slot.DRCslotActive.assign(17, 1.0);
    p.slot.DRCslotValue.assign(17, 15.0);
    p.slot.DRCslotCover.assign(17, 7.0);
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
    FrameResult r = OneX_RevTrfChn(frameInputsFrom(p, dataBits));
    applyImpairments(r.waveform, planImpairments(p, sampleRate, r.waveform.size()));
    return r;
}

FrameResult Calculate(const Parameters& p) {
    return Calculate(p, chipSamplingRate(p.OverSampling));
}

}  // namespace onex
