#include "OneX/OverheadChannels.h"

#include <bit>
#include <cmath>

#include "OneX/Checks.h"
#include "OneX/SequenceOps.h"

namespace onex {

RealMatrix OneX_WalshMatrix(double index) {
    if (std::isnan(index) || index < 0)
        detail::fail("OneX_WalshMatrix", "index must be a non-negative number", index);
    // floor(log2(index)) doublings; below 2 (and at 0, where log2 is -Inf) none.
    const int doublings = index < 2 ? 0 : static_cast<int>(std::floor(std::log2(index)));
    if (doublings > 12)
        detail::fail("OneX_WalshMatrix", "index above 8191 is not supported", index);
    RealMatrix w(1, 1, 1.0);
    for (int d = 0; d < doublings; ++d) {
        const std::size_t n = w.rows();
        RealMatrix next(2 * n, 2 * n);
        for (std::size_t r = 0; r < n; ++r)
            for (std::size_t c = 0; c < n; ++c) {
                next(r, c) = w(r, c);
                next(r, c + n) = w(r, c);
                next(r + n, c) = w(r, c);
                next(r + n, c + n) = -w(r, c);
            }
        w = std::move(next);
    }
    return w;
}

namespace {
template <class T>
std::vector<T> cover(std::span<const T> signal, std::span<const double> code) {
    std::vector<T> out(signal.size() * code.size());
    std::size_t k = 0;
    for (const T& s : signal)
        for (double c : code)
            out[k++] = s * c;
    return out;
}
}  // namespace

std::vector<double> OneX_WalshCover(std::span<const double> signal, std::span<const double> code) {
    return cover(signal, code);
}

std::vector<std::complex<double>> OneX_WalshCover(std::span<const std::complex<double>> signal,
                                                  std::span<const double> code) {
    return cover(signal, code);
}

std::vector<double> OneX_RevRRIencoder(double RRIvalue) {
    const auto v = static_cast<unsigned>(
        detail::requireWhole("OneX_RevRRIencoder", "RRIvalue", RRIvalue, 0, 7));
    std::vector<double> word(7);
    // Bit j (1-based) is the parity of (value AND j).
    for (unsigned j = 1; j <= 7; ++j)
        word[j - 1] = std::popcount(v & j) % 2;
    return word;
}

RealMatrix OneX_RevRRIchn(double RRIactive, double RRIvalue) {
    RealMatrix out(16, 16, 0.0);
    if (!detail::flag("OneX_RevRRIchn", "RRIactive", RRIactive)) return out;
    const std::vector<double> word = OneX_RevRRIencoder(RRIvalue);
    // 37 codewords (259 bits) cut to 256; slot k takes bits 16k-15..16k, so
    // slot and codeword boundaries drift apart.
    const std::vector<double> bits = OneX_Repeat(word, 37);
    for (std::size_t i = 0; i < 256; ++i)
        out(i / 16, i % 16) = bits[i];
    return out;
}

std::vector<double> OneX_RevDRCencoder(double bitValue) {
    const auto v = static_cast<unsigned>(
        detail::requireWhole("OneX_RevDrcChn/OneX_RevDRCencoder", "DRCvalue", bitValue, 0, 15));
    std::vector<double> word(8);
    // Bit j (1-based) is the parity of (floor(v/2) AND (j-1)), inverted for odd v.
    for (unsigned j = 0; j < 8; ++j)
        word[j] = (std::popcount((v / 2) & j) + v) % 2;
    return word;
}

std::vector<double> OneX_RevDrcChn(double DRCvalue, double DRCcover) {
    const auto coverIndex = static_cast<std::size_t>(
        detail::requireWhole("OneX_RevDrcChn", "DRCcover", DRCcover, 0, 7));
    const RealMatrix w8 = OneX_WalshMatrix(8);
    const std::vector<double> symbols =
        OneX_SignalMap(OneX_Repeat(OneX_RevDRCencoder(DRCvalue), 2));
    return OneX_WalshCover(symbols, w8.row(coverIndex));
}

}  // namespace onex
