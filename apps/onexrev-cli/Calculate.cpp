#include <fmt/format.h>
#include <chrono>
#include <cmath>
#include <cstdio>

#include "Cli.h"
#include "Instrument/WaveformFiles.h"

namespace onex::cli {
namespace {

struct CalculateOptions {
    ParameterOptions parameters;
    std::string out;
    std::optional<double> scale;
};

enum class OutputKind { None, Mat, Halberd, SigMF };

std::string lowerExtension(const std::filesystem::path& path) {
    std::string ext = path.extension().string();
    for (char& c : ext)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

// Decided before the calculation so that a wrong name costs nothing.
OutputKind outputKind(const CalculateOptions& options) {
    if (options.out.empty()) {
        if (options.scale) throw UsageError{"--scale: only with --out FILE.bin"};
        return OutputKind::None;
    }
    const std::string ext = lowerExtension(options.out);
    OutputKind kind = OutputKind::None;
    if (ext == ".mat")
        kind = OutputKind::Mat;
    else if (ext == ".bin")
        kind = OutputKind::Halberd;
    else if (ext == ".sigmf-data" || ext == ".sigmf-meta")
        kind = OutputKind::SigMF;
    else
        throw UsageError{
            fmt::format("--out {}: unknown file kind (use .mat, .bin, .sigmf-data or .sigmf-meta)",
                        options.out)};
    if (options.scale && kind != OutputKind::Halberd)
        throw UsageError{"--scale: only with --out FILE.bin"};
    return kind;
}

// Returns the file(s) written.
std::string writeOutput(const CalculateOptions& options, OutputKind kind, const Setup& setup,
                        const FrameResult& frame) {
    const std::filesystem::path path = options.out;
    switch (kind) {
        case OutputKind::None:
            return {};
        case OutputKind::Mat: {
            FileResult r = saveWaveMat(path, frame.waveform, setup.settings.SamplingRate, &frame);
            if (!r.ok) throw Error(failureText(r));
            return path.string();
        }
        case OutputKind::Halberd:
            writeHalberdFile(frame.waveform, path, options.scale.value_or(1));
            return path.string();
        case OutputKind::SigMF: {
            const auto base = sigmfBase(path);
            SigMFRecording rec{frame.waveform,
                               frame.marker1,
                               frame.marker2,
                               setup.settings.SamplingRate,
                               setup.settings.Frequency,
                               describeParameterSet(setup.parameters)};
            FileResult r = saveSigMF(base, rec);
            if (!r.ok) throw Error(failureText(r));
            return fmt::format("{0}.sigmf-data and {0}.sigmf-meta", base.string());
        }
    }
    return {};
}

void runCalculate(const CalculateOptions& options) {
    const OutputKind kind = outputKind(options);
    Setup setup = buildSetup(options.parameters);
    const Parameters& p = setup.parameters;
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
    const std::size_t n = frame.waveform.size();
    std::printf(
        "%zu samples at %s Sa/s (OverSampling %g, FilterType %g), peak |x| %.4f, RMS %.4f, "
        "%.1f ms\n",
        n, fmt::format("{:.0f}", setup.settings.SamplingRate).c_str(), p.OverSampling, p.FilterType,
        std::sqrt(peak), n ? std::sqrt(power / static_cast<double>(n)) : 0.0, ms);
    const std::string written = writeOutput(options, kind, setup, frame);
    if (!written.empty()) std::printf("Written to %s\n", written.c_str());
}

}  // namespace

void addCalculateCommand(CLI::App& app) {
    auto options = std::make_shared<CalculateOptions>();
    CLI::App* sub = app.add_subcommand("calculate", "Compute one frame and print its summary");
    options->parameters.addTo(*sub, true);
    sub->add_option("--out", options->out,
                    "output file by extension: FILE.mat (wave, sampleRate, samplePoints, "
                    "markers), FILE.bin (raw big-endian 16-bit I/Q for the instrument), "
                    "FILE.sigmf-data (SigMF recording: FILE.sigmf-data and FILE.sigmf-meta)");
    sub->add_option("--scale", options->scale,
                    "for .bin: the largest component becomes 32766 x SCALE (1e-5 to 1, default 1)")
        ->check(CLI::Range(1e-5, 1.0));
    sub->callback([options] { runCalculate(*options); });
}

}  // namespace onex::cli
