#include "Analysis/Measurements.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "Analysis/Ccdf.h"
#include "platform/Error.h"
#include "platform/Numeric.h"

namespace onex::analysis {

namespace {

using cplx = std::complex<double>;

[[noreturn]] void refuse(const std::string& what) {
    throw Error("Measurements: " + what);
}

// numpy's interpolation between neighbouring order statistics, written as
// it is so that both give the same last digit.
double lerp(double a, double b, double t) {
    const double diff = b - a;
    return t >= 0.5 ? b - diff * (1 - t) : a + diff * t;
}

// Bins whose frequency lies within [lo, hi]: a millionth of a bin absorbs
// the rounding of band edges that fall on a bin, as the default ones do.
struct BinRange {
    std::size_t first = 0, last = 0;  // [first, last)
};
BinRange binsWithin(const PowerSpectrum& s, double lo, double hi, double tolerance) {
    const auto& f = s.frequencyHz;
    const auto a = std::lower_bound(f.begin(), f.end(), lo - tolerance);
    const auto b = std::upper_bound(f.begin(), f.end(), hi + tolerance);
    return {static_cast<std::size_t>(a - f.begin()), static_cast<std::size_t>(b - f.begin())};
}

double sumOf(const PowerSpectrum& s, BinRange r) {
    double sum = 0;
    for (std::size_t k = r.first; k < r.last; ++k)
        sum += s.power[k];
    return sum;
}

}  // namespace

void validateMeasurementOptions(const MeasurementOptions& o) {
    for (std::size_t i = 0; i < o.acprOffsetsHz.size(); ++i) {
        const double f = o.acprOffsetsHz[i];
        if (!std::isfinite(f) || f != std::floor(f))
            refuse("an adjacent-channel offset must be a whole number of Hz (got " +
                   platform::num2str(f) + ")");
        if (std::find(o.acprOffsetsHz.begin(), o.acprOffsetsHz.begin() + i, f) !=
            o.acprOffsetsHz.begin() + i)
            refuse("the adjacent-channel offset " + platform::num2str(f) + " Hz is given twice");
    }
    auto positive = [](double v, const char* name) {
        if (!(std::isfinite(v) && v > 0))
            refuse(std::string(name) + " must be a positive number of Hz (got " +
                   platform::num2str(v) + ")");
    };
    positive(o.offsetBandwidthHz, "the offset bandwidth");
    positive(o.channelBandwidthHz, "the channel bandwidth");
}

std::array<double, kCcdfPercent.size()> ccdfPoints(std::vector<double> relativeDb) {
    static_assert(std::is_sorted(kCcdfPercent.rbegin(), kCcdfPercent.rend()));
    const std::size_t n = relativeDb.size();
    if (n == 0) refuse("no samples");
    // Positions from the highest probability (lowest position) up: each
    // selection then only searches above the previous one.
    std::vector<double>& v = relativeDb;
    std::array<double, kCcdfPercent.size()> out{};
    auto from = v.begin();
    for (std::size_t i = 0; i < kCcdfPercent.size(); ++i) {
        const double position = static_cast<double>(n - 1) * (1 - kCcdfPercent[i] / 100);
        const auto k = static_cast<std::size_t>(position);
        const auto at = v.begin() + static_cast<std::ptrdiff_t>(k);
        std::nth_element(from, at, v.end());
        from = at;
        if (k + 1 == n) {
            out[i] = *at;
            continue;
        }
        // The next order statistic is the smallest of those above.
        const double next = *std::min_element(at + 1, v.end());
        out[i] = lerp(*at, next, position - static_cast<double>(k));
    }
    return out;
}

double occupiedBandwidth(const PowerSpectrum& s, double share) {
    const std::size_t n = s.power.size();
    if (n == 0) refuse("no samples");
    double total = 0;
    for (double p : s.power)
        total += p;
    const double outside = (1 - share) / 2 * total;
    std::size_t lo = 0, hi = n - 1;
    double sum = 0;
    for (; lo + 1 < n; ++lo)
        if ((sum += s.power[lo]) >= outside) break;
    sum = 0;
    for (; hi > 0; --hi)
        if ((sum += s.power[hi]) >= outside) break;
    return s.frequencyHz[hi] - s.frequencyHz[lo] + s.binWidthHz;
}

std::string_view acprGapText(AcprGap gap) {
    switch (gap) {
        case AcprGap::None:
            return "";
        case AcprGap::OffsetBandBeyondNyquist:
            return "offset band beyond half the sample rate";
        case AcprGap::ChannelBandBeyondNyquist:
            return "channel band beyond half the sample rate";
        case AcprGap::NoChannelPower:
            return "no power in the channel band";
        case AcprGap::NoOffsetPower:
            return "no power in the offset band";
    }
    return "";
}

AcprPoint adjacentChannelPowerRatio(const PowerSpectrum& s, double sampleRate, double offsetHz,
                                    double offsetBandwidthHz, double channelBandwidthHz) {
    if (s.power.empty()) refuse("no samples");
    const double tolerance = 1e-6 * sampleRate / static_cast<double>(s.power.size());
    const double nyquist = sampleRate / 2 + tolerance;
    auto reachable = [&](double centre, double width) {
        return std::abs(centre) + width / 2 <= nyquist;
    };
    AcprPoint point{offsetHz, std::nullopt, AcprGap::None};
    if (!reachable(offsetHz, offsetBandwidthHz)) {
        point.gap = AcprGap::OffsetBandBeyondNyquist;
    } else if (!reachable(0, channelBandwidthHz)) {
        point.gap = AcprGap::ChannelBandBeyondNyquist;
    } else {
        const double adjacent = sumOf(s, binsWithin(s, offsetHz - offsetBandwidthHz / 2,
                                                    offsetHz + offsetBandwidthHz / 2, tolerance));
        const double channel =
            sumOf(s, binsWithin(s, -channelBandwidthHz / 2, channelBandwidthHz / 2, tolerance));
        if (!(channel > 0))
            point.gap = AcprGap::NoChannelPower;
        else if (!(adjacent > 0))
            point.gap = AcprGap::NoOffsetPower;
        else
            point.dbc = 10 * std::log10(adjacent / channel);
    }
    return point;
}

WaveformMeasurements measureWaveform(std::span<const cplx> wave, double sampleRate,
                                     const MeasurementOptions& options) {
    validateMeasurementOptions(options);
    if (!(std::isfinite(sampleRate) && sampleRate > 0))
        refuse("the sample rate must be a positive number (got " + platform::num2str(sampleRate) +
               ")");
    if (wave.empty()) refuse("the waveform has no samples");

    WaveformMeasurements m;
    m.sampleRate = sampleRate;
    m.samples = wave.size();
    double sum = 0;
    for (const cplx& x : wave) {
        const double p = std::norm(x);
        sum += p;
        m.peakPower = std::max(m.peakPower, p);
    }
    if (!(sum > 0) || !std::isfinite(sum)) refuse("the waveform has no finite, non-zero power");
    m.averagePower = sum / static_cast<double>(wave.size());
    m.paprDb = 10 * std::log10(m.peakPower / m.averagePower);
    m.ccdfDb = ccdfPoints(relativePowerDb(wave));

    const PowerSpectrum spectrum = powerSpectrum(wave, sampleRate);
    m.obwHz = occupiedBandwidth(spectrum);
    m.offsetBandwidthHz = options.offsetBandwidthHz;
    m.channelBandwidthHz = options.channelBandwidthHz;
    for (double offset : options.acprOffsetsHz)
        m.acpr.push_back(adjacentChannelPowerRatio(
            spectrum, sampleRate, offset, options.offsetBandwidthHz, options.channelBandwidthHz));
    return m;
}

Measurements measureFrame(std::span<const cplx> wave, double sampleRate,
                          const Parameters& parameters, const MeasurementOptions& options) {
    Measurements m;
    m.waveform = measureWaveform(wave, sampleRate, options);
    m.codeDomain = measureCodeDomain(wave, parameters);
    return m;
}

}  // namespace onex::analysis
