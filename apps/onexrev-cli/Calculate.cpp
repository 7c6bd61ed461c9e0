#include <fmt/format.h>
#include <chrono>
#include <cmath>
#include <cstdio>

#include "Cli.h"
#include "Instrument/WaveformFiles.h"
#include "OneX/FrameSummary.h"
#include "OneX/Impairments.h"

namespace onex::cli {
namespace {

struct CalculateOptions {
    ParameterOptions parameters;
    std::string out;
    std::optional<double> scale;
};

// Decided before the calculation so that a wrong name costs nothing.
void checkOutput(const CalculateOptions& options) {
    if (options.out.empty()) {
        if (options.scale) throw UsageError{"--scale: only with --out FILE.bin"};
        return;
    }
    const auto kind = waveformFileKind(options.out);
    if (!kind)
        throw UsageError{fmt::format("--out {}: unknown file kind (use {})", options.out,
                                     kWaveformFileExtensions)};
    if (options.scale && *kind != WaveformFileKind::Halberd)
        throw UsageError{"--scale: only with --out FILE.bin"};
}

void runCalculate(const CalculateOptions& options) {
    checkOutput(options);
    Setup setup = buildSetup(options.parameters);
    const Parameters& p = setup.parameters;
    auto start = std::chrono::steady_clock::now();
    const double rate = setup.settings.SamplingRate;
    FrameResult frame = Calculate(p, rate);
    double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    std::printf("%s\n", describeFrame(summarizeFrame(frame.waveform), rate, p, ms).c_str());
    const ImpairmentPlan plan = planImpairments(p, rate, frame.waveform.size());
    if (plan.asked()) std::printf("Impairments: %s\n", describeImpairments(plan).c_str());
    if (options.out.empty()) return;
    const FrameFileResult r = saveFrameFile(options.out, frame, setup.parameters, setup.settings,
                                            options.scale.value_or(1));
    if (!r.result.ok) throw Error(failureText(r.result));
    std::printf("Written to %s\n", r.written.c_str());
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
