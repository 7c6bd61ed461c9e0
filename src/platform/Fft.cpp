#include "platform/Fft.h"

#include <fftw3.h>

#include <limits>
#include <map>
#include <mutex>
#include <tuple>

#include "platform/Error.h"

namespace onex::platform {

namespace {

// FFTW's planner is not thread-safe, its execute functions are: plans are
// made under one lock and then executed on the caller's arrays without it.
struct PlanCache {
    std::mutex mutex;
    // key: length, sign, whether the data is SIMD-aligned like fftw_malloc's
    std::map<std::tuple<std::size_t, int, bool>, fftw_plan> plans;

    ~PlanCache() {
        for (auto& entry : plans)
            fftw_destroy_plan(entry.second);
    }

    fftw_plan get(std::size_t n, int sign, bool aligned) {
        std::lock_guard lock(mutex);
        auto key = std::make_tuple(n, sign, aligned);
        if (auto it = plans.find(key); it != plans.end()) return it->second;
        if (n > static_cast<std::size_t>(std::numeric_limits<int>::max()))
            throw Error("fft: length too large");
        // Planned on scratch memory; FFTW_ESTIMATE does not touch the arrays
        // and keeps planning cheap for one-off lengths.
        auto* scratch = fftw_alloc_complex(n);
        if (!scratch) throw Error("fft: out of memory");
        unsigned flags = FFTW_ESTIMATE | (aligned ? 0u : FFTW_UNALIGNED);
        fftw_plan plan = fftw_plan_dft_1d(static_cast<int>(n), scratch, scratch, sign, flags);
        fftw_free(scratch);
        if (!plan) throw Error("fft: no plan for this length");
        plans.emplace(key, plan);
        return plan;
    }
};

PlanCache& cache() {
    static PlanCache instance;
    return instance;
}

void transform(std::span<std::complex<double>> data, int sign) {
    if (data.empty()) return;
    auto* p = reinterpret_cast<fftw_complex*>(data.data());
    const bool aligned = fftw_alignment_of(reinterpret_cast<double*>(p)) == 0;
    fftw_execute_dft(cache().get(data.size(), sign, aligned), p, p);
}

}  // namespace

void fftInPlace(std::span<std::complex<double>> data) {
    transform(data, FFTW_FORWARD);
}

void ifftInPlaceUnscaled(std::span<std::complex<double>> data) {
    transform(data, FFTW_BACKWARD);
}

void planFftInPlace(std::size_t n) {
    if (n > 0) cache().get(n, FFTW_FORWARD, true);
}

std::vector<std::complex<double>> fft(std::span<const std::complex<double>> x) {
    std::vector<std::complex<double>> out(x.begin(), x.end());
    fftInPlace(out);
    return out;
}

std::vector<std::complex<double>> ifft(std::span<const std::complex<double>> X) {
    std::vector<std::complex<double>> out(X.begin(), X.end());
    ifftInPlaceUnscaled(out);
    const double scale = out.empty() ? 1.0 : 1.0 / static_cast<double>(out.size());
    for (auto& v : out)
        v *= scale;
    return out;
}

std::size_t fftPlanCount() {
    std::lock_guard lock(cache().mutex);
    return cache().plans.size();
}

}  // namespace onex::platform
