// The display models for an oversampling-30 frame (983040 samples, every
// channel on, quantised to 14 bits as the plot commands show it).

#include <benchmark/benchmark.h>

#include "Analysis/Ccdf.h"
#include "Analysis/EyeScatter.h"
#include "Analysis/IqTime.h"
#include "Analysis/Spectrum.h"
#include "Analysis/Waterfall.h"
#include "BenchFrames.h"
#include "Instrument/DacResolution.h"
#include "OneX/AirInterface.h"
#include "OneX/FrameBuilder.h"

using namespace onex;

namespace {

constexpr double kOverSampling = 30;
constexpr double kSampleRate = kChipRate * kOverSampling;

const std::vector<std::complex<double>>& frame() {
    static const std::vector<std::complex<double>> wave = [] {
        return applyDacRes(Calculate(bench::everyChannel(kOverSampling, 3)).waveform, 14);
    }();
    return wave;
}

void BM_SpectrumModel(benchmark::State& state) {
    const auto& w = frame();
    for (auto _ : state)
        benchmark::DoNotOptimize(analysis::spectrumModel(w, kSampleRate));
}
BENCHMARK(BM_SpectrumModel)->Unit(benchmark::kMillisecond);

void BM_CcdfModel(benchmark::State& state) {
    const auto& w = frame();
    for (auto _ : state)
        benchmark::DoNotOptimize(analysis::ccdfModel(w));
}
BENCHMARK(BM_CcdfModel)->Unit(benchmark::kMillisecond);

void BM_WaterfallModel(benchmark::State& state) {
    const auto& w = frame();
    const double period = static_cast<double>(w.size()) / kSampleRate / 200;
    for (auto _ : state)
        benchmark::DoNotOptimize(analysis::waterfallModel(w, kSampleRate, period));
}
BENCHMARK(BM_WaterfallModel)->Unit(benchmark::kMillisecond);

void BM_IqTimeModel(benchmark::State& state) {
    const auto& w = frame();
    for (auto _ : state)
        benchmark::DoNotOptimize(analysis::iqTimeModel(w, kSampleRate));
}
BENCHMARK(BM_IqTimeModel)->Unit(benchmark::kMillisecond);

void BM_EyeModel(benchmark::State& state) {
    const auto& w = frame();
    for (auto _ : state)
        benchmark::DoNotOptimize(analysis::eyediagram(w, 2 * kOverSampling, 2 / kChipRate, 0));
}
BENCHMARK(BM_EyeModel)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
