#pragma once

// Code-domain power of a computed frame: the waveform demodulated as a
// receiver would (matched filter, chip-instant sampling, equaliser,
// despreading with the frame's own long and short codes, Walsh decovering),
// each channel's power
// against the pilot's beside the gain the parameter set asks for, and the
// waveform quality rho.

#include <array>
#include <complex>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "OneX/ChannelLayout.h"
#include "OneX/Parameters.h"

namespace onex::analysis {

// The code channels as the frame builder lays them out.
using onex::CodeChannel;
using onex::codeChannelName;
using onex::kCodeChannels;

struct ChannelPower {
    // Configured on and present in at least one chip of the frame.
    bool active = false;
    // The gain the parameter set asks for, dB relative to the pilot (pilot
    // and RRI: 0 dB, their amplitude is the pilot's).
    double configuredDb = 0;
    // Mean power of the channel's despread symbols over the chips where it
    // is on, dB relative to the pilot's; none for an inactive channel.
    std::optional<double> measuredDb;
};

struct CodeDomainResult {
    std::array<ChannelPower, kCodeChannels> channels;  // in CodeChannel order
    // |sum d r*|^2 / (sum |d|^2 sum |r|^2) of the measured chips d and the
    // ideal chips r of the parameter set: 1 for a perfect waveform.
    double rho = 0;

    const ChannelPower& operator[](CodeChannel c) const {
        return channels[static_cast<std::size_t>(c)];
    }
};

// The receiver. The IS-95 filters are not Nyquist filters: after the
// matched filter every chip still carries about -17 dB of its neighbours'
// power, which biases a weak channel beside strong ones by up to 1.4 dB (20
// dB apart) and holds rho near 0.98. The equaliser divides that
// interference out at the chip rate, using the filter's own response (its
// autocorrelation at whole chips, whose spectrum stays within 0.74..1.26),
// which leaves a perfect waveform exact. The rectangular and absent filters
// have none, so both receivers are the same for them.
enum class Receiver { MatchedFilter, Equalized };

// The waveform's chips as the receiver sees them: matched-filtered for the
// parameter set's baseband filter (normalised to unit gain for a lone chip),
// sampled at the chip instants, equalised, unmirrored and despread, so that
// a perfect waveform gives back the chip frame before spreading. The
// waveform must hold 32768 x OverSampling samples.
std::vector<std::complex<double>> despreadChips(std::span<const std::complex<double>> wave,
                                                const Parameters& parameters,
                                                Receiver receiver = Receiver::Equalized);

// The code-domain figures of a waveform computed from `parameters`.
CodeDomainResult measureCodeDomain(std::span<const std::complex<double>> wave,
                                   const Parameters& parameters,
                                   Receiver receiver = Receiver::Equalized);

}  // namespace onex::analysis
