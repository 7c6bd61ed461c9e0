#include "Analysis/Measurements.h"

#include <algorithm>
#include <cmath>
#include <future>
#include <string>

#include "Analysis/Ccdf.h"
#include "OneX/AirInterface.h"
#include "platform/Error.h"
#include "platform/LargeBuffer.h"
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

// The spectrum figures work on either form of the spectrum: the stored
// arrays of powerSpectrum or the transform worked out on demand.
struct StoredSpectrum {
    const PowerSpectrum& s;
    std::size_t size() const { return s.power.size(); }
    double binWidthHz() const { return s.binWidthHz; }
    double power(std::size_t j) const { return s.power[j]; }
    double frequencyHz(std::size_t j) const { return s.frequencyHz[j]; }
};

// Bins whose frequency lies within [lo, hi]: a millionth of a bin absorbs
// the rounding of band edges that fall on a bin, as the default ones do.
struct BinRange {
    std::size_t first = 0, last = 0;  // [first, last)
};
template <class Spectrum>
BinRange binsWithin(const Spectrum& s, double lo, double hi, double tolerance) {
    // The frequencies rise with the entry: bisect on them.
    auto firstWhere = [&](auto&& pred) {
        std::size_t first = 0, count = s.size();
        while (count > 0) {
            const std::size_t step = count / 2;
            if (!pred(s.frequencyHz(first + step))) {
                first += step + 1;
                count -= step + 1;
            } else {
                count = step;
            }
        }
        return first;
    };
    return {firstWhere([&](double f) { return !(f < lo - tolerance); }),
            firstWhere([&](double f) { return hi + tolerance < f; })};
}

template <class Spectrum>
double sumOf(const Spectrum& s, BinRange r) {
    double sum = 0;
    for (std::size_t k = r.first; k < r.last; ++k)
        sum += s.power(k);
    return sum;
}

// The first entry at which `sum`, from `first` on, reaches `outside` (the
// last entry when none does), walking up (step 1) or down (step -1) while
// the entry stays short of `end`.
template <class Spectrum>
std::size_t edgeBin(const Spectrum& s, std::size_t first, double sum, std::ptrdiff_t step,
                    std::size_t end, double outside) {
    std::size_t j = first;
    for (; j != end; j += static_cast<std::size_t>(step))
        if ((sum += s.power(j)) >= outside) break;
    return j;
}

template <class Spectrum>
double occupiedBandwidthOf(const Spectrum& s, double share) {
    const std::size_t n = s.size();
    if (n == 0) refuse("no samples");
    // One pass sums the powers from the bottom (the total) and from the top,
    // noting both running sums at the start of every block. The powers are
    // not negative, so each edge lies in the first block whose sum reaches
    // the share outside it, and the walk to it starts there from the noted
    // sum: the very sums of a walk from the end, without the walk.
    constexpr std::size_t kBlock = 4096;
    const std::size_t blocks = (n + kBlock - 1) / kBlock;
    std::vector<double> fromBottom(blocks + 1), fromTop(blocks + 1);
    double total = 0, top = 0;
    for (std::size_t b = 0; b < blocks; ++b) {
        fromBottom[b] = total;
        fromTop[b] = top;
        for (std::size_t j = b * kBlock; j < std::min(n, (b + 1) * kBlock); ++j) {
            total += s.power(j);
            top += s.power(n - 1 - j);
        }
    }
    fromBottom[blocks] = total;
    fromTop[blocks] = top;
    const double outside = (1 - share) / 2 * total;
    auto startBlock = [&](const std::vector<double>& sums) {
        std::size_t b = 0;
        while (b + 1 < blocks && !(sums[b + 1] >= outside))
            ++b;
        return b;
    };
    const std::size_t bLo = startBlock(fromBottom), bHi = startBlock(fromTop);
    const std::size_t lo = edgeBin(s, bLo * kBlock, fromBottom[bLo], 1, n - 1, outside);
    const std::size_t hi = edgeBin(s, n - 1 - bHi * kBlock, fromTop[bHi], -1, 0, outside);
    return s.frequencyHz(hi) - s.frequencyHz(lo) + s.binWidthHz();
}

template <class Spectrum>
AcprPoint acprOf(const Spectrum& s, double sampleRate, double offsetHz, double offsetBandwidthHz,
                 double channelBandwidthHz) {
    if (s.size() == 0) refuse("no samples");
    const double tolerance = 1e-6 * sampleRate / static_cast<double>(s.size());
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

// The (1 - p) quantiles of v (reordered) as ccdfPoints defines them, each
// order statistic passed through `toDb` before the interpolation: for a
// `toDb` that never decreases, the quantiles of the values in dB.
template <class ToDb>
std::array<double, kCcdfPercent.size()> quantiles(std::span<double> v, ToDb&& toDb) {
    static_assert(std::is_sorted(kCcdfPercent.rbegin(), kCcdfPercent.rend()));
    const std::size_t n = v.size();
    if (n == 0) refuse("no samples");
    // Positions from the highest probability (lowest position) up: each
    // selection then only searches above the previous one.
    std::array<double, kCcdfPercent.size()> out{};
    auto from = v.begin();
    for (std::size_t i = 0; i < kCcdfPercent.size(); ++i) {
        const double position = static_cast<double>(n - 1) * (1 - kCcdfPercent[i] / 100);
        const auto k = static_cast<std::size_t>(position);
        const auto at = v.begin() + static_cast<std::ptrdiff_t>(k);
        std::nth_element(from, at, v.end());
        from = at;
        if (k + 1 == n) {
            out[i] = toDb(*at);
            continue;
        }
        // The next order statistic is the smallest of those above.
        const double next = *std::min_element(at + 1, v.end());
        out[i] = lerp(toDb(*at), toDb(next), position - static_cast<double>(k));
    }
    return out;
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
    return quantiles(relativeDb, [](double db) { return db; });
}

double occupiedBandwidth(const PowerSpectrum& s, double share) {
    return occupiedBandwidthOf(StoredSpectrum{s}, share);
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
    return acprOf(StoredSpectrum{s}, sampleRate, offsetHz, offsetBandwidthHz, channelBandwidthHz);
}

namespace {

// The figures of any waveform's own: what it is, and the options used.
WaveformMeasurements checkedWaveform(std::span<const cplx> wave, double sampleRate,
                                     const MeasurementOptions& options) {
    validateMeasurementOptions(options);
    if (!(std::isfinite(sampleRate) && sampleRate > 0))
        refuse("the sample rate must be a positive number (got " + platform::num2str(sampleRate) +
               ")");
    if (wave.empty()) refuse("the waveform has no samples");
    WaveformMeasurements m;
    m.sampleRate = sampleRate;
    m.samples = wave.size();
    m.offsetBandwidthHz = options.offsetBandwidthHz;
    m.channelBandwidthHz = options.channelBandwidthHz;
    return m;
}

// Occupied bandwidth and adjacent-channel power ratios, from the transform.
void spectrumFigures(std::span<const cplx> wave, const MeasurementOptions& options,
                     WaveformMeasurements& m) {
    const CentredSpectrum spectrum(wave, m.sampleRate);
    m.obwHz = occupiedBandwidthOf(spectrum, kOccupiedShare);
    for (double offset : options.acprOffsetsHz)
        m.acpr.push_back(acprOf(spectrum, m.sampleRate, offset, options.offsetBandwidthHz,
                                options.channelBandwidthHz));
}

// Average and peak power and the CCDF points, from one pass over the samples
// into reused memory; the points are selected among the powers and only
// those few turned into dB.
void powerFigures(std::span<const cplx> wave, WaveformMeasurements& m) {
    const platform::LargeArray<double> powers = platform::acquireLargeArray<double>(wave.size());
    const SamplePowers p = samplePowers(wave, powers.items);
    m.peakPower = p.peak;
    if (!(p.sum > 0) || !std::isfinite(p.sum)) refuse("the waveform has no finite, non-zero power");
    m.averagePower = p.sum / static_cast<double>(wave.size());
    m.paprDb = 10 * std::log10(m.peakPower / m.averagePower);
    const double meanDb = powerDb(p.mean);
    m.ccdfDb =
        quantiles(powers.items, [meanDb](double power) { return relativeDb(power, meanDb); });
}

}  // namespace

WaveformMeasurements measureWaveform(std::span<const cplx> wave, double sampleRate,
                                     const MeasurementOptions& options) {
    WaveformMeasurements m = checkedWaveform(wave, sampleRate, options);
    // The transform's memory is back in the pool for the powers.
    spectrumFigures(wave, options, m);
    powerFigures(wave, m);
    return m;
}

void prepareFrameMeasurement(const Parameters& p) {
    const double os = p.OverSampling;
    if (os >= 1 && os <= kMaxOverSampling && os == std::floor(os))
        CentredSpectrum::prepare(kFrameChips * static_cast<std::size_t>(os));
}

Measurements measureFrame(std::span<const cplx> wave, double sampleRate,
                          const Parameters& parameters, const MeasurementOptions& options) {
    Measurements m;
    m.waveform = checkedWaveform(wave, sampleRate, options);
    // The power figures and the code domain need nothing from the spectrum:
    // they are worked out on a second thread (on this one where no thread
    // can be had) meanwhile, each part writing figures of its own. A
    // waveform without power is refused there before the code domain runs,
    // as it would be alone.
    auto others = std::async(std::launch::async | std::launch::deferred, [&] {
        powerFigures(wave, m.waveform);
        m.codeDomain = measureCodeDomain(wave, parameters);
    });
    spectrumFigures(wave, options, m.waveform);
    others.get();
    return m;
}

}  // namespace onex::analysis
