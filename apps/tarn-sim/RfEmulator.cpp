#include "RfEmulator.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <mutex>
#include <random>

#include "Analysis/CaptureAnalysis.h"
#include "Analysis/CaptureResampler.h"
#include "Instrument/WaveformFiles.h"
#include "MexIO/WaveformEncoding.h"
#include "OneX/Impairments.h"
#include "platform/Error.h"

namespace tarnsim {

namespace {

using onex::Error;

// The transmitter's impairments, checked and resolved by the impairments
// module for a recording of `samples` samples: the frequency error is the
// one asked (a recording need not join its start).
onex::ImpairmentPlan impairmentPlan(const EmulateOptions& o, std::size_t samples) {
    onex::Parameters p;
    p.IQGainImbalance = o.iqGainDb;
    p.QuadratureError = o.quadErrorDeg;
    p.CarrierLeakage = o.carrierLeakDbc;
    p.FreqError = o.freqErrorHz;
    p.FreqErrorSnap = 0;
    p.CNRatio = o.cnDb;
    p.NoiseSeed = o.seed;
    return onex::planImpairments(p, o.rate, samples);
}

}  // namespace

void checkEmulateOptions(const EmulateOptions& o) {
    using onex::analysis::kMaxCaptureRate, onex::analysis::kMinCaptureRate;
    if (!(o.rate >= kMinCaptureRate && o.rate <= kMaxCaptureRate))
        throw Error(fmt::format("the recording rate must be {} to {} Hz (got {})", kMinCaptureRate,
                                kMaxCaptureRate, o.rate));
    if (o.frames < 1 || o.frames > kMaxEmulatedLoops)
        throw Error(fmt::format("the loops recorded must be 1 to {} (got {})", kMaxEmulatedLoops,
                                o.frames));
    (void)impairmentPlan(o, 1);
}

EmulatedCapture emulateCapture(const PlayStart& play, const EmulateOptions& o, std::size_t offset) {
    const std::vector<std::complex<float>> codes = onex::mexio::iqCodes(play.iq);
    const std::size_t n = codes.size();
    if (n == 0) throw Error("the stored waveform " + play.name + " has no samples");
    const double fs = play.sampleRate, rate = o.rate;
    offset %= n;
    // Both the recording and the loop it is made from stay within the bound.
    const double played = static_cast<double>(o.frames) * static_cast<double>(n);
    const double wanted = played * rate / fs;
    if (!(wanted >= 1) || std::max(wanted, played) > static_cast<double>(kMaxEmulatedSamples))
        throw Error(
            fmt::format("a recording of {} loops of {} samples at {} Hz from a clock of {} "
                        "Hz would take {:.0f} samples; at most {} are made",
                        o.frames, n, rate, fs, std::max(wanted, played), kMaxEmulatedSamples));
    const auto m = static_cast<std::size_t>(std::llround(wanted));

    // The loop from `lead` samples before the offset on, long enough that the
    // resampler's start-up and run-out fall outside the recording; its
    // output is then cut where the offset falls (to within one recorder
    // sample).
    const double transient = onex::analysis::captureTransientSeconds(rate, fs);
    const auto lead = static_cast<std::size_t>(std::ceil(transient * fs)) + (transient > 0 ? 8 : 0);
    const auto skip = static_cast<std::size_t>(std::ceil(static_cast<double>(lead) * rate / fs));
    const auto inputs =
        lead + static_cast<std::size_t>(std::ceil(static_cast<double>(m) * fs / rate)) + lead + 1;
    std::vector<std::complex<float>> loop(inputs);
    constexpr float kScale = 1.0f / onex::mexio::kFullScale;
    for (std::size_t i = 0; i < inputs; ++i)
        loop[i] = codes[(offset + n * (lead / n + 1) - lead + i) % n] * kScale;
    std::vector<std::complex<double>> out =
        onex::analysis::resampleCapture(loop, fs, rate, skip + m);
    if (out.size() < skip + m) throw Error("the resampler gave too few samples");

    EmulatedCapture c;
    c.offset = offset;
    c.samples.assign(out.begin() + static_cast<std::ptrdiff_t>(skip), out.end());
    const onex::ImpairmentPlan plan = impairmentPlan(o, c.samples.size());
    onex::applyImpairments(c.samples, plan);
    c.description = fmt::format(
        "tarn-sim RF emulation: waveform {} ({} samples at {} Hz) played from sample {} (counted "
        "from 0) for {} loops; impairments: {}",
        play.name, n, fs, offset, o.frames, onex::describeImpairments(plan));
    return c;
}

std::string writeEmulatedCapture(const PlayStart& play, const EmulateOptions& o) {
    std::size_t offset = 0;
    if (o.offset) {
        offset = *o.offset;
    } else {
        std::random_device device;
        offset = std::uniform_int_distribution<std::size_t>(
            0, std::max<std::size_t>(play.iq.size() / 4, 1) - 1)(device);
    }
    const EmulatedCapture c = emulateCapture(play, o, offset);
    onex::SigMFRecording recording;
    recording.samples = c.samples;
    recording.sampleRate = o.rate;
    recording.frequency = play.frequency;
    recording.description = c.description;
    // Plays on two connections at once write one after the other: the pair
    // on disk is always one recording's.
    static std::mutex writing;
    const std::lock_guard lock(writing);
    const onex::FileResult written = onex::saveSigMF(o.base, recording);
    if (!written.ok) throw Error(written.message);
    return fmt::format("EMULATE {}.sigmf-data {} samples at {} Hz; {}", o.base.string(),
                       c.samples.size(), o.rate, c.description);
}

}  // namespace tarnsim
