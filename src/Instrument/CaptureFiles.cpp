#include "Instrument/CaptureFiles.h"

#include <fmt/format.h>
#include <sys/stat.h>
#include <unistd.h>

#include <bit>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <nlohmann/json.hpp>

#include "platform/Error.h"
#include "platform/MatFile.h"
#include "platform/RegularFile.h"
#include "platform/Text.h"

namespace onex {

namespace fs = std::filesystem;

namespace {

// Bytes read per piece.
constexpr std::size_t kPieceBytes = std::size_t{1} << 20;
// SigMF metadata larger than this is not a capture's metadata.
constexpr std::size_t kMaxMetadataBytes = std::size_t{16} << 20;

[[noreturn]] void refuse(const fs::path& path, const std::string& why) {
    throw Error(fmt::format("Unable to read the capture '{}': {}.", path.string(), why));
}

platform::UniqueFd openCapture(const fs::path& path) {
    try {
        return platform::openRegularFile(path);
    } catch (const platform::FileOpenError& e) {
        refuse(path, e.what());
    }
}

std::size_t fileBytes(const fs::path& path, const platform::UniqueFd& fd) {
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) refuse(path, std::strerror(errno));
    return static_cast<std::size_t>(st.st_size);
}

// Reads up to `size` bytes; fewer only at the end of the file.
std::size_t readSome(const fs::path& path, const platform::UniqueFd& fd, std::uint8_t* out,
                     std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::read(fd.get(), out + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) refuse(path, std::strerror(errno));
        if (n == 0) break;
        done += static_cast<std::size_t>(n);
    }
    return done;
}

std::complex<float> decodeSample(const std::uint8_t* b, CaptureSampleFormat format) {
    switch (format) {
        case CaptureSampleFormat::Cf32: {
            auto word = [b](int k) {
                std::uint32_t u = 0;
                for (int i = 3; i >= 0; --i)
                    u = (u << 8) | b[4 * k + i];
                return std::bit_cast<float>(u);
            };
            return {word(0), word(1)};
        }
        case CaptureSampleFormat::Ci16: {
            auto word = [b](int k) {
                return static_cast<float>(
                    static_cast<std::int16_t>(b[2 * k] | (b[2 * k + 1] << 8)));
            };
            return {word(0) / 32768.0f, word(1) / 32768.0f};
        }
        case CaptureSampleFormat::Ci8:
            return {static_cast<std::int8_t>(b[0]) / 128.0f,
                    static_cast<std::int8_t>(b[1]) / 128.0f};
        case CaptureSampleFormat::Cu8:
            break;
    }
    return {(b[0] - 127.5f) / 127.5f, (b[1] - 127.5f) / 127.5f};
}

std::size_t samplesWanted(const CaptureReadOptions& o, double rate) {
    return o.samplesWanted ? o.samplesWanted(rate) : std::numeric_limits<std::size_t>::max();
}

// The samples of a file of interleaved samples, from its start.
void readSamples(const fs::path& path, CaptureSampleFormat format, const CaptureReadOptions& o,
                 CaptureData& out) {
    const platform::UniqueFd fd = openCapture(path);
    const std::size_t bytes = fileBytes(path, fd), size = captureSampleBytes(format);
    if (bytes % size != 0)
        refuse(path, fmt::format("it holds {} bytes, not a whole number of samples of {} bytes: "
                                 "it was cut short or is of another format",
                                 bytes, size));
    out.fileSamples = bytes / size;
    const std::size_t wanted = std::min(out.fileSamples, samplesWanted(o, out.sampleRate));
    out.samples.resize(wanted);
    std::vector<std::uint8_t> piece(kPieceBytes / size * size);
    for (std::size_t done = 0; done < wanted;) {
        const std::size_t want = std::min(piece.size(), (wanted - done) * size);
        const std::size_t got = readSome(path, fd, piece.data(), want);
        if (got != want) refuse(path, "it became shorter while it was read");
        for (std::size_t i = 0; i < got / size; ++i)
            out.samples[done + i] = decodeSample(piece.data() + i * size, format);
        done += got / size;
    }
}

// The rate a file names, reconciled with the one the caller gives.
double settleRate(const fs::path& path, std::optional<double> inFile, std::optional<double> given) {
    if (inFile && given && *inFile != *given)
        refuse(path,
               fmt::format("the file's sample rate is {} Hz, not {} Hz as given", *inFile, *given));
    if (inFile) return *inFile;
    if (given) return *given;
    refuse(path, "it names no sample rate: give it with --rate");
}

void readSigMF(const fs::path& path, const CaptureReadOptions& o, CaptureData& out) {
    fs::path meta = path, data = path;
    meta.replace_extension(".sigmf-meta");
    data.replace_extension(".sigmf-data");
    std::string text;
    {
        const platform::UniqueFd fd = openCapture(meta);
        const std::size_t bytes = fileBytes(meta, fd);
        if (bytes > kMaxMetadataBytes) refuse(meta, "the metadata is larger than 16 MiB");
        text.resize(bytes);
        text.resize(readSome(meta, fd, reinterpret_cast<std::uint8_t*>(text.data()), bytes));
    }
    nlohmann::json global;
    try {
        global = nlohmann::json::parse(text).at("global");
    } catch (const nlohmann::json::exception&) {
        refuse(meta, "it is not SigMF metadata (no JSON object with a \"global\" object)");
    }
    if (!global.is_object()) refuse(meta, "its \"global\" is not an object");
    const auto datatype = global.find("core:datatype");
    if (datatype == global.end() || !datatype->is_string())
        refuse(meta, "it names no core:datatype");
    const std::string type = datatype->get<std::string>();
    const std::optional<CaptureSampleFormat> format =
        type == "cf32" || type == "ci16" ? std::nullopt : captureFormatNamed(type);
    if (!format)
        refuse(meta, fmt::format("its datatype {} is not read (cf32_le, ci16_le, ci8 and cu8 are)",
                                 type));
    if (const auto channels = global.find("core:num_channels");
        channels != global.end() && !(channels->is_number() && *channels == 1))
        refuse(meta, "it holds more than one channel");
    std::optional<double> rate;
    if (const auto r = global.find("core:sample_rate"); r != global.end()) {
        if (!r->is_number()) refuse(meta, "its core:sample_rate is not a number");
        rate = r->get<double>();
    }
    out.sampleRate = settleRate(meta, rate, o.sampleRate);
    readSamples(data, *format, o, out);
    out.description = "SigMF recording, " + type;
}

void readMat(const fs::path& path, const CaptureReadOptions& o, CaptureData& out) {
    platform::MatVariables variables;
    try {
        variables = platform::readMatFile(path);
    } catch (const platform::MatFileError& e) {
        refuse(path, e.what());
    }
    // `wave` as Save Wave writes it (N x 2: real and imaginary parts) or as
    // a complex vector; else the only complex vector of the file.
    const platform::Array* wave = nullptr;
    std::optional<double> rate;
    std::size_t complexVectors = 0;
    for (const platform::MatVariable& v : variables) {
        if (v.name == "wave") wave = &v.value;
        if (v.name == "sampleRate" && v.value.isNumeric() && v.value.isScalar())
            rate = v.value.realAt(0);
        if (v.value.isNumeric() && v.value.isComplex() && v.value.isVector()) ++complexVectors;
    }
    if (!wave && complexVectors == 1)
        for (const platform::MatVariable& v : variables)
            if (v.value.isNumeric() && v.value.isComplex() && v.value.isVector()) wave = &v.value;
    if (!wave || !wave->isNumeric())
        refuse(path,
               "it holds no variable wave (N x 2 real and imaginary parts, or a complex "
               "vector) nor a single complex vector");
    const bool pairs = !wave->isComplex() && wave->ndims() == 2 && wave->cols() == 2;
    if (!pairs && !(wave->isComplex() && wave->isVector()))
        refuse(path, "its wave is neither N x 2 (real and imaginary parts) nor a complex vector");
    out.sampleRate = settleRate(path, rate, o.sampleRate);
    out.fileSamples = pairs ? wave->rows() : wave->numel();
    out.samples.resize(std::min(out.fileSamples, samplesWanted(o, out.sampleRate)));
    for (std::size_t i = 0; i < out.samples.size(); ++i)
        out.samples[i] =
            pairs ? std::complex<float>(static_cast<float>(wave->realAt(i)),
                                        static_cast<float>(wave->realAt(i + wave->rows())))
                  : std::complex<float>(static_cast<float>(wave->realAt(i)),
                                        static_cast<float>(wave->imagAt(i)));
    out.description = "MAT-file";
}

// One number of a CSV field, or nothing.
std::optional<double> csvNumber(std::string_view field) {
    field = platform::trimBlanks(field);
    double v = 0;
    const auto r = std::from_chars(field.data(), field.data() + field.size(), v);
    if (r.ec != std::errc() || r.ptr != field.data() + field.size() || field.empty())
        return std::nullopt;
    return v;
}

void readCsv(const fs::path& path, const CaptureReadOptions& o, CaptureData& out) {
    out.sampleRate = settleRate(path, std::nullopt, o.sampleRate);
    const platform::UniqueFd fd = openCapture(path);
    std::vector<std::uint8_t> piece(kPieceBytes);
    std::string line;
    std::size_t lineNumber = 0;
    const std::size_t wanted = samplesWanted(o, out.sampleRate);
    auto take = [&] {
        ++lineNumber;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (platform::trimBlanks(line).empty()) return;
        const std::size_t comma = line.find_first_of(",;\t");
        const std::optional<double> i = comma == std::string::npos
                                            ? std::nullopt
                                            : csvNumber(std::string_view(line).substr(0, comma));
        const std::optional<double> q = comma == std::string::npos
                                            ? std::nullopt
                                            : csvNumber(std::string_view(line).substr(comma + 1));
        if (i && q) {
            out.samples.emplace_back(static_cast<float>(*i), static_cast<float>(*q));
            return;
        }
        // A first line of column names is allowed.
        if (lineNumber == 1 && !i && !q) return;
        refuse(path, fmt::format("line {} is not two numbers (I and Q) separated by a comma",
                                 lineNumber));
    };
    while (out.samples.size() < wanted) {
        const std::size_t got = readSome(path, fd, piece.data(), piece.size());
        for (std::size_t k = 0; k < got && out.samples.size() < wanted; ++k) {
            if (piece[k] == '\n') {
                take();
                line.clear();
            } else {
                line += static_cast<char>(piece[k]);
            }
        }
        if (got < piece.size()) break;
    }
    if (!line.empty() && out.samples.size() < wanted) take();
    out.fileSamples = out.samples.size();
    out.description = "CSV file";
}

}  // namespace

std::optional<CaptureSampleFormat> captureFormatNamed(std::string_view name) {
    if (name == "cf32" || name == "cf32_le") return CaptureSampleFormat::Cf32;
    if (name == "ci16" || name == "ci16_le") return CaptureSampleFormat::Ci16;
    if (name == "ci8") return CaptureSampleFormat::Ci8;
    if (name == "cu8") return CaptureSampleFormat::Cu8;
    return std::nullopt;
}

std::size_t captureSampleBytes(CaptureSampleFormat format) {
    switch (format) {
        case CaptureSampleFormat::Cf32:
            return 8;
        case CaptureSampleFormat::Ci16:
            return 4;
        default:
            return 2;
    }
}

CaptureFileKind captureFileKind(const fs::path& path) {
    const std::string ext = platform::toLower(path.extension().string());
    if (ext == ".sigmf-meta" || ext == ".sigmf-data") return CaptureFileKind::SigMF;
    if (ext == ".mat") return CaptureFileKind::Mat;
    if (ext == ".csv") return CaptureFileKind::Csv;
    return CaptureFileKind::Raw;
}

CaptureData readCaptureFile(const fs::path& path, const CaptureReadOptions& o) {
    CaptureData out;
    const CaptureFileKind kind = captureFileKind(path);
    if (o.format && kind != CaptureFileKind::Raw)
        refuse(path, "a sample format is given only for raw sample files (the file names its own)");
    if (o.sampleRate && !(std::isfinite(*o.sampleRate) && *o.sampleRate > 0))
        refuse(path, fmt::format("the sample rate {} is not a positive number", *o.sampleRate));
    switch (kind) {
        case CaptureFileKind::SigMF:
            readSigMF(path, o, out);
            break;
        case CaptureFileKind::Mat:
            readMat(path, o, out);
            break;
        case CaptureFileKind::Csv:
            readCsv(path, o, out);
            break;
        case CaptureFileKind::Raw:
            if (!o.format)
                refuse(path,
                       "a raw sample file needs its format (--format cf32, ci16, ci8 or cu8)");
            out.sampleRate = settleRate(path, std::nullopt, o.sampleRate);
            readSamples(path, *o.format, o, out);
            out.description = "raw samples";
            break;
    }
    if (!(std::isfinite(out.sampleRate) && out.sampleRate > 0))
        refuse(path, fmt::format("its sample rate {} is not a positive number", out.sampleRate));
    return out;
}

}  // namespace onex
