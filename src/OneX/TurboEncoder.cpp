#include "OneX/TurboEncoder.h"

#include <bit>
#include <cmath>

#include "OneX/Checks.h"
#include "OneX/SequenceOps.h"

namespace onex {

namespace {

// Turbo interleaver lookup table, row = 5 low counter bits, column = n - 3.
constexpr int kInterleaverTable[32][5] = {
    {1, 5, 27, 3, 15},   {1, 15, 3, 27, 127}, {3, 5, 1, 15, 89},   {5, 15, 15, 13, 1},
    {1, 1, 13, 29, 31},  {5, 9, 17, 5, 15},   {1, 9, 23, 1, 61},   {5, 15, 13, 31, 47},
    {3, 13, 9, 3, 127},  {5, 15, 3, 9, 17},   {3, 7, 15, 15, 119}, {5, 11, 3, 31, 15},
    {3, 15, 13, 17, 57}, {5, 3, 1, 5, 123},   {5, 15, 13, 39, 95}, {1, 5, 29, 1, 5},
    {3, 13, 21, 19, 85}, {5, 15, 19, 27, 17}, {3, 9, 1, 15, 55},   {5, 3, 3, 13, 57},
    {3, 1, 29, 45, 15},  {5, 3, 17, 5, 41},   {5, 15, 25, 33, 93}, {5, 1, 29, 15, 87},
    {1, 13, 9, 13, 63},  {5, 1, 13, 9, 15},   {1, 9, 23, 15, 13},  {5, 15, 13, 31, 15},
    {3, 11, 13, 17, 81}, {5, 3, 1, 5, 57},    {5, 15, 13, 15, 31}, {3, 5, 13, 33, 69}};

// Symbols per input bit for the supported rates; 0 for any other rate.
int symbolsPerBit(double rate) {
    if (rate == 1.0 / 2) return 2;
    if (rate == 1.0 / 3) return 3;
    if (rate == 1.0 / 4) return 4;
    if (rate == 1.0 / 5) return 5;
    return 0;
}

void requireBits(const char* routine, std::span<const double> bits) {
    for (double b : bits)
        if (b != 0 && b != 1) detail::fail(routine, "input bits must be 0 or 1", b);
}

}  // namespace

std::vector<double> OneX_RevEncoder(std::span<const double> input, double dataRate) {
    const auto rate = detail::requireWhole("OneX_RevEncoder", "dataRate", dataRate, 1, 5);
    const double encoderRate = rate == 5 ? 0.5 : 0.25;
    static constexpr double kReps[5] = {8, 4, 2, 1, 1};
    if (input.size() < 6)
        detail::fail("OneX_RevEncoder", "a packet needs at least its 6 tail bits, given",
                     static_cast<double>(input.size()));
    const std::vector<double> coded = OneX_TurboCoder(input.first(input.size() - 6), encoderRate);
    return OneX_Repeat(OneX_RevChnInterleaver(coded), kReps[rate - 1]);
}

std::vector<double> OneX_TurboCoder(std::span<const double> input, double rate) {
    if (rate == 1) return {input.begin(), input.end()};
    if (symbolsPerBit(rate) == 0) return {};
    const std::vector<double> interleaved = OneX_TurboInterleaver(input);
    const ConstituentOutput first = OneX_ConstituentEncoder(input);
    const ConstituentOutput second = OneX_ConstituentEncoder(interleaved);
    return OneX_TurboPuncturing(first.x, first.y0, first.y1, second.x, second.y0, second.y1, rate);
}

ConstituentOutput OneX_ConstituentEncoder(std::span<const double> input) {
    requireBits("OneX_ConstituentEncoder", input);
    const std::size_t n = input.size();
    ConstituentOutput out{std::vector<double>(n + 3), std::vector<double>(n + 3),
                          std::vector<double>(n + 3)};
    int s1 = 0, s2 = 0, s3 = 0;  // s1 the most recent
    for (std::size_t i = 0; i < n; ++i) {
        const int u = input[i] != 0;
        out.x[i] = u;
        out.y0[i] = u ^ s1 ^ s2;
        out.y1[i] = u ^ s1;
        const int w = u ^ s2 ^ s3;
        s3 = s2;
        s2 = s1;
        s1 = w;
    }
    // Tail: the input equals the feedback, which drives the register to zero.
    for (std::size_t i = n; i < n + 3; ++i) {
        out.x[i] = s2 ^ s3;
        out.y0[i] = s1 ^ s3;
        out.y1[i] = s1 ^ s2 ^ s3;
        s3 = s2;
        s2 = s1;
        s1 = 0;
    }
    return out;
}

std::vector<double> OneX_TurboInterleaver(std::span<const double> input) {
    const std::size_t size = input.size();
    // n = ceil(log2(N)) - 5; the table covers n = 3..7, i.e. 129..4096 bits.
    if (size < 129 || size > 4096)
        detail::fail("OneX_TurboInterleaver", "input must have 129 to 4096 bits, given",
                     static_cast<double>(size));
    const int n = static_cast<int>(std::bit_width(size - 1)) - 5;
    const std::uint64_t mod = std::uint64_t{1} << n;
    std::vector<double> output(size);
    std::size_t address = 0;
    // The address map is a permutation of 0..2^(n+5)-1, so the loop ends
    // within that many counts.
    for (std::uint64_t counter = 0; address < size; ++counter) {
        const std::uint64_t msb = ((counter >> 5) + 1) % mod;
        const std::uint64_t lsb = counter & 31;
        const auto lookup = static_cast<std::uint64_t>(kInterleaverTable[lsb][n - 3]);
        const std::uint64_t newAddr = ReverseBits(lsb, 5) * mod + (lookup * msb) % mod;
        if (newAddr < size) output[address++] = input[newAddr];
    }
    return output;
}

std::vector<double> OneX_TurboPuncturing(std::span<const double> x, std::span<const double> y0,
                                         std::span<const double> y1, std::span<const double> xp,
                                         std::span<const double> y0p, std::span<const double> y1p,
                                         double rate) {
    const std::size_t len = x.size();
    if (len < 3 || y0.size() != len || y1.size() != len || xp.size() != len || y0p.size() != len ||
        y1p.size() != len)
        detail::fail("OneX_TurboPuncturing", "the six rows need one common length of 3 or more");
    const int k = symbolsPerBit(rate);
    if (k == 0) return {};
    const std::size_t n = len - 3;
    std::vector<double> out;
    out.reserve((n + 6) * k);
    // Data part; `odd` refers to the 1-based bit number.
    for (std::size_t i = 0; i < n; ++i) {
        const bool odd = i % 2 == 0;
        switch (k) {
            case 2:
                out.insert(out.end(), {x[i], odd ? y0[i] : y0p[i]});
                break;
            case 3:
                out.insert(out.end(), {x[i], y0[i], y0p[i]});
                break;
            case 4:
                out.insert(out.end(), {x[i], y0[i], odd ? y1[i] : y0p[i], y1p[i]});
                break;
            default:
                out.insert(out.end(), {x[i], y0[i], y1[i], y0p[i], y1p[i]});
                break;
        }
    }
    // Tail: three bits of the first encoder, then three of the second.
    auto tail = [&](std::span<const double> tx, std::span<const double> t0,
                    std::span<const double> t1) {
        for (std::size_t c = n; c < n + 3; ++c) {
            switch (k) {
                case 2:
                    out.insert(out.end(), {tx[c], t0[c]});
                    break;
                case 3:
                    out.insert(out.end(), {tx[c], tx[c], t0[c]});
                    break;
                case 4:
                    out.insert(out.end(), {tx[c], tx[c], t0[c], t1[c]});
                    break;
                default:
                    out.insert(out.end(), {tx[c], tx[c], t0[c], t1[c], t1[c]});
                    break;
            }
        }
    };
    tail(x, y0, y1);
    tail(xp, y0p, y1p);
    return out;
}

}  // namespace onex
