// libonexrev-resample.so: libsoxr behind ResamplerModule.h, loaded by the
// capture analysis when a capture's rate differs from the frame's. Its
// "very high quality" linear-phase filters in double precision.
#include <soxr.h>

#include <algorithm>
#include <cstdio>
#include <memory>

#include "Analysis/ResamplerModule.h"

namespace {

// Input fed per call: the resampler's buffers stay small.
constexpr std::size_t kChunk = std::size_t{1} << 16;

struct SoxrDelete {
    void operator()(soxr* s) const { soxr_delete(s); }
};

int failed(const char* what, soxr_error_t error, char* text, std::size_t size) {
    if (text && size) std::snprintf(text, size, "the resampler %s: %s", what, error);
    return 1;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) const onex::platform::ModuleTag*
onexrev_resample_module_tag() {
    return &onex::analysis::resamplermodule::kTag;
}

extern "C" __attribute__((visibility("default"))) int onexrev_resample(
    const std::complex<float>* in, std::size_t inCount, double inRate, double outRate,
    double passband, std::complex<double>* out, std::size_t outCapacity, std::size_t* made,
    char* error, std::size_t errorSize) {
    *made = 0;
    // I and Q are two channels of one stream, as the samples lie in memory.
    const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT64_I);
    soxr_quality_spec_t quality = soxr_quality_spec(SOXR_VHQ, SOXR_LINEAR_PHASE);
    quality.passband_end = passband;
    soxr_error_t e = nullptr;
    std::unique_ptr<soxr, SoxrDelete> s(
        soxr_create(inRate, outRate, 2, &e, &io, &quality, nullptr));
    if (e) return failed("refused", e, error, errorSize);
    std::size_t fed = 0;
    while (*made < outCapacity) {
        std::size_t used = 0, given = 0;
        // Calls without input after the last sample give the run-out.
        const std::size_t n = std::min(kChunk, inCount - fed);
        e = soxr_process(s.get(), n ? in + fed : nullptr, n, &used, out + *made,
                         outCapacity - *made, &given);
        if (e) return failed("failed", e, error, errorSize);
        fed += used;
        *made += given;
        if (n == 0 && given == 0) break;
    }
    return 0;
}
