#include "OneX/SequenceOps.h"

#include <bit>
#include <string>

#include "OneX/Checks.h"

namespace onex {

std::uint64_t ReverseBits(std::uint64_t n, unsigned len) {
    if (len > 63) detail::fail("ReverseBits", "len must be at most 63", len);
    if ((n >> len) != 0)
        detail::fail("ReverseBits", "n does not fit in " + std::to_string(len) + " bits",
                     static_cast<double>(n));
    if (len == 0) return 0;
    // The whole word reversed by swapping ever larger halves, then the len
    // bits brought down.
    n = ((n >> 1) & 0x5555555555555555u) | ((n & 0x5555555555555555u) << 1);
    n = ((n >> 2) & 0x3333333333333333u) | ((n & 0x3333333333333333u) << 2);
    n = ((n >> 4) & 0x0F0F0F0F0F0F0F0Fu) | ((n & 0x0F0F0F0F0F0F0F0Fu) << 4);
    n = __builtin_bswap64(n);
    return n >> (64 - len);
}

std::vector<double> OneX_RevChnInterleaver(std::span<const double> input) {
    const std::size_t n = input.size();
    if (n == 0) return {};
    // Other lengths would make the reversed indices run past the end.
    if (!std::has_single_bit(n))
        detail::fail("OneX_RevChnInterleaver", "length must be a power of two",
                     static_cast<double>(n));
    const auto bits = static_cast<unsigned>(std::bit_width(n) - 1);
    std::vector<double> output(n);
    for (std::size_t i = 0; i < n; ++i)
        output[i] = input[ReverseBits(i, bits)];
    return output;
}

std::vector<double> OneX_Repeat(std::span<const double> input, double factor) {
    const std::size_t reps = detail::requireLength("OneX_Repeat", "factor", factor);
    if (!input.empty() && reps > detail::kMaxSequenceLength / input.size())
        detail::fail("OneX_Repeat", "result too long for factor", factor);
    std::vector<double> output;
    output.reserve(input.size() * reps);
    for (std::size_t r = 0; r < reps; ++r)
        output.insert(output.end(), input.begin(), input.end());
    return output;
}

std::vector<double> OneX_SignalMap(std::span<const double> input) {
    std::vector<double> output(input.size());
    for (std::size_t i = 0; i < input.size(); ++i)
        output[i] = 1.0 - 2.0 * input[i];
    return output;
}

}  // namespace onex
