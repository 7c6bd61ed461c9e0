#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <thread>

#include "platform/Fft.h"
#include "platform/LargeBuffer.h"

using namespace onex::platform;
using C = std::complex<double>;

namespace {

std::vector<C> naiveDft(const std::vector<C>& x, int sign) {
    const std::size_t n = x.size();
    std::vector<C> out(n);
    for (std::size_t k = 0; k < n; ++k)
        for (std::size_t t = 0; t < n; ++t)
            out[k] += x[t] * std::polar(1.0, sign * 2 * std::numbers::pi *
                                                 static_cast<double>((k * t) % n) /
                                                 static_cast<double>(n));
    return out;
}

std::vector<C> randomSignal(std::size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    std::normal_distribution<double> g;
    std::vector<C> v(n);
    for (C& c : v)
        c = {g(gen), g(gen)};
    return v;
}

double maxDiff(const std::vector<C>& a, const std::vector<C>& b) {
    double m = 0;
    for (std::size_t i = 0; i < a.size(); ++i)
        m = std::max(m, std::abs(a[i] - b[i]));
    return m;
}

}  // namespace

TEST(Fft, SmallKnownTransform) {
    const std::vector<C> X = fft(std::vector<C>{1, 2, 3, 4});
    const std::vector<C> expected{{10, 0}, {-2, 2}, {-2, 0}, {-2, -2}};
    EXPECT_LT(maxDiff(X, expected), 1e-14);
    EXPECT_LT(maxDiff(ifft(X), std::vector<C>{1, 2, 3, 4}), 1e-14);
    EXPECT_TRUE(fft(std::vector<C>{}).empty());
}

TEST(Fft, AnyLengthMatchesTheDefinition) {
    for (std::size_t n : {1u, 7u, 12u, 97u, 1000u, 1031u}) {
        const std::vector<C> x = randomSignal(n, static_cast<unsigned>(n));
        EXPECT_LT(maxDiff(fft(x), naiveDft(x, -1)), 1e-10) << n;
        std::vector<C> back(naiveDft(x, -1));
        ifftInPlaceUnscaled(back);
        for (C& c : back)
            c /= static_cast<double>(n);
        EXPECT_LT(maxDiff(back, x), 1e-12) << n;
    }
}

TEST(Fft, MisalignedDataAndPlanReuse) {
    // A span that starts one element into a vector is not SIMD-aligned.
    std::vector<C> buffer = randomSignal(257, 5);
    std::vector<C> x(buffer.begin() + 1, buffer.end());
    std::span<C> view(buffer.data() + 1, 256);
    fftInPlace(view);
    EXPECT_LT(maxDiff(std::vector<C>(view.begin(), view.end()), naiveDft(x, -1)), 1e-10);

    const std::vector<C> y = randomSignal(4099, 6);
    fft(y);
    const std::size_t plans = fftPlanCount();
    for (int i = 0; i < 5; ++i)
        fft(y);
    EXPECT_EQ(fftPlanCount(), plans);  // no new plan for a length seen before
}

// A plan made ahead is the one a transform of pooled (aligned) memory then
// uses: no second plan.
TEST(Fft, PlanMadeAheadIsTheOneUsed) {
    const std::size_t n = 6007;
    planFftInPlace(n);
    const std::size_t plans = fftPlanCount();
    const LargeArray<C> block = acquireLargeArray<C>(n);
    const std::vector<C> x = randomSignal(n, 7);
    std::copy(x.begin(), x.end(), block.items.begin());
    fftInPlace(block.items);
    EXPECT_EQ(fftPlanCount(), plans);
    EXPECT_LT(maxDiff(std::vector<C>(block.items.begin(), block.items.end()), fft(x)), 1e-9);
}

TEST(Fft, ConcurrentCallersGetCorrectResults) {
    std::vector<std::vector<C>> inputs, results(8);
    for (unsigned t = 0; t < 8; ++t)
        inputs.push_back(randomSignal(300 + 37 * (t % 4), t));
    std::vector<std::thread> threads;
    for (unsigned t = 0; t < 8; ++t)
        threads.emplace_back([&, t] {
            for (int rep = 0; rep < 20; ++rep)
                results[t] = ifft(fft(inputs[t]));
        });
    for (auto& th : threads)
        th.join();
    for (unsigned t = 0; t < 8; ++t)
        EXPECT_LT(maxDiff(results[t], inputs[t]), 1e-12) << t;
}
