// Equiripple designs run on every frame calculation; the frequency-response
// FIR once per corrected download.

#include <benchmark/benchmark.h>

#include <complex>
#include <vector>

#include "OneX/FirDesign.h"

namespace {

void BM_FilterCoeff_IS95_Std(benchmark::State& state) {
    const double os = static_cast<double>(state.range(0));
    for (auto _ : state)
        benchmark::DoNotOptimize(onex::FilterCoeff_IS95_Std(os));
}
BENCHMARK(BM_FilterCoeff_IS95_Std)->Arg(2)->Arg(5)->Arg(30)->Unit(benchmark::kMillisecond);

void BM_FilterCoeff_IS95_Acp(benchmark::State& state) {
    const double os = static_cast<double>(state.range(0));
    for (auto _ : state)
        benchmark::DoNotOptimize(onex::FilterCoeff_IS95_Acp(os));
}
BENCHMARK(BM_FilterCoeff_IS95_Acp)->Arg(2)->Arg(5)->Arg(30)->Unit(benchmark::kMillisecond);

// A correction filter: 31 taps from a measured response of 201 points.
void BM_createRealFIR(benchmark::State& state) {
    std::vector<double> F;
    std::vector<std::complex<double>> H;
    for (int k = 0; k <= 200; ++k) {
        F.push_back(-50e6 + 0.5e6 * k);
        H.push_back(std::polar(1.0 + 0.001 * k, 1e-3 * k));
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(onex::createRealFIR(31, F, H, 100e6));
}
BENCHMARK(BM_createRealFIR)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
