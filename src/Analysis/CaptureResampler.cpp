#include "Analysis/CaptureResampler.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <mutex>
#include <string>

#include "Analysis/CaptureAnalysis.h"
#include "Analysis/ResamplerModule.h"
#include "platform/Error.h"
#include "platform/Module.h"

namespace onex::analysis {

namespace {

// The filter's half length is about 110 periods of the lower rate at this
// quality and passband (measured from 1.2288 to 100 MHz); twice that keeps
// its start-up below -120 dB.
constexpr double kTransientPeriods = 256;

// The resampler module (ResamplerModule.h), from ONEXREV_RESAMPLE_MODULE or
// the layout; loaded at the first resampling, again after a failed load.
decltype(&onexrev_resample) resampler() {
    namespace rm = resamplermodule;
    static std::mutex mutex;
    static decltype(&onexrev_resample) loaded = nullptr;
    std::lock_guard lock(mutex);
    if (!loaded) {
        void* lib = platform::loadTaggedModule(
            "resampler module", rm::kFileName,
            platform::moduleCandidates("ONEXREV_RESAMPLE_MODULE", rm::kFileName), rm::kTagSymbol,
            rm::kTag);
        loaded = reinterpret_cast<decltype(&onexrev_resample)>(
            platform::moduleSymbol(lib, rm::kFileName, rm::kResampleSymbol));
    }
    return loaded;
}

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
    const auto resample = [&] {
        try {
            return resampler();
        } catch (const Error& e) {
            throw Error(std::string("Capture analysis: ") + e.what());
        }
    }();
    const double expected = std::ceil(static_cast<double>(capture.size()) * outRate / inRate);
    std::vector<std::complex<double>> out(
        std::min(maxOutput, static_cast<std::size_t>(expected) + 16));
    std::size_t made = 0;
    std::array<char, 512> error{};
    if (resample(capture.data(), capture.size(), inRate, outRate, kResamplerPassband, out.data(),
                 out.size(), &made, error.data(), error.size()) != 0)
        throw Error(std::string("Capture analysis: ") + error.data());
    out.resize(made);
    return out;
}

}  // namespace onex::analysis
