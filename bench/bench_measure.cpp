// The measurements of an oversampling-30 frame (983040 samples, every channel
// on, ACP filter), whole and by stage.

#include <benchmark/benchmark.h>

#include "Analysis/Ccdf.h"
#include "Analysis/CodeDomain.h"
#include "Analysis/MeasurementReport.h"
#include "Analysis/Measurements.h"
#include "BenchFrames.h"
#include "OneX/AirInterface.h"
#include "OneX/FrameBuilder.h"

using namespace onex;

namespace {

constexpr double kOverSampling = 30;
constexpr double kSampleRate = kChipRate * kOverSampling;

const Parameters& parameters() {
    static const Parameters p = bench::everyChannel(kOverSampling, 3);
    return p;
}

std::span<const std::complex<double>> frame() {
    static const FrameResult computed = Calculate(parameters());
    return computed.waveform;
}

void BM_MeasureFrame(benchmark::State& state) {
    const auto w = frame();
    for (auto _ : state)
        benchmark::DoNotOptimize(analysis::measureFrame(w, kSampleRate, parameters()));
}
BENCHMARK(BM_MeasureFrame)->Unit(benchmark::kMillisecond);

void BM_MeasurePowerAndCcdf(benchmark::State& state) {
    const auto w = frame();
    for (auto _ : state)
        benchmark::DoNotOptimize(analysis::ccdfPoints(analysis::relativePowerDb(w)));
}
BENCHMARK(BM_MeasurePowerAndCcdf)->Unit(benchmark::kMillisecond);

void BM_MeasureSpectrum(benchmark::State& state) {
    const auto w = frame();
    for (auto _ : state) {
        const analysis::PowerSpectrum s = analysis::powerSpectrum(w, kSampleRate);
        benchmark::DoNotOptimize(analysis::occupiedBandwidth(s));
        for (double offset : {-1.98e6, -885e3, 885e3, 1.98e6})
            benchmark::DoNotOptimize(
                analysis::adjacentChannelPowerRatio(s, kSampleRate, offset, 30e3, 1.23e6));
    }
}
BENCHMARK(BM_MeasureSpectrum)->Unit(benchmark::kMillisecond);

void BM_MeasureCodeDomain(benchmark::State& state) {
    const auto w = frame();
    for (auto _ : state)
        benchmark::DoNotOptimize(analysis::measureCodeDomain(w, parameters()));
}
BENCHMARK(BM_MeasureCodeDomain)->Unit(benchmark::kMillisecond);

void BM_MeasureDespreadChips(benchmark::State& state) {
    const auto w = frame();
    for (auto _ : state)
        benchmark::DoNotOptimize(analysis::despreadChips(w, parameters()));
}
BENCHMARK(BM_MeasureDespreadChips)->Unit(benchmark::kMillisecond);

void BM_MeasureJson(benchmark::State& state) {
    const analysis::Measurements m = analysis::measureFrame(frame(), kSampleRate, parameters());
    for (auto _ : state)
        benchmark::DoNotOptimize(analysis::measurementsJson(m));
}
BENCHMARK(BM_MeasureJson)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
