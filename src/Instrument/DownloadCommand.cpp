#include "Instrument/DownloadCommand.h"

#include "Instrument/Corrections.h"
#include "Instrument/Download.h"

namespace onex {

namespace {

CommandStep play(const SigGenSettings& settings, const IoConfig& configuration,
                 std::string_view platform) {
    if (platform == "c") return {"TARNPlay_c", TARNPlay_c(settings.Title, settings, configuration)};
    return {"TARNPlay", TARNPlay(settings.Title, settings, configuration)};
}

}  // namespace

CommandOutcome runDownloadCommand(std::span<const std::complex<double>> waveform,
                                  MarkerRows markers, const SigGenSettings& settings,
                                  const IoConfig& configuration, std::string_view platform,
                                  platform::Dialogs& dialogs,
                                  const std::filesystem::path& correctionFolder) {
    CommandOutcome out;
    CorrectionLookup lookup =
        GetCorrectionData(settings.Frequency, configuration, correctionFolder);
    out.correctionFile = lookup.fileName;
    out.correctionStatus = lookup.status;
    // The computed waveform is never changed; a corrected copy goes out.
    CorrectedWaveform corrected;
    if (lookup.ok()) {
        corrected = applyCorrections(waveform, lookup.x, lookup.noFlatness, settings.SamplingRate);
        out.rfChannelCorrections = corrected.rfChannelCorrections;
        out.iqCorrections = corrected.iqCorrections;
        out.correctionFailures = corrected.failures;
    }
    const std::span<const std::complex<double>> toSend =
        lookup.ok() ? std::span<const std::complex<double>>(corrected.waveform) : waveform;

    Status download = TARNDownLoadWrap(toSend, markers, settings.Title, configuration, dialogs);
    out.steps.push_back({"TARNDownLoadWrap", download});
    if (download.status != 0) {
        out.status = download.status;
        out.text = download.response;
        out.title = kDownloadErrorTitle;
        return out;
    }
    CommandStep step = play(settings, configuration, platform);
    out.status = step.result.status;
    if (out.status == 0) {
        out.text = kDownloadCompletedText;
        out.title = kDownloadCompletedTitle;
    } else {
        out.text = step.result.response;
        out.title = kSetupErrorTitle;
    }
    out.steps.push_back(std::move(step));
    return out;
}

CommandOutcome runRefreshCommand(const SigGenSettings& settings, const IoConfig& configuration,
                                 std::string_view platform) {
    CommandOutcome out;
    CommandStep step = play(settings, configuration, platform);
    out.status = step.result.status;
    if (out.status != 0) {
        out.text = step.result.response;
        out.title = kSetupErrorTitle;
    }
    out.steps.push_back(std::move(step));
    return out;
}

}  // namespace onex
