// onexrev-cli measure: what an analyzer would read from the computed frame,
// as a table or as one JSON object.

#include <cstdio>
#include <future>

#include "Analysis/MeasurementReport.h"
#include "Analysis/Measurements.h"
#include "Cli.h"

namespace onex::cli {
namespace {

struct MeasureOptions {
    ParameterOptions parameters;
    bool json = false;
    analysis::MeasurementOptions measurement;
};

void runMeasure(const MeasureOptions& o) {
    try {
        analysis::validateMeasurementOptions(o.measurement);
    } catch (const Error& e) {
        throw UsageError{e.what()};
    }
    const Setup setup = buildSetup(o.parameters);
    // The plan of the spectrum's transform takes about as long as the frame:
    // made meanwhile on a second thread where one can be had.
    std::future<void> prepared = std::async(std::launch::async | std::launch::deferred, [&setup] {
        analysis::prepareFrameMeasurement(setup.parameters);
    });
    // The frame as calculate --out writes it, at the rate the instrument
    // plays it.
    const FrameResult frame = Calculate(setup.parameters, setup.settings.SamplingRate);
    prepared.get();
    const analysis::Measurements m = analysis::measureFrame(
        frame.waveform, setup.settings.SamplingRate, setup.parameters, o.measurement);
    const std::string text =
        o.json ? analysis::measurementsJson(m) : analysis::measurementsTable(m);
    std::fputs(text.c_str(), stdout);
}

}  // namespace

void addMeasureCommand(CLI::App& app) {
    auto o = std::make_shared<MeasureOptions>();
    CLI::App* sub = app.add_subcommand(
        "measure",
        "Measure the frame: power, CCDF points, occupied bandwidth, adjacent-channel power "
        "and code-domain power of each channel");
    o->parameters.addTo(*sub, true);
    sub->add_flag("--json", o->json, "print one JSON object instead of the table");
    addBandOptions(*sub, o->measurement);
    sub->callback([o] { runMeasure(*o); });
}

void addBandOptions(CLI::App& sub, analysis::MeasurementOptions& m) {
    sub.add_option("--offsets", m.acprOffsetsHz,
                   "adjacent-channel offsets in whole Hz, comma-separated (default "
                   "-1980000,-885000,885000,1980000)")
        ->delimiter(',')
        ->expected(1, 64);
    sub.add_option("--offset-bw", m.offsetBandwidthHz,
                   "bandwidth of each adjacent-channel band in Hz (default 30000)");
    sub.add_option("--channel-bw", m.channelBandwidthHz,
                   "bandwidth of the channel band in Hz (default 1230000)");
}

}  // namespace onex::cli
