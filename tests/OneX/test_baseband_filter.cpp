#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "OneX/BasebandFilter.h"
#include "OneX/FirDesign.h"
#include "platform/Error.h"

using namespace onex;
using C = std::complex<double>;

namespace {

// Circular filtering straight from its closed form (0-based):
// y(k) = sum_j h(j) x((k + D - j) mod N), D = floor(L/2).
template <class X, class H>
auto referenceCircular(const std::vector<X>& x, const std::vector<H>& h, std::size_t k) {
    const std::size_t n = x.size(), l = h.size(), d = l / 2;
    decltype(X{} * H{}) acc{};
    for (std::size_t j = 0; j < l; ++j)
        acc += h[j] * x[(k + d + n * l - j) % n];
    return acc;
}

std::vector<double> randomReal(std::size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    std::uniform_real_distribution<double> u(-1, 1);
    std::vector<double> v(n);
    for (double& x : v)
        x = u(gen);
    return v;
}

std::vector<C> randomComplex(std::size_t n, unsigned seed) {
    const std::vector<double> a = randomReal(2 * n, seed);
    std::vector<C> v(n);
    for (std::size_t i = 0; i < n; ++i)
        v[i] = {a[2 * i], a[2 * i + 1]};
    return v;
}

template <class T>
double maxAbs(const std::vector<T>& v) {
    double m = 0;
    for (const T& x : v)
        m = std::max(m, std::abs(x));
    return m;
}

template <class T>
double maxRelDiff(const std::vector<T>& a, const std::vector<T>& b) {
    double m = 0;
    for (std::size_t i = 0; i < a.size(); ++i)
        m = std::max(m, std::abs(a[i] - b[i]));
    return m / maxAbs(b);
}

}  // namespace

TEST(Oversampling, ZeroStuffingAndMarkerHold) {
    EXPECT_EQ(upsample(std::vector<double>{1, 2, 3}, 3),
              (std::vector<double>{1, 0, 0, 2, 0, 0, 3, 0, 0}));
    EXPECT_EQ(upsample(std::vector<C>{{1, 1}, {2, -2}}, 2),
              (std::vector<C>{{1, 1}, 0, {2, -2}, 0}));
    EXPECT_EQ(upsampleMarker(std::vector<double>{1, 0, 1}, 2),
              (std::vector<double>{1, 1, 0, 0, 1, 1}));
    EXPECT_EQ(upsample(std::vector<double>{1, 2}, 1), (std::vector<double>{1, 2}));
    EXPECT_THROW(upsample(std::vector<double>{1}, 1.5), Error);
    EXPECT_THROW(upsampleMarker(std::vector<double>(1000), 1e9), Error);
}

TEST(BasebandFilter, SelectionTable) {
    EXPECT_EQ(selectBasebandFilter(1.0), BasebandFilterKind::Rectangular);
    EXPECT_EQ(selectBasebandFilter(2.0), BasebandFilterKind::IS95Std);
    EXPECT_EQ(selectBasebandFilter(3.0), BasebandFilterKind::IS95Acp);
    EXPECT_EQ(selectBasebandFilter(4.0), BasebandFilterKind::None);
    EXPECT_EQ(selectBasebandFilter(7.0), BasebandFilterKind::IS95Std);
    EXPECT_EQ(selectBasebandFilter(std::string("IS95-STD")), BasebandFilterKind::IS95Std);
    EXPECT_EQ(selectBasebandFilter(std::string("IS95-ACP")), BasebandFilterKind::IS95Acp);
    EXPECT_EQ(selectBasebandFilter(std::string("IS95-EVM")), BasebandFilterKind::None);
    EXPECT_EQ(selectBasebandFilter(std::string("is95-std")), BasebandFilterKind::Rectangular);
}

TEST(BasebandFilter, RectangularAndPassThrough) {
    const C a{1, 2}, b{-3, 0.5};
    const std::vector<C> stuffed{a, 0, 0, b, 0, 0};
    const std::vector<C> held{a, a, a, b, b, b};
    EXPECT_EQ(OneX_BasebandFilter(stuffed, 3, 1.0), held);
    EXPECT_EQ(OneX_BasebandFilter(stuffed, 3, std::string("anything")), held);
    // Not circular: the first samples see only what precedes them.
    EXPECT_EQ(OneX_BasebandFilter(std::vector<C>{1, 2, 3, 4}, 2, 1.0),
              (std::vector<C>{1, 3, 5, 7}));
    EXPECT_EQ(filterOversampledChips(std::vector<C>{a, b}, 3, 1.0), held);

    const std::vector<C> frame = randomComplex(300, 1);
    EXPECT_EQ(OneX_BasebandFilter(frame, 3, 4.0), frame);
    EXPECT_EQ(OneX_BasebandFilter(frame, 3, std::string("IS95-EVM")), frame);
    EXPECT_EQ(OneX_BasebandFilter(frame, 1, 4.0), frame);

    EXPECT_THROW(OneX_BasebandFilter(frame, 0, 4.0), Error);
    EXPECT_THROW(OneX_BasebandFilter(frame, 31, 4.0), Error);
    EXPECT_THROW(OneX_BasebandFilter(frame, 2.5, 1.0), Error);
    EXPECT_THROW(OneX_BasebandFilter(frame, std::nan(""), 1.0), Error);
}

TEST(Circfilt, ImpulseGivesTheTapsCentredAndWrapped) {
    for (std::size_t l : {6u, 7u}) {
        const std::size_t n = 20, d = l / 2;
        std::vector<double> x(n, 0.0);
        x[0] = 1;
        const std::vector<double> h = randomReal(l, 7);
        const std::vector<double> y = circfilt(x, h);
        ASSERT_EQ(y.size(), n);
        // 1-based: output(k) = h(k + D) for k = 1..L-D, output(N-D+k) = h(k), k = 1..D.
        for (std::size_t k = 1; k <= l - d; ++k)
            EXPECT_EQ(y[k - 1], h[k + d - 1]);
        for (std::size_t k = 1; k <= d; ++k)
            EXPECT_EQ(y[n - d + k - 1], h[k - 1]);
        for (std::size_t k = l - d; k < n - d; ++k)
            EXPECT_EQ(y[k], 0.0);
    }
}

TEST(Circfilt, MatchesTheDefinitionForEveryTypeAndLength) {
    // Short filters take the direct sum, long ones the transform.
    for (std::size_t l : {1u, 31u, 64u, 65u, 300u}) {
        const std::vector<double> xr = randomReal(1000, 3);
        const std::vector<C> xc = randomComplex(1000, 4);
        const std::vector<double> hr = randomReal(l, 5);
        const std::vector<C> hc = randomComplex(l, 6);
        std::vector<double> rr(1000);
        std::vector<C> rc(1000), cr(1000), cc(1000);
        for (std::size_t k = 0; k < 1000; ++k) {
            rr[k] = referenceCircular(xr, hr, k);
            cr[k] = referenceCircular(xc, hr, k);
            rc[k] = referenceCircular(xr, hc, k);
            cc[k] = referenceCircular(xc, hc, k);
        }
        EXPECT_LT(maxRelDiff(circfilt(xr, hr), rr), 1e-12) << l;
        EXPECT_LT(maxRelDiff(circfilt(xc, hr), cr), 1e-12) << l;
        EXPECT_LT(maxRelDiff(circfilt(xr, hc), rc), 1e-12) << l;
        EXPECT_LT(maxRelDiff(circfilt(xc, hc), cc), 1e-12) << l;
    }
    // A signal as short as the taps less one still works; shorter is refused.
    EXPECT_NO_THROW(circfilt(randomReal(30, 1), randomReal(31, 2)));
    EXPECT_THROW(circfilt(randomReal(29, 1), randomReal(31, 2)), Error);
    EXPECT_THROW(circfilt(randomReal(29, 1), std::vector<double>{}), Error);
}

TEST(Circfilt, NoSeamAtTheFrameBoundary) {
    for (std::size_t l : {31u, 200u}) {
        const std::vector<C> x = randomComplex(500, 11);
        const std::vector<double> h = randomReal(l, 12);
        std::vector<C> twice(x);
        twice.insert(twice.end(), x.begin(), x.end());
        const std::vector<C> y = circfilt(x, h);
        const std::vector<C> y2 = circfilt(twice, h);
        std::vector<C> expected(y);
        expected.insert(expected.end(), y.begin(), y.end());
        EXPECT_LT(maxRelDiff(y2, expected), 1e-12) << l;
    }
}

TEST(OversampledFilter, PolyphaseEqualsTheDefinition) {
    // Whole short frame, every output.
    {
        const std::vector<C> chips = randomComplex(512, 21);
        const std::vector<double> h = randomReal(130, 22);
        const std::vector<C> stuffed = upsample(chips, 5);
        std::vector<C> ref(stuffed.size());
        for (std::size_t k = 0; k < ref.size(); ++k)
            ref[k] = referenceCircular(stuffed, h, k);
        EXPECT_LT(maxRelDiff(filterOversampledChips(chips, 5, h), ref), 1e-12);
    }
    // The largest frame and filter (30 x 32768 samples, 780 taps): outputs
    // around both ends and a spread of the middle.
    {
        const std::vector<C> chips = randomComplex(32768, 23);
        const std::vector<double> h = randomReal(780, 24);
        const std::vector<C> stuffed = upsample(chips, 30);
        const std::vector<C> y = filterOversampledChips(chips, 30, h);
        ASSERT_EQ(y.size(), stuffed.size());
        const double scale = maxAbs(y);
        std::vector<std::size_t> ks;
        for (std::size_t k = 0; k < 1200; ++k)
            ks.push_back(k);
        for (std::size_t k = y.size() - 1200; k < y.size(); ++k)
            ks.push_back(k);
        for (std::size_t k = 1200; k < y.size() - 1200; k += 977)
            ks.push_back(k);
        for (std::size_t k : ks)
            ASSERT_LT(std::abs(y[k] - referenceCircular(stuffed, h, k)), 1e-12 * scale) << k;
    }
}

TEST(OversampledFilter, OddLengthsSmallFramesAndRepetition) {
    const std::vector<C> chips = randomComplex(40, 31);
    for (std::size_t os : {1u, 2u, 7u})
        for (std::size_t l : {1u, 5u, 60u, 71u}) {
            if (40 * os + 1 < l) continue;
            const std::vector<double> h = randomReal(l, static_cast<unsigned>(l));
            const std::vector<C> stuffed = upsample(chips, static_cast<double>(os));
            std::vector<C> ref(stuffed.size());
            for (std::size_t k = 0; k < ref.size(); ++k)
                ref[k] = referenceCircular(stuffed, h, k);
            const std::vector<C> y = filterOversampledChips(chips, static_cast<double>(os), h);
            EXPECT_LT(maxRelDiff(y, ref), 1e-12) << os << " " << l;
            // The generic entry point recognises the zero-stuffed frame and
            // agrees with the general circular filter.
            EXPECT_LT(maxRelDiff(circfilt(stuffed, h), ref), 1e-12) << os << " " << l;

            std::vector<C> twice(chips);
            twice.insert(twice.end(), chips.begin(), chips.end());
            const std::vector<C> y2 = filterOversampledChips(twice, static_cast<double>(os), h);
            for (std::size_t k = 0; k < y.size(); ++k) {
                ASSERT_LT(std::abs(y2[k] - y[k]), 1e-12 * maxAbs(y));
                ASSERT_LT(std::abs(y2[k + y.size()] - y[k]), 1e-12 * maxAbs(y));
            }
        }
}

TEST(BasebandFilter, DesignedFilters) {
    for (double os : {2.0, 5.0}) {
        const std::vector<double> std = FilterCoeff_IS95_Std(os);
        ASSERT_EQ(std.size(), 12 * os);
        for (std::size_t i = 0; i < std.size(); ++i)
            EXPECT_NEAR(std[i], std[std.size() - 1 - i], 1e-12);
        EXPECT_EQ(FilterCoeff_IS95_Acp(os).size(), 26 * os);
    }
    const std::vector<C> chips = randomComplex(2048, 41);
    const std::vector<C> stuffed = upsample(chips, 5);
    const std::vector<C> byNumber = OneX_BasebandFilter(stuffed, 5, 2.0);
    EXPECT_EQ(OneX_BasebandFilter(stuffed, 5, std::string("IS95-STD")), byNumber);
    EXPECT_EQ(OneX_BasebandFilter(stuffed, 5, 9.0), byNumber);
    EXPECT_LT(maxRelDiff(byNumber, circfilt(stuffed, FilterCoeff_IS95_Std(5))), 1e-12);

    const std::vector<C> acp = OneX_BasebandFilter(stuffed, 5, 3.0);
    EXPECT_LT(maxRelDiff(acp, circfilt(stuffed, FilterCoeff_IS95_Acp(5))), 1e-12);
    EXPECT_LT(maxRelDiff(filterOversampledChips(chips, 5, 3.0), acp), 1e-12);
    // A frame that is not zero-stuffed takes the general path.
    const std::vector<C> dense = randomComplex(2048 * 5, 42);
    EXPECT_LT(
        maxRelDiff(OneX_BasebandFilter(dense, 5, 3.0), circfilt(dense, FilterCoeff_IS95_Acp(5))),
        1e-12);

    // At one sample per chip the IS-95 stopband edge lies above Nyquist.
    for (double type : {2.0, 3.0}) {
        try {
            OneX_BasebandFilter(chips, 1, type);
            FAIL() << type;
        } catch (const Error& e) {
            EXPECT_STREQ(e.what(), "Frequencies must lie between 0 and 1.");
        }
    }
}
