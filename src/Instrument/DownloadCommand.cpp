#include "Instrument/DownloadCommand.h"

#include "Instrument/Corrections.h"
#include "Instrument/Download.h"
#include "MexIO/Cancel.h"

namespace onex {

namespace {

CommandStep play(const SigGenSettings& settings, const IoConfig& configuration,
                 std::string_view platform) {
    if (platform == "c") return {"TARNPlay_c", TARNPlay_c(settings.Title, settings, configuration)};
    return {"TARNPlay", TARNPlay(settings.Title, settings, configuration)};
}

// The caller's cancel request for the instrument routines this thread runs
// (none given: whatever scope is already in force stays).
class OptionalCancelScope {
  public:
    explicit OptionalCancelScope(std::stop_token cancel) {
        if (cancel.stop_possible()) scope_.emplace(std::move(cancel));
    }

  private:
    std::optional<CancelScope> scope_;
};

}  // namespace

CommandOutcome runDownloadCommand(std::span<const std::complex<double>> waveform,
                                  MarkerRows markers, const SigGenSettings& settings,
                                  const IoConfig& configuration, std::string_view platform,
                                  platform::Dialogs& dialogs,
                                  const std::filesystem::path& correctionFolder,
                                  std::stop_token cancel, std::optional<double> downloadTimeoutMs) {
    OptionalCancelScope scope(std::move(cancel));
    CommandOutcome out;
    CorrectionLookup lookup =
        GetCorrectionData(settings.Frequency, configuration, correctionFolder);
    if (cancelRequested()) {
        out.status = kCancelled;
        out.cancelled = true;
        out.text = "Download cancelled";
        out.title = kDownloadErrorTitle;
        // Nothing was applied; usually the identity query was what the
        // cancel ended, and then nothing was even looked up.
        out.correctionFile = lookup.fileName;
        out.correctionStatus = lookup.ioStatus == kCancelled
                                   ? "not looked up: the operation was cancelled"
                                   : "not applied: the operation was cancelled";
        return out;
    }
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

    Status download =
        TARNDownLoadWrap(toSend, markers, settings.Title, configuration, dialogs, std::nullopt,
                         downloadTimeoutMs.value_or(kDownloadTimeoutMs));
    out.steps.push_back({"TARNDownLoadWrap", download});
    if (download.status != 0) {
        out.status = download.status;
        out.cancelled = out.status == kCancelled && cancelRequested();
        out.text = download.response;
        out.title = kDownloadErrorTitle;
        return out;
    }
    CommandStep step = play(settings, configuration, platform);
    out.status = step.result.status;
    out.cancelled = out.status == kCancelled && cancelRequested();
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
                                 std::string_view platform, std::stop_token cancel) {
    OptionalCancelScope scope(std::move(cancel));
    CommandOutcome out;
    CommandStep step = play(settings, configuration, platform);
    out.status = step.result.status;
    out.cancelled = out.status == kCancelled && cancelRequested();
    if (out.status != 0) {
        out.text = step.result.response;
        out.title = kSetupErrorTitle;
    }
    out.steps.push_back(std::move(step));
    return out;
}

}  // namespace onex
