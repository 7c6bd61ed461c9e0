// Frame calculation, whole and stage by stage, at oversampling 5 and 30 with
// every channel on (RRI, DRC, ACK, Data encoded at rate 5).

#include <benchmark/benchmark.h>

#include <random>

#include "BenchFrames.h"
#include "OneX/BasebandFilter.h"
#include "OneX/Codes.h"
#include "OneX/DataSources.h"
#include "OneX/FirDesign.h"
#include "OneX/FrameBuilder.h"
#include "OneX/Impairments.h"
#include "OneX/Spreading.h"
#include "OneX/TurboEncoder.h"
#include "platform/Error.h"

using namespace onex;

namespace {

using bench::everyChannel;

bool designerAvailable() {
    try {
        FilterCoeff_IS95_Acp(5);
        return true;
    } catch (const Error&) {
        return false;
    }
}

void BM_Calculate(benchmark::State& state) {
    const Parameters p = everyChannel(static_cast<double>(state.range(0)), 3);
    if (!designerAvailable()) return state.SkipWithError("FIR designer not available");
    for (auto _ : state)
        benchmark::DoNotOptimize(Calculate(p));
}
BENCHMARK(BM_Calculate)->Arg(5)->Arg(30)->Unit(benchmark::kMillisecond);

// The same without a designed filter (FilterType 4): everything but design
// and filtering.
void BM_CalculateUnfiltered(benchmark::State& state) {
    const Parameters p = everyChannel(static_cast<double>(state.range(0)), 4);
    for (auto _ : state)
        benchmark::DoNotOptimize(Calculate(p));
}
BENCHMARK(BM_CalculateUnfiltered)->Arg(5)->Arg(30)->Unit(benchmark::kMillisecond);

void BM_StageDataBits(benchmark::State& state) {
    const Parameters p = everyChannel(5, 3);
    for (auto _ : state)
        benchmark::DoNotOptimize(prepareDataBits(p));
}
BENCHMARK(BM_StageDataBits)->Unit(benchmark::kMicrosecond);

void BM_StageEncoder(benchmark::State& state) {
    const std::vector<double> packet = prepareDataBits(everyChannel(5, 3));
    for (auto _ : state)
        benchmark::DoNotOptimize(OneX_RevEncoder(packet, 5));
}
BENCHMARK(BM_StageEncoder)->Unit(benchmark::kMicrosecond);

void BM_StageChannelBuild(benchmark::State& state) {
    const Parameters p = everyChannel(5, 3);
    const std::vector<double> packet = prepareDataBits(p);
    const std::vector<double> symbols = OneX_RevEncoder(packet, 5);
    const FrameInputs in = frameInputsFrom(p, packet);
    for (auto _ : state)
        benchmark::DoNotOptimize(buildChipFrame(in, symbols));
}
BENCHMARK(BM_StageChannelBuild)->Unit(benchmark::kMicrosecond);

void BM_StageCodes(benchmark::State& state) {
    const std::vector<double> start = de2bi(0x24B91BFD3A8);
    for (auto _ : state) {
        benchmark::DoNotOptimize(OneX_RevLongCode(32768, start, 4398046511103.0, 4398046511103.0));
        benchmark::DoNotOptimize(OneX_RevShortCode(1));
    }
}
BENCHMARK(BM_StageCodes)->Unit(benchmark::kMicrosecond);

// Spreading including its code generation.
void BM_StageSpreading(benchmark::State& state) {
    const std::vector<std::complex<double>> frame(32768, {1, 0.5});
    for (auto _ : state)
        benchmark::DoNotOptimize(OneX_RevQuadSpreading(frame, 4398046511103.0, 4398046511103.0));
}
BENCHMARK(BM_StageSpreading)->Unit(benchmark::kMicrosecond);

void BM_StageFilterDesign(benchmark::State& state) {
    if (!designerAvailable()) return state.SkipWithError("FIR designer not available");
    const auto os = static_cast<double>(state.range(0));
    for (auto _ : state)
        benchmark::DoNotOptimize(FilterCoeff_IS95_Acp(os));
}
BENCHMARK(BM_StageFilterDesign)->Arg(5)->Arg(30)->Unit(benchmark::kMillisecond);

// Oversampling and filtering of 32768 spread chips with 26 x os taps.
void BM_StageFiltering(benchmark::State& state) {
    const auto os = static_cast<std::size_t>(state.range(0));
    std::mt19937 gen(1);
    std::uniform_real_distribution<double> u(-1, 1);
    std::vector<std::complex<double>> chips(32768);
    for (auto& c : chips)
        c = {u(gen) < 0 ? -1.0 : 1.0, u(gen) < 0 ? -1.0 : 1.0};
    std::vector<double> taps(26 * os);
    for (double& t : taps)
        t = u(gen);  // same length as the ACP filter
    for (auto _ : state)
        benchmark::DoNotOptimize(filterOversampledChips(chips, static_cast<double>(os), taps));
}
BENCHMARK(BM_StageFiltering)->Arg(5)->Arg(30)->Unit(benchmark::kMillisecond);

void BM_StageMarkers(benchmark::State& state) {
    const std::vector<double> marker(32768, 1.0);
    const auto os = static_cast<double>(state.range(0));
    for (auto _ : state) {
        benchmark::DoNotOptimize(upsampleMarker(marker, os));
        benchmark::DoNotOptimize(upsampleMarker(marker, os));
    }
}
BENCHMARK(BM_StageMarkers)->Arg(5)->Arg(30)->Unit(benchmark::kMillisecond);

// All four impairments (I/Q errors, carrier leakage, frequency error, noise)
// on a calculated frame, in place.
void BM_Impairments(benchmark::State& state) {
    Parameters p = everyChannel(static_cast<double>(state.range(0)), 4);
    std::vector<std::complex<double>> frame = Calculate(p).waveform;
    p.IQGainImbalance = 0.5;
    p.QuadratureError = 2;
    p.CarrierLeakage = -30;
    p.FreqError = 1000;
    p.CNRatio = 20;
    p.NoiseSeed = 7;
    const ImpairmentPlan plan = planImpairments(p, chipSamplingRate(p.OverSampling), frame.size());
    for (auto _ : state) {
        applyImpairments(frame, plan);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_Impairments)->Arg(5)->Arg(30)->Unit(benchmark::kMillisecond);

// The floor the impairments are judged against: writing every sample of an
// already-faulted buffer of the frame's size once.
void BM_ImpairmentsFloor(benchmark::State& state) {
    std::vector<std::complex<double>> frame(32768 * static_cast<std::size_t>(state.range(0)));
    double v = 0;
    for (auto _ : state) {
        v += 1;
        std::fill(frame.begin(), frame.end(), std::complex<double>(v, -v));
        benchmark::DoNotOptimize(frame.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_ImpairmentsFloor)->Arg(5)->Arg(30)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
