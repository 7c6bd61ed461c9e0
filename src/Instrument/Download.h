#pragma once

// Putting a computed waveform on the signal generator and playing it: the
// download into waveform memory and the two playback command lists (platform
// "b" and platform "c" instruments).
//
// Every step of a sequence is attempted whatever happened to the steps
// before it. The pair returned is that of the first step that failed, so
// that a later step that happens to succeed cannot turn a failed sequence
// into a success; when every step succeeded it is the sequence's last pair.
// The one exception is a cancel request (see MexIO/Cancel.h): the steps
// still to come are not run and the sequence returns kCancelled.

#include <complex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "Instrument/SigGenSettings.h"
#include "MexIO/Cancel.h"
#include "MexIO/HwIO.h"
#include "MexIO/IoConfig.h"
#include "MexIO/Status.h"
#include "platform/Dialogs.h"

namespace onex {

// Status values of the sequences themselves; the I/O layer's own statuses
// pass through unchanged.
// The RS-232 time question was not answered OK, or the operation was
// cancelled.
inline constexpr int kDownloadCancelled = kCancelled;
inline constexpr int kPlayRefused = mexio::kBadArgument;  // refused before anything was sent
inline constexpr int kUnusableReply =
    mexio::kIoFailure;  // the instrument's reply could not be read

// Time-out set before every download: 10 s (the I/O layer counts milliseconds).
inline constexpr double kDownloadTimeoutMs = 10000;

// The RS-232 transfer estimate in minutes: 32 bits per complex sample, 1.125
// for the serial framing, times the number of segments.
double rs232DownloadMinutes(std::size_t samples, double baudrate, double segments);
// An RS-232 transfer estimated at more than this is put to the user first.
inline constexpr double kRs232QuestionMinutes = 0.75;

// Stores the waveform and its markers in the instrument under Filename and
// leaves the ARB player as it was found (on only if it was on) with the
// modulation on. Over RS-232, a transfer estimated at more than 0.75 minutes
// is first put to the user through dialogs ("RS-232 Download"); any answer
// but "OK" returns kDownloadCancelled, "Download cancelled". num_wfm_segments
// absent, 0 (or not positive) counts as 1; it only scales that estimate.
//
// A reply to the ARB state query that is not a number leaves the player off,
// as any reply other than 1 does, and is reported as a failure
// (kUnusableReply) because the player's state is then unknown. A failure to
// switch the player back on or the modulation on is a failure too. When the
// store itself failed, the RF output is switched off at the end (the
// instrument is asked whether it is), and the text says so or says that it
// could not be confirmed.
//
// timeoutMs is the I/O time-out set first (the download's own 10 s unless
// a caller that has one of its own gives it).
Status TARNDownLoadWrap(std::span<const std::complex<double>> IQData, MarkerRows Marker,
                        std::string_view Filename, const IoConfig& config,
                        platform::Dialogs& dialogs,
                        std::optional<double> num_wfm_segments = std::nullopt,
                        double timeoutMs = kDownloadTimeoutMs);

// The command lines of the two playback routines, in the order sent.
// tarnPlayCCommands needs the four platform "c" fields (BBfilter, Scaling,
// ModAtten, ALC); without one of them it returns nothing.
std::vector<std::string> tarnPlayCommands(std::string_view FileName, const SigGenSettings& setting);
std::optional<std::vector<std::string>> tarnPlayCCommands(std::string_view FileName,
                                                          const SigGenSettings& setting);

// Selects FileName, sends the settings, switches the ARB player and the RF
// output on, then waits for the instrument (*OPC?) and reads its error
// queue as after a download, and returns the instrument to local control
// (whose result is not judged). A connection lost on the way or a setting
// the instrument refused is that step's failure, with the instrument's
// text. After such a failure the RF output is switched off again
// (":OUTPut:STATe OFF", confirmed by ":OUTPut:STATe?") unless nothing ever
// reached the instrument, and the text ends by saying whether that was
// confirmed. A cancel that comes after the output was switched on does the
// same while the connection still works, and otherwise says that the
// output may be on. A name with a double quote or a control character would break out
// of its quoted string in the selection command: it is refused with
// kPlayRefused and nothing is sent; so is a settings set lacking a platform
// "c" field for TARNPlay_c.
Status TARNPlay(std::string_view FileName, const SigGenSettings& setting, const IoConfig& config);
Status TARNPlay_c(std::string_view FileName, const SigGenSettings& setting, const IoConfig& config);

}  // namespace onex
