// Frame calculation, whole and stage by stage, at oversampling 5 and 30 with
// every channel on (RRI, DRC, ACK, Data encoded at rate 5), against the
// floor of any frame calculation: rewriting memory of the frame's size.

#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <cstring>
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
#include "platform/LargeBuffer.h"

using namespace onex;

namespace {

using bench::Clock;
using bench::everyChannel;
using bench::median;
using bench::secondsSince;

bool designerAvailable() {
    try {
        FilterCoeff_IS95_Acp(5);
        return true;
    } catch (const Error&) {
        return false;
    }
}

long minorFaults() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_minflt;
}

// What a frame at this oversampling occupies: the waveform and two marker
// rows of bytes.
std::size_t outputBytes(std::size_t os) {
    return kFrameChips * os * (sizeof(std::complex<double>) + 2);
}

// The first calculation of a process at each oversampling (filter design
// and fresh memory included), once: registered before the others so that it
// runs first. Its figure holds for the first repetition only, and only
// when no filter leaves it out.
void BM_CalculateFirstCall(benchmark::State& state) {
    const Parameters p = everyChannel(static_cast<double>(state.range(0)), 3);
    if (!designerAvailable()) return state.SkipWithError("FIR designer not available");
    const long faults = minorFaults();
    for (auto _ : state)
        benchmark::DoNotOptimize(Calculate(p));
    state.counters["faults"] = static_cast<double>(minorFaults() - faults);
}
BENCHMARK(BM_CalculateFirstCall)->Arg(5)->Arg(30)->Iterations(1)->Unit(benchmark::kMillisecond);

// Rewriting a buffer of the frame's size that is already in memory: no
// calculation of a frame can take less.
class OutputFloor {
  public:
    explicit OutputFloor(std::size_t os)
        : bytes_(outputBytes(os)), block_(platform::acquireLargeBlock(bytes_)) {
        rewrite();  // fault it in
    }
    void rewrite() {
        ++fill_;
        std::memset(block_->data(), fill_, bytes_);
        benchmark::ClobberMemory();
    }
    double seconds() {
        const auto start = Clock::now();
        rewrite();
        return secondsSince(start);
    }

  private:
    std::size_t bytes_;
    std::shared_ptr<platform::LargeBlock> block_;
    unsigned char fill_ = 0;
};

void BM_OutputFloor(benchmark::State& state) {
    OutputFloor floor(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state)
        floor.rewrite();
    state.counters["MB"] = static_cast<double>(outputBytes(state.range(0))) / 1e6;
}
BENCHMARK(BM_OutputFloor)->Arg(5)->Arg(30)->Unit(benchmark::kMillisecond);

// Each calculation is followed by one rewrite of a buffer of its size
// (outside the timing); xFloor is the median calculation over the median
// rewrite, both taken under the same load.
void BM_Calculate(benchmark::State& state) {
    const Parameters p = everyChannel(static_cast<double>(state.range(0)), 3);
    if (!designerAvailable()) return state.SkipWithError("FIR designer not available");
    OutputFloor floor(static_cast<std::size_t>(state.range(0)));
    bench::timeAgainstFloor(
        state, [&] { benchmark::DoNotOptimize(Calculate(p)); }, [&] { return floor.seconds(); });
}
BENCHMARK(BM_Calculate)->Arg(5)->Arg(30)->Unit(benchmark::kMillisecond);

// Ten calculations in a row in one process, after a first: the frames'
// memory is reused, so they cost next to no page faults (faultsPer10 counts
// the minor page faults of the ten; pages4k is the frame's size in 4 KiB
// pages).
void BM_CalculateTenInARow(benchmark::State& state) {
    const Parameters p = everyChannel(static_cast<double>(state.range(0)), 3);
    if (!designerAvailable()) return state.SkipWithError("FIR designer not available");
    benchmark::DoNotOptimize(Calculate(p));
    std::vector<double> faults;
    for (auto _ : state) {
        const long before = minorFaults();
        for (int k = 0; k < 10; ++k)
            benchmark::DoNotOptimize(Calculate(p));
        faults.push_back(static_cast<double>(minorFaults() - before));
    }
    state.counters["faultsPer10"] = median(faults);
    state.counters["pages4k"] = static_cast<double>(outputBytes(state.range(0))) / 4096;
}
BENCHMARK(BM_CalculateTenInARow)->Arg(5)->Arg(30)->Unit(benchmark::kMillisecond);

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

// Oversampling and filtering of 32768 spread chips with the ACP filter
// (26 x os taps, designed before) into memory already in use.
void BM_StageFiltering(benchmark::State& state) {
    const auto os = static_cast<std::size_t>(state.range(0));
    std::mt19937 gen(1);
    std::uniform_real_distribution<double> u(-1, 1);
    std::vector<std::complex<double>> chips(32768);
    for (auto& c : chips)
        c = {u(gen) < 0 ? -1.0 : 1.0, u(gen) < 0 ? -1.0 : 1.0};
    if (!designerAvailable()) return state.SkipWithError("FIR designer not available");
    basebandFilterTaps(static_cast<double>(os), 3.0);  // designed before the timing
    std::vector<std::complex<double>> out(chips.size() * os);
    for (auto _ : state) {
        filterOversampledChips(chips, static_cast<double>(os), 3.0, out);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_StageFiltering)->Arg(5)->Arg(30)->Unit(benchmark::kMillisecond);

void BM_StageMarkers(benchmark::State& state) {
    std::vector<std::uint8_t> marker(32768, 0);
    for (std::size_t c = 0; c < marker.size(); c += 1024)
        marker[c] = 1;
    const auto os = static_cast<std::size_t>(state.range(0));
    std::vector<std::uint8_t> out(marker.size() * os);
    for (auto _ : state) {
        upsampleMarker(marker, os, out);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_StageMarkers)->Arg(5)->Arg(30)->Unit(benchmark::kMillisecond);

// All four impairments (I/Q errors, carrier leakage, frequency error, noise)
// on a calculated frame, in place.
void BM_Impairments(benchmark::State& state) {
    Parameters p = everyChannel(static_cast<double>(state.range(0)), 4);
    const FrameResult clean = Calculate(p);
    std::vector<std::complex<double>> frame(clean.waveform.begin(), clean.waveform.end());
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
