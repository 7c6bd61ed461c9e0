#include "Instrument/WaveformFiles.h"

#include "platform/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fmt/format.h>

#include <algorithm>
#include <bit>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>

#include "OneX/ParameterFields.h"
#include "platform/MatFile.h"
#include "platform/Numeric.h"
#include "platform/Text.h"

namespace onex {

namespace fs = std::filesystem;
using platform::Array;

namespace {

std::string writeError(const fs::path& path, const std::string& detail) {
    return fmt::format("Unable to write file '{}': {}.", path.string(), detail);
}

std::uint16_t halberdWord(double z) {
    z = platform::roundHalfAway(z);
    if (std::isnan(z)) return 0;  // the platform writes NaN as 0
    // z mod 2^16 (two's complement); fmod is exact for every double.
    double w = std::fmod(z, 65536.0);
    if (w < 0) w += 65536.0;
    return static_cast<std::uint16_t>(w);
}

// A JSON string: valid UTF-8 whatever the text held (a --set LastPath may
// carry any bytes), control characters escaped.
std::string jsonString(std::string_view text) {
    const std::string s = platform::validUtf8(text);
    std::string out = "\"";
    for (char c : s) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20)
                    out += fmt::format("\\u{:04x}", static_cast<unsigned>(c));
                else
                    out += c;
        }
    }
    return out + "\"";
}

struct Run {
    std::size_t start, count;
    int marker;
};

void collectRuns(std::span<const std::uint8_t> row, int marker, std::vector<Run>& out) {
    std::size_t i = 0;
    while (i < row.size()) {
        if (row[i] == 0) {
            ++i;
            continue;
        }
        std::size_t j = i;
        while (j < row.size() && row[j] != 0)
            ++j;
        out.push_back({i, j - i, marker});
        i = j;
    }
}

}  // namespace

std::vector<std::uint8_t> halberdBytes(std::span<const std::complex<double>> v, double scale) {
    scale = platform::clampValue(scale, 1e-5, 1);
    constexpr double halfn = 32768;
    // Largest and smallest magnitude of all components, NaN left out as the
    // platform's max and min do (both NaN when every component is NaN).
    double mx = std::nan(""), mn = std::nan("");
    for (const auto& s : v) {
        for (double c : {std::fabs(s.real()), std::fabs(s.imag())}) {
            if (std::isnan(c)) continue;
            if (std::isnan(mx) || c > mx) mx = c;
            if (std::isnan(mn) || c < mn) mn = c;
        }
    }
    const bool rescale = !(mx == mn);  // NaN != NaN: an all-NaN wave is "scaled" to NaN
    std::vector<std::uint8_t> out;
    out.reserve(4 * v.size());
    for (const auto& s : v) {
        for (double c : {s.real(), s.imag()}) {
            if (rescale) c = c / mx * (halfn - 2) * scale;
            const std::uint16_t w = halberdWord(c);
            out.push_back(static_cast<std::uint8_t>(w >> 8));
            out.push_back(static_cast<std::uint8_t>(w & 0xFF));
        }
    }
    return out;
}

void writeHalberdFile(std::span<const std::complex<double>> v, const fs::path& filename,
                      double scale) {
    platform::writeFileAtomically(filename, halberdBytes(v, scale));
}

int saveHalberdWaveform(std::span<const std::complex<double>> v, const fs::path& filename,
                        double scale) {
    try {
        writeHalberdFile(v, filename, scale);
        return 1;
    } catch (const std::exception&) {
        return 0;
    }
}

int saveHalberdWaveform(std::span<const Array> args) {
    if (args.empty() || args.size() > 3) return 0;
    const Array& v = args[0];
    if (!v.isNumeric() && !v.isLogical()) return 0;
    std::vector<std::complex<double>> wave(v.numel());
    for (std::size_t i = 0; i < wave.size(); ++i)
        wave[i] = {v.realAt(i), v.imagAt(i)};
    fs::path filename = "TARN-C";
    if (args.size() >= 2) {
        if (!args[1].isChar() || args[1].rows() != 1 || args[1].ndims() != 2) return 0;
        filename = args[1].toString();
    }
    double scale = 1;
    if (args.size() == 3) {
        if (!args[2].isNumeric() || args[2].isComplex() || args[2].numel() != 1) return 0;
        scale = args[2].realAt(0);
    }
    return saveHalberdWaveform(wave, filename, scale);
}

fs::path waveMatFileName(const fs::path& filename) {
    if (filename.has_extension()) return filename;
    fs::path out = filename;
    out += ".mat";
    return out;
}

FileResult saveWaveMat(const fs::path& filename, std::span<const std::complex<double>> waveform,
                       double sampleRate, const FrameResult* markers) {
    const fs::path path = waveMatFileName(filename);
    const std::size_t n = waveform.size();
    // The variables go to the file piece by piece, straight from the frame:
    // at the largest oversampling the waveform and the markers are 16 MB
    // each as doubles.
    const auto scalar = [](double v) {
        return [v](std::size_t, std::span<double> out) { out[0] = v; };
    };
    std::vector<platform::MatStreamedMatrix> vars;
    vars.reserve(4);
    // n x 2: the real parts, then the imaginary ones.
    vars.push_back({"wave", n, 2, [&](std::size_t first, std::span<double> out) {
                        for (std::size_t e = first; e < first + out.size(); ++e)
                            out[e - first] = e < n ? waveform[e].real() : waveform[e - n].imag();
                    }});
    vars.push_back({"sampleRate", 1, 1, scalar(sampleRate)});
    vars.push_back({"samplePoints", 1, 1, scalar(static_cast<double>(n))});
    try {
        if (markers) {
            if (markers->marker1.size() != n || markers->marker2.size() != n)
                throw Error(writeError(path, "the markers do not match the waveform"));
            // 2 x n: marker 1 and marker 2 of each sample.
            vars.push_back({"markers", 2, n, [&](std::size_t first, std::span<double> out) {
                                for (std::size_t e = first; e < first + out.size(); ++e)
                                    out[e - first] =
                                        (e % 2 == 0 ? markers->marker1 : markers->marker2)[e / 2];
                            }});
        }
        platform::writeMatFileStreamed(path, vars);
    } catch (const std::exception& e) {
        return {false, e.what(), "Error Saving " + path.string(), {}};
    }
    return {};
}

fs::path sigmfBase(const fs::path& path) {
    const std::string ext = path.extension().string();
    if (ext == ".sigmf-data" || ext == ".sigmf-meta") return fs::path(path).replace_extension();
    return path;
}

std::string sigmfMetadata(const SigMFRecording& r) {
    std::vector<Run> runs;
    collectRuns(r.marker1, 1, runs);
    collectRuns(r.marker2, 2, runs);
    std::stable_sort(runs.begin(), runs.end(),
                     [](const Run& a, const Run& b) { return a.start < b.start; });

    std::string j = "{\n  \"global\": {\n";
    j += "    \"core:datatype\": \"cf32_le\",\n";
    j += fmt::format("    \"core:sample_rate\": {},\n", r.sampleRate);
    j += "    \"core:version\": \"1.0.0\",\n";
    j += "    \"core:num_channels\": 1,\n";
    j += fmt::format("    \"core:description\": {},\n", jsonString(r.description));
    j += "    \"core:recorder\": \"onexrev\"\n  },\n";
    j += "  \"captures\": [\n";
    j += fmt::format("    {{\"core:sample_start\": 0, \"core:frequency\": {}}}\n  ],\n",
                     r.frequency);
    j += "  \"annotations\": [";
    for (std::size_t i = 0; i < runs.size(); ++i) {
        const Run& a = runs[i];
        // The band edges let viewers draw the marker across the whole signal.
        j += fmt::format(
            "{}\n    {{\"core:sample_start\": {}, \"core:sample_count\": {}, \"core:label\": {}, "
            "\"core:comment\": {}, \"core:freq_lower_edge\": {}, \"core:freq_upper_edge\": {}}}",
            i ? "," : "", a.start, a.count, jsonString(a.marker == 1 ? "Marker 1" : "Marker 2"),
            jsonString(a.marker == 1 ? "half-slot pulse (Event 1)" : "ACK half-slot (Event 2)"),
            r.frequency - r.sampleRate / 2, r.frequency + r.sampleRate / 2);
    }
    j += runs.empty() ? "]\n}\n" : "\n  ]\n}\n";
    return j;
}

FileResult saveSigMF(const fs::path& base, const SigMFRecording& r) {
    fs::path data = base, meta = base;
    data += ".sigmf-data";
    meta += ".sigmf-meta";
    const auto failed = [&](std::string message) {
        return FileResult{false, std::move(message), "Error Saving " + data.string(), {}};
    };
    if (!std::isfinite(r.sampleRate) || r.sampleRate <= 0)
        return failed(writeError(meta, "the sample rate is not a positive number"));
    if (!std::isfinite(r.frequency))
        return failed(writeError(meta, "the carrier frequency is not a number"));
    if ((!r.marker1.empty() && r.marker1.size() != r.samples.size()) ||
        (!r.marker2.empty() && r.marker2.size() != r.samples.size()))
        return failed(writeError(meta, "the markers do not match the waveform"));

    std::vector<std::uint8_t> bytes;
    bytes.reserve(8 * r.samples.size());
    const auto put = [&](double x) {
        const auto u = std::bit_cast<std::uint32_t>(static_cast<float>(x));
        for (int k = 0; k < 4; ++k)
            bytes.push_back(static_cast<std::uint8_t>(u >> (8 * k)));  // little-endian
    };
    for (const auto& s : r.samples) {
        put(s.real());
        put(s.imag());
    }
    const std::string json = sigmfMetadata(r);
    // Both files are written in full before either name changes, so a
    // failure (a full disk, a folder in the way) leaves the old pair. Then
    // the old metadata goes first, the data follows and the new metadata
    // comes last: a reader (or a kill between two steps) may find data
    // without metadata, but never new samples described by old metadata.
    const fs::path* current = &data;
    try {
        platform::PendingFile newData(data);
        newData.write(bytes);
        current = &meta;
        platform::PendingFile newMeta(meta);
        newMeta.write(std::span(reinterpret_cast<const std::uint8_t*>(json.data()), json.size()));
        if (::unlink(newMeta.target().c_str()) != 0 && errno != ENOENT)
            throw Error(std::strerror(errno));
        current = &data;
        newData.commit();
        current = &meta;
        newMeta.commit();
    } catch (const std::exception& e) {
        return failed(writeError(*current, e.what()));
    }
    return {};
}

std::string describeParameterSet(const Parameters& p) {
    std::string out =
        "1xEV-DO reverse link, one frame (16 slots, 32768 chips at 1.2288 Mcps); parameters:";
    const char* sep = " ";
    for (const ParameterField& f : parameterFields()) {
        std::string value = f.kind == FieldKind::Bits
                                ? fmt::format("<{} bits>", p.dataSourceBitstream.size())
                                : formatParameterField(p, f);
        out += fmt::format("{}{}={}", sep, f.name, value);
        sep = ", ";
    }
    return out;
}

std::optional<WaveformFileKind> waveformFileKind(const fs::path& path) {
    const std::string ext = platform::toLower(path.extension().string());
    if (ext == ".mat") return WaveformFileKind::Mat;
    if (ext == ".bin") return WaveformFileKind::Halberd;
    if (ext == ".sigmf-data" || ext == ".sigmf-meta") return WaveformFileKind::SigMF;
    return std::nullopt;
}

FrameFileResult saveFrameFile(const fs::path& path, const FrameResult& frame,
                              const Parameters& parameters, const SigGenSettings& settings,
                              double scale) {
    FrameFileResult out;
    const auto kind = waveformFileKind(path);
    if (!kind) {
        out.result = {
            false,
            fmt::format("{}: unknown file kind (use {})", path.string(), kWaveformFileExtensions),
            "Error Saving " + path.filename().string(), ""};
        return out;
    }
    switch (*kind) {
        case WaveformFileKind::Mat:
            out.result = saveWaveMat(path, frame.waveform, settings.SamplingRate, &frame);
            out.written = waveMatFileName(path).string();
            break;
        case WaveformFileKind::Halberd:
            try {
                writeHalberdFile(frame.waveform, path, scale);
            } catch (const std::exception& e) {  // the text says the system's reason
                out.result = {false, e.what(), "Error Saving " + path.filename().string(), ""};
            }
            out.written = path.string();
            break;
        case WaveformFileKind::SigMF: {
            const fs::path base = sigmfBase(path);
            const std::string description = describeParameterSet(parameters);
            SigMFRecording rec{frame.waveform,        frame.marker1,      frame.marker2,
                               settings.SamplingRate, settings.Frequency, description};
            out.result = saveSigMF(base, rec);
            out.written = fmt::format("{0}.sigmf-data and {0}.sigmf-meta", base.string());
            break;
        }
    }
    if (!out.result.ok) out.written.clear();
    return out;
}

}  // namespace onex
