#pragma once

// The simulator as a transmitter (--emulate-rf): each time the instrument
// starts playing a stored waveform, what an analyzer's I/Q recorder would
// take from its RF output is written as a SigMF recording. The stored
// 16-bit samples, played in a loop at the ARB clock, are resampled to the
// recorder's rate by the capture analysis' own resampler (libsoxr) and
// impaired by the impairments module, as a terminal's transmitter would be.

#include <complex>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace tarnsim {

// Recording lengths accepted, in samples, both the recording's and the
// loop's it is made from (a 128 MB data file at most).
inline constexpr std::size_t kMaxEmulatedSamples = std::size_t{1} << 24;
inline constexpr std::size_t kMaxEmulatedLoops = 64;

struct EmulateOptions {
    std::filesystem::path base;  // the recording: base.sigmf-data and base.sigmf-meta
    double rate = 10e6;          // the recorder's sample rate, Hz
    std::size_t frames = 4;      // loops of the stored waveform recorded
    // Where in the loop the recording starts, in samples of the stored
    // waveform; none: anywhere, at random.
    std::optional<std::size_t> offset;
    double freqErrorHz = 0;
    double iqGainDb = 0;
    double quadErrorDeg = 0;
    double carrierLeakDbc = -std::numeric_limits<double>::infinity();
    double cnDb = std::numeric_limits<double>::infinity();
    std::uint32_t seed = 0;
};

// Refuses options no recording can be made with (a rate or loop count out of
// range, an impairment that is not a number): throws onex::Error.
void checkEmulateOptions(const EmulateOptions& options);

// What started playing.
struct PlayStart {
    std::string name;
    std::vector<std::uint8_t> iq;  // the stored block: big-endian 16-bit I, Q
    double sampleRate = 0;         // the ARB clock
    double frequency = 0;          // the carrier
};

struct EmulatedCapture {
    std::vector<std::complex<double>> samples;  // at options.rate
    std::size_t offset = 0;                     // where in the loop it starts
    std::string description;                    // what was played and how
};

// The recording of one play. Throws onex::Error when it cannot be made (no
// samples, a recording longer than kMaxEmulatedSamples).
EmulatedCapture emulateCapture(const PlayStart& play, const EmulateOptions& options,
                               std::size_t offset);

// Makes the recording and writes it atomically (each file whole or not at
// all); returns the line for the log. Throws onex::Error on failure.
std::string writeEmulatedCapture(const PlayStart& play, const EmulateOptions& options);

}  // namespace tarnsim
