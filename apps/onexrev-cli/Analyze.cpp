// onexrev-cli analyze: what a transmitter really sends, from a recorded I/Q
// capture compared with the frame of the parameter set.

#include <fmt/format.h>

#include <cstdio>

#include "Analysis/CaptureAnalysis.h"
#include "Analysis/CaptureReport.h"
#include "Cli.h"
#include "Instrument/CaptureFiles.h"

namespace onex::cli {
namespace {

struct AnalyzeOptions {
    std::string capture;
    ParameterOptions parameters;
    std::optional<double> rate;
    std::string format;
    std::size_t frames = analysis::CaptureAnalysisOptions{}.maxFrames;
    bool json = false;
    analysis::MeasurementOptions spectrum;
    std::string plot, out, size = "800x600";
};

// The displays of a capture: its spectrum, CCDF and I/Q over its first frame
// as captured, and the constellation of the corrected chips of that frame.
displays::DisplayModel captureDisplay(const std::string& kind,
                                      std::span<const std::complex<float>> capture, double rate,
                                      const analysis::CaptureAnalysis& a, double frameSeconds) {
    if (kind == "scatter") return analysis::scatterplot(a.chips, 1, 0, false);
    const std::size_t n =
        std::min(capture.size(), static_cast<std::size_t>(std::llround(frameSeconds * rate)));
    const std::vector<std::complex<double>> wave(capture.begin(),
                                                 capture.begin() + static_cast<std::ptrdiff_t>(n));
    if (kind == "spectrum") return analysis::spectrumModel(wave, rate);
    if (kind == "ccdf") return analysis::ccdfModel(wave);
    return displays::IqTimeView{analysis::iqTimeModel(wave, rate), false};
}

void runAnalyze(const AnalyzeOptions& o) {
    if (o.plot.empty() != o.out.empty()) throw UsageError{"--plot and --out go together"};
    if (o.frames < 1 || o.frames > analysis::kMaxCaptureFrames)
        throw UsageError{
            fmt::format("--frames {}: from 1 to {}", o.frames, analysis::kMaxCaptureFrames)};
    try {
        analysis::validateMeasurementOptions(o.spectrum);
    } catch (const Error& e) {
        throw UsageError{e.what()};
    }
    const CaptureFileKind kind = captureFileKind(o.capture);
    if (kind == CaptureFileKind::Raw && (o.format.empty() || !o.rate))
        throw UsageError{fmt::format(
            "{}: a raw sample file needs --format (cf32, ci16, ci8 or cu8) and --rate", o.capture)};
    if (kind == CaptureFileKind::Csv && !o.rate)
        throw UsageError{fmt::format("{}: a CSV capture needs --rate", o.capture)};
    if (kind != CaptureFileKind::Raw && !o.format.empty())
        throw UsageError{
            fmt::format("--format: only for raw sample files ({} names its own)", o.capture)};
    const Setup setup = buildSetup(o.parameters);
    const analysis::CaptureReference reference{setup.parameters, setup.settings.SamplingRate};

    CaptureReadOptions read;
    if (!o.format.empty()) read.format = captureFormatNamed(o.format);
    read.sampleRate = o.rate;
    read.samplesWanted = [&](double rate) {
        return analysis::captureSamplesWanted(rate, reference, o.frames);
    };
    const CaptureData data = readCaptureFile(o.capture, read);

    analysis::CaptureAnalysisOptions options;
    options.maxFrames = o.frames;
    options.spectrum = o.spectrum;
    options.keepChips = o.plot == "scatter";
    analysis::CaptureAnalysis a =
        analysis::analyzeCapture(data.samples, data.sampleRate, reference, options);
    // The file's own count, when only its start was read.
    a.captureSamples = data.fileSamples;
    if (o.json) {
        std::fputs(analysis::captureJson(a).c_str(), stdout);
    } else {
        std::printf("%-28s%s (%s)\n", "File", o.capture.c_str(), data.description.c_str());
        std::fputs(analysis::captureTable(a).c_str(), stdout);
    }
    if (!o.plot.empty())
        drawDisplay(captureDisplay(o.plot, data.samples, data.sampleRate, a,
                                   static_cast<double>(kFrameChips) *
                                       setup.parameters.OverSampling / reference.frameRate),
                    o.out, o.size);
}

}  // namespace

void addAnalyzeCommand(CLI::App& app) {
    auto o = std::make_shared<AnalyzeOptions>();
    CLI::App* sub = app.add_subcommand(
        "analyze",
        "Analyse a recorded I/Q capture of the frame: time and frequency error, I/Q errors, rho, "
        "EVM, code-domain power and the capture's spectrum figures");
    sub->add_option("CAPTURE", o->capture,
                    "the capture: FILE.sigmf-meta or FILE.sigmf-data (SigMF), FILE.mat (wave "
                    "and sampleRate as calculate --out writes them), FILE.csv (I,Q per line) or "
                    "raw interleaved samples (with --format and --rate)")
        ->required();
    o->parameters.addTo(*sub, true);
    sub->add_option("--rate", o->rate,
                    "the capture's sample rate in Hz (1.2288e6 to 100e6); needed for raw and CSV "
                    "files");
    sub->add_option("--format", o->format, "raw sample format: cf32, ci16, ci8 or cu8")
        ->check(CLI::IsMember({"cf32", "ci16", "ci8", "cu8"}));
    sub->add_option("--frames", o->frames,
                    fmt::format("whole frames analysed at most (1 to {}, default {})",
                                analysis::kMaxCaptureFrames, o->frames));
    sub->add_flag("--json", o->json, "print one JSON object instead of the table");
    addBandOptions(*sub, o->spectrum);
    sub->add_option("--plot", o->plot,
                    "also draw: spectrum, ccdf or iq of the capture, or scatter (the corrected "
                    "chips of the first frame)")
        ->check(CLI::IsMember({"spectrum", "ccdf", "iq", "scatter"}));
    sub->add_option("--out", o->out, "image file of --plot: FILE.png, FILE.svg or FILE.pdf");
    sub->add_option("--size", o->size, "WIDTHxHEIGHT of the image in pixels (default 800x600)");
    sub->callback([o] { runAnalyze(*o); });
}

}  // namespace onex::cli
