#include "Instrument/Corrections.h"

#include <cmath>
#include <cstdlib>
#include <exception>

#include <fmt/format.h>

#ifndef _WIN32
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "MexIO/HwIO.h"
#include "OneX/BasebandFilter.h"
#include "OneX/FirDesign.h"
#include "platform/Numeric.h"
#include "platform/Text.h"

namespace onex {

namespace {

constexpr double kCorrectionTaps = 31;

bool hasNaN(const std::vector<std::complex<double>>& v) {
    for (const auto& z : v)
        if (std::isnan(z.real()) || std::isnan(z.imag())) return true;
    return false;
}

bool rfChannelApplies(const CorrectionRecord& c) {
    return c.rev > 1 && c.hasRfChannel && !c.rfChannel.empty() && !hasNaN(c.rfChannel);
}

#ifndef _WIN32
std::string homeFolder() {
    if (const char* home = std::getenv("HOME"); home && home[0] == '/') return home;
    // No usable HOME (a service, a stripped environment): ask the user database.
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buf(size > 0 ? static_cast<std::size_t>(size) : 16384);
    passwd pw{};
    passwd* result = nullptr;
    if (::getpwuid_r(::getuid(), &pw, buf.data(), buf.size(), &result) == 0 && result &&
        result->pw_dir && result->pw_dir[0] == '/')
        return result->pw_dir;
    return {};
}

// Who besides its owner may write a file or folder with this mode.
const char* otherWriters(mode_t mode) {
    if (mode & S_IWOTH) return "every user";
    if (mode & S_IWGRP) return "its group";
    return nullptr;
}

// Why `real` (a resolved path) cannot be trusted on its own: others than its
// owner may write it, or it belongs to another user (root aside).
std::optional<std::string> untrustedEntry(const std::filesystem::path& real) {
    struct stat st {};
    if (::stat(real.c_str(), &st) != 0) return std::nullopt;  // gone: the read says so
    if (const char* who = otherWriters(st.st_mode)) return fmt::format("may be written by {}", who);
    if (st.st_uid != 0 && st.st_uid != ::geteuid()) return "belongs to another user";
    return std::nullopt;
}

// Why the files in the resolved folder `real` cannot be trusted: the folder
// itself, or a folder above it that others may write without the sticky bit
// (they could move the folder away and put their own in its place).
std::optional<std::string> untrustedFolder(const std::filesystem::path& real) {
    if (auto why = untrustedEntry(real)) return why;
    for (std::filesystem::path p = real.parent_path();; p = p.parent_path()) {
        struct stat st {};
        if (::stat(p.c_str(), &st) == 0) {
            const char* who = otherWriters(st.st_mode);
            if (who && !(st.st_mode & S_ISVTX))
                return fmt::format("lies in {}, which {} may change", p.string(), who);
            if (st.st_uid != 0 && st.st_uid != ::geteuid())
                return fmt::format("lies in {}, which belongs to another user", p.string());
        }
        if (p == p.root_path() || p.empty()) break;
    }
    return std::nullopt;
}

// Why a correction file at `file` in `folder` could have been planted or
// changed by another user; nothing when both are missing (the read reports
// that) or safe. Symbolic links count where they lead.
std::optional<std::string> untrustedCorrections(const std::filesystem::path& folder,
                                                const std::filesystem::path& file) {
    std::error_code ec;
    const std::filesystem::path realFolder = std::filesystem::canonical(folder, ec);
    if (ec) return std::nullopt;
    if (auto why = untrustedFolder(realFolder))
        return fmt::format("The correction folder {} {}; its files are not used.", folder.string(),
                           *why);
    const std::filesystem::path realFile = std::filesystem::canonical(file, ec);
    if (ec) return std::nullopt;
    std::optional<std::string> why = untrustedEntry(realFile);
    if (!why && realFile.parent_path() != realFolder) why = untrustedFolder(realFile.parent_path());
    if (!why) return std::nullopt;
    const std::string shown =
        realFile == file ? file.string() : fmt::format("{} ({})", file.string(), realFile.string());
    return fmt::format("The correction file {} {}; it is not used.", shown, *why);
}
#endif

}  // namespace

std::filesystem::path defaultCorrectionFolder() {
#ifdef _WIN32
    return "C:\\Temp\\";
#else
    // XDG base directories ignore a relative XDG_DATA_HOME.
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && xdg[0] == '/')
        return std::filesystem::path(xdg) / "onexrev" / "corrections";
    const std::string home = homeFolder();
    if (home.empty()) return {};
    return std::filesystem::path(home) / ".local" / "share" / "onexrev" / "corrections";
#endif
}

std::filesystem::path scriptCorrectionFolder(const std::filesystem::path& chosen) {
    if (!chosen.empty()) return chosen;
    if (const char* env = std::getenv("ONEXREV_CORRECTIONS_DIR"); env && *env) return env;
    return defaultCorrectionFolder();
}

Status sgQuery(const IoConfig& config, std::string_view query) {
    return hwQuery(config, query);
}

Status sgGetID(const IoConfig& config) {
    return sgQuery(config, "*IDN?");
}

std::optional<std::size_t> strfindpt(std::string_view text, std::string_view pattern) {
    if (pattern.size() > text.size()) return std::nullopt;
    for (std::size_t i = 0; i + pattern.size() <= text.size(); ++i)
        if (text.compare(i, pattern.size(), pattern) == 0) return i + 1;
    return std::nullopt;
}

std::string GetSerialNumber(std::string_view id) {
    const auto s = strfindpt(id, "US");
    if (!s) return {};
    const std::string_view rest = id.substr(*s - 1);
    const auto comma = strfindpt(rest, ",");
    if (!comma) return {};
    return std::string(rest.substr(0, *comma - 1));
}

std::string FormatFreq(double f) {
    const double z = f / 1e9;
    const double zz = (z - std::floor(z)) * 10;
    // Tenths are rounded, not cut: 1.96 GHz becomes "1.10 GHz".
    return platform::num2str(std::floor(z)) + "." + platform::num2str(platform::roundHalfAway(zz)) +
           " GHz";
}

std::filesystem::path CreateFileName(std::string_view id, double f,
                                     const std::filesystem::path& folder) {
    return folder / (GetSerialNumber(id) + " " + FormatFreq(f) + ".mat");
}

CorrectionLookup GetCorrectionData(double freq, const IoConfig& config,
                                   const std::filesystem::path& folder) {
    CorrectionLookup out;
    Status id = sgGetID(config);
    if (id.status != 0) {
        out.ioStatus = id.status;
        out.status = id.response.empty() ? "The identity query failed." : id.response;
        return out;
    }
    out.id = id.response;
    const std::string serial = GetSerialNumber(out.id);
    // Without a serial number the name would be " <f> GHz.mat", a file that
    // belongs to no instrument in particular.
    if (serial.empty()) {
        out.status = "no serial number in the identity \"" + platform::shownReply(out.id) + "\"";
        return out;
    }
    if (serial.find_first_of(std::string_view("/\\\0", 3)) != std::string::npos) {
        out.status = "The serial number \"" + platform::shownReply(serial) +
                     "\" would name a file outside the correction folder.";
        return out;
    }
    if (folder.empty()) {
        out.status = "No folder for correction files is known (no home folder).";
        return out;
    }
    out.fileName = CreateFileName(out.id, freq, folder);
#ifndef _WIN32
    // A file that another user could have planted or changed is not used.
    if (auto why = untrustedCorrections(folder, out.fileName)) {
        out.status = *why;
        return out;
    }
#endif
    CorrectionData data = LoadTarnIqCorrectionData(out.fileName);
    out.status = data.status;
    if (out.status.empty()) out.x = std::move(data.records);
    return out;
}

CorrectionResult ApplyRfChannelCorrection(std::span<const std::complex<double>> s,
                                          const CorrectionRecord& c, double sR) {
    CorrectionResult r{{s.begin(), s.end()}, {}};
    try {
        if (rfChannelApplies(c)) {
            const std::vector<std::complex<double>> h =
                createRealFIR(kCorrectionTaps, c.F, c.rfChannel, sR);
            r.x = circfilt(std::span<const std::complex<double>>(r.x),
                           std::span<const std::complex<double>>(h));
        }
    } catch (const std::exception& e) {
        r.x.assign(s.begin(), s.end());
        r.status = e.what();
    }
    return r;
}

CorrectionResult ApplyIqCorrection(std::span<const std::complex<double>> s,
                                   const CorrectionRecord& c, double sR) {
    CorrectionResult r;
    try {
        const std::vector<std::complex<double>> taps = createRealFIR(kCorrectionTaps, c.F, c.H, sR);
        std::vector<double> h(taps.size());
        for (std::size_t i = 0; i < taps.size(); ++i)
            h[i] = taps[i].real();
        std::vector<double> q(s.size());
        for (std::size_t i = 0; i < s.size(); ++i)
            q[i] = s[i].imag();
        const std::vector<double> fq = circfilt(std::span<const double>(q), h);
        r.x.resize(s.size());
        for (std::size_t i = 0; i < s.size(); ++i)
            r.x[i] = {s[i].real(), fq[i]};
    } catch (const std::exception& e) {
        r.x.assign(s.begin(), s.end());
        r.status = e.what();
    }
    return r;
}

CorrectedWaveform applyCorrections(std::span<const std::complex<double>> waveform,
                                   const std::vector<CorrectionRecord>& c, double noFlatness,
                                   double samplingRate) {
    CorrectedWaveform out;
    out.waveform.assign(waveform.begin(), waveform.end());
    // One kind of correction with every record it applies to, counting
    // the successes; a failed one leaves the waveform as it was.
    const auto applyEach = [&](const std::string& kind, auto applies, auto correct, auto& count) {
        for (const CorrectionRecord& record : c) {
            if (!applies(record)) continue;
            CorrectionResult r = correct(out.waveform, record, samplingRate);
            if (r.status.empty())
                ++count;
            else
                out.failures.push_back(kind + " correction: " + r.status);
            out.waveform = std::move(r.x);
        }
    };
    // Every RF-channel correction comes before every I/Q correction.
    if (noFlatness == 0)
        applyEach("RF-channel", rfChannelApplies, ApplyRfChannelCorrection,
                  out.rfChannelCorrections);
    applyEach(
        "I/Q", [](const CorrectionRecord& r) { return !hasNaN(r.H); }, ApplyIqCorrection,
        out.iqCorrections);
    return out;
}

}  // namespace onex
