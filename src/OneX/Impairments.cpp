#include "OneX/Impairments.h"

#include <fmt/format.h>

#include <bit>
#include <cmath>
#include <limits>
#include <vector>

#include "OneX/Checks.h"
#include "platform/Numeric.h"

namespace onex {

namespace {

// Philox4x32 multipliers and Weyl key increments (Salmon et al., SC'11).
constexpr std::uint32_t kM0 = 0xD2511F53u, kM1 = 0xCD9E8D57u;
constexpr std::uint32_t kW0 = 0x9E3779B9u, kW1 = 0xBB67AE85u;
constexpr int kRounds = 10;

constexpr double kTwoPi = 6.283185307179586;
constexpr double kTwo26 = 0x1p-26, kTwo53 = 0x1p-53;
constexpr double kSqrt2 = 1.4142135623730951;
// ln 2 in two parts; the first has trailing zero bits, so e * kLn2Hi is exact.
constexpr double kLn2Hi = 6.93147180369123816490e-01, kLn2Lo = 1.90821492927058770002e-10;

// Samples per chunk: the chunk's buffers stay in the first-level cache.
constexpr std::size_t kChunk = 512;

// ln m for m in [sqrt(1/2), sqrt(2)]: 2 atanh(s), s = (m - 1) / (m + 1),
// |s| <= 0.1716; the series to s^23 leaves less than 1e-18.
inline double logNear1(double m) {
    const double s = (m - 1) / (m + 1), z = s * s;
    double p = 1.0 / 23;
    p = p * z + 1.0 / 21;
    p = p * z + 1.0 / 19;
    p = p * z + 1.0 / 17;
    p = p * z + 1.0 / 15;
    p = p * z + 1.0 / 13;
    p = p * z + 1.0 / 11;
    p = p * z + 1.0 / 9;
    p = p * z + 1.0 / 7;
    p = p * z + 1.0 / 5;
    p = p * z + 1.0 / 3;
    p = p * z + 1;
    return 2 * s * p;
}

inline double logUnitInline(double u) {
    const auto bits = std::bit_cast<std::uint64_t>(u);
    // u is normal here (at least 2^-53): exponent and mantissa from the bits.
    const auto biased = static_cast<std::int32_t>(bits >> 52);
    double m = std::bit_cast<double>((bits & 0x000FFFFFFFFFFFFFull) | 0x3FF0000000000000ull);
    double e = static_cast<double>(biased) - 1023;
    const bool high = m > kSqrt2;
    m = high ? m * 0.5 : m;
    e = high ? e + 1 : e;
    return e * kLn2Hi + (e * kLn2Lo + logNear1(m));
}

// Taylor series of sin and cos on |x| <= pi/4, to x^17 and x^18.
inline void cosSinSmall(double x, double& c, double& s) {
    const double z = x * x;
    double ps = -1.0 / 355687428096000;  // -1/17!
    ps = ps * z + 1.0 / 1307674368000;   // 1/15!
    ps = ps * z - 1.0 / 6227020800;      // 1/13!
    ps = ps * z + 1.0 / 39916800;        // 1/11!
    ps = ps * z - 1.0 / 362880;          // 1/9!
    ps = ps * z + 1.0 / 5040;
    ps = ps * z - 1.0 / 120;
    ps = ps * z + 1.0 / 6;
    s = x - x * z * ps;
    double pc = 1.0 / 6402373705728000;  // 1/18!
    pc = pc * z - 1.0 / 20922789888000;  // 1/16!
    pc = pc * z + 1.0 / 87178291200;     // 1/14!
    pc = pc * z - 1.0 / 479001600;       // 1/12!
    pc = pc * z + 1.0 / 3628800;         // 1/10!
    pc = pc * z - 1.0 / 40320;
    pc = pc * z + 1.0 / 720;
    pc = pc * z - 1.0 / 24;
    pc = pc * z + 0.5;
    c = 1 - z * pc;
}

// cos and sin of 2 pi t for 0 <= t < 1: the nearest quarter turn q / 4 is
// taken off exactly, the rest (within 1/8 turn) goes through the series.
// Written with selects only, so that loops over it vectorise.
inline void cosSinTurnInline(double t, double& c, double& s) {
    const auto q = static_cast<double>(static_cast<std::int32_t>(4 * t + 0.5));  // 0 .. 4
    const double f = t - 0.25 * q;
    double c0, s0;
    cosSinSmall(f * kTwoPi, c0, s0);
    // Quarter turns 1 and 3 swap cos and sin; cos is negative in 1 and 2,
    // sin in 2 and 3 (4 is 0 again).
    const bool swap = (q == 1) | (q == 3);
    const double a = swap ? s0 : c0, b = swap ? c0 : s0;
    c = ((q == 1) | (q == 2)) ? -a : a;
    s = ((q == 2) | (q == 3)) ? -b : b;
}

// Philox blocks of counters first .. first + count - 1, one lane per counter.
struct Words {
    std::uint32_t w0[kChunk], w1[kChunk], w2[kChunk], w3[kChunk];
};

#if defined(__GNUC__) && defined(__x86_64__) && !defined(__clang__)
__attribute__((target_clones("avx2", "default")))
#endif
void philoxChunk(std::uint32_t seed, std::uint64_t first, std::size_t count, Words& w) {
    std::uint32_t k0[kRounds], k1[kRounds];
    for (int r = 0; r < kRounds; ++r) {
        k0[r] = seed + static_cast<std::uint32_t>(r) * kW0;
        k1[r] = static_cast<std::uint32_t>(r) * kW1;
    }
    const auto hi = static_cast<std::uint32_t>(first >> 32);
    const auto lo = static_cast<std::uint32_t>(first);
    for (std::size_t i = 0; i < count; ++i) {
        // Each counter's ten rounds in registers; the counter is 64 bits.
        std::uint32_t x0 = lo + static_cast<std::uint32_t>(i), x2 = 0, x3 = 0;
        std::uint32_t x1 = hi + (x0 < lo ? 1u : 0u);
#pragma GCC unroll 10
        for (int r = 0; r < kRounds; ++r) {
            const std::uint64_t p0 = std::uint64_t{kM0} * x0;
            const std::uint64_t p1 = std::uint64_t{kM1} * x2;
            const std::uint32_t y0 = static_cast<std::uint32_t>(p1 >> 32) ^ x1 ^ k0[r];
            const std::uint32_t y2 = static_cast<std::uint32_t>(p0 >> 32) ^ x3 ^ k1[r];
            x1 = static_cast<std::uint32_t>(p1);
            x3 = static_cast<std::uint32_t>(p0);
            x0 = y0;
            x2 = y2;
        }
        w.w0[i] = x0;
        w.w1[i] = x1;
        w.w2[i] = x2;
        w.w3[i] = x3;
    }
}

// The top 53 bits of the 64-bit word hi:lo times 2^-53, built from two exact
// 32-bit conversions (26 and 27 bits). `plusOne` adds 2^-53.
inline double unitFromWords(std::uint32_t hi, std::uint32_t lo, std::uint32_t plusOne) {
    const auto top = static_cast<std::int32_t>(hi >> 6);
    const auto rest = static_cast<std::int32_t>(((hi & 63u) << 21 | lo >> 11) + plusOne);
    return static_cast<double>(top) * kTwo26 + static_cast<double>(rest) * kTwo53;
}

#if defined(__GNUC__) && defined(__x86_64__) && !defined(__clang__)
__attribute__((target_clones("avx2", "default")))
#endif
void gaussianChunk(const Words& w, std::size_t count, double* re, double* im) {
    for (std::size_t i = 0; i < count; ++i) {
        const double u1 = unitFromWords(w.w1[i], w.w0[i], 1);
        const double u2 = unitFromWords(w.w3[i], w.w2[i], 0);
        const double r = std::sqrt(-2 * logUnitInline(u1));
        double c, s;
        cosSinTurnInline(u2, c, s);
        re[i] = r * c;
        im[i] = r * s;
    }
}

}  // namespace

namespace noise {

std::array<std::uint32_t, 4> philox4x32(std::array<std::uint32_t, 4> x,
                                        std::array<std::uint32_t, 2> key) {
    for (int r = 0; r < kRounds; ++r) {
        const std::uint64_t p0 = std::uint64_t{kM0} * x[0];
        const std::uint64_t p1 = std::uint64_t{kM1} * x[2];
        x = {static_cast<std::uint32_t>(p1 >> 32) ^ x[1] ^ key[0], static_cast<std::uint32_t>(p1),
             static_cast<std::uint32_t>(p0 >> 32) ^ x[3] ^ key[1], static_cast<std::uint32_t>(p0)};
        key[0] += kW0;
        key[1] += kW1;
    }
    return x;
}

std::array<double, 2> uniforms(std::uint32_t seed, std::uint64_t n) {
    const auto w = philox4x32(
        {static_cast<std::uint32_t>(n), static_cast<std::uint32_t>(n >> 32), 0, 0}, {seed, 0});
    return {unitFromWords(w[1], w[0], 1), unitFromWords(w[3], w[2], 0)};
}

void gaussianPairs(std::uint32_t seed, std::uint64_t first, std::span<double> re,
                   std::span<double> im) {
    const std::size_t n = std::min(re.size(), im.size());
    auto w = std::make_unique<Words>();
    for (std::size_t done = 0; done < n; done += kChunk) {
        const std::size_t count = std::min(kChunk, n - done);
        philoxChunk(seed, first + done, count, *w);
        gaussianChunk(*w, count, re.data() + done, im.data() + done);
    }
}

double logUnit(double u) {
    return logUnitInline(u);
}

std::array<double, 2> cosSinTurn(double t) {
    double c, s;
    cosSinTurnInline(t, c, s);
    return {c, s};
}

}  // namespace noise

namespace {

constexpr const char* kRoutine = "Impairments";
constexpr double kInf = std::numeric_limits<double>::infinity();

// Mean |x|^2 with four partial sums in a fixed order: the same bits on every
// machine, without the latency chain of a single sum.
double meanPower(std::span<const std::complex<double>> x) {
    double acc[4] = {0, 0, 0, 0};
    std::size_t i = 0;
    for (; i + 4 <= x.size(); i += 4)
        for (std::size_t k = 0; k < 4; ++k)
            acc[k] += std::norm(x[i + k]);
    for (; i < x.size(); ++i)
        acc[0] += std::norm(x[i]);
    return x.empty() ? 0.0
                     : ((acc[0] + acc[1]) + (acc[2] + acc[3])) / static_cast<double>(x.size());
}

// exp(j 2 pi f n / fs) for the samples of a chunk starting at `first`: the
// chunk's start phase times a table of the phases within a chunk, one
// complex product a sample (as exact as n f / fs in double allows).
struct Rotation {
    double cyclesPerSample = 0;
    double tableRe[kChunk], tableIm[kChunk];
};

// cos and sin of 2 pi `turns` for any turns of magnitude below 2^31.
std::array<double, 2> cosSinOfTurns(double turns) {
    const double whole = std::floor(turns);
    return noise::cosSinTurn(turns - whole);
}

void makeRotation(Rotation& r, double cyclesPerSample) {
    r.cyclesPerSample = cyclesPerSample;
    for (std::size_t i = 0; i < kChunk; ++i) {
        const auto cs = cosSinOfTurns(static_cast<double>(i) * cyclesPerSample);
        r.tableRe[i] = cs[0];
        r.tableIm[i] = cs[1];
    }
}

#if defined(__GNUC__) && defined(__x86_64__) && !defined(__clang__)
__attribute__((target_clones("avx2", "default")))
#endif
void rotationChunk(const Rotation& r, std::size_t first, std::size_t count, double* cr,
                   double* ci) {
    // first * f / fs is exact enough: first < 2^20, one rounding.
    const auto start = cosSinOfTurns(static_cast<double>(first) * r.cyclesPerSample);
    for (std::size_t i = 0; i < count; ++i) {
        cr[i] = start[0] * r.tableRe[i] - start[1] * r.tableIm[i];
        ci[i] = start[0] * r.tableIm[i] + start[1] * r.tableRe[i];
    }
}

// The per-sample constants of the plan.
struct Coefficients {
    bool iq = false;
    double a = 1, ia = 1, ch = 1, sh = 0;
    bool leakage = false;
    double leak = 0;
    bool rotate = false;
    bool noise = false;
    double sigma = 0;  // per component
};

// The steps on one chunk of separate I and Q rows, each a plain loop (the
// chunk stays in the cache); the steps that are off are skipped, so they
// change no bit.
#if defined(__GNUC__) && defined(__x86_64__) && !defined(__clang__)
__attribute__((target_clones("avx2", "default")))
#endif
void combineChunk(const Coefficients& k, double* re, double* im, std::size_t count,
                  const double* cr, const double* ci, const double* gr, const double* gi) {
    if (k.iq)
        for (std::size_t i = 0; i < count; ++i) {
            const double r = k.a * (re[i] * k.ch + im[i] * k.sh);
            im[i] = k.ia * (im[i] * k.ch + re[i] * k.sh);
            re[i] = r;
        }
    if (k.leakage)
        for (std::size_t i = 0; i < count; ++i)
            re[i] += k.leak;
    if (k.rotate)
        for (std::size_t i = 0; i < count; ++i) {
            const double r = re[i] * cr[i] - im[i] * ci[i];
            im[i] = re[i] * ci[i] + im[i] * cr[i];
            re[i] = r;
        }
    if (k.noise)
        for (std::size_t i = 0; i < count; ++i) {
            re[i] += k.sigma * gr[i];
            im[i] += k.sigma * gi[i];
        }
}

std::string number(double v) {
    return platform::num2str(v);
}

}  // namespace

ImpairmentPlan planImpairments(const Parameters& p, double sampleRate, std::size_t samples) {
    if (!(std::isfinite(sampleRate) && sampleRate > 0))
        detail::fail(kRoutine, "the sample rate must be a positive number", sampleRate);
    detail::requireFinite(kRoutine, "IQGainImbalance", p.IQGainImbalance);
    detail::requireFinite(kRoutine, "QuadratureError", p.QuadratureError);
    detail::requireFinite(kRoutine, "FreqError", p.FreqError);
    if (std::isnan(p.CarrierLeakage) || p.CarrierLeakage == kInf)
        detail::fail(kRoutine, "CarrierLeakage must be a number or -Inf (off)", p.CarrierLeakage);
    if (std::isnan(p.CNRatio) || p.CNRatio == -kInf)
        detail::fail(kRoutine, "CNRatio must be a number or Inf (off)", p.CNRatio);
    const bool snap = detail::flag(kRoutine, "FreqErrorSnap", p.FreqErrorSnap);
    const long long seed =
        detail::requireWhole(kRoutine, "NoiseSeed", p.NoiseSeed, 0, 4294967295.0);

    ImpairmentPlan plan;
    plan.sampleRate = sampleRate;
    plan.samples = samples;
    plan.iq = p.IQGainImbalance != 0 || p.QuadratureError != 0;
    plan.gainDb = p.IQGainImbalance;
    plan.quadDeg = p.QuadratureError;
    plan.leakage = std::isfinite(p.CarrierLeakage);
    plan.leakageDbc = p.CarrierLeakage;
    plan.freqAsked = p.FreqError != 0;
    plan.freqAskedHz = p.FreqError;
    plan.freqHz = p.FreqError;
    if (plan.freqAsked && snap && samples > 0) {
        // The nearest frequency whose cycles fit the frame: the looped
        // waveform then joins its start without a phase jump.
        const double step = sampleRate / static_cast<double>(samples);
        plan.snapped = true;
        plan.snapCycles = static_cast<long long>(platform::roundHalfAway(p.FreqError / step));
        plan.freqHz = static_cast<double>(plan.snapCycles) * step;
    }
    plan.noise = std::isfinite(p.CNRatio);
    plan.cnDb = p.CNRatio;
    plan.seed = static_cast<std::uint32_t>(seed);
    return plan;
}

void applyImpairments(std::span<std::complex<double>> frame, const ImpairmentPlan& plan) {
    if (!plan.any()) return;
    if (frame.size() != plan.samples)
        detail::fail(kRoutine,
                     "the plan is for " + std::to_string(plan.samples) + " samples, the frame has",
                     static_cast<double>(frame.size()));
    Coefficients k;
    const double power = (plan.leakage || plan.noise) ? meanPower(frame) : 0.0;
    if (plan.iq) {
        k.iq = true;
        k.a = std::pow(10.0, plan.gainDb / 40);
        k.ia = 1 / k.a;
        // h = phi / 2 degrees = phi / 720 turns.
        const auto cs = noise::cosSinTurn(std::fabs(plan.quadDeg) / 720);
        k.ch = cs[0];
        k.sh = plan.quadDeg < 0 ? -cs[1] : cs[1];
    }
    if (plan.leakage) {
        k.leakage = true;
        k.leak = std::pow(10.0, plan.leakageDbc / 20) * std::sqrt(power);
    }
    k.rotate = plan.freqHz != 0;
    const double cyclesPerSample = plan.freqHz / plan.sampleRate;
    if (plan.noise) {
        k.noise = true;
        const double variance =
            power * std::pow(10.0, -plan.cnDb / 10) * (plan.sampleRate / kNoiseBandwidthHz);
        k.sigma = std::sqrt(variance / 2);
    }

    struct Buffers {
        Words words;
        Rotation rotation;
        double re[kChunk], im[kChunk], cr[kChunk], ci[kChunk], gr[kChunk], gi[kChunk];
    };
    auto b = std::make_unique<Buffers>();
    if (k.rotate) makeRotation(b->rotation, cyclesPerSample);
    for (std::size_t done = 0; done < frame.size(); done += kChunk) {
        const std::size_t count = std::min(kChunk, frame.size() - done);
        const std::span<std::complex<double>> part = frame.subspan(done, count);
        for (std::size_t i = 0; i < count; ++i) {
            b->re[i] = part[i].real();
            b->im[i] = part[i].imag();
        }
        if (k.rotate) rotationChunk(b->rotation, done, count, b->cr, b->ci);
        if (k.noise) {
            philoxChunk(plan.seed, done, count, b->words);
            gaussianChunk(b->words, count, b->gr, b->gi);
        }
        combineChunk(k, b->re, b->im, count, b->cr, b->ci, b->gr, b->gi);
        for (std::size_t i = 0; i < count; ++i)
            part[i] = {b->re[i], b->im[i]};
    }
}

std::string describeImpairments(const ImpairmentPlan& plan) {
    std::vector<std::string> items;
    if (plan.iq) {
        items.push_back(fmt::format("I/Q gain imbalance {} dB", number(plan.gainDb)));
        items.push_back(fmt::format("quadrature error {} deg", number(plan.quadDeg)));
    }
    if (plan.leakage)
        items.push_back(fmt::format("carrier leakage {} dBc", number(plan.leakageDbc)));
    if (plan.freqAsked) {
        std::string f = fmt::format("frequency error {} Hz", number(plan.freqHz));
        if (plan.snapped)
            f += fmt::format(" ({} Hz asked, snapped to a multiple of {} Hz)",
                             number(plan.freqAskedHz),
                             number(plan.sampleRate / static_cast<double>(plan.samples)));
        items.push_back(f);
    }
    if (plan.noise)
        items.push_back(fmt::format("C/N {} dB (seed {})", number(plan.cnDb), plan.seed));
    if (items.empty()) return "none";
    std::string out;
    for (const auto& item : items)
        out += (out.empty() ? "" : ", ") + item;
    return out;
}

}  // namespace onex
