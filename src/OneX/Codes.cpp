#include "OneX/Codes.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>

#include "OneX/AirInterface.h"
#include "OneX/Checks.h"
#include "OneX/SequenceOps.h"
#include "platform/Numeric.h"

namespace onex {

namespace {

// The 42-stage long-code register holds exactly the bits a mask may have.
constexpr auto kMask42 = static_cast<std::uint64_t>(kMaxLongCodeMask);

// Coefficients of x^1..x^41 of the long-code characteristic polynomial.
constexpr double kLongCodeTaps[41] = {1, 1, 1, 0, 1, 1, 1, 0, 0, 1, 0, 0, 0, 0, 0, 1, 1, 1, 1, 0, 1,
                                      1, 0, 0, 1, 1, 1, 0, 0, 0, 1, 0, 1, 0, 1, 0, 0, 0, 0, 0, 0};

// Short-code feedback vectors, entry k = coefficient of x^(k-1).
constexpr double kShortTapsI[16] = {1, 0, 0, 0, 0, 1, 0, 1, 1, 1, 0, 0, 0, 1, 0, 1};
constexpr double kShortTapsQ[16] = {1, 0, 0, 1, 1, 1, 1, 0, 0, 0, 1, 1, 1, 0, 0, 1};

std::uint64_t packMask(const char* routine, const char* name, double mask) {
    return static_cast<std::uint64_t>(
        detail::requireWhole(routine, name, mask, 0, kMaxLongCodeMask));
}

// Bit k-1 of the result is stage k.
std::uint64_t packBits(std::span<const double> bits) {
    std::uint64_t v = 0;
    for (std::size_t k = 0; k < bits.size(); ++k)
        if (bits[k] != 0) v |= std::uint64_t{1} << k;
    return v;
}

// Parity of a 64-bit word by folding (a portable build has no popcount
// instruction, and the library call is much slower).
inline unsigned parity(std::uint64_t x) {
    x ^= x >> 32;
    x ^= x >> 16;
    x ^= x >> 8;
    x ^= x >> 4;
    x ^= x >> 2;
    x ^= x >> 1;
    return static_cast<unsigned>(x & 1);
}

bool allBinary(std::span<const double> v) {
    return std::all_of(v.begin(), v.end(), [](double x) { return x == 0 || x == 1; });
}

template <class T>
std::vector<T> rotateLeft(std::span<const T> input, double count) {
    std::vector<T> output(input.begin(), input.end());
    const double c = platform::roundHalfAway(count);
    if (!(c > 0) || input.empty()) return output;  // NaN too: no rotation
    const auto shift = static_cast<std::size_t>(std::fmod(c, static_cast<double>(input.size())));
    std::rotate(output.begin(), output.begin() + static_cast<std::ptrdiff_t>(shift), output.end());
    return output;
}

// One period of a short code: the m-sequence of the 15-stage register
// seeded with 0...01 (a(i) is the sum of taps(k) a(i - 15 + k - 1)), after a
// 0 that lengthens the run of fourteen zeros to fifteen, rotated left by 15.
void shortCodeInto(const double (&taps)[16], std::span<std::uint8_t, 32768> out) {
    std::uint8_t x[32768];
    x[0] = 0;
    std::uint8_t* a = x + 1;
    std::fill_n(a, 14, 0);
    a[14] = 1;
    // Bit k of `window` is a(i - 15 + k), bit k of `mask` is taps(k).
    const std::uint64_t mask = packBits(std::span(taps).first(15));
    std::uint64_t window = std::uint64_t{1} << 14;
    for (std::size_t i = 15; i < 32767; ++i) {
        const auto bit = static_cast<std::uint8_t>(parity(window & mask));
        a[i] = bit;
        window = (window >> 1) | (std::uint64_t{bit} << 14);
    }
    for (std::size_t k = 0; k < 32768; ++k)
        out[k] = x[(k + 15) % 32768];
}

std::vector<double> shortCode(const double (&taps)[16], std::size_t reps) {
    std::uint8_t bits[32768];
    shortCodeInto(taps, bits);
    std::vector<double> out;
    out.reserve(32768 * reps);
    for (std::size_t r = 0; r < reps; ++r)
        out.insert(out.end(), bits, bits + 32768);
    return out;
}

// The long-code register stepped over i.size() chips.
template <class T>
void longCodeInto(std::uint64_t sr, std::uint64_t iMask, std::uint64_t qMask, std::span<T> i,
                  std::span<T> q) {
    const std::uint64_t taps = packBits(kLongCodeTaps) << 1;  // taps(k) acts on stage k+1
    for (std::size_t k = 0; k < i.size(); ++k) {
        i[k] = static_cast<T>(parity(sr & iMask));
        q[k] = static_cast<T>(parity(sr & qMask));
        // Galois step: multiply the register polynomial by x modulo p(x).
        const std::uint64_t f = (sr >> 41) & 1;
        sr = ((sr << 1) & kMask42) | f;
        if (f) sr ^= taps;
    }
}

}  // namespace

CodeSequences OneX_RevLongCode(double len, std::span<const double> initialState, double Imask,
                               double Qmask) {
    const char* routine = "OneX_RevLongCode";
    const std::size_t n = detail::requireLength(routine, "len", len);
    if (initialState.size() != 42 || !allBinary(initialState))
        detail::fail(routine, "initialState must be 42 bits of 0/1, given entries",
                     static_cast<double>(initialState.size()));
    const std::uint64_t iMask = packMask(routine, "Imask", Imask);
    const std::uint64_t qMask = packMask(routine, "Qmask", Qmask);
    CodeSequences out{std::vector<double>(n), std::vector<double>(n)};
    longCodeInto<double>(packBits(initialState), iMask, qMask, out.Iseq, out.Qseq);
    return out;
}

void longCodeBits(std::uint64_t state, double Imask, double Qmask, std::span<std::uint8_t> i,
                  std::span<std::uint8_t> q) {
    const char* routine = "OneX_RevLongCode";
    const std::uint64_t iMask = packMask(routine, "Imask", Imask);
    const std::uint64_t qMask = packMask(routine, "Qmask", Qmask);
    if (i.size() != q.size() || state > kMask42)
        detail::fail("longCodeBits", "the rows must be of equal length, the state of 42 bits");
    longCodeInto(state, iMask, qMask, i, q);
}

void shortCodeBits(bool quadrature, std::span<std::uint8_t, 32768> out) {
    shortCodeInto(quadrature ? kShortTapsQ : kShortTapsI, out);
}

CodeSequences OneX_RevShortCode(double reps) {
    const std::size_t r = detail::requireWhole("OneX_RevShortCode", "reps", reps, 0,
                                               detail::kMaxSequenceLength / 32768);
    return {shortCode(kShortTapsI, r), shortCode(kShortTapsQ, r)};
}

std::vector<double> lfsr(double order, std::span<const double> taps, double m,
                         std::span<const double> seed) {
    const char* routine = "lfsr";
    const std::size_t n = detail::requireWhole(routine, "order", order, 1, 64);
    const std::size_t len = detail::requireLength(routine, "m", m);
    if (taps.size() < n)
        detail::fail(routine, "taps needs at least `order` entries, given",
                     static_cast<double>(taps.size()));
    if (seed.size() != n)
        detail::fail(routine, "seed needs `order` entries, given",
                     static_cast<double>(seed.size()));
    for (double t : taps.first(n))
        detail::requireFinite(routine, "taps", t);
    for (double s : seed)
        detail::requireFinite(routine, "seed", s);

    std::vector<double> a(std::max(len, n));
    std::copy(seed.begin(), seed.end(), a.begin());
    // Only the non-zero taps take part; offset k weights a(i - order + k).
    std::vector<std::size_t> offsets;
    std::vector<double> weights;
    for (std::size_t k = 0; k < n; ++k)
        if (taps[k] != 0) {
            offsets.push_back(n - k);
            weights.push_back(taps[k]);
        }

    if (allBinary(taps.first(n)) && allBinary(seed)) {
        for (std::size_t i = n; i < a.size(); ++i) {
            bool bit = false;
            for (std::size_t off : offsets)
                bit ^= a[i - off] != 0;
            a[i] = bit;
        }
    } else {
        for (std::size_t i = n; i < a.size(); ++i) {
            double sum = 0;
            for (std::size_t t = 0; t < offsets.size(); ++t)
                sum += weights[t] * a[i - offsets[t]];
            double r = std::fmod(sum, 2.0);
            a[i] = r < 0 ? r + 2.0 : r;  // modulo with the divisor's sign
        }
    }
    return a;
}

std::vector<double> CircularShiftLeft(std::span<const double> input, double count) {
    return rotateLeft(input, count);
}

std::vector<std::complex<double>> CircularShiftLeft(std::span<const std::complex<double>> input,
                                                    double count) {
    return rotateLeft(input, count);
}

}  // namespace onex
