#pragma once

// The parameter set of one reverse-link frame and the frame it produces.

#include <complex>
#include <cstdint>
#include <limits>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace onex {

struct SlotParameters {
    std::vector<double> ACKslotActive;  // 1 x 16 of 0/1
    std::vector<double> ACKslotValue;   // 1 x 16 of 0/1
    std::vector<double> DRCslotActive;  // 1 x 17 of 0/1; entry 17 = last slot of previous frame
    std::vector<double> DRCslotValue;   // 1 x 17, 0..15
    std::vector<double> DRCslotCover;   // 1 x 17, 0..7
    bool operator==(const SlotParameters&) const = default;
};

// Field order is the order in which InitializeParameters creates them (and
// the order of the fields in parameter files).
struct Parameters {
    std::string ParameterFileFormat_ID;
    double RRIactive = 0;
    double RRIvalue = 0;
    double DRCactive = 0;
    double DRCrelGain = 0;
    double ACKactive = 0;
    double ACKrelGain = 0;
    double DATAactive = 0;
    double DATArelGain = 0;
    double EncoderActive = 1;
    double DataRate = 1;
    double DATASourceType = 6;
    std::string DATASourceName;
    std::vector<double> dataSourceBitstream;
    double IMask = 0;
    double QMask = 0;
    SlotParameters slot;
    double OverSampling = 5;
    double FilterType = 3;
    double MirrorSpectrum = 0;
    double ProjectedLength = 0;
    std::string LastPath;
    // Impairments of the access terminal (OneX/Impairments.h), all off by
    // default; files without them load with them off.
    double IQGainImbalance = 0;                                        // dB
    double QuadratureError = 0;                                        // degrees
    double CarrierLeakage = -std::numeric_limits<double>::infinity();  // dBc; -Inf: off
    double FreqError = 0;                                              // Hz
    double FreqErrorSnap = 1;  // round FreqError to whole cycles per frame
    double CNRatio = std::numeric_limits<double>::infinity();  // dB over 1.2288 MHz; Inf: off
    double NoiseSeed = 0;                                      // 0 .. 2^32 - 1
    // NaN-aware comparison lives in the stale-waveform check; this one is
    // plain value equality.
    bool operator==(const Parameters&) const = default;
};

// One computed frame: the complex waveform and its two marker rows (0/1
// bytes; marker1 = half-slot pulses, marker2 = ACK half-slots), all the same
// length. A calculated frame keeps its rows in one block of memory (marker2
// right after marker1), shared by every copy of the frame: copies are cheap,
// the rows never change, and the block is reused by a later calculation only
// after the last copy is gone. `storage` may be empty when the rows point
// into memory the creator keeps alive.
struct FrameResult {
    std::span<const std::complex<double>> waveform;
    std::span<const std::uint8_t> marker1;
    std::span<const std::uint8_t> marker2;
    std::shared_ptr<const void> storage;
};

// The parameter set with its defaults.
Parameters InitializeParameters();

// Prepares the Data bits from the parameter set, builds the frame and adds
// the impairments the set asks for, for a frame played at `sampleRate`
// (the signal generator's sample clock). Throws onex::Error on any parameter
// the frame builder cannot use.
FrameResult Calculate(const Parameters& parameters, double sampleRate);
// The same at the nominal clock, 1228800 x OverSampling (chipSamplingRate).
FrameResult Calculate(const Parameters& parameters);

}  // namespace onex
