#include "Analysis/CodeDomain.h"

#include <cmath>
#include <string>

#include "OneX/AirInterface.h"
#include "OneX/BasebandFilter.h"
#include "OneX/FrameBuilder.h"
#include "OneX/OverheadChannels.h"
#include "OneX/Spreading.h"
#include "platform/Error.h"
#include "platform/Fft.h"

namespace onex::analysis {

namespace {

using cplx = std::complex<double>;

// Chips [first, first + count) of the frame.
struct ChipRange {
    std::size_t first, count;
};

// The receiver's filter: the baseband filter's taps and the sample, counted
// back from a chip's own, where its matched-filter window starts. The frame
// builder aligns the designed filters on their centre tap (floor(L/2)); the
// sample-and-hold filter holds chip c over samples c*os .. c*os + os - 1.
struct MatchedFilter {
    std::vector<double> taps;
    std::size_t lead = 0;
};

MatchedFilter matchedFilter(std::size_t os, const FilterChoice& filterType) {
    std::optional<std::vector<double>> taps =
        basebandFilterTaps(static_cast<double>(os), filterType);
    if (!taps) return {std::vector<double>(os, 1.0), 0};
    const std::size_t lead = taps->size() / 2;
    return {std::move(*taps), lead};
}

// The real and imaginary parts of sum_m h[m] x_q[m] over l complex samples
// x_q = x + q stride (interleaved real, imaginary) for the `Rows` windows q,
// with hh = each tap twice. Four-lane vectors keep the sums in registers
// (their order differs from a plain loop's only in the last bits); several
// windows at once share the taps and keep the adder busy, each window summed
// in exactly the order it would be alone.
template <std::size_t Rows>
#if defined(__GNUC__)
__attribute__((always_inline))
#endif
inline void
dotComplexRows(const double* hh, const double* x, std::size_t stride, std::size_t l, cplx* out) {
    const std::size_t len = 2 * l;
    std::size_t j = 0;
    double re[Rows] = {}, im[Rows] = {};
#if defined(__GNUC__)
    typedef double Vec4 __attribute__((vector_size(32)));
    Vec4 a0[Rows] = {}, a1[Rows] = {};
    for (; j + 8 <= len; j += 8) {
        Vec4 h0, h1;
        __builtin_memcpy(&h0, hh + j, sizeof h0);
        __builtin_memcpy(&h1, hh + j + 4, sizeof h1);
        for (std::size_t q = 0; q < Rows; ++q) {
            Vec4 x0, x1;
            __builtin_memcpy(&x0, x + q * stride + j, sizeof x0);
            __builtin_memcpy(&x1, x + q * stride + j + 4, sizeof x1);
            a0[q] += h0 * x0;
            a1[q] += h1 * x1;
        }
    }
    for (std::size_t q = 0; q < Rows; ++q) {
        const Vec4 a = a0[q] + a1[q];  // lanes: re, im, re, im
        re[q] = a[0] + a[2];
        im[q] = a[1] + a[3];
    }
#endif
    for (std::size_t q = 0; q < Rows; ++q) {
        const double* xq = x + q * stride;
        for (std::size_t i = j; i < len; i += 2) {
            re[q] += hh[i] * xq[i];
            im[q] += hh[i + 1] * xq[i + 1];
        }
        out[q] = {re[q], im[q]};
    }
}

// With GCC the kernels are also built for AVX2 and chosen at run time.
#if defined(__GNUC__) && defined(__x86_64__) && !defined(__clang__)
#define ONEX_AVX2_CLONE __attribute__((target_clones("avx2", "default")))
#else
#define ONEX_AVX2_CLONE
#endif

constexpr std::size_t kWindowsAtOnce = 4;

ONEX_AVX2_CLONE cplx dotComplex(const double* hh, const double* x, std::size_t l) {
    cplx out;
    dotComplexRows<1>(hh, x, 0, l, &out);
    return out;
}

ONEX_AVX2_CLONE void dotComplexWindows(const double* hh, const double* x, std::size_t stride,
                                       std::size_t l, cplx* out) {
    dotComplexRows<kWindowsAtOnce>(hh, x, stride, l, out);
}

// Sum over m of h[m] y[(c os - lead + m) mod n] / sum h^2 for every chip c:
// with y = the chips through h, chip c's own term comes out with gain 1, the
// other chips' through the autocorrelation of h at multiples of os (zero for
// the rectangular and the absent filter).
std::vector<cplx> matchedFilterAtChips(std::span<const cplx> wave, std::size_t os,
                                       const MatchedFilter& f) {
    const std::size_t n = wave.size(), l = f.taps.size(), chips = n / os;
    double energy = 0;
    std::vector<double> hh(2 * l);
    for (std::size_t m = 0; m < l; ++m) {
        energy += f.taps[m] * f.taps[m];
        hh[2 * m] = hh[2 * m + 1] = f.taps[m];
    }
    // std::complex is laid out as its real and imaginary part.
    const double* samples = reinterpret_cast<const double*>(wave.data());
    std::vector<cplx> wrapped(l);
    std::vector<cplx> z(chips);
    for (std::size_t c = 0; c < chips; ++c) {
        const std::size_t first = (c * os + n - f.lead % n) % n;
        // Windows of the next chips os samples apart, none running past the
        // end: together.
        if (c + kWindowsAtOnce <= chips && first + f.lead == c * os &&
            first + (kWindowsAtOnce - 1) * os + l <= n) {
            dotComplexWindows(hh.data(), samples + 2 * first, 2 * os, l, &z[c]);
            for (std::size_t q = 0; q < kWindowsAtOnce; ++q)
                z[c + q] /= energy;
            c += kWindowsAtOnce - 1;
            continue;
        }
        const double* x = samples + 2 * first;
        if (first + l > n) {  // the window runs past the end: gather it
            for (std::size_t m = 0; m < l; ++m)
                wrapped[m] = wave[(first + m) % n];
            x = reinterpret_cast<const double*>(wrapped.data());
        }
        z[c] = dotComplex(hh.data(), x, l) / energy;
    }
    return z;
}

// The matched filter's response to one chip at whole-chip distances k:
// q_k = sum_m h[m] h[m + k os] / sum h^2 for k = 0 .. (L - 1) / os; q_-k = q_k.
std::vector<double> chipResponse(const std::vector<double>& h, std::size_t os) {
    const std::size_t l = h.size();
    std::vector<double> q;
    for (std::size_t lag = 0; lag < l; lag += os) {
        double r = 0;
        for (std::size_t m = 0; m + lag < l; ++m)
            r += h[m] * h[m + lag];
        q.push_back(r);
    }
    const double energy = q[0];
    for (double& v : q)
        v /= energy;
    return q;
}

// Divides the chip-rate response q out of the matched filter's chips: the
// frame repeats, so the chips are the circular convolution of the sent chips
// with q, and one transform of each undoes it.
void equalize(std::vector<cplx>& z, const std::vector<double>& q) {
    if (q.size() < 2) return;  // no interference to remove
    const std::size_t n = z.size();
    std::vector<cplx> response(n);
    for (std::size_t k = 0; k < q.size(); ++k) {
        response[k % n] += q[k];
        if (k) response[(n - k % n) % n] += q[k];
    }
    platform::fftInPlace(response);
    platform::fftInPlace(z);
    for (std::size_t k = 0; k < n; ++k)
        z[k] /= response[k] * static_cast<double>(n);
    platform::ifftInPlaceUnscaled(z);
}

// The chips where each channel is on, where the frame builder puts them.
std::vector<ChipRange> channelChips(CodeChannel channel, const ChannelSwitches& on) {
    std::vector<ChipRange> out;
    for (const ChannelStretch& s : channelStretches(channel, on))
        out.push_back({s.first, s.count});
    return out;
}

// Mean square of the decovered symbols (each the mean of its chips times the
// Walsh code) over the channel's chips; nothing when it has none.
std::optional<double> symbolPower(std::span<const cplx> d, CodeChannel channel,
                                  std::span<const ChipRange> ranges) {
    const WalshCode code = walshCoverOf(channel);
    const RealMatrix walsh = OneX_WalshMatrix(code.order);
    const std::span<const double> w = walsh.row(code.row);
    const std::size_t len = w.size();
    const bool real = onInPhase(channel);
    double sum = 0;
    std::size_t symbols = 0;
    for (const ChipRange& r : ranges)
        for (std::size_t s = r.first; s + len <= r.first + r.count; s += len) {
            double acc = 0;
            for (std::size_t i = 0; i < len; ++i)
                acc += (real ? d[s + i].real() : d[s + i].imag()) * w[i];
            acc /= static_cast<double>(len);
            sum += acc * acc;
            ++symbols;
        }
    if (symbols == 0) return std::nullopt;
    return sum / static_cast<double>(symbols);
}

double configuredGain(CodeChannel channel, const Parameters& p) {
    switch (channel) {
        case CodeChannel::DRC:
            return p.DRCrelGain;
        case CodeChannel::ACK:
            return p.ACKrelGain;
        case CodeChannel::Data:
            return p.DATArelGain;
        default:
            return 0;
    }
}

std::size_t frameOversampling(std::span<const cplx> wave, const Parameters& p) {
    const double os = p.OverSampling;
    if (!(os >= 1 && os <= kMaxOverSampling && os == std::floor(os)))
        throw Error("Measurements: OverSampling must be a whole number from 1 to " +
                    std::to_string(kMaxOverSampling));
    const std::size_t expected = kFrameChips * static_cast<std::size_t>(os);
    if (wave.size() != expected)
        throw Error("Measurements: the waveform has " + std::to_string(wave.size()) +
                    " samples; a frame at OverSampling " + std::to_string(std::size_t(os)) +
                    " has " + std::to_string(expected));
    return static_cast<std::size_t>(os);
}

}  // namespace

std::vector<cplx> despreadChips(std::span<const cplx> wave, const Parameters& p,
                                Receiver receiver) {
    const std::size_t os = frameOversampling(wave, p);
    const MatchedFilter filter = matchedFilter(os, p.FilterType);
    std::vector<cplx> d = matchedFilterAtChips(wave, os, filter);
    if (receiver == Receiver::Equalized) equalize(d, chipResponse(filter.taps, os));
    // The spreading sequence is what a frame of ones is spread into; each of
    // its chips has power 2.
    const std::vector<cplx> pn =
        OneX_RevQuadSpreading(std::vector<cplx>(kFrameChips, 1.0), p.IMask, p.QMask);
    // MirrorSpectrum 0 sends the conjugate (the taps are real, so conjugating
    // after the filter is the same as before it).
    const bool mirrored = p.MirrorSpectrum == 0;
    for (std::size_t c = 0; c < d.size(); ++c)
        d[c] = (mirrored ? std::conj(d[c]) : d[c]) * std::conj(pn[c]) / 2.0;
    return d;
}

CodeDomainResult measureCodeDomain(std::span<const cplx> wave, const Parameters& p,
                                   Receiver receiver) {
    // The ideal frame first: it checks the parameter set as Calculate does.
    const std::vector<double> dataBits = prepareDataBits(p);
    const FrameInputs inputs = frameInputsFrom(p, dataBits);
    const ChipFrame ideal = chipFrameOf(inputs);
    const std::vector<cplx> d = despreadChips(wave, p, receiver);

    CodeDomainResult r;
    double cross_re = 0, cross_im = 0, measured = 0, reference = 0;
    for (std::size_t c = 0; c < d.size(); ++c) {
        const cplx x = d[c] * std::conj(ideal.chips[c]);
        cross_re += x.real();
        cross_im += x.imag();
        measured += std::norm(d[c]);
        reference += std::norm(ideal.chips[c]);
    }
    r.rho = (cross_re * cross_re + cross_im * cross_im) / (measured * reference);

    std::array<std::optional<double>, kCodeChannels> power;
    for (std::size_t k = 0; k < kCodeChannels; ++k) {
        const auto channel = static_cast<CodeChannel>(k);
        const std::vector<ChipRange> ranges = channelChips(channel, channelSwitchesOf(inputs));
        power[k] = symbolPower(d, channel, ranges);
        r.channels[k].active = power[k].has_value();
        r.channels[k].configuredDb = configuredGain(channel, p);
    }
    const double pilot = *power[0];  // the pilot has chips in every slot
    for (std::size_t k = 0; k < kCodeChannels; ++k)
        if (power[k]) r.channels[k].measuredDb = 10 * std::log10(*power[k] / pilot);
    return r;
}

}  // namespace onex::analysis
