#pragma once

// Correction records with flat (constant) responses, whose equalising
// filters are known without running the designer: freq2fir solves
// Z h = conj(1/H) with Z(k, i) = exp(-j 2 pi F(k) i / SR), and for a
// constant target the exact solution is that constant on the centre tap and
// zeros elsewhere. circfilt aligns on the centre tap, so the RF-channel
// correction multiplies the waveform by conj(1/rfChannel) and the I/Q
// correction multiplies the quadrature part by real(conj(1/H)) = real(1/H).

#include <cmath>
#include <complex>
#include <filesystem>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "platform/Array.h"
#include "platform/MatFile.h"

namespace onex::testcorr {

using C = std::complex<double>;
inline const double kNaN = std::numeric_limits<double>::quiet_NaN();

struct FlatRecord {
    double rev = 2;
    C H = kNaN;          // NaN: no I/Q correction
    C rfChannel = kNaN;  // NaN: no RF-channel correction
};

// 21 points, 1.899 to 1.901 GHz: centred they span +-1 MHz, inside the
// +-SR/2 of every sampling rate used with them (2 x 1.2288 MHz and up).
inline std::vector<double> flatPoints() {
    std::vector<double> F;
    for (int i = 0; i < 21; ++i)
        F.push_back(1.899e9 + i * 1e5);
    return F;
}

// A 1 x N struct array with every field any revision requires.
inline platform::Array correctionRecords(const std::vector<FlatRecord>& recs) {
    const std::vector<double> F = flatPoints();
    const std::vector<std::string> names = {"rev",     "F",  "H",   "ID",  "date",      "fltr",
                                            "modAttn", "cf", "bw",  "pwr", "rfChannel", "t1",
                                            "t2",      "t3", "fbc", "bc",  "cbc",       "image"};
    platform::Array a = platform::Array::structArray({1, recs.size()}, names);
    for (std::size_t e = 0; e < recs.size(); ++e) {
        a.setField("rev", platform::Array(recs[e].rev), e);
        a.setField("F", platform::Array::row(F), e);
        a.setField("H", platform::Array::complexRow(std::vector<C>(F.size(), recs[e].H)), e);
        a.setField("rfChannel",
                   platform::Array::complexRow(std::vector<C>(F.size(), recs[e].rfChannel)), e);
        a.setField("ID", platform::Array::string("US12345678"), e);
        a.setField("date", platform::Array::string("21-Aug-2002"), e);
        for (const char* n :
             {"fltr", "modAttn", "cf", "bw", "pwr", "t1", "t2", "t3", "fbc", "bc", "cbc", "image"})
            a.setField(n, platform::Array(0.0), e);
    }
    return a;
}

inline void writeCorrectionFile(const std::filesystem::path& path,
                                const std::vector<FlatRecord>& recs) {
    platform::writeMatFile(path, {{"TarnIqCorrectionData", correctionRecords(recs)}});
}

// The expected result of the download command's corrections with flat
// records: every RF-channel factor first, then every I/Q factor.
inline std::vector<C> expectedCorrection(const std::vector<C>& s,
                                         const std::vector<FlatRecord>& recs) {
    C rf = 1;
    double q = 1;
    for (const FlatRecord& r : recs)
        if (r.rev > 1 && !std::isnan(r.rfChannel.real())) rf *= std::conj(1.0 / r.rfChannel);
    for (const FlatRecord& r : recs)
        if (!std::isnan(r.H.real())) q *= (1.0 / r.H).real();
    std::vector<C> out(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        C y = s[i] * rf;
        out[i] = {y.real(), y.imag() * q};
    }
    return out;
}

// A deterministic test waveform with every quadrant and magnitude.
inline std::vector<C> testWaveform(std::size_t n) {
    std::vector<C> s(n);
    for (std::size_t i = 0; i < n; ++i)
        s[i] = {std::sin(0.37 * static_cast<double>(i)) * 0.8,
                std::cos(1.13 * static_cast<double>(i) + 0.2) * 0.6};
    return s;
}

inline double maxDifference(const std::vector<C>& a, const std::vector<C>& b) {
    if (a.size() != b.size()) return std::numeric_limits<double>::infinity();
    double m = 0;
    for (std::size_t i = 0; i < a.size(); ++i)
        m = std::max(m, std::abs(a[i] - b[i]));
    return m;
}

// A complete record of the given revision with every field of that
// revision (rfChannel from 2 on, the calibration fields from 3 on).
inline platform::Array sampleRecord(double rev) {
    using platform::Array;
    Array r = Array::structure({
        {"rev", Array(rev)},
        {"F", Array::row({-1e6, 0, 1e6})},
        {"H", Array::complexRow(std::vector<C>{{1, 0}, {0.9, 0.1}, {1, -0.2}})},
        {"ID", Array::string("US12345678")},
        {"date", Array::string("21-Aug-2002")},
        {"fltr", Array(1.0)},
        {"modAttn", Array(0.0)},
        {"cf", Array(1.9e9)},
        {"bw", Array(8e6)},
        {"pwr", Array(-10.0)},
    });
    if (rev >= 2)
        r.setField("rfChannel", Array::complexRow(std::vector<C>{{1, 0}, {1, 0}, {kNaN, 0}}));
    if (rev >= 3)
        for (const char* f : {"t1", "t2", "t3", "fbc", "bc", "cbc", "image"})
            r.setField(f, Array(0.0));
    return r;
}

}  // namespace onex::testcorr
