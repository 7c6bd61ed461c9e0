#pragma once

// Reading recorded I/Q captures for the capture analysis: SigMF recordings,
// raw interleaved sample files, MAT-files in the layout of Save Wave (what
// `calculate --out x.mat` writes) and CSV files of I and Q columns. Only the
// first samples a caller asks for are read, in pieces, so a capture of any
// size is read with bounded memory.

#include <complex>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace onex {

// Sample formats: interleaved I then Q, little-endian where it matters.
// Integers are scaled to about +-1 (ci16 / 32768, ci8 / 128, cu8 (v - 127.5)
// / 127.5: the unsigned midpoint is zero).
enum class CaptureSampleFormat { Cf32, Ci16, Ci8, Cu8 };

// "cf32", "ci16", "ci8", "cu8" as --format names them, and the SigMF
// datatypes "cf32_le", "ci16_le", "ci8", "cu8"; nothing for any other name.
std::optional<CaptureSampleFormat> captureFormatNamed(std::string_view name);
// Bytes of one complex sample.
std::size_t captureSampleBytes(CaptureSampleFormat format);

// The capture file kind its name asks for (any case): .sigmf-meta or
// .sigmf-data a SigMF recording, .mat a MAT-file, .csv a CSV file; anything
// else raw samples.
enum class CaptureFileKind { SigMF, Mat, Csv, Raw };
CaptureFileKind captureFileKind(const std::filesystem::path& path);

struct CaptureReadOptions {
    // Raw files: the sample format (required).
    std::optional<CaptureSampleFormat> format;
    // The sample rate, Hz: required for raw and CSV files; for SigMF and MAT
    // files only when the file holds none (a different one is refused).
    std::optional<double> sampleRate;
    // Samples read at most from the start of the capture, for the capture's
    // sample rate (known only once the file is opened); none: all.
    std::function<std::size_t(double sampleRate)> samplesWanted;
};

struct CaptureData {
    std::vector<std::complex<float>> samples;  // the first samples, at most those wanted
    double sampleRate = 0;
    // Samples in the file (CSV: those read, the file is not read further).
    std::size_t fileSamples = 0;
    std::string description;  // the kind and format, e.g. "SigMF recording, ci16_le"
};

// Reads a capture. Throws onex::Error naming the file and the reason: a
// missing or unreadable file (only regular files are read), an unknown or
// missing datatype or sample rate, a file that is not a whole number of
// samples (cut short), a MAT-file without a complex vector, a CSV line that
// is not two numbers.
CaptureData readCaptureFile(const std::filesystem::path& path, const CaptureReadOptions& options);

}  // namespace onex
