#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <string>

#include "OneX/ErrorText.h"
#include "OneX/FirDesign.h"
#include "platform/Error.h"

using namespace onex;
using cd = std::complex<double>;

namespace {

constexpr double kPi = std::numbers::pi;

using onex::testsupport::errorText;

// Response at frequency f of taps placed at -m..m.
cd response(const std::vector<cd>& h, double f, double sr) {
    const int m = static_cast<int>(h.size() - 1) / 2;
    cd z = 0;
    for (int i = -m; i <= m; ++i)
        z += h[static_cast<std::size_t>(i + m)] * std::polar(1.0, -2 * kPi * f * i / sr);
    return z;
}

// 5000 points spread exactly over -sr/2..sr/2, so that the resampling inside
// createRealFIR lands on them.
std::vector<double> fullBand(double sr) {
    std::vector<double> f(5000);
    for (std::size_t k = 0; k < f.size(); ++k)
        f[k] = -sr / 2 + sr * static_cast<double>(k) / 4999.0;
    return f;
}

}  // namespace

TEST(CreateRealFIR, ChecksAndTheirTexts) {
    const std::vector<double> F{-1e6, 0, 1e6};
    const std::vector<cd> H(3, cd(1, 0));
    EXPECT_EQ(errorText([&] {
                  createRealFIR(31, F, {1, 1}, 10e6);
              }),
              "F must be the same size as H");
    EXPECT_EQ(errorText([&] {
                  createRealFIR(31, {0, 1, 2, 3}, {2, 2}, {1, 1, 1, 1}, {2, 2}, 10e6);
              }),
              "F and H must be either a 1xN or a Nx1 matrix.");
    EXPECT_EQ(errorText([&] { createRealFIR(31, F, H, 0); }),
              "SR > 0 The sample rate must be greater than zero.");
    EXPECT_EQ(errorText([&] { createRealFIR(31, F, H, -5); }),
              "SR > 0 The sample rate must be greater than zero.");
    // Columns are as good as rows.
    EXPECT_EQ(createRealFIR(5, F, {3, 1}, H, {3, 1}, 10e6), createRealFIR(5, F, H, 10e6));

    // Data that cannot be interpolated or inverted is refused.
    EXPECT_NE(errorText([&] { createRealFIR(31, {-10e6, 10e6}, {1, 1}, 15e6); }), "<no error>");
    EXPECT_NE(errorText([&] { createRealFIR(31, {0, 2e6, 1e6}, H, 10e6); }), "<no error>");
    EXPECT_NE(errorText([&] { createRealFIR(31, {0, 1e6, 1e6}, H, 10e6); }), "<no error>");
    EXPECT_NE(errorText([&] { createRealFIR(31, {-10e6, 0, 10e6}, H, 15e6); }), "<no error>");
    EXPECT_NE(errorText([&] { createRealFIR(31, F, {0, 1, 1}, 10e6); }), "<no error>");
    EXPECT_NE(errorText([&] { createRealFIR(31, F, {1, cd(NAN, 0), 1}, 10e6); }), "<no error>");
}

TEST(Freq2Fir, ChecksAndTheirTexts) {
    const std::vector<double> F{-1, 0, 1};
    const std::vector<cd> H(3, cd(1, 0));
    EXPECT_EQ(errorText([&] { freq2fir(3, F, {1, 1}, 4); }), "F must be the same size as H");
    EXPECT_EQ(errorText([&] {
                  freq2fir(3, {0, 1, 2, 3}, {2, 2}, {1, 1}, {1, 2}, 8);
              }),
              "F must be either a 1xN or a Nx1 matrix.");
    EXPECT_EQ(errorText([&] {
                  freq2fir(3, {0, 1}, {2, 1}, {1, 1, 1, 1}, {2, 2}, 8);
              }),
              "H must be either a 1xN or a Nx1 matrix.");
    EXPECT_EQ(errorText([&] { freq2fir(1, F, H, 4); }), "N must be greater than 1.");
    EXPECT_EQ(errorText([&] { freq2fir(4, F, H, 4); }), "N must be an odd integer");
    EXPECT_EQ(errorText([&] { freq2fir(3.5, F, H, 4); }), "N must be an odd integer");
    EXPECT_EQ(errorText([&] { freq2fir(3, F, H, 1.9); }), "SR must be greater than 2*max{F}.");
    EXPECT_NO_THROW(freq2fir(3, F, H, 2));  // SR = 2 max(F) is accepted
    EXPECT_NE(errorText([&] { freq2fir(4000001, F, H, 4); }), "<no error>");  // 12e6 entries
}

TEST(CreateRealFIR, TapCountsAndFlatResponse) {
    const double sr = 100e6;
    const std::vector<double> F{-40e6, -20e6, 0, 20e6, 40e6};
    const std::vector<cd> H(5, cd(1, 0));
    EXPECT_EQ(createRealFIR(30, F, H, sr).size(), 31u);
    EXPECT_EQ(createRealFIR(31, F, H, sr).size(), 31u);
    EXPECT_EQ(createRealFIR(1, F, H, sr).size(), 3u);
    EXPECT_EQ(createRealFIR(4, F, H, sr).size(), 5u);

    const std::vector<cd> h = createRealFIR(31, F, H, sr);
    for (std::size_t k = 0; k < h.size(); ++k) {
        if (k == 15)
            EXPECT_NEAR(std::abs(h[k] - 1.0), 0, 0.02);
        else
            EXPECT_NEAR(std::abs(h[k]), 0, 0.02) << k;
    }
    // Only the shape of the axis matters: a shifted axis gives the same taps.
    std::vector<double> shifted = F;
    for (double& f : shifted)
        f += 1e9;
    const std::vector<cd> hs = createRealFIR(31, shifted, H, sr);
    for (std::size_t k = 0; k < h.size(); ++k)
        EXPECT_NEAR(std::abs(hs[k] - h[k]), 0, 1e-9);
}

TEST(CreateRealFIR, KeepsOnlyPointsWithinHalfTheSampleRate) {
    // -10, -5, 0, 5, 10 MHz at 15 MHz: only -5, 0 and 5 MHz are kept, so the
    // wild values at +-10 MHz must not show.
    const std::vector<double> F{-10e6, -5e6, 0, 5e6, 10e6};
    const std::vector<cd> H{cd(50, 3), cd(1, 0), cd(2, 0), cd(1, 0), cd(-40, 1)};
    const std::vector<cd> h = createRealFIR(7, F, H, 15e6);
    const std::vector<cd> kept = createRealFIR(7, {-5e6, 0, 5e6}, {1, 2, 1}, 15e6);
    ASSERT_EQ(h.size(), kept.size());
    for (std::size_t k = 0; k < h.size(); ++k)
        EXPECT_NEAR(std::abs(h[k] - kept[k]), 0, 1e-12);
}

TEST(CreateRealFIR, InvertsAKnownResponse) {
    // The measured response is 1 / conj(G) for a filter G with known real taps
    // g at -2..2; the least-squares fit to conj(1 / H) = G recovers g.
    const double sr = 80e6;
    const std::vector<double> g{0.1, -0.2, 1.0, 0.25, -0.05};
    const std::vector<double> F = fullBand(sr);
    std::vector<cd> H(F.size());
    std::vector<cd> gc(g.begin(), g.end());
    for (std::size_t k = 0; k < F.size(); ++k)
        H[k] = 1.0 / std::conj(response(gc, F[k], sr));
    const std::vector<cd> h = createRealFIR(5, F, H, sr);
    ASSERT_EQ(h.size(), 5u);
    for (std::size_t k = 0; k < 5; ++k) {
        EXPECT_NEAR(h[k].real(), g[k], 1e-9) << k;
        EXPECT_NEAR(h[k].imag(), 0, 1e-9) << k;
    }
    // More taps than needed: the extra ones stay at zero.
    const std::vector<cd> h9 = createRealFIR(9, F, H, sr);
    for (std::size_t k = 0; k < 9; ++k) {
        const double want = (k >= 2 && k <= 6) ? g[k - 2] : 0.0;
        EXPECT_NEAR(std::abs(h9[k] - want), 0, 1e-9) << k;
    }
}

TEST(Freq2Fir, LeastSquaresFitOfConjugateResponse) {
    // A pure delay e^(-j 2 pi f / SR) asks for conj: the tap at -1.
    const double sr = 10;
    std::vector<double> F;
    std::vector<cd> H;
    for (int k = 0; k <= 40; ++k) {
        F.push_back(-5 + 0.25 * k);
        H.push_back(std::polar(1.0, -2 * kPi * F.back() / sr));
    }
    const std::vector<cd> h = freq2fir(5, F, H, sr);
    for (std::size_t k = 0; k < 5; ++k)
        EXPECT_NEAR(std::abs(h[k] - (k == 1 ? 1.0 : 0.0)), 0, 1e-12) << k;
    // A response no 3-tap filter can match gets the least-squares compromise:
    // the residual is orthogonal to every column.
    std::vector<cd> step(F.size());
    for (std::size_t k = 0; k < F.size(); ++k)
        step[k] = F[k] < 0 ? cd(1, 0) : cd(0, 1);
    const std::vector<cd> hs = freq2fir(3, F, step, sr);
    for (int col = -1; col <= 1; ++col) {
        cd dot = 0;
        for (std::size_t k = 0; k < F.size(); ++k) {
            const cd z = std::polar(1.0, -2 * kPi * F[k] * col / sr);
            const cd resid = response(hs, F[k], sr) - std::conj(step[k]);
            dot += std::conj(z) * resid;
        }
        EXPECT_NEAR(std::abs(dot), 0, 1e-10) << col;
    }
}
