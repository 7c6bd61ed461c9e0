// The measurements of an oversampling-30 frame (983040 samples, every channel
// on, ACP filter), whole and by stage, against the floor of any spectrum
// measurement: one transform of the frame's length.

#include <benchmark/benchmark.h>

#include <map>

#include "Analysis/Ccdf.h"
#include "Analysis/CodeDomain.h"
#include "Analysis/MeasurementReport.h"
#include "Analysis/Measurements.h"
#include "BenchFrames.h"
#include "OneX/AirInterface.h"
#include "OneX/FrameBuilder.h"
#include "platform/Fft.h"
#include "platform/LargeBuffer.h"

using namespace onex;

namespace {

constexpr int kOverSampling = 30;

struct BenchFrame {
    Parameters parameters;
    FrameResult computed;
    double sampleRate = 0;
};

// Computed once for each oversampling.
const BenchFrame& frameAt(int os) {
    static std::map<int, BenchFrame> frames;
    auto it = frames.find(os);
    if (it == frames.end()) {
        const Parameters p = bench::everyChannel(os, 3);
        it = frames.emplace(os, BenchFrame{p, Calculate(p), kChipRate * os}).first;
    }
    return it->second;
}

const Parameters& parameters() {
    return frameAt(kOverSampling).parameters;
}

std::span<const std::complex<double>> frame() {
    return frameAt(kOverSampling).computed.waveform;
}

constexpr double kSampleRate = kChipRate * kOverSampling;

// One forward transform of the frame, in place in pooled memory already in
// use, with its plan made before: what the spectrum figures cannot do
// without. The frame is copied back in before each transform, untimed.
class FftFloor {
  public:
    explicit FftFloor(std::span<const std::complex<double>> wave)
        : wave_(wave), buffer_(platform::acquireLargeArray<std::complex<double>>(wave.size())) {
        seconds();  // the plan, and the memory faulted in
    }
    double seconds() {
        std::copy(wave_.begin(), wave_.end(), buffer_.items.begin());
        const auto start = bench::Clock::now();
        platform::fftInPlace(buffer_.items);
        benchmark::ClobberMemory();
        return bench::secondsSince(start);
    }

  private:
    std::span<const std::complex<double>> wave_;
    platform::LargeArray<std::complex<double>> buffer_;
};

void BM_FftFloor(benchmark::State& state) {
    FftFloor floor(frameAt(static_cast<int>(state.range(0))).computed.waveform);
    for (auto _ : state)
        state.SetIterationTime(floor.seconds());
}
BENCHMARK(BM_FftFloor)->Arg(kOverSampling)->UseManualTime()->Unit(benchmark::kMillisecond);

// Every figure of the frame; xFloor is its median over the median transform
// above, taken in the same loop.
void BM_MeasureFrame(benchmark::State& state) {
    const BenchFrame& f = frameAt(static_cast<int>(state.range(0)));
    const auto w = f.computed.waveform;
    FftFloor floor(w);
    bench::timeAgainstFloor(
        state,
        [&] { benchmark::DoNotOptimize(analysis::measureFrame(w, f.sampleRate, f.parameters)); },
        [&] { return floor.seconds(); });
}
BENCHMARK(BM_MeasureFrame)->Arg(kOverSampling)->Unit(benchmark::kMillisecond);

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
