#pragma once

// Analysis of a recorded capture of what a transmitter sends (a signal
// generator's RF output recorded as complex baseband by a signal analyzer or
// an SDR): the capture is compared with the frame the same parameter set
// produces, so that every figure is exact in principle and limited only by
// the capture.
//
// The capture must hold the frame of `reference` played in a loop, at any
// sample rate from 1.2288 to 100 MHz and starting anywhere in the frame. The
// receiver resamples it to the frame's own sample clock, finds the frame by
// correlation, estimates and removes the frequency error, the phase, the
// gain, the I/Q origin offset, the gain imbalance and the quadrature error
// (with the conventions of OneX/Impairments.h: an impaired frame of ours
// reads back the values set), and compares the corrected capture with the
// ideal frame chip by chip after the matched filter and the equaliser of the
// code-domain measurement.

#include <array>
#include <complex>
#include <cstddef>
#include <optional>
#include <span>
#include <vector>

#include "Analysis/CodeDomain.h"
#include "Analysis/Measurements.h"
#include "OneX/Parameters.h"
#include "platform/Error.h"

namespace onex::analysis {

// Capture sample rates taken, Hz.
inline constexpr double kMinCaptureRate = 1.2288e6;
inline constexpr double kMaxCaptureRate = 100e6;
// Frequency errors searched, Hz, either sign.
inline constexpr double kFrequencySearchHz = 25e3;
// A frame is found when the correlation with the reference peaks at least
// this many times (20 dB) above the correlation's mean over all delays.
inline constexpr double kDetectionPeakToMean = 100;
// Whole frames analysed at most (each 26.67 ms at the nominal clock).
inline constexpr std::size_t kMaxCaptureFrames = 16;

// What the capture is compared with: the frame of `parameters` with its
// impairments off, played at `frameRate` (the signal generator's sample
// clock, SigGen.SamplingRate; 1228800 x OverSampling by default).
struct CaptureReference {
    Parameters parameters;
    double frameRate = 0;
};

struct CaptureAnalysisOptions {
    // Whole frames analysed at most, 1 to kMaxCaptureFrames: the capture's
    // first frames after the resampler's transient.
    std::size_t maxFrames = 4;
    // Bands of the capture's own spectrum figures.
    MeasurementOptions spectrum;
    // Keep the first analysed frame's chips (CaptureAnalysis::chips) for
    // displays.
    bool keepChips = false;
};

struct CaptureAnalysis {
    double captureRate = 0;          // Hz
    std::size_t captureSamples = 0;  // samples given
    std::size_t frames = 0;          // whole frames analysed
    // Peak-to-mean ratio of the correlation that found the frame.
    double correlationPeakToMean = 0;

    double timeOffsetS = 0;         // where the frame starts in the capture, 0 <= t < frame length
    double freqErrorHz = 0;         // the capture's carrier above the nominal one
    double phaseDeg = 0;            // carrier phase at that frame start, -180 < p <= 180
    double iqOffsetDbc = 0;         // origin offset: the constant on I/Q over the frame's RMS, dB
    double iqGainImbalanceDb = 0;   // I path over Q path
    double quadratureErrorDeg = 0;  // the I and Q axes stand 90 - this apart

    // Chip by chip, after every estimated error is removed: rho =
    // |sum d r*|^2 / (sum |d|^2 sum |r|^2) of measured chips d and ideal chips
    // r over every analysed frame; the error vector e = d / a - r with a =
    // sum d r* / sum |r|^2, in per cent of the ideal chips' RMS (rms and
    // largest); magnitude error | |d / a| - |r| | likewise; phase error
    // arg(d / (a r)) in degrees, RMS weighted by |r|^2.
    double rho = 0;
    double evmRmsPct = 0, evmPeakPct = 0;
    double magErrorPct = 0, phaseErrorDeg = 0;

    // Code-domain power of each channel against its configured gain, from the
    // average of the analysed frames (as `measure` reports it), and the
    // largest power, relative to the pilot, on the 16-chip Walsh codes of the
    // I and Q sides that no active channel uses.
    std::array<ChannelPower, kCodeChannels> channels;
    double maxInactiveDb = 0;

    // The capture's own spectrum at its own rate over its first frame, as
    // `measure` reports a frame's: OBW and ACPR (none where the capture's
    // bandwidth does not reach a band).
    double obwHz = 0;
    std::vector<AcprPoint> acpr;
    double offsetBandwidthHz = 0, channelBandwidthHz = 0;

    // With keepChips: the corrected chips of the first analysed frame,
    // despread as the code-domain receiver gives them (32768 values, scaled
    // to the ideal chips), and the ideal chips.
    std::vector<std::complex<double>> chips, idealChips;
};

// The receiver found no frame of the reference in the capture.
class NoFrameFound : public Error {
  public:
    using Error::Error;
};

// The resampler's start-up transient, in seconds, for a capture at
// `captureRate` of a frame played at `frameRate` (0 when the rates are equal).
double captureTransientSeconds(double captureRate, double frameRate);

// Capture samples needed for one whole frame of the reference plus the
// resampler's transient: shorter captures are refused.
std::size_t captureSamplesNeeded(double captureRate, const CaptureReference& reference);
// Capture samples the analysis of `maxFrames` frames uses at most: a reader
// need not read more.
std::size_t captureSamplesWanted(double captureRate, const CaptureReference& reference,
                                 std::size_t maxFrames);

// Analyses the capture (its first captureSamplesWanted samples; the rest is
// ignored). Throws onex::Error with a clear text for a rate outside
// kMinCaptureRate..kMaxCaptureRate, a capture shorter than one frame plus
// the transient (saying how long it is and must be), a sample that is not a
// finite number, a capture without signal, options out of range or a
// parameter set the frame builder cannot use; NoFrameFound when no
// correlation peak reaches kDetectionPeakToMean.
CaptureAnalysis analyzeCapture(std::span<const std::complex<float>> capture, double captureRate,
                               const CaptureReference& reference,
                               const CaptureAnalysisOptions& options = {});

}  // namespace onex::analysis
