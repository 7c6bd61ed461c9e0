#include "OneX/Impairments.h"

#include <fmt/format.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "OneX/Checks.h"
#include "platform/Numeric.h"
#include "platform/Parallel.h"

// Run-time choice of vector width on x86-64 (GCC): the same bits either way.
#if defined(__GNUC__) && defined(__x86_64__) && !defined(__clang__)
#define ONEX_CLONES 1
#define ONEX_PHILOX_AVX2 1
#include <immintrin.h>
#endif

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

// Samples per chunk: the chunk's buffers stay in the first-level cache. The
// frequency error's phases are made per chunk, so its bits depend on it.
constexpr std::size_t kChunk = 512;

// Vectors of four doubles (GCC and Clang vector extensions): lane-wise IEEE
// operations, the same bits as the scalar ones; the compiler builds them for
// the target at hand (two halves where vectors are narrower). Plain doubles
// elsewhere.
#if defined(__GNUC__)
using Vec = double __attribute__((vector_size(32)));
using VecBits = std::uint64_t __attribute__((vector_size(32)));
using VecInt = std::int32_t __attribute__((vector_size(16)));
#else
using Vec = double;
#endif
constexpr std::size_t kVecLanes = sizeof(Vec) / sizeof(double);
// The functions that take or give vectors are always inlined: a vector passes
// in different registers with and without AVX, so an out-of-line copy built
// for one target must not be called from a clone built for the other.

// std::bit_cast is an ordinary function, which at low optimisation stays out
// of line: the builtin inlines always.
template <class To, class From>
[[gnu::always_inline]] inline To bitCast(const From& v) {
#if defined(__GNUC__)
    return __builtin_bit_cast(To, v);
#else
    return std::bit_cast<To>(v);
#endif
}

template <class D>
struct BitsOf {
    using type = std::uint64_t;
};
#if defined(__GNUC__)
template <>
struct BitsOf<Vec> {
    using type = VecBits;
};
#endif
template <class D>
using Bits = typename BitsOf<D>::type;

// An integer below 2^52 as a double, exactly: the same value a conversion
// gives, with bit operations and one exact subtraction, which vectorise on
// 64-bit lanes where integer-to-double conversions of 64 bits do not.
template <class D>
[[gnu::always_inline]] inline D exactDouble(Bits<D> v) {
    return bitCast<D>(v | 0x4330000000000000ull) - 0x1p52;
}

// c in every lane, exactly (0 + c).
template <class D>
[[gnu::always_inline]] inline D splat(double c) {
    return D{} + c;
}

// 4 t + 1/2 truncated to a whole number (0 .. 4 for 0 <= t < 1).
[[gnu::always_inline]] inline double nearestQuarter(double t) {
    return static_cast<double>(static_cast<std::int32_t>(4 * t + 0.5));
}
#if defined(__GNUC__)
[[gnu::always_inline]] inline Vec nearestQuarter(Vec t) {
    return __builtin_convertvector(__builtin_convertvector(4 * t + 0.5, VecInt), Vec);
}
#endif

// The polynomials work on K values at once (doubles or vectors), each step a
// loop over them: every lane gets the same operations in the same order as
// one double alone, and the independent chains overlap in the processor
// (one value's chain is long and serial).

// ln u for 0 < u <= 1: u = 2^e m with m in [sqrt(1/2), sqrt(2)],
// ln m = 2 atanh(s), s = (m - 1) / (m + 1), |s| <= 0.1716; the series to
// s^23 leaves less than 1e-18.
template <class D, std::size_t K>
[[gnu::always_inline]] inline void logUnitLanes(const D* u, D* out) {
    // 1/21, 1/19, ..., 1/3, 1: the series after its highest term 1/23.
    constexpr double kCoef[] = {1.0 / 21, 1.0 / 19, 1.0 / 17, 1.0 / 15, 1.0 / 13, 1.0 / 11,
                                1.0 / 9,  1.0 / 7,  1.0 / 5,  1.0 / 3,  1};
    D e[K], s[K], z[K], p[K];
    for (std::size_t k = 0; k < K; ++k) {
        const auto bits = bitCast<Bits<D>>(u[k]);
        // u is normal here (at least 2^-53): exponent and mantissa from the bits.
        D m = bitCast<D>((bits & 0x000FFFFFFFFFFFFFull) | 0x3FF0000000000000ull);
        e[k] = exactDouble<D>(bits >> 52) - 1023.0;
        const auto high = m > kSqrt2;
        m = high ? m * 0.5 : m;
        e[k] = high ? e[k] + 1.0 : e[k];
        s[k] = (m - 1.0) / (m + 1.0);
        z[k] = s[k] * s[k];
        p[k] = splat<D>(1.0 / 23);
    }
    for (double c : kCoef)
        for (std::size_t k = 0; k < K; ++k)
            p[k] = p[k] * z[k] + c;
    for (std::size_t k = 0; k < K; ++k)
        out[k] = e[k] * kLn2Hi + (e[k] * kLn2Lo + 2.0 * s[k] * p[k]);
}

// cos and sin of 2 pi t for 0 <= t < 1: the nearest quarter turn q / 4 is
// taken off exactly, the rest x (|x| <= pi/4) goes through the Taylor series
// of sin and cos to x^17 and x^18. Selects only, no branches.
template <class D, std::size_t K>
[[gnu::always_inline]] inline void cosSinTurnLanes(const D* t, D* c, D* s) {
    // -1/17!, 1/15!, ..., 1/3!: sin x = x - x z (...), z = x^2.
    constexpr double kSin[] = {
        -1.0 / 355687428096000, 1.0 / 1307674368000, -1.0 / 6227020800, 1.0 / 39916800,
        -1.0 / 362880,          1.0 / 5040,          -1.0 / 120,        1.0 / 6};
    // 1/18!, -1/16!, ..., 1/2!: cos x = 1 - z (...).
    constexpr double kCos[] = {1.0 / 6402373705728000,
                               -1.0 / 20922789888000,
                               1.0 / 87178291200,
                               -1.0 / 479001600,
                               1.0 / 3628800,
                               -1.0 / 40320,
                               1.0 / 720,
                               -1.0 / 24,
                               0.5};
    D q[K], x[K], z[K], ps[K], pc[K];
    for (std::size_t k = 0; k < K; ++k) {
        q[k] = nearestQuarter(t[k]);
        x[k] = (t[k] - 0.25 * q[k]) * kTwoPi;
        z[k] = x[k] * x[k];
        ps[k] = splat<D>(kSin[0]);
        pc[k] = splat<D>(kCos[0]);
    }
    for (std::size_t i = 1; i < std::size(kSin); ++i)
        for (std::size_t k = 0; k < K; ++k)
            ps[k] = ps[k] * z[k] + kSin[i];
    for (std::size_t i = 1; i < std::size(kCos); ++i)
        for (std::size_t k = 0; k < K; ++k)
            pc[k] = pc[k] * z[k] + kCos[i];
    for (std::size_t k = 0; k < K; ++k) {
        const D s0 = x[k] - x[k] * z[k] * ps[k], c0 = 1.0 - z[k] * pc[k];
        // Quarter turns 1 and 3 swap cos and sin; cos is negative in 1 and 2,
        // sin in 2 and 3 (4 is 0 again).
        const auto swap = (q[k] == 1.0) | (q[k] == 3.0);
        const D a = swap ? s0 : c0, b = swap ? c0 : s0;
        c[k] = ((q[k] == 1.0) | (q[k] == 2.0)) ? -a : a;
        s[k] = ((q[k] == 2.0) | (q[k] == 3.0)) ? -b : b;
    }
}

// The top 53 bits of a 64-bit word times 2^-53, exactly (26 + 27 bits, each
// converted exactly, and a sum that is a multiple of 2^-53 at most 1).
// `plusOne` adds 2^-53.
template <class D>
[[gnu::always_inline]] inline D unitFromWord(Bits<D> w, std::uint64_t plusOne) {
    const Bits<D> m = w >> 11;
    return exactDouble<D>(m >> 27) * kTwo26 + exactDouble<D>((m & 0x7FFFFFFull) + plusOne) * kTwo53;
}

// Philox blocks of counters first .. first + count - 1, one lane per counter:
// the output words as (w1 w0) and (w3 w2), the halves the uniforms take.
struct Words {
    std::uint64_t w10[kChunk], w32[kChunk];
};

struct RoundKeys {
    std::uint32_t k0[kRounds], k1[kRounds];
    explicit RoundKeys(std::uint32_t seed) {
        for (int r = 0; r < kRounds; ++r) {
            k0[r] = seed + static_cast<std::uint32_t>(r) * kW0;
            k1[r] = static_cast<std::uint32_t>(r) * kW1;
        }
    }
};

// Portable: each counter's ten rounds in registers, the counter 64 bits.
void philoxPlain(const RoundKeys& k, std::uint64_t first, std::size_t count, Words& w) {
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint64_t n = first + i;
        std::uint32_t x0 = static_cast<std::uint32_t>(n), x1 = static_cast<std::uint32_t>(n >> 32);
        std::uint32_t x2 = 0, x3 = 0;
#pragma GCC unroll 10
        for (int r = 0; r < kRounds; ++r) {
            const std::uint64_t p0 = std::uint64_t{kM0} * x0;
            const std::uint64_t p1 = std::uint64_t{kM1} * x2;
            const std::uint32_t y0 = static_cast<std::uint32_t>(p1 >> 32) ^ x1 ^ k.k0[r];
            const std::uint32_t y2 = static_cast<std::uint32_t>(p0 >> 32) ^ x3 ^ k.k1[r];
            x1 = static_cast<std::uint32_t>(p1);
            x3 = static_cast<std::uint32_t>(p0);
            x0 = y0;
            x2 = y2;
        }
        w.w10[i] = std::uint64_t{x1} << 32 | x0;
        w.w32[i] = std::uint64_t{x3} << 32 | x2;
    }
}

#if defined(ONEX_PHILOX_AVX2)
// Four counters a vector, each 32-bit word in the low half of a 64-bit lane,
// so that the 32 x 32 -> 64-bit products are single instructions (compilers
// do not find them in the portable loop). Integer operations only: the words
// are those of the portable loop, bit for bit. The high halves of the lanes
// carry junk that the products ignore and the final masks drop.
__attribute__((target("avx2"))) void philoxAvx2(const RoundKeys& k, std::uint64_t first,
                                                std::size_t count, Words& w) {
    const __m256i m0 = _mm256_set1_epi64x(kM0), m1 = _mm256_set1_epi64x(kM1);
    const __m256i low = _mm256_set1_epi64x(0xFFFFFFFFll);
    __m256i k0[kRounds], k1[kRounds];
    for (int r = 0; r < kRounds; ++r) {
        k0[r] = _mm256_set1_epi64x(k.k0[r]);
        k1[r] = _mm256_set1_epi64x(k.k1[r]);
    }
    const auto base = static_cast<long long>(first);
    // Two vectors of counters at a time: two independent chains of rounds.
    constexpr std::size_t V = 2;
    std::size_t i = 0;
    for (; i + 4 * V <= count; i += 4 * V) {
        __m256i x0[V], x1[V], x2[V], x3[V];
        for (std::size_t v = 0; v < V; ++v) {
            const auto n = static_cast<long long>(i + 4 * v);
            const __m256i c = _mm256_add_epi64(_mm256_set1_epi64x(base),
                                               _mm256_set_epi64x(n + 3, n + 2, n + 1, n));
            // Round 1 on the counter (n lo, n hi, 0, 0): the second product is 0.
            const __m256i p0 = _mm256_mul_epu32(c, m0);
            x0[v] = _mm256_xor_si256(_mm256_srli_epi64(c, 32), k0[0]);
            x1[v] = _mm256_setzero_si256();
            x2[v] = _mm256_xor_si256(_mm256_srli_epi64(p0, 32), k1[0]);
            x3[v] = p0;
        }
        for (int r = 1; r < kRounds; ++r)
            for (std::size_t v = 0; v < V; ++v) {
                const __m256i q0 = _mm256_mul_epu32(x0[v], m0), q1 = _mm256_mul_epu32(x2[v], m1);
                x0[v] = _mm256_xor_si256(_mm256_xor_si256(_mm256_srli_epi64(q1, 32), x1[v]), k0[r]);
                x2[v] = _mm256_xor_si256(_mm256_xor_si256(_mm256_srli_epi64(q0, 32), x3[v]), k1[r]);
                x1[v] = q1;
                x3[v] = q0;
            }
        for (std::size_t v = 0; v < V; ++v) {
            const __m256i w10 =
                _mm256_or_si256(_mm256_slli_epi64(x1[v], 32), _mm256_and_si256(x0[v], low));
            const __m256i w32 =
                _mm256_or_si256(_mm256_slli_epi64(x3[v], 32), _mm256_and_si256(x2[v], low));
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(w.w10 + i + 4 * v), w10);
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(w.w32 + i + 4 * v), w32);
        }
    }
    if (i < count) {
        Words tail;
        philoxPlain(k, first + i, count - i, tail);
        for (std::size_t j = 0; i + j < count; ++j) {
            w.w10[i + j] = tail.w10[j];
            w.w32[i + j] = tail.w32[j];
        }
    }
}
#endif

void philoxChunk(const RoundKeys& k, std::uint64_t first, std::size_t count, Words& w) {
#if defined(ONEX_PHILOX_AVX2)
    static const bool avx2 = __builtin_cpu_supports("avx2");
    if (avx2) return philoxAvx2(k, first, count, w);
#endif
    philoxPlain(k, first, count, w);
}

// Box-Muller on a chunk's words, in whole blocks of kBlock samples (the
// words past `count` are of no use, their results are not used): re and im,
// each of kChunk, receive the unit-variance pairs. The logarithm and the
// sine/cosine passes take four vectors of independent chains at a time; the
// square roots between them are a plain loop.
constexpr std::size_t kBlock = 4 * kVecLanes;
static_assert(kChunk % kBlock == 0);

#if defined(ONEX_CLONES)
__attribute__((target_clones("avx2", "default")))
#endif
void gaussianChunk(const Words& w, std::size_t count, double* re, double* im) {
    constexpr std::size_t K = kBlock / kVecLanes;
    for (std::size_t i = 0; i < count; i += kBlock) {
        Vec u[K], r[K];
        for (std::size_t k = 0; k < K; ++k) {
            Bits<Vec> b;
            std::memcpy(&b, w.w10 + i + k * kVecLanes, sizeof b);
            u[k] = unitFromWord<Vec>(b, 1);
        }
        logUnitLanes<Vec, K>(u, r);
        for (std::size_t k = 0; k < K; ++k) {
            r[k] = -2.0 * r[k];
            std::memcpy(re + i + k * kVecLanes, &r[k], sizeof r[k]);
        }
    }
    for (std::size_t i = 0; i < count; ++i)
        re[i] = std::sqrt(re[i]);
    for (std::size_t i = 0; i < count; i += kBlock) {
        Vec t[K], c[K], s[K];
        for (std::size_t k = 0; k < K; ++k) {
            Bits<Vec> b;
            std::memcpy(&b, w.w32 + i + k * kVecLanes, sizeof b);
            t[k] = unitFromWord<Vec>(b, 0);
        }
        cosSinTurnLanes<Vec, K>(t, c, s);
        for (std::size_t k = 0; k < K; ++k) {
            Vec r;
            std::memcpy(&r, re + i + k * kVecLanes, sizeof r);
            const Vec x = r * c[k], y = r * s[k];
            std::memcpy(re + i + k * kVecLanes, &x, sizeof x);
            std::memcpy(im + i + k * kVecLanes, &y, sizeof y);
        }
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
    return {unitFromWord<double>(std::uint64_t{w[1]} << 32 | w[0], 1),
            unitFromWord<double>(std::uint64_t{w[3]} << 32 | w[2], 0)};
}

void gaussianPairs(std::uint32_t seed, std::uint64_t first, std::span<double> re,
                   std::span<double> im) {
    const std::size_t n = std::min(re.size(), im.size());
    auto w = std::make_unique<Words>();
    auto g = std::make_unique<std::array<double, 2 * kChunk>>();
    const RoundKeys keys(seed);
    for (std::size_t done = 0; done < n; done += kChunk) {
        const std::size_t count = std::min(kChunk, n - done);
        philoxChunk(keys, first + done, count, *w);
        gaussianChunk(*w, count, g->data(), g->data() + kChunk);
        std::copy_n(g->data(), count, re.data() + done);
        std::copy_n(g->data() + kChunk, count, im.data() + done);
    }
}

double logUnit(double u) {
    double out;
    logUnitLanes<double, 1>(&u, &out);
    return out;
}

std::array<double, 2> cosSinTurn(double t) {
    double c, s;
    cosSinTurnLanes<double, 1>(&t, &c, &s);
    return {c, s};
}

}  // namespace noise

namespace {

constexpr const char* kRoutine = "Impairments";
constexpr double kInf = std::numeric_limits<double>::infinity();

// Mean |x|^2 with four partial sums in a fixed order: the same bits on every
// machine, without the latency chain of a single sum.
#if defined(ONEX_CLONES)
__attribute__((target_clones("avx2", "default")))
#endif
double
meanPower(std::span<const std::complex<double>> x) {
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

// The steps on one chunk of the frame: each sample read once, the steps that
// are on applied in their order, the I and Q results written to the rows
// `re` and `im` (which the caller interleaves back). The steps that are off
// are left out at compile time, so they change no bit; the chunk's rotation
// is its start phase times the table. The results go to separate rows, not
// straight back into the interleaved frame, because compilers pair the I and
// Q lines of a complex product into fused add-subtract instructions when
// their stores are adjacent, whatever the contraction setting.
template <bool IQ, bool Leak, bool Rotate, bool Noise>
__attribute__((always_inline)) inline void combine(const Coefficients& k,
                                                   const std::complex<double>* x, std::size_t count,
                                                   const Rotation& rot,
                                                   const std::array<double, 2>& start,
                                                   const double* gr, const double* gi,
                                                   double* out_re, double* out_im) {
    const auto* d = reinterpret_cast<const double*>(x);  // complex<double> is an array of two
    for (std::size_t i = 0; i < count; ++i) {
        double re = d[2 * i], im = d[2 * i + 1];
        if constexpr (IQ) {
            const double r = k.a * (re * k.ch + im * k.sh);
            im = k.ia * (im * k.ch + re * k.sh);
            re = r;
        }
        if constexpr (Leak) re += k.leak;
        if constexpr (Rotate) {
            const double cr = start[0] * rot.tableRe[i] - start[1] * rot.tableIm[i];
            const double ci = start[0] * rot.tableIm[i] + start[1] * rot.tableRe[i];
            const double r = re * cr - im * ci;
            im = re * ci + im * cr;
            re = r;
        }
        if constexpr (Noise) {
            re += k.sigma * gr[i];
            im += k.sigma * gi[i];
        }
        out_re[i] = re;
        out_im[i] = im;
    }
}

template <std::size_t... S>
__attribute__((always_inline)) inline void combineAny(unsigned which, const Coefficients& k,
                                                      std::complex<double>* x, std::size_t count,
                                                      const Rotation& rot,
                                                      const std::array<double, 2>& start,
                                                      double* gr, double* gi,
                                                      std::index_sequence<S...>) {
    // The noise rows are read before they are written, sample by sample, so
    // they take the results.
    ((which == S ? combine<(S & 1) != 0, (S & 2) != 0, (S & 4) != 0, (S & 8) != 0>(
                       k, x, count, rot, start, gr, gi, gr, gi)
                 : void()),
     ...);
    for (std::size_t i = 0; i < count; ++i)
        x[i] = {gr[i], gi[i]};
}

// One chunk: the noise (Philox, then Box-Muller) into the chunk's buffers,
// then the single pass over the samples.
struct ChunkBuffers {
    Words words;
    double gr[kChunk], gi[kChunk];
};
// Chunks a thread takes at a time.
constexpr std::size_t kChunksPerTask = 16;

#if defined(ONEX_CLONES)
__attribute__((target_clones("avx2", "default")))
#endif
void combineChunk(const Coefficients& k, std::complex<double>* x, std::size_t count,
                  const Rotation& rot, const std::array<double, 2>& start, double* gr,
                  double* gi) {
    // The sixteen variants are inlined here, each built for the clone's target.
    const unsigned which =
        (k.iq ? 1u : 0u) | (k.leakage ? 2u : 0u) | (k.rotate ? 4u : 0u) | (k.noise ? 8u : 0u);
    combineAny(which, k, x, count, rot, start, gr, gi, std::make_index_sequence<16>());
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

    auto rotation = std::make_unique<Rotation>();
    if (k.rotate) makeRotation(*rotation, cyclesPerSample);
    const RoundKeys keys(plan.seed);
    // Every chunk depends on its position alone (noise counters, rotation
    // phase), so groups of chunks are shared between two threads, each with
    // buffers of its own. Both are made here: memory the helper allocated
    // would come from an arena of its own, given back and faulted in again
    // at every call.
    const std::unique_ptr<ChunkBuffers> buffers[2] = {std::make_unique<ChunkBuffers>(),
                                                      std::make_unique<ChunkBuffers>()};
    const std::size_t chunks = (frame.size() + kChunk - 1) / kChunk;
    const std::size_t tasks = (chunks + kChunksPerTask - 1) / kChunksPerTask;
    auto task = [&](std::size_t t, int worker) {
        ChunkBuffers& b = *buffers[worker];
        const std::size_t end = std::min(frame.size(), (t + 1) * kChunksPerTask * kChunk);
        for (std::size_t done = t * kChunksPerTask * kChunk; done < end; done += kChunk) {
            const std::size_t count = std::min(kChunk, end - done);
            // done * f / fs is exact enough: done < 2^20, one rounding.
            std::array<double, 2> start = {1, 0};
            if (k.rotate) start = cosSinOfTurns(static_cast<double>(done) * cyclesPerSample);
            if (k.noise) {
                philoxChunk(keys, done, count, b.words);
                gaussianChunk(b.words, count, b.gr, b.gi);
            }
            combineChunk(k, frame.data() + done, count, *rotation, start, b.gr, b.gi);
        }
    };
    platform::runShared(tasks, task);
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
