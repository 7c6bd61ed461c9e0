#pragma once

// Waveform files for other tools: the raw 16-bit I/Q stream the instrument's
// ARB player loads (Halberd format), the Save Wave MAT-file, and a SigMF
// recording. Every writer goes through a temporary file in the target folder
// and renames it into place, so a failure never leaves a damaged file behind.

#include <complex>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "Instrument/FileResult.h"
#include "Instrument/SigGenSettings.h"
#include "OneX/Parameters.h"
#include "platform/Array.h"

namespace onex {

// The bytes of a Halberd file: per sample I then Q as big-endian 16-bit two's
// complement. Unless all |I|, |Q| are equal the largest component is scaled
// to 32766 x scale; scale is limited to 1e-5..1 (NaN counts as 1). Values
// round halves away from zero and wrap modulo 2^16; NaN gives 0.
std::vector<std::uint8_t> halberdBytes(std::span<const std::complex<double>> v, double scale = 1);

// Writes halberdBytes to `filename`; throws onex::Error "Unable to write
// file '<filename>': <reason>." (the system's reason: no space, read-only
// file system, permission denied, a folder).
void writeHalberdFile(std::span<const std::complex<double>> v,
                      const std::filesystem::path& filename, double scale = 1);

// Writes halberdBytes to `filename`; 1 on success, 0 when the file cannot be
// written.
int saveHalberdWaveform(std::span<const std::complex<double>> v,
                        const std::filesystem::path& filename = "TARN-C", double scale = 1);

// The call as a dynamic caller makes it: 1 to 3 arguments (v, filename,
// scale). Any other count, or an argument of the wrong kind (v not numeric,
// filename not a text, scale not a real number), gives 0 and touches no file.
int saveHalberdWaveform(std::span<const platform::Array> args);

// Save Wave: a MAT-file with `wave` (N x 2: real and imaginary parts),
// `sampleRate` and `samplePoints` (N); with markers also `markers` (2 x N).
// A name without any extension gets ".mat". On failure: the platform's text,
// title "Error Saving " + the file name.
FileResult saveWaveMat(const std::filesystem::path& filename,
                       std::span<const std::complex<double>> waveform, double sampleRate,
                       const FrameResult* markers = nullptr);
// The name Save Wave writes to: `filename`, plus ".mat" when it has no extension.
std::filesystem::path waveMatFileName(const std::filesystem::path& filename);

// A SigMF recording: `base`.sigmf-data (cf32_le, I then Q as little-endian
// float32) and `base`.sigmf-meta (JSON).
struct SigMFRecording {
    std::span<const std::complex<double>> samples;
    std::span<const std::uint8_t> marker1;  // half-slot pulses, 0/1 (may be empty)
    std::span<const std::uint8_t> marker2;  // ACK half-slots, 0/1 (may be empty)
    double sampleRate = 0;                  // Hz
    double frequency = 0;                   // carrier, Hz
    std::string description;
};
// The base path (no extension) of a recording named by any of its files:
// x.sigmf-data, x.sigmf-meta or x.
std::filesystem::path sigmfBase(const std::filesystem::path& path);
// The metadata JSON: global (datatype cf32_le, version, sample rate,
// description, recorder), one capture at sample 0 with the carrier, and one
// annotation per run of ones in each marker row, sorted by start.
std::string sigmfMetadata(const SigMFRecording& recording);
// Writes both files; on failure the platform-style text and the title
// "Error Saving " + the data file name.
FileResult saveSigMF(const std::filesystem::path& base, const SigMFRecording& recording);

// The waveform file a name asks for by its extension (any case): .mat is
// Save Wave, .bin Halberd, .sigmf-data or .sigmf-meta a SigMF recording.
enum class WaveformFileKind { Mat, Halberd, SigMF };
inline constexpr const char* kWaveformFileExtensions = ".mat, .bin, .sigmf-data or .sigmf-meta";
std::optional<WaveformFileKind> waveformFileKind(const std::filesystem::path& path);

// Writes a computed frame as the kind its name asks for: Save Wave with the
// markers and settings.SamplingRate; Halberd scaled by `scale`; SigMF with
// the sample clock, the carrier (settings.Frequency) and the parameter set
// as description. `written` names what was written (both files of a
// recording); a name of no known kind is refused before anything is written.
struct FrameFileResult {
    FileResult result;
    std::string written;
};
FrameFileResult saveFrameFile(const std::filesystem::path& path, const FrameResult& frame,
                              const Parameters& parameters, const SigGenSettings& settings,
                              double scale = 1);

// One-line description of a parameter set for recordings: every field as
// name=value (the bit stream as its length).
std::string describeParameterSet(const Parameters& p);

}  // namespace onex
