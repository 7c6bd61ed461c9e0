#pragma once

// The non-window core of the Download and Refresh commands, shared by the
// application and the command line: corrections, the download, then the
// playback routine of the application's platform, and the text and title of
// the message box that reports the outcome.

#include <complex>
#include <filesystem>
#include <optional>
#include <span>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "Instrument/SigGenSettings.h"
#include "MexIO/HwIO.h"
#include "MexIO/IoConfig.h"
#include "MexIO/Status.h"
#include "platform/Dialogs.h"

namespace onex {

inline constexpr const char* kDownloadCompletedText =
    "Waveform has been successfully transferred to the instrument";
inline constexpr const char* kDownloadCompletedTitle = "Download Completed";
inline constexpr const char* kDownloadErrorTitle = "Error Occured During Waveform Download";
inline constexpr const char* kSetupErrorTitle = "Error Occured During Instrument Setup";

struct CommandStep {
    std::string routine;  // "TARNDownLoadWrap", "TARNPlay" or "TARNPlay_c"
    Status result;
};

struct CommandOutcome {
    int status = 0;  // 0 = success: the status of the last routine run
    // The modal message box to show; an empty title means none (a successful
    // refresh shows nothing).
    std::string text;
    std::string title;
    std::vector<CommandStep> steps;
    // The user cancelled the operation (status is then kCancelled).
    bool cancelled = false;

    // What the correction step did (never shown by the application).
    std::filesystem::path correctionFile;  // the file looked for, empty when none
    std::string correctionStatus;          // empty when its records were used
    int rfChannelCorrections = 0;
    int iqCorrections = 0;
    std::vector<std::string> correctionFailures;
};

// Download: looks up corrections for settings.Frequency in correctionFolder
// and corrects a copy of the waveform with settings.SamplingRate, downloads
// it under settings.Title, and only when that succeeded plays it with
// TARNPlay_c for platform "c", TARNPlay otherwise.
//
// A stop requested on `cancel` (from any thread) ends the instrument wait in
// progress, closes the connection and skips every later step; the outcome
// then has status kCancelled and `cancelled` set, and its correctionStatus
// says that no corrections were applied (nor looked up, when the cancel
// ended the identity query).
//
// downloadTimeoutMs replaces the download's own 10 s time-out for a caller
// that has one of its own.
CommandOutcome runDownloadCommand(std::span<const std::complex<double>> waveform,
                                  MarkerRows markers, const SigGenSettings& settings,
                                  const IoConfig& configuration, std::string_view platform,
                                  platform::Dialogs& dialogs,
                                  const std::filesystem::path& correctionFolder,
                                  std::stop_token cancel = {},
                                  std::optional<double> downloadTimeoutMs = std::nullopt);

// Refresh: sends the settings only (the playback routine of the platform).
CommandOutcome runRefreshCommand(const SigGenSettings& settings, const IoConfig& configuration,
                                 std::string_view platform, std::stop_token cancel = {});

}  // namespace onex
