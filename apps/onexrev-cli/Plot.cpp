// onexrev-cli plot: a display of the computed frame as an image file, with
// its numbers as CSV. The drawing is done by libonexrev-plot.so, loaded here
// only, so that no other verb loads Qt.

#include <fmt/format.h>

#include <array>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <optional>
#include <regex>
#include <variant>

#include "Analysis/Ccdf.h"
#include "Analysis/EyeScatter.h"
#include "Analysis/IqTime.h"
#include "Analysis/Spectrum.h"
#include "Analysis/Waterfall.h"
#include "Cli.h"
#include "Instrument/DacResolution.h"
#include "platform/AtomicFile.h"
#include "platform/Text.h"
#include "renderer/PlotRenderer.h"

namespace onex::cli {
namespace {

using displays::DisplayModel;

constexpr int kMinSide = 16, kMaxSide = 8192;

struct PlotOptions {
    std::string kind;
    ParameterOptions parameters;
    std::string out;
    std::string size = "800x600";
    std::string data;
    std::optional<double> symbols, delay, decimation, offset;
    bool trace = false;
};

std::string lowerExtension(const std::string& path) {
    return platform::toLower(std::filesystem::path(path).extension().string());
}

std::pair<int, int> parseSize(const std::string& text) {
    static const std::regex form(R"((\d{1,5})[xX](\d{1,5}))");
    std::smatch m;
    if (!std::regex_match(text, m, form))
        throw UsageError{fmt::format("--size {}: give WIDTHxHEIGHT in pixels, e.g. 800x600", text)};
    const int w = std::stoi(m[1]), h = std::stoi(m[2]);
    if (w < kMinSide || h < kMinSide || w > kMaxSide || h > kMaxSide)
        throw UsageError{
            fmt::format("--size {}: each side must be {} to {} pixels", text, kMinSide, kMaxSide)};
    return {w, h};
}

// Options that belong to one kind only are refused with the others.
void checkOptions(const PlotOptions& o) {
    const std::string ext = lowerExtension(o.out);
    if (ext != ".png" && ext != ".svg" && ext != ".pdf")
        throw UsageError{
            fmt::format("--out {}: the image must be a .png, .svg or .pdf file", o.out)};
    if (!o.data.empty() && lowerExtension(o.data) != ".csv")
        throw UsageError{fmt::format("--data {}: the numbers go to a .csv file", o.data)};
    if (o.kind != "eye" && (o.symbols || o.delay))
        throw UsageError{"--symbols and --delay: only with plot eye"};
    if (o.kind != "scatter" && (o.decimation || o.offset || o.trace))
        throw UsageError{"--decimation, --offset and --trace: only with plot scatter"};
    if (o.offset &&
        !(std::isfinite(*o.offset) && *o.offset >= 0 && *o.offset == std::floor(*o.offset)))
        throw UsageError{fmt::format(
            "--offset {}: the samples skipped first, a whole number from 0 on", *o.offset)};
}

DisplayModel buildModel(const PlotOptions& o, const std::vector<std::complex<double>>& wave,
                        const Setup& setup) {
    const double rate = setup.settings.SamplingRate;
    const double os = setup.parameters.OverSampling;
    if (o.kind == "spectrum") return analysis::spectrumModel(wave, rate);
    if (o.kind == "ccdf") return analysis::ccdfModel(wave);
    if (o.kind == "iq" || o.kind == "iq-overlay")
        return displays::IqTimeView{analysis::iqTimeModel(wave, rate), o.kind == "iq-overlay"};
    if (o.kind == "waterfall")
        return analysis::waterfallModel(wave, rate, static_cast<double>(wave.size()) / rate / 200);
    try {
        if (o.kind == "eye") {
            const analysis::EyeSettings e = analysis::eyeSettingsFromAnswers(
                o.symbols.value_or(1), o.delay.value_or(0), os, wave.size());
            const analysis::PlotArguments a = analysis::windowArguments(
                e.samplesPerTrace, e.delaySamples, e.samplesPerTrace / rate);
            return analysis::eyediagram(wave, a.n, a.period, a.offset);
        }
        // The offset is the samples skipped, as asked: not brought within
        // one decimation step as the window routine's symbol delay is.
        const analysis::PlotArguments a = analysis::windowArguments(o.decimation.value_or(os), 0);
        return analysis::scatterplot(wave, a.n, o.offset.value_or(0), o.trace);
    } catch (const Error& e) {
        throw Error(fmt::format("Unable to Plot {} Diagram: {}",
                                o.kind == "eye" ? "Eye" : "Scatter", e.what()));
    }
}

// --- CSV: every number of the model, one header line ---

struct Csv {
    std::string text;
    void row(std::initializer_list<double> values) {
        bool first = true;
        for (double v : values) {
            if (!first) text += ',';
            first = false;
            fmt::format_to(std::back_inserter(text), "{}", v);
        }
        text += '\n';
    }
};

std::string csvOf(const DisplayModel& model) {
    Csv c;
    std::visit(
        [&](const auto& m) {
            using T = std::decay_t<decltype(m)>;
            if constexpr (std::is_same_v<T, analysis::SpectrumModel>) {
                c.text = fmt::format("Frequency ({}),LogMag (dB)\n", m.fUnits);
                for (std::size_t k = 0; k < m.f.size(); ++k)
                    c.row({m.f[k], m.magSignal[k]});
            } else if constexpr (std::is_same_v<T, analysis::CcdfModel>) {
                c.text = "dB above Average,CCDF (%),Gaussian reference (%)\n";
                for (std::size_t k = 0; k < m.X.size(); ++k)
                    c.row({m.X[k], m.Y[k], m.Y1[k]});
            } else if constexpr (std::is_same_v<T, displays::IqTimeView>) {
                c.text = fmt::format("Time ({}),I,Q\n", m.model.tUnits);
                for (std::size_t k = 0; k < m.model.t.size(); ++k)
                    c.row({m.model.t[k], m.model.i[k], m.model.q[k]});
            } else if constexpr (std::is_same_v<T, analysis::EyeModel>) {
                c.text = m.complexInput ? "Trace,Time (S),I,Q\n" : "Trace,Time (S),I\n";
                for (std::size_t k = 0; k < m.traces; ++k)
                    for (std::size_t j = 0; j < m.n; ++j) {
                        const double tr = static_cast<double>(k + 1);
                        if (m.complexInput)
                            c.row({tr, m.t[j], m.i[k * m.n + j], m.q[k * m.n + j]});
                        else
                            c.row({tr, m.t[j], m.i[k * m.n + j]});
                    }
            } else if constexpr (std::is_same_v<T, analysis::ScatterModel>) {
                c.text = "In-Phase,Quadrature\n";
                for (std::size_t k = 0; k < m.i.size(); ++k)
                    c.row({m.i[k], m.q[k]});
            } else {
                c.text = fmt::format("Time ({}),Frequency ({}),LogMag (dB)\n", m.tUnits, m.fUnits);
                for (std::size_t r = 0; r < m.rows; ++r)
                    for (std::size_t k = 0; k < m.columns; ++k)
                        c.row({m.time[r], m.frequency[k], m.at(r, k)});
            }
        },
        model);
    return std::move(c.text);
}

// --- the renderer library ---

// The renderer library: ONEXREV_PLOT_LIBRARY when set (and then only that),
// else the first of the build's or installation's places that holds a
// library of this build.
PlotRenderFunction loadRenderer() {
    static constexpr const char* kFile = "libonexrev-plot.so";
    std::vector<std::filesystem::path> candidates;
    if (const char* env = std::getenv("ONEXREV_PLOT_LIBRARY"); env && *env) {
        candidates.emplace_back(env);
    } else {
        const auto here = platform::programFolder();
        candidates.push_back(here / "../lib" / kFile);
        candidates.push_back(here / kFile);
        candidates.emplace_back(kFile);
    }
    void* lib =
        platform::loadTaggedModule("plot renderer", kFile, candidates, kPlotRendererTagSymbol,
                                   kPlotRendererTag, " (built only with the desktop part)");
    return reinterpret_cast<PlotRenderFunction>(
        platform::moduleSymbol(lib, kFile, kPlotRendererSymbol));
}

// The image and the CSV are made in full under no name, then named: a
// failure leaves the previous files as they were. Only a failure between the
// two renames (rare: they follow at once) leaves a new image beside old
// numbers, and the message says so.
void writePlotFiles(const PlotOptions& o, const DisplayModel& model, int width, int height) {
    const PlotRenderFunction render = loadRenderer();
    const auto step = [](const std::string& path, const std::function<void()>& work) {
        try {
            work();
        } catch (const std::exception& e) {
            throw Error(fmt::format("Unable to write file '{}': {}.", path, e.what()));
        }
    };
    std::optional<platform::PendingFile> image, data;
    step(o.out, [&] { image.emplace(o.out); });
    if (!o.data.empty()) {
        const std::string csv = csvOf(model);
        step(o.data, [&] {
            data.emplace(o.data);
            data->write(std::span(reinterpret_cast<const std::uint8_t*>(csv.data()), csv.size()));
        });
    }
    std::array<char, 1024> error{};
    const auto format = static_cast<int>(*displays::imageFormatOf(o.out));
    if (render(&model, image->openPath().c_str(), format, o.out.c_str(), width, height,
               error.data(), error.size()) != 0)
        throw Error(error.data());
    step(o.out, [&] { image->commit(); });
    if (data) {
        try {
            data->commit();
        } catch (const std::exception& e) {
            throw Error(
                fmt::format("Unable to write file '{}': {}. The image {} is written, but "
                            "its numbers are not.",
                            o.data, e.what(), o.out));
        }
    }
}

void runPlot(const PlotOptions& o) {
    checkOptions(o);
    const auto [width, height] = parseSize(o.size);
    const Setup setup = buildSetup(o.parameters);
    // What the Plot commands show: the frame as the 14-bit DAC plays it.
    const auto wave =
        applyDacRes(Calculate(setup.parameters, setup.settings.SamplingRate).waveform, 14);
    const DisplayModel model = buildModel(o, wave, setup);
    writePlotFiles(o, model, width, height);
    std::printf("Written to %s (%dx%d)%s\n", o.out.c_str(), width, height,
                o.data.empty() ? "" : fmt::format(" and {}", o.data).c_str());
}

}  // namespace

void drawDisplay(const displays::DisplayModel& model, const std::string& out,
                 const std::string& size) {
    PlotOptions o;
    o.out = out;
    checkOptions(o);
    const auto [width, height] = parseSize(size);
    writePlotFiles(o, model, width, height);
    std::printf("Written to %s (%dx%d)\n", o.out.c_str(), width, height);
}

void addPlotCommand(CLI::App& app) {
    auto o = std::make_shared<PlotOptions>();
    CLI::App* sub = app.add_subcommand(
        "plot", "Draw a display of the frame (as the Plot menu shows it) into an image file");
    sub->add_option("KIND", o->kind, "spectrum, ccdf, iq, iq-overlay, eye, scatter or waterfall")
        ->required()
        ->check(
            CLI::IsMember({"spectrum", "ccdf", "iq", "iq-overlay", "eye", "scatter", "waterfall"}));
    o->parameters.addTo(*sub, true);
    sub->add_option("--out", o->out, "image file: FILE.png, FILE.svg or FILE.pdf")->required();
    sub->add_option("--size", o->size, "WIDTHxHEIGHT in pixels (default 800x600)");
    sub->add_option("--data", o->data,
                    "also write the display's numbers in full to FILE.csv (one header line)");
    sub->add_option("--symbols", o->symbols, "eye: symbols per trace (default 1)");
    sub->add_option("--delay", o->delay, "eye: symbol delay 0..1 (default 0)");
    sub->add_option("--decimation", o->decimation,
                    "scatter: one point every N samples (default OverSampling)");
    sub->add_option("--offset", o->offset, "scatter: samples skipped first (default 0)");
    sub->add_flag("--trace", o->trace, "scatter: also draw the trajectory through every sample");
    sub->callback([o] { runPlot(*o); });
}

}  // namespace onex::cli
