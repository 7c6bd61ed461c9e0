#include <fmt/format.h>
#include <chrono>
#include <cmath>
#include <cstdio>

#include "Cli.h"
#include "platform/MatFile.h"

namespace onex::cli {
namespace {

constexpr double kChipRate = 1228800.0;

struct CalculateOptions {
    ParameterOptions parameters;
    std::string out;
};

// The frame as the MAT-file variables other tools expect: wave (N x 2, real
// and imaginary columns), markers (2 x N), sampleRate and samplePoints.
void writeWaveMat(const std::filesystem::path& path, const FrameResult& frame, double sampleRate) {
    using platform::Array;
    const std::size_t n = frame.waveform.size();
    std::vector<double> wave(2 * n), markers(2 * n);
    for (std::size_t i = 0; i < n; ++i) {
        wave[i] = frame.waveform[i].real();
        wave[n + i] = frame.waveform[i].imag();
        markers[2 * i] = frame.marker1[i];
        markers[2 * i + 1] = frame.marker2[i];
    }
    platform::writeMatFile(path, {{"wave", Array::matrix(n, 2, wave)},
                                  {"markers", Array::matrix(2, n, markers)},
                                  {"sampleRate", Array(sampleRate)},
                                  {"samplePoints", Array(static_cast<double>(n))}});
}

void writeOutput(const std::filesystem::path& path, const FrameResult& frame, double sampleRate) {
    std::string ext = path.extension().string();
    for (char& c : ext)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (ext == ".mat") return writeWaveMat(path, frame, sampleRate);
    throw UsageError{fmt::format("--out {}: unknown file kind (use .mat)", path.string())};
}

void runCalculate(const CalculateOptions& options) {
    Parameters p = buildParameters(options.parameters);
    auto start = std::chrono::steady_clock::now();
    FrameResult frame = Calculate(p);
    double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    double peak = 0, power = 0;
    for (const auto& x : frame.waveform) {
        double m2 = std::norm(x);
        power += m2;
        peak = std::max(peak, m2);
    }
    const double sampleRate = kChipRate * p.OverSampling;
    const std::size_t n = frame.waveform.size();
    std::printf(
        "%zu samples at %s Sa/s (OverSampling %g, FilterType %g), peak |x| %.4f, RMS %.4f, "
        "%.1f ms\n",
        n, fmt::format("{:.0f}", sampleRate).c_str(), p.OverSampling, p.FilterType, std::sqrt(peak),
        n ? std::sqrt(power / static_cast<double>(n)) : 0.0, ms);
    if (!options.out.empty()) {
        writeOutput(options.out, frame, sampleRate);
        std::printf("Written to %s\n", options.out.c_str());
    }
}

}  // namespace

void addCalculateCommand(CLI::App& app) {
    auto options = std::make_shared<CalculateOptions>();
    CLI::App* sub = app.add_subcommand("calculate", "Compute one frame and print its summary");
    options->parameters.addTo(*sub, true);
    sub->add_option("--out", options->out,
                    "output file: FILE.mat (wave, markers, sampleRate, samplePoints)");
    sub->callback([options] { runCalculate(*options); });
}

}  // namespace onex::cli
