#pragma once

// Correction of a waveform by the instrument's stored calibration data: the
// lookup of the correction-data file that belongs to the connected
// instrument and the carrier frequency, the two equalising filters, and the
// correction step of the download command.
//
// Every failure here is silent by design: the waveform then goes out
// uncorrected (or partly corrected). The status texts say why, for whoever
// wants to know (the command line prints them).

#include <complex>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "Instrument/CorrectionFile.h"
#include "MexIO/IoConfig.h"
#include "MexIO/Status.h"

namespace onex {

// The per-user folder in which correction files are looked for: on Windows
// "C:\Temp\"; elsewhere $XDG_DATA_HOME/onexrev/corrections when
// XDG_DATA_HOME is an absolute path, else ~/.local/share/onexrev/corrections
// (never a folder that every user may write to). Empty when no home folder
// is known.
std::filesystem::path defaultCorrectionFolder();
// The folder for the command line and scripts: `chosen` when not empty, else
// $ONEXREV_CORRECTIONS_DIR when set, else defaultCorrectionFolder().
std::filesystem::path scriptCorrectionFolder(const std::filesystem::path& chosen);

// hwQuery with the given configuration, and "*IDN?" through it.
Status sgQuery(const IoConfig& config, std::string_view query);
Status sgGetID(const IoConfig& config);

// 1-based position of the first occurrence of pattern in text, or nothing.
std::optional<std::size_t> strfindpt(std::string_view text, std::string_view pattern);

// The text from the first "US" up to, not including, the next comma; empty
// when "US" is absent or no comma follows it.
std::string GetSerialNumber(std::string_view id);

// "<whole GHz>.<tenths rounded> GHz": 1.9e9 -> "1.9 GHz", 1.96e9 -> "1.10 GHz".
std::string FormatFreq(double f);

// folder / (serial number + " " + FormatFreq(f) + ".mat").
std::filesystem::path CreateFileName(std::string_view id, double f,
                                     const std::filesystem::path& folder);

struct CorrectionLookup {
    // Usable corrections only when both are empty/0. ioStatus is the identity
    // query's status when it failed (status then holds its text); otherwise
    // status is the file's status text, or why no file name could be made.
    int ioStatus = 0;
    std::string status;
    std::vector<CorrectionRecord> x;  // the records, empty when none
    double noFlatness = 0;            // always 0
    std::string id;                   // the identity reply
    std::filesystem::path fileName;   // the file looked for, empty when none
    bool ok() const { return ioStatus == 0 && status.empty(); }
};

// Asks the instrument for its identity and reads the correction file for the
// carrier frequency freq (Hz) from folder. An identity without a serial
// number, or a serial number that would lead out of the folder (a path
// separator), gives no corrections and no file is looked for.
CorrectionLookup GetCorrectionData(double freq, const IoConfig& config,
                                   const std::filesystem::path& folder);

struct CorrectionResult {
    std::vector<std::complex<double>> x;  // the corrected waveform, same length as s
    std::string status;                   // empty, or why s came back unchanged
};

// Filters the whole waveform with 31 taps that invert the record's RF-channel
// response; only for rev > 1 and an rfChannel without NaN (else s unchanged).
CorrectionResult ApplyRfChannelCorrection(std::span<const std::complex<double>> s,
                                          const CorrectionRecord& c, double sR);

// Filters only the quadrature component with the real parts of 31 taps that
// invert the record's I/Q response; the in-phase component passes unchanged.
CorrectionResult ApplyIqCorrection(std::span<const std::complex<double>> s,
                                   const CorrectionRecord& c, double sR);

struct CorrectedWaveform {
    std::vector<std::complex<double>> waveform;
    int rfChannelCorrections = 0;  // corrections applied without error
    int iqCorrections = 0;
    std::vector<std::string> failures;  // texts of corrections that left the waveform as it was
};

// The download command's use of the records: when noFlatness is 0, the
// RF-channel correction of every record whose rfChannel has no NaN, in
// order; then the I/Q correction of every record whose H has no NaN, in
// order. A record without an rfChannel (rev 1) gets no RF-channel correction.
CorrectedWaveform applyCorrections(std::span<const std::complex<double>> waveform,
                                   const std::vector<CorrectionRecord>& c, double noFlatness,
                                   double samplingRate);

}  // namespace onex
