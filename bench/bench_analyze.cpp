// The capture analysis of 30 ms captured at 10 MHz (300000 samples) of the
// default-oversampling frame with every channel on: whole, and the steps that
// are functions of their own (resampling to 6.144 MHz, the reference frame,
// the code-domain receiver of one frame, the capture's spectrum figures).
// What the whole costs beyond them is acquisition and the fine estimation.

#include <benchmark/benchmark.h>

#include <cmath>
#include <numbers>
#include <random>

#include "Analysis/CaptureAnalysis.h"
#include "Analysis/CaptureResampler.h"
#include "Analysis/CodeDomain.h"
#include "Analysis/Measurements.h"
#include "BenchFrames.h"
#include "OneX/FrameBuilder.h"
#include "platform/Fft.h"

using namespace onex;

namespace {

constexpr double kCaptureRate = 10e6;
constexpr std::size_t kCaptureSamples = 300000;

const Parameters& parameters() {
    static const Parameters p = bench::everyChannel(5, 3);
    return p;
}

double frameRate() {
    return chipSamplingRate(parameters().OverSampling);
}

// The frame at 10 MHz by interpolation of its three-frame loop (800000
// samples hold three frames exactly), from 4 ms in, a carrier offset of
// 3 kHz and noise at C/N 40 dB.
const std::vector<std::complex<float>>& capture() {
    static const std::vector<std::complex<float>> c = [] {
        const FrameResult frame = Calculate(parameters());
        const std::span<const std::complex<double>> x = frame.waveform;
        const std::size_t n = x.size(), m = 800000;
        const std::vector<std::complex<double>> X = platform::fft(x);
        std::vector<std::complex<double>> Y(m);
        for (std::size_t k = 0; k < n; ++k) {
            const long bin = k < n / 2 ? long(k) : long(k) - long(n);
            Y[static_cast<std::size_t>((3 * bin + long(m)) % long(m))] = X[k] * (double(m) / n);
        }
        const std::vector<std::complex<double>> y = platform::ifft(Y);
        std::mt19937 gen(1);
        std::normal_distribution<double> noise(
            0, std::sqrt(0.5 * 1e-4 * kCaptureRate / kChipRate) * 0.52);
        std::vector<std::complex<float>> out(kCaptureSamples);
        for (std::size_t i = 0; i < out.size(); ++i) {
            const double t = double(i) / kCaptureRate;
            out[i] = std::complex<float>(y[(i + 40000) % m] *
                                             std::polar(1.0, 2 * std::numbers::pi * 3e3 * t) +
                                         std::complex<double>(noise(gen), noise(gen)));
        }
        return out;
    }();
    return c;
}

void BM_AnalyzeCapture(benchmark::State& state) {
    const auto& c = capture();
    const analysis::CaptureReference ref{parameters(), frameRate()};
    for (auto _ : state)
        benchmark::DoNotOptimize(analysis::analyzeCapture(c, kCaptureRate, ref));
}
BENCHMARK(BM_AnalyzeCapture)->Unit(benchmark::kMillisecond);

void BM_AnalyzeResample(benchmark::State& state) {
    const auto& c = capture();
    for (auto _ : state)
        benchmark::DoNotOptimize(analysis::resampleCapture(c, kCaptureRate, frameRate(), 1 << 20));
}
BENCHMARK(BM_AnalyzeResample)->Unit(benchmark::kMillisecond);

void BM_AnalyzeReferenceFrame(benchmark::State& state) {
    for (auto _ : state) {
        const std::vector<double> bits = prepareDataBits(parameters());
        benchmark::DoNotOptimize(OneX_RevTrfChn(frameInputsFrom(parameters(), bits)));
    }
}
BENCHMARK(BM_AnalyzeReferenceFrame)->Unit(benchmark::kMillisecond);

void BM_AnalyzeCodeDomain(benchmark::State& state) {
    const FrameResult frame = Calculate(parameters());
    const std::span<const std::complex<double>> x = frame.waveform;
    for (auto _ : state)
        benchmark::DoNotOptimize(analysis::measureCodeDomain(x, parameters()));
}
BENCHMARK(BM_AnalyzeCodeDomain)->Unit(benchmark::kMillisecond);

void BM_AnalyzeCaptureSpectrum(benchmark::State& state) {
    const auto& c = capture();
    const std::vector<std::complex<double>> frame(c.begin(),
                                                  c.begin() + 264600);  // the span analyze takes
    for (auto _ : state)
        benchmark::DoNotOptimize(analysis::measureWaveform(frame, kCaptureRate));
}
BENCHMARK(BM_AnalyzeCaptureSpectrum)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
