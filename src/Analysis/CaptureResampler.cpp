#include "Analysis/CaptureResampler.h"

#include <soxr.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>

#include "Analysis/CaptureAnalysis.h"
#include "platform/Error.h"

namespace onex::analysis {

namespace {

// Input fed per call: the resampler's buffers stay small.
constexpr std::size_t kChunk = std::size_t{1} << 16;

// The filter's half length is about 110 periods of the lower rate at this
// quality and passband (measured from 1.2288 to 100 MHz); twice that keeps
// its start-up below -120 dB.
constexpr double kTransientPeriods = 256;

struct SoxrDelete {
    void operator()(soxr* s) const { soxr_delete(s); }
};

}  // namespace

double captureTransientSeconds(double captureRate, double frameRate) {
    if (captureRate == frameRate) return 0;
    return kTransientPeriods / std::min(captureRate, frameRate);
}

std::vector<std::complex<double>> resampleCapture(std::span<const std::complex<float>> capture,
                                                  double inRate, double outRate,
                                                  std::size_t maxOutput) {
    if (inRate == outRate) {
        const std::size_t n = std::min(capture.size(), maxOutput);
        return {capture.begin(), capture.begin() + static_cast<std::ptrdiff_t>(n)};
    }
    // I and Q are two channels of one stream, as the samples lie in memory.
    const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT64_I);
    soxr_quality_spec_t quality = soxr_quality_spec(SOXR_VHQ, SOXR_LINEAR_PHASE);
    quality.passband_end = kResamplerPassband;
    soxr_error_t error = nullptr;
    std::unique_ptr<soxr, SoxrDelete> s(
        soxr_create(inRate, outRate, 2, &error, &io, &quality, nullptr));
    if (error) throw Error(std::string("Capture analysis: the resampler refused: ") + error);

    const double expected = std::ceil(static_cast<double>(capture.size()) * outRate / inRate);
    std::vector<std::complex<double>> out(
        std::min(maxOutput, static_cast<std::size_t>(expected) + 16));
    std::size_t made = 0, fed = 0;
    while (made < out.size()) {
        std::size_t used = 0, given = 0;
        // Calls without input after the last sample give the run-out.
        const std::size_t n = std::min(kChunk, capture.size() - fed);
        error = soxr_process(s.get(), n ? capture.data() + fed : nullptr, n, &used,
                             out.data() + made, out.size() - made, &given);
        if (error) throw Error(std::string("Capture analysis: the resampler failed: ") + error);
        fed += used;
        made += given;
        if (n == 0 && given == 0) break;
    }
    out.resize(made);
    return out;
}

}  // namespace onex::analysis
