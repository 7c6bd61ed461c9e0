#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <numbers>

#include "OneX/ErrorText.h"
#include "OneX/FrameBuilder.h"
#include "OneX/Impairments.h"
#include "platform/Fft.h"

using namespace onex;
using C = std::complex<double>;
using L = long double;

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr L kPi = 3.141592653589793238462643383279502884L;

// A short frame of unrelated values, and its mean power.
const std::vector<C> kShort = {{0.5, -1.25}, {1.75, 0.25}, {-0.75, 0.5}, {0.1, 2.0},
                               {-1.5, -0.3}, {0.0, 0.8},   {1.1, -0.9},  {-0.2, -1.7}};

L meanPower(const std::vector<C>& x) {
    L s = 0;
    for (C v : x)
        s += static_cast<L>(std::norm(v));
    return s / static_cast<L>(x.size());
}

Parameters off() {
    return InitializeParameters();
}

// A frame's samples as a vector of their own (the frame's are read-only).
std::vector<C> wave(const FrameResult& f) {
    return {f.waveform.begin(), f.waveform.end()};
}

std::vector<C> impaired(std::vector<C> x, const Parameters& p, double fs) {
    applyImpairments(x, planImpairments(p, fs, x.size()));
    return x;
}

void expectNear(const std::vector<C>& got, const std::vector<std::complex<L>>& want, double tol) {
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t n = 0; n < got.size(); ++n) {
        EXPECT_NEAR(got[n].real(), static_cast<double>(want[n].real()), tol) << "sample " << n;
        EXPECT_NEAR(got[n].imag(), static_cast<double>(want[n].imag()), tol) << "sample " << n;
    }
}

// Box-Muller written from its definition with long-double libm, on the
// uniforms of the documented Philox stream (whose blocks the reference
// vectors below pin down).
std::complex<L> referenceNormal(std::uint32_t seed, std::uint64_t n) {
    const auto w = noise::philox4x32(
        {static_cast<std::uint32_t>(n), static_cast<std::uint32_t>(n >> 32), 0, 0}, {seed, 0});
    const auto top53 = [](std::uint32_t hi, std::uint32_t lo) {
        return ((std::uint64_t{hi} << 32) | lo) >> 11;
    };
    const L u1 = static_cast<L>(top53(w[1], w[0]) + 1) * 0x1p-53L;
    const L u2 = static_cast<L>(top53(w[3], w[2])) * 0x1p-53L;
    const L r = std::sqrt(-2 * std::log(u1));
    return {r * std::cos(2 * kPi * u2), r * std::sin(2 * kPi * u2)};
}

}  // namespace

// Random123's known-answer vectors for Philox4x32-10 (counter, key, output).
TEST(Impairments, PhiloxMatchesPublishedReferenceOutputs) {
    using W4 = std::array<std::uint32_t, 4>;
    EXPECT_EQ(noise::philox4x32({0, 0, 0, 0}, {0, 0}),
              (W4{0x6627e8d5, 0xe169c58d, 0xbc57ac4c, 0x9b00dbd8}));
    EXPECT_EQ(noise::philox4x32({0xffffffff, 0xffffffff, 0xffffffff, 0xffffffff},
                                {0xffffffff, 0xffffffff}),
              (W4{0x408f276d, 0x41c83b0e, 0xa20bc7c6, 0x6d5451fd}));
    EXPECT_EQ(noise::philox4x32({0x243f6a88, 0x85a308d3, 0x13198a2e, 0x03707344},
                                {0xa4093822, 0x299f31d0}),
              (W4{0xd16cfe09, 0x94fdcceb, 0x5001e420, 0x24126ea1}));
}

TEST(Impairments, PolynomialLogAndSineAreWithinTwoUlp) {
    for (double u : {0x1p-53, 1e-12, 0.001, 0.25, 0.70710678, 0.7071068, 0.999, 1.0 - 0x1p-53, 1.0})
        EXPECT_NEAR(noise::logUnit(u), std::log(u), 4.5e-16 * std::max(1.0, std::fabs(std::log(u))))
            << u;
    for (int k = 0; k < 4096; ++k) {
        const double t = k / 4096.0 + 0x1p-20;
        const auto cs = noise::cosSinTurn(t);
        EXPECT_NEAR(cs[0], static_cast<double>(std::cos(2 * kPi * t)), 4.5e-16);
        EXPECT_NEAR(cs[1], static_cast<double>(std::sin(2 * kPi * t)), 4.5e-16);
    }
}

TEST(Impairments, EveryImpairmentOffLeavesTheFrameBitForBit) {
    Parameters p = InitializeParameters();
    p.DRCactive = p.ACKactive = p.DATAactive = 1;
    const std::vector<double> bits = prepareDataBits(p);
    const std::vector<C> builder = wave(OneX_RevTrfChn(frameInputsFrom(p, bits)));
    for (double fs : {chipSamplingRate(p.OverSampling), 1e6}) {
        const std::vector<C> calculated = wave(Calculate(p, fs));
        ASSERT_EQ(calculated.size(), builder.size());
        EXPECT_EQ(std::memcmp(calculated.data(), builder.data(), builder.size() * sizeof(C)), 0);
    }
    // A seed or a snap setting alone asks for nothing.
    p.NoiseSeed = 99;
    p.FreqErrorSnap = 0;
    EXPECT_EQ(std::memcmp(Calculate(p).waveform.data(), builder.data(), builder.size() * sizeof(C)),
              0);
}

// The frequency error over a frame longer than the implementation's chunks,
// at a frequency that does not fit the frame.
TEST(Impairments, FrequencyErrorTurnsEverySampleByItsOwnPhase) {
    std::vector<C> x(1500);
    for (std::size_t n = 0; n < x.size(); ++n)
        x[n] = kShort[n % kShort.size()];
    Parameters p = off();
    p.FreqError = -12345.6;
    p.FreqErrorSnap = 0;
    const double fs = 6144000;
    std::vector<std::complex<L>> want(x.size());
    for (std::size_t n = 0; n < x.size(); ++n)
        want[n] = std::complex<L>(x[n]) * std::polar(1.0L, 2 * kPi * L{p.FreqError} * n / fs);
    // The phase reaches 3 turns, whose last bit in double is 4.4e-16 turns.
    expectNear(impaired(x, p, fs), want, 1e-14);
}

TEST(Impairments, AllFourApplyInOrderOnePlanForTheFrame) {
    Parameters p = off();
    p.IQGainImbalance = -2;
    p.QuadratureError = 7;
    p.CarrierLeakage = -15;
    p.FreqError = 1499;  // snapped to the frame: fs / N = 1000 Hz
    p.CNRatio = 10;
    p.NoiseSeed = 7;
    const double fs = 8000;
    const ImpairmentPlan plan = planImpairments(p, fs, kShort.size());
    EXPECT_EQ(plan.freqHz, 1000);
    EXPECT_EQ(plan.snapCycles, 1);

    const L power = meanPower(kShort);
    const L a = std::pow(10.0L, -2.0L / 40), h = 3.5L * kPi / 180;
    const L sigma = std::sqrt(power * std::pow(10.0L, -1.0L) * fs / 1228800 / 2);
    std::vector<std::complex<L>> want(kShort.size());
    for (std::size_t n = 0; n < kShort.size(); ++n) {
        const L i = kShort[n].real(), q = kShort[n].imag();
        std::complex<L> y{
            a * (i * std::cos(h) + q * std::sin(h)) + std::pow(10.0L, -0.75L) * std::sqrt(power),
            (q * std::cos(h) + i * std::sin(h)) / a};
        y *= std::polar(1.0L, 2 * kPi * n / 8);  // one whole cycle over the 8 samples
        want[n] = y + sigma * referenceNormal(7, n);
    }
    expectNear(impaired(kShort, p, fs), want, 1e-14);
    EXPECT_EQ(describeImpairments(plan),
              "I/Q gain imbalance -2 dB, quadrature error 7 deg, carrier leakage -15 dBc, "
              "frequency error 1000 Hz (1499 Hz asked, snapped to a multiple of 1000 Hz), C/N 10 "
              "dB (seed 7)");
}

TEST(Impairments, SnapRoundsToWholeCyclesHalvesAwayFromZero) {
    Parameters p = off();
    const auto snapped = [&](double f) {
        p.FreqError = f;
        return planImpairments(p, 8000, 8).freqHz;  // steps of 1000 Hz
    };
    EXPECT_EQ(snapped(1400), 1000);
    EXPECT_EQ(snapped(1500), 2000);
    EXPECT_EQ(snapped(-1500), -2000);
    EXPECT_EQ(snapped(400), 0);
    // The default frame: steps of 6144000 / 163840 = 37.5 Hz.
    p.FreqError = 1000;
    EXPECT_EQ(planImpairments(p, 6144000, 163840).freqHz, 1012.5);
    p.FreqErrorSnap = 0;
    EXPECT_EQ(planImpairments(p, 6144000, 163840).freqHz, 1000);
}

TEST(Impairments, RefusesValuesWithoutMeaning) {
    Parameters p = InitializeParameters();
    p.CarrierLeakage = kInf;  // "off" is -Inf
    EXPECT_EQ(testsupport::errorText([&] { planImpairments(p, 6144000, 8); }),
              "Impairments: CarrierLeakage must be a number or -Inf (off) (got Inf)");
    p = InitializeParameters();
    p.NoiseSeed = 4294967296.0;
    EXPECT_EQ(testsupport::errorText([&] { planImpairments(p, 6144000, 8); }),
              "Impairments: NoiseSeed must be a whole number from 0 to 4294967295 (got "
              "4294967296)");
}

// The noise of a real frame at OverSampling 8: its power over the chip-rate
// band is the set C/N below the carrier, flat over the whole sample rate, and
// Gaussian.
TEST(Impairments, NoiseHasTheSetCarrierToNoiseRatioAndIsWhiteGaussian) {
    Parameters p = InitializeParameters();
    p.OverSampling = 8;
    p.DRCactive = p.DATAactive = 1;
    const double fs = chipSamplingRate(8);
    const std::vector<C> clean = wave(Calculate(p));
    const std::size_t n = clean.size();
    const double carrier = static_cast<double>(meanPower(clean));
    for (std::uint32_t seed : {0u, 1u, 77u, 4294967295u}) {
        p.CNRatio = 13;
        p.NoiseSeed = seed;
        std::vector<C> w = wave(Calculate(p));
        for (std::size_t i = 0; i < n; ++i)
            w[i] -= clean[i];  // the noise alone: it is added last
        const std::vector<C> spectrum = platform::fft(w);
        // Power per bin (Parseval: sum |X|^2 / N^2 is the mean power).
        std::vector<double> bins(n);
        for (std::size_t k = 0; k < n; ++k)
            bins[k] = std::norm(spectrum[k]) / (static_cast<double>(n) * n);
        double inBand = 0;
        const double halfBand = kNoiseBandwidthHz / 2, df = fs / static_cast<double>(n);
        for (std::size_t k = 0; k < n; ++k) {
            const double f = (k < n / 2 ? static_cast<double>(k) : static_cast<double>(k) - n) * df;
            if (std::fabs(f) < halfBand) inBand += bins[k];
        }
        EXPECT_NEAR(10 * std::log10(carrier / inBand), 13, 0.1) << "seed " << seed;

        // White: 16 equal sub-bands of the sample rate within 0.25 dB of the
        // mean (each holds 16384 bins: one standard deviation is 0.034 dB).
        const std::size_t width = n / 16;
        double total = 0;
        for (double b : bins)
            total += b;
        for (std::size_t s = 0; s < 16; ++s) {
            double part = 0;
            for (std::size_t k = s * width; k < (s + 1) * width; ++k)
                part += bins[k];
            EXPECT_NEAR(10 * std::log10(part * 16 / total), 0, 0.25) << "seed " << seed;
        }

        // Gaussian: kurtosis 3 of each component (standard error
        // sqrt(24 / N) = 0.0096), equal variances, uncorrelated.
        double m2i = 0, m2q = 0, m4i = 0, m4q = 0, iq = 0;
        for (C v : w) {
            m2i += v.real() * v.real();
            m2q += v.imag() * v.imag();
            m4i += std::pow(v.real(), 4);
            m4q += std::pow(v.imag(), 4);
            iq += v.real() * v.imag();
        }
        const double dn = static_cast<double>(n);
        EXPECT_NEAR(m4i * dn / (m2i * m2i), 3, 0.05);
        EXPECT_NEAR(m4q * dn / (m2q * m2q), 3, 0.05);
        EXPECT_NEAR(m2i / m2q, 1, 0.015);
        EXPECT_NEAR(iq / std::sqrt(m2i * m2q), 0, 0.01);
    }
}

TEST(Impairments, SeedsGiveTheirOwnNoise) {
    Parameters p = InitializeParameters();
    p.CNRatio = 20;
    p.NoiseSeed = 5;
    const std::vector<C> a = wave(Calculate(p)), again = wave(Calculate(p));
    EXPECT_EQ(std::memcmp(a.data(), again.data(), a.size() * sizeof(C)), 0);
    p.NoiseSeed = 6;
    const std::vector<C> b = wave(Calculate(p));
    std::size_t same = 0;
    for (std::size_t i = 0; i < a.size(); ++i)
        same += a[i] == b[i];
    EXPECT_EQ(same, 0u);
}

// A capture analysis sees the I/Q errors in the covariance of I and Q. With
// the clean frame's covariance [[p r] [r q]], the formulas give
//   E[I'Q'] = r + sin(phi) (p + q) / 2,
//   E[I'^2] / E[Q'^2] = a^4 (c^2 p + 2csr + s^2 q) / (c^2 q + 2csr + s^2 p),
// with c, s = cos, sin(phi / 2): phi and G come back in closed form.
TEST(Impairments, GainAndQuadratureErrorsComeBackFromTheCovariance) {
    Parameters p = InitializeParameters();
    p.DRCactive = p.ACKactive = 1;
    const std::vector<C> clean = wave(Calculate(p));
    const auto covariance = [](const std::vector<C>& x) {
        L ii = 0, qq = 0, iq = 0;
        for (C v : x) {
            ii += static_cast<L>(v.real()) * v.real();
            qq += static_cast<L>(v.imag()) * v.imag();
            iq += static_cast<L>(v.real()) * v.imag();
        }
        return std::array<L, 3>{ii, qq, iq};
    };
    const auto [ci, cq, cr] = covariance(clean);
    for (auto [g, phi] : {std::pair{0.7, 3.3}, std::pair{-2.9, -9.5}, std::pair{3.0, 0.0}}) {
        p.IQGainImbalance = g;
        p.QuadratureError = phi;
        const auto [ii, qq, iq] = covariance(wave(Calculate(p)));
        const L sinPhi = 2 * (iq - cr) / (ci + cq);
        const L phiFound = std::asin(sinPhi) * 180 / kPi;
        const L c = std::cos(phiFound * kPi / 360), s = std::sin(phiFound * kPi / 360);
        const L a4 = ii / qq * (c * c * cq + 2 * c * s * cr + s * s * ci) /
                     (c * c * ci + 2 * c * s * cr + s * s * cq);
        EXPECT_NEAR(static_cast<double>(phiFound), phi, 0.01);
        EXPECT_NEAR(static_cast<double>(10 * std::log10(a4)), g, 0.01);
    }
}

// The chunked generator and the one-sample definition agree, also where the
// 64-bit counter carries into its upper word.
TEST(Impairments, ChunkedNoiseIsTheDefinedStreamAcrossTheCounterCarry) {
    std::vector<double> re(700), im(700);
    const std::uint64_t first = 0xFFFFFF00ull;  // the carry at sample 256
    noise::gaussianPairs(3, first, re, im);
    for (std::size_t i : {0u, 255u, 256u, 257u, 699u}) {
        const std::complex<L> want = referenceNormal(3, first + i);
        EXPECT_NEAR(re[i], static_cast<double>(want.real()), 1e-14) << i;
        EXPECT_NEAR(im[i], static_cast<double>(want.imag()), 1e-14) << i;
    }
}

// The vectorised paths (whole blocks of lanes, tails, chunks, the counter
// carry) give every sample exactly what the one-value functions give.
TEST(Impairments, VectorisedPathsAreTheOneSampleDefinitionBitForBit) {
    const auto normal = [](std::uint32_t seed, std::uint64_t n) {
        const auto u = noise::uniforms(seed, n);
        const double r = std::sqrt(-2 * noise::logUnit(u[0]));
        const auto cs = noise::cosSinTurn(u[1]);
        return C(r * cs[0], r * cs[1]);
    };
    for (std::uint64_t first : {0ull, 0xFFFFFFFBull})
        for (std::size_t size : {1u, 6u, 13u, 515u, 1037u}) {
            std::vector<double> re(size), im(size);
            noise::gaussianPairs(11, first, re, im);
            for (std::size_t i = 0; i < size; ++i)
                ASSERT_EQ(C(re[i], im[i]), normal(11, first + i)) << first << " + " << i;
        }

    // Unit power (every |x| = 1), C/N 0 dB at twice the chip rate: sigma is
    // exactly 1 and the leakage 10^(C/20). Each combination of the I/Q
    // errors, the leakage and the noise (each a variant of the fused pass).
    const double fs = 2 * kNoiseBandwidthHz;
    const double a = std::pow(10.0, 0.5 / 40), ia = 1 / a, leak = std::pow(10.0, -20.0 / 20);
    const auto cs = noise::cosSinTurn(3.0 / 720);
    const double ch = cs[0], sh = -cs[1];
    for (int on = 1; on < 8; ++on) {
        Parameters p = off();
        if (on & 1) {
            p.IQGainImbalance = 0.5;
            p.QuadratureError = -3;
        }
        if (on & 2) p.CarrierLeakage = -20;
        if (on & 4) p.CNRatio = 0;
        p.NoiseSeed = 5;
        for (std::size_t size : {1u, 7u, 515u}) {
            std::vector<C> x(size);
            for (std::size_t n = 0; n < size; ++n)
                x[n] = std::array<C, 4>{C(1, 0), C(0, -1), C(-1, 0), C(0, 1)}[n % 4];
            const std::vector<C> y = impaired(x, p, fs);
            for (std::size_t n = 0; n < size; ++n) {
                double i = x[n].real(), q = x[n].imag();
                if (on & 1) {
                    const double r = a * (i * ch + q * sh);
                    q = ia * (q * ch + i * sh);
                    i = r;
                }
                if (on & 2) i += leak;
                const C want = (on & 4) ? C(i, q) + normal(5, n) : C(i, q);
                ASSERT_EQ(y[n], want) << on << ", " << size << ": " << n;
            }
        }
    }
}
