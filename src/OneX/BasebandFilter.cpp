#include "OneX/BasebandFilter.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <mutex>
#include <utility>

#include "OneX/AirInterface.h"
#include "OneX/Checks.h"
#include "OneX/FilterTapsTable.h"
#include "OneX/FirDesign.h"
#include "platform/Fft.h"
#include "platform/LargeBuffer.h"
#include "platform/Parallel.h"

namespace onex {

namespace {

using cplx = std::complex<double>;

std::size_t checkOversampling(const char* routine, double oversamplingRate) {
    // kMaxOverSampling x kFrameChips samples is the largest frame the instrument holds.
    return static_cast<std::size_t>(
        detail::requireWhole(routine, "oversamplingRate", oversamplingRate, 1, kMaxOverSampling));
}

void checkFilterFits(const char* routine, std::size_t frameLength, std::size_t filterLength) {
    if (filterLength == 0) detail::fail(routine, "the filter has no taps");
    if (frameLength + 1 < filterLength)
        detail::fail(routine,
                     "the signal must have at least as many samples as the filter has taps less "
                     "one, given",
                     static_cast<double>(frameLength));
}

// Circular convolution aligned on the centre tap, straight from the
// definition; the sum runs over the taps in order, as a direct-form FIR does.
template <class Y, class X, class H>
std::vector<Y> circularDirect(std::span<const X> x, std::span<const H> h) {
    const std::size_t n = x.size(), l = h.size(), d = l / 2;
    std::vector<X> ext;
    ext.reserve(n + l - 1);
    ext.insert(ext.end(), x.end() - static_cast<std::ptrdiff_t>(l - 1), x.end());
    ext.insert(ext.end(), x.begin(), x.end());
    std::vector<Y> out(n);
    for (std::size_t k = 0; k < n; ++k) {
        const std::size_t m = (k + d) % n;  // delay correction
        Y acc{};
        for (std::size_t j = 0; j < l; ++j)
            acc += h[j] * ext[m + l - 1 - j];
        out[k] = acc;
    }
    return out;
}

// The same through the DFT, for long filters.
template <class Y, class X, class H>
std::vector<Y> circularFft(std::span<const X> x, std::span<const H> h) {
    const std::size_t n = x.size(), d = h.size() / 2;
    std::vector<cplx> xf(x.begin(), x.end());
    std::vector<cplx> hf(n);
    for (std::size_t j = 0; j < h.size(); ++j)
        hf[j % n] += h[j];
    platform::fftInPlace(xf);
    platform::fftInPlace(hf);
    for (std::size_t k = 0; k < n; ++k)
        xf[k] *= hf[k];
    hf = {};
    platform::ifftInPlaceUnscaled(xf);
    const double scale = 1.0 / static_cast<double>(n);
    std::vector<Y> out(n);
    for (std::size_t k = 0; k < n; ++k) {
        const cplx v = xf[(k + d) % n] * scale;
        if constexpr (std::is_same_v<Y, double>)
            out[k] = v.real();
        else
            out[k] = v;
    }
    return out;
}

template <class Y, class X, class H>
std::vector<Y> circularFilter(const char* routine, std::span<const X> x, std::span<const H> h) {
    checkFilterFits(routine, x.size(), h.size());
    if (x.empty()) return {};
    // Past a few dozen taps the transform is cheaper than the direct sum.
    if (h.size() <= 64) return circularDirect<Y>(x, h);
    return circularFft<Y>(x, h);
}

// Sub-filter kernel: for b = 0..count-1,
// y[b] = sum_i g[i] x[b - i] (x points at the newest sample of output 0),
// stored as real and imaginary part at out[b stride] and out[b stride + 1],
// summed over i in order like a direct-form FIR. Sixteen outputs at a time
// keep their sums in vector registers; with GCC the kernel is also built for
// AVX2 and chosen at run time.
#if defined(__GNUC__) && defined(__x86_64__) && !defined(__clang__)
#define ONEX_SIMD_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define ONEX_SIMD_CLONES
#endif

#if defined(__GNUC__)
typedef double Vec4 __attribute__((vector_size(32)));
// Unaligned load-multiply-add and store; macros, as passing vectors by value
// to a function would tie its ABI to AVX.
#define ONEX_MAC4(acc, g, p)                   \
    do {                                       \
        Vec4 v_;                               \
        __builtin_memcpy(&v_, (p), sizeof v_); \
        (acc) += (g)*v_;                       \
    } while (0)
#define ONEX_STORE4(p, v) __builtin_memcpy((p), &(v), sizeof(Vec4))
#endif

ONEX_SIMD_CLONES
void subFilter(const double* g, std::size_t taps, const double* xr, const double* xi,
               std::size_t count, double* out, std::size_t stride) {
    std::size_t b0 = 0;
#if defined(__GNUC__)
    constexpr std::size_t kLanes = 16;
    for (; b0 + kLanes <= count; b0 += kLanes) {
        Vec4 r0 = {}, r1 = {}, r2 = {}, r3 = {}, i0 = {}, i1 = {}, i2 = {}, i3 = {};
        for (std::size_t i = 0; i < taps; ++i) {
            const Vec4 gi = {g[i], g[i], g[i], g[i]};
            const double* pr = xr + b0 - i;
            const double* pi = xi + b0 - i;
            ONEX_MAC4(r0, gi, pr);
            ONEX_MAC4(r1, gi, pr + 4);
            ONEX_MAC4(r2, gi, pr + 8);
            ONEX_MAC4(r3, gi, pr + 12);
            ONEX_MAC4(i0, gi, pi);
            ONEX_MAC4(i1, gi, pi + 4);
            ONEX_MAC4(i2, gi, pi + 8);
            ONEX_MAC4(i3, gi, pi + 12);
        }
        double sums[2][kLanes];
        ONEX_STORE4(sums[0], r0);
        ONEX_STORE4(sums[0] + 4, r1);
        ONEX_STORE4(sums[0] + 8, r2);
        ONEX_STORE4(sums[0] + 12, r3);
        ONEX_STORE4(sums[1], i0);
        ONEX_STORE4(sums[1] + 4, i1);
        ONEX_STORE4(sums[1] + 8, i2);
        ONEX_STORE4(sums[1] + 12, i3);
        for (std::size_t b = 0; b < kLanes; ++b) {
            out[(b0 + b) * stride] = sums[0][b];
            out[(b0 + b) * stride + 1] = sums[1][b];
        }
    }
#endif
    for (; b0 < count; ++b0) {
        double ar = 0, ai = 0;
        for (std::size_t i = 0; i < taps; ++i) {
            ar += g[i] * *(xr + b0 - i);
            ai += g[i] * *(xi + b0 - i);
        }
        out[b0 * stride] = ar;
        out[b0 * stride + 1] = ai;
    }
}

// Multiplications below which a second thread costs more than it saves.
constexpr std::size_t kSharedWork = std::size_t{1} << 20;

// Circular filtering of a zero-stuffed frame (chip c at sample c x os, zeros
// between) by real taps, into `out` (chips x os samples). Output k = t - D
// with t = m os + ph needs only the taps ph, ph + os, ..., so each phase ph
// is a circular convolution of the chips with one sub-filter: chips x taps
// multiplications in all, whatever the oversampling rate.
void circularZeroStuffed(std::span<const cplx> chips, std::size_t os, std::span<const double> h,
                         std::span<cplx> out) {
    const std::size_t m = chips.size(), n = m * os, l = h.size(), d = l / 2;
    checkFilterFits("OneX_BasebandFilter", n, l);
    if (m == 0) return;
    const std::size_t longest = (l + os - 1) / os;  // sub-filter of phase 0
    const std::size_t ext = longest - 1;            // <= m, from the check above

    // Chips split into real and imaginary rows (vectorises), extended in front
    // by the last `ext` chips for the wrap-around.
    const platform::LargeArray<double> rows = platform::acquireLargeArray<double>(2 * (m + ext));
    const std::span<double> re = rows.items.first(m + ext), im = rows.items.subspan(m + ext);
    for (std::size_t e = 0; e < m + ext; ++e) {
        const cplx c = chips[(e + m - ext) % m];
        re[e] = c.real();
        im[e] = c.imag();
    }

    // Sub-filter of each phase (zeros past the end of h).
    std::vector<double> g(os * longest, 0.0);
    std::vector<std::size_t> taps(os, 0);
    for (std::size_t ph = 0; ph < os; ++ph)
        for (std::size_t i = 0; ph + os * i < l; ++i, ++taps[ph])
            g[ph * longest + i] = h[ph + os * i];

    // Chips [c0, c0 + count), all phases, as interleaved real and imaginary
    // parts (the layout std::complex guarantees) from `dst` on: chip c,
    // phase ph lands at dst + 2 ((c - c0) os + ph).
    auto compute = [&](std::size_t c0, std::size_t count, double* dst) {
        for (std::size_t ph = 0; ph < os; ++ph)
            subFilter(g.data() + ph * longest, taps[ph], re.data() + ext + c0, im.data() + ext + c0,
                      count, dst + 2 * ph, 2 * os);
    };

    // Sample t = c os + ph is output k = t - D (mod n). The first chips hold
    // the samples t < D, which wrap to the end: they go through a small
    // buffer. Every other chip is written straight to its place, in blocks
    // that keep the phases' writes in cache.
    const std::size_t head = std::min(m, (d + os - 1) / os);
    if (head > 0) {
        std::vector<cplx> y(head * os);
        compute(0, head, reinterpret_cast<double*>(y.data()));
        for (std::size_t t = 0; t < y.size(); ++t)
            out[(t + n - d % n) % n] = y[t];
    }
    double* parts = reinterpret_cast<double*>(out.data());
    constexpr std::size_t kBlock = 512;
    const std::size_t blocks = (m - head + kBlock - 1) / kBlock;
    auto block = [&](std::size_t b, int) {
        const std::size_t c0 = head + b * kBlock;
        compute(c0, std::min(kBlock, m - c0), parts + 2 * (c0 * os - d));
    };
    // Each output is one sum whichever thread makes it, so the blocks are
    // shared between two threads where there is enough work to share.
    if (m * longest * os < kSharedWork) {
        for (std::size_t b = 0; b < blocks; ++b)
            block(b, 0);
        return;
    }
    platform::runShared(blocks, block);
}

template <class T>
std::vector<T> zeroStuff(const char* routine, std::span<const T> x, double n) {
    const std::size_t factor = detail::requireWhole(routine, "n", n, 0, detail::kMaxSequenceLength);
    if (factor != 0 && x.size() > detail::kMaxSequenceLength / factor)
        detail::fail(routine, "result too long for n", n);
    std::vector<T> y(x.size() * factor);
    for (std::size_t i = 0; i < x.size() && factor != 0; ++i)
        y[i * factor] = x[i];
    return y;
}

}  // namespace

BasebandFilterKind selectBasebandFilter(const FilterChoice& filterType) {
    if (const double* number = std::get_if<double>(&filterType)) {
        if (*number == 1) return BasebandFilterKind::Rectangular;
        if (*number == 3) return BasebandFilterKind::IS95Acp;
        if (*number == 4) return BasebandFilterKind::None;
        return BasebandFilterKind::IS95Std;
    }
    const std::string& text = std::get<std::string>(filterType);
    if (text == "IS95-STD") return BasebandFilterKind::IS95Std;
    if (text == "IS95-ACP") return BasebandFilterKind::IS95Acp;
    if (text == "IS95-EVM") return BasebandFilterKind::None;
    return BasebandFilterKind::Rectangular;
}

std::optional<std::vector<double>> basebandFilterTaps(double oversamplingRate,
                                                      const FilterChoice& filterType) {
    const BasebandFilterKind kind = selectBasebandFilter(filterType);
    if (kind == BasebandFilterKind::Rectangular) return std::nullopt;
    if (kind == BasebandFilterKind::None) return std::vector<double>{1.0};
    // The usual rates come designed with the program; any other design is
    // made once per process (the frame builder and the receiver of the
    // measurements both ask for it).
    const bool acp = kind == BasebandFilterKind::IS95Acp;
    if (const std::span<const double> prebuilt = prebuiltFilterTaps(acp, oversamplingRate);
        !prebuilt.empty())
        return std::vector<double>(prebuilt.begin(), prebuilt.end());
    const auto design = [&] {
        return kind == BasebandFilterKind::IS95Std ? FilterCoeff_IS95_Std(oversamplingRate)
                                                   : FilterCoeff_IS95_Acp(oversamplingRate);
    };
    if (!std::isfinite(oversamplingRate)) return design();  // not a key a map can order
    static std::mutex mutex;
    static std::map<std::pair<BasebandFilterKind, double>, std::vector<double>> designed;
    const std::pair key{kind, oversamplingRate};
    {
        const std::lock_guard lock(mutex);
        if (auto it = designed.find(key); it != designed.end()) return it->second;
    }
    std::vector<double> taps = design();
    const std::lock_guard lock(mutex);
    return designed.try_emplace(key, std::move(taps)).first->second;
}

std::vector<cplx> upsample(std::span<const cplx> x, double n) {
    return zeroStuff("upsample", x, n);
}

std::vector<double> upsample(std::span<const double> x, double n) {
    return zeroStuff("upsample", x, n);
}

std::vector<double> upsampleMarker(std::span<const double> m, double n) {
    const std::size_t factor =
        detail::requireWhole("upsampleMarker", "n", n, 0, detail::kMaxSequenceLength);
    if (factor != 0 && m.size() > detail::kMaxSequenceLength / factor)
        detail::fail("upsampleMarker", "result too long for n", n);
    std::vector<double> out;
    out.reserve(m.size() * factor);
    for (double v : m)
        out.insert(out.end(), factor, v);
    return out;
}

void upsampleMarker(std::span<const std::uint8_t> m, std::size_t n, std::span<std::uint8_t> out) {
    if (out.size() != m.size() * n)
        detail::fail("upsampleMarker", "the output must hold n x length(m) samples",
                     static_cast<double>(out.size()));
    // Markers change rarely: one fill per run of equal values.
    for (std::size_t i = 0; i < m.size();) {
        std::size_t j = i + 1;
        while (j < m.size() && m[j] == m[i])
            ++j;
        std::fill(out.begin() + static_cast<std::ptrdiff_t>(i * n),
                  out.begin() + static_cast<std::ptrdiff_t>(j * n), m[i]);
        i = j;
    }
}

std::vector<cplx> OneX_BasebandFilter(std::span<const cplx> frame, double oversamplingRate,
                                      const FilterChoice& filterType) {
    const char* routine = "OneX_BasebandFilter";
    const std::size_t os = checkOversampling(routine, oversamplingRate);
    const std::optional<std::vector<double>> taps =
        basebandFilterTaps(static_cast<double>(os), filterType);
    const std::size_t n = frame.size();

    if (!taps) {
        // First n samples of the full convolution with os ones (not circular).
        std::vector<cplx> out(n);
        for (std::size_t k = 0; k < n; ++k) {
            cplx acc{};
            for (std::size_t j = 0; j < os && j <= k; ++j)
                acc += frame[k - j];
            out[k] = acc;
        }
        return out;
    }

    // A zero-stuffed frame (the usual case) takes the polyphase path.
    bool stuffed = n % os == 0;
    for (std::size_t k = 0; k < n && stuffed; ++k)
        stuffed = k % os == 0 || frame[k] == 0.0;
    if (stuffed && os > 1) {
        std::vector<cplx> chips(n / os);
        for (std::size_t c = 0; c < chips.size(); ++c)
            chips[c] = frame[c * os];
        std::vector<cplx> out(n);
        circularZeroStuffed(chips, os, *taps, out);
        return out;
    }
    return circularFilter<cplx>(routine, frame, std::span<const double>(*taps));
}

void filterOversampledChips(std::span<const cplx> chips, double oversamplingRate,
                            const FilterChoice& filterType, std::span<cplx> out) {
    const std::size_t os = checkOversampling("OneX_BasebandFilter", oversamplingRate);
    if (out.size() != chips.size() * os)
        detail::fail("OneX_BasebandFilter", "the output must hold chips x oversamplingRate samples",
                     static_cast<double>(out.size()));
    const std::optional<std::vector<double>> taps =
        basebandFilterTaps(static_cast<double>(os), filterType);
    if (!taps) {  // sample and hold
        for (std::size_t c = 0; c < chips.size(); ++c)
            std::fill_n(out.begin() + static_cast<std::ptrdiff_t>(c * os), os, chips[c]);
        return;
    }
    circularZeroStuffed(chips, os, *taps, out);
}

std::vector<cplx> filterOversampledChips(std::span<const cplx> chips, double oversamplingRate,
                                         const FilterChoice& filterType) {
    const std::size_t os = checkOversampling("OneX_BasebandFilter", oversamplingRate);
    std::vector<cplx> out(chips.size() * os);
    filterOversampledChips(chips, oversamplingRate, filterType, out);
    return out;
}

std::vector<cplx> filterOversampledChips(std::span<const cplx> chips, double oversamplingRate,
                                         std::span<const double> taps) {
    const std::size_t os = checkOversampling("OneX_BasebandFilter", oversamplingRate);
    std::vector<cplx> out(chips.size() * os);
    circularZeroStuffed(chips, os, taps, out);
    return out;
}

std::vector<double> circfilt(std::span<const double> x, std::span<const double> h) {
    return circularFilter<double>("circfilt", x, h);
}

std::vector<cplx> circfilt(std::span<const cplx> x, std::span<const double> h) {
    return circularFilter<cplx>("circfilt", x, h);
}

std::vector<cplx> circfilt(std::span<const double> x, std::span<const cplx> h) {
    return circularFilter<cplx>("circfilt", x, h);
}

std::vector<cplx> circfilt(std::span<const cplx> x, std::span<const cplx> h) {
    return circularFilter<cplx>("circfilt", x, h);
}

}  // namespace onex
