#pragma once

// The reverse-link frame builder: 16 slots of pilot/RRI, DRC, ACK and Data
// chips, spread, oversampled and filtered into one frame of waveform with
// its two marker rows.

#include <complex>
#include <cstdint>
#include <span>
#include <vector>

#include "OneX/AirInterface.h"
#include "OneX/BasebandFilter.h"
#include "OneX/ChannelLayout.h"
#include "OneX/Parameters.h"

namespace onex {

// The 21 inputs of the frame builder, in their order. The spans refer to the
// caller's rows, which must outlive the call.
struct FrameInputs {
    double RRIactive = 0;
    double RRIvalue = 0;
    double ACKactive = 0;
    double ACKgain = 0;  // dB
    std::span<const double> ACKslotActive;
    std::span<const double> ACKbits;
    double DRCactive = 0;
    double DRCgain = 0;  // dB
    std::span<const double> DRCslotActive;
    std::span<const double> DRCvalue;
    std::span<const double> DRCcover;
    double DATAactive = 0;
    double DATAgain = 0;  // dB
    std::span<const double> DATAbits;
    double DATAencoderActive = 0;
    double DATArate = 1;
    double Imask = 0;
    double Qmask = 0;
    double oversamplingRate = 1;
    FilterChoice filterType = 3.0;
    double mirrorSpectrum = 0;
};

// Every check of the frame builder's inputs, before any work: flags, gains
// and masks finite, slot rows of 16/17 entries, values in range where they
// are used, a Data rate and enough Data bits when the Data channel is on, an
// oversampling rate that is a whole number from 1 to 30.
void validateFrameInputs(const FrameInputs& in);

// Data preparation checks of Calculate (payload length for the rate, user
// bits for source types 7 and 8, a known source type for an active Data
// channel).
void validateDataPreparation(const Parameters& parameters);

// The frame before spreading: 32768 chips (in-phase = pilot/RRI + ACK,
// quadrature = DRC + Data) and the two marker rows at one sample per chip.
// `dataSymbols` are the 8192 Data channel bits after the encoder (unused when
// the Data channel is off).
struct ChipFrame {
    std::vector<std::complex<double>> chips;
    std::vector<std::uint8_t> marker1;
    std::vector<std::uint8_t> marker2;
};
ChipFrame buildChipFrame(const FrameInputs& in, std::span<const double> dataSymbols);

// The chip frame the frame builder spreads: the inputs checked, the Data bits
// encoded when the encoder and the Data channel are on, the slots built.
ChipFrame chipFrameOf(const FrameInputs& in);

// Which chips carry which channel, by the frame builder's inputs.
ChannelSwitches channelSwitchesOf(const FrameInputs& in);

// A frame of `samples` samples in a block of its own (from the buffer pool,
// contents unspecified) and the rows to fill in before it is handed out.
struct FrameUnderConstruction {
    FrameResult frame;
    std::span<std::complex<double>> waveform;
    std::span<std::uint8_t> marker1;
    std::span<std::uint8_t> marker2;
};
FrameUnderConstruction allocateFrame(std::size_t samples);

// The frame builder. Throws onex::Error on inputs it cannot use.
FrameResult OneX_RevTrfChn(const FrameInputs& in);
FrameResult OneX_RevTrfChn(double RRIactive, double RRIvalue, double ACKactive, double ACKgain,
                           std::span<const double> ACKslotActive, std::span<const double> ACKbits,
                           double DRCactive, double DRCgain, std::span<const double> DRCslotActive,
                           std::span<const double> DRCvalue, std::span<const double> DRCcover,
                           double DATAactive, double DATAgain, std::span<const double> DATAbits,
                           double DATAencoderActive, double DATArate, double Imask, double Qmask,
                           double oversamplingRate, const FilterChoice& filterType,
                           double mirrorSpectrum);

// The frame builder's inputs as Calculate fills them from the parameter set;
// the spans point into `parameters` and `dataBits`, which must outlive them.
FrameInputs frameInputsFrom(const Parameters& parameters, std::span<const double> dataBits);

// The Data bits Calculate hands to the frame builder: a physical-layer packet
// when the encoder is on with a rate of 1..5, else 8192 raw bits.
std::vector<double> prepareDataBits(const Parameters& parameters);

}  // namespace onex
