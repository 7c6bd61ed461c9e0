#include "OneX/DataSources.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

#include <fmt/format.h>

#include "OneX/Checks.h"
#include "OneX/Codes.h"
#include "platform/Error.h"
#include "platform/Numeric.h"
#include "platform/RegularFile.h"

namespace onex {

namespace {

struct PnTaps {
    std::vector<int> delays;
    bool inv;
};

// Tap table of the PN generator by register length; 9 is the fall-back.
PnTaps pnTaps(int n, bool zeroSuppression) {
    switch (n) {
        case 3:
            return {{3, 1}, false};
        case 4:
            return {{4, 1}, false};
        case 5:
            return {{5, 2}, false};
        case 6:
            return {{6, 1}, false};
        case 7:
            return {{7, 1}, false};
        case 8:
            return {{8, 4, 3, 2}, false};
        case 10:
            return {{10, 3}, false};
        case 11:
            return {{11, 9}, false};
        case 12:
            return {{12, 6, 4, 1}, false};
        case 13:
            return {{13, 4, 3, 1}, false};
        case 14:
            return {{14, 12, 2, 1}, false};
        case 15:
            return {{15, 14}, true};
        case 16:
            return {{16, 12, 3, 1}, false};
        case 17:
            return {{17, 3}, false};
        case 18:
            return {{18, 7}, false};
        case 19:
            return {{19, 5, 2, 1}, false};
        case 20:
            return zeroSuppression ? PnTaps{{20, 17}, false} : PnTaps{{20, 3}, false};
        case 21:
            return {{21, 2}, false};
        case 22:
            return {{22, 1}, false};
        case 23:
            return {{23, 18}, true};
        case 24:
            return {{24, 7, 2}, false};
        case 25:
            return {{25, 3}, false};
        case 26:
            return {{26, 6, 2, 1}, false};
        case 27:
            return {{27, 5, 2, 1}, false};
        case 28:
            return {{28, 3}, false};
        case 29:
            return {{29, 27}, true};
        case 30:
            return {{30, 23, 2, 1}, false};
        case 31:
            return {{31, 28}, true};
        default:
            return {{9, 5}, false};
    }
}

}  // namespace

std::vector<double> GenerateBitStream(double type, double len, std::span<const double> pattern) {
    const std::size_t n = detail::requireLength("GenerateBitStream", "len", len);
    if (type == 1) return std::vector<double>(n, 0.0);
    if (type == 2) return std::vector<double>(n, 1.0);
    if (type == 3 || type == 4) {
        std::vector<double> bits(n);
        const std::size_t one = type == 3 ? 1 : 0;  // 0-based parity of the ones
        for (std::size_t i = 0; i < n; ++i)
            bits[i] = (i % 2 == one) ? 1.0 : 0.0;
        return bits;
    }
    if (type == 5) return PNgenerator(9, len);
    if (type == 6) return PNgenerator(15, len);
    if (type == 7 || type == 8) return ExtendVector(pattern, len);
    return {};
}

std::vector<double> PNgenerator(std::optional<double> n, std::optional<double> dataLength,
                                std::optional<double> userInvert,
                                std::optional<std::vector<double>> seed,
                                std::optional<double> zeroSuppresion) {
    const char* routine = "PNgenerator";
    // Register length: clamped to 3..31; a non-integer has no table entry and
    // takes the fall-back, 9.
    double order = platform::clampValue(n.value_or(9), 3, 31);
    if (order != std::trunc(order)) order = 9;
    const int reg = static_cast<int>(order);

    double length = dataLength.value_or(std::ldexp(1.0, reg) - 1);
    if (!std::isnan(length)) length = std::max(length, 1.0);
    const std::size_t count = detail::requireLength(routine, "dataLength", length);
    const bool invert = userInvert.value_or(0) == 1;
    const bool suppress = zeroSuppresion.value_or(0) == 1;

    std::vector<double> start = seed.value_or(std::vector<double>(reg, 1.0));
    if (start.size() != static_cast<std::size_t>(reg))
        detail::fail(routine, "seed must have n entries, given", static_cast<double>(start.size()));

    const PnTaps table = pnTaps(reg, suppress);
    // n zeros with ones at the listed delays, reversed, with a 1 appended: the
    // entry for delay d lands at position n - d + 1.
    std::vector<double> taps(reg + 1, 0.0);
    for (int d : table.delays)
        taps[reg - d] = 1;
    taps[reg] = 1;

    std::vector<double> seq = lfsr(order, taps, static_cast<double>(count), start);

    if (reg == 20 && suppress) {
        // No run of more than 14 zeros; later windows see earlier changes.
        for (std::size_t i = 0; i + 14 < seq.size(); ++i) {
            bool allZero = true;
            for (std::size_t j = i; j <= i + 14 && allZero; ++j)
                allZero = seq[j] == 0;
            if (allZero) seq[i + 14] = 1;
        }
    }
    if (table.inv != invert)
        for (double& b : seq)
            b = 1 - b;
    if (seq.size() > count) seq.resize(count);
    return seq;
}

std::vector<double> ExtendVector(std::span<const double> data, double reqLength) {
    const std::size_t n = detail::requireLength("ExtendVector", "reqLength", reqLength);
    if (n < data.size()) return {data.begin(), data.begin() + static_cast<std::ptrdiff_t>(n)};
    if (data.empty())
        detail::fail("ExtendVector", "cannot extend an empty bit row to reqLength", reqLength);
    std::vector<double> output;
    output.reserve(n);
    while (output.size() + data.size() <= n)
        output.insert(output.end(), data.begin(), data.end());
    output.insert(output.end(), data.begin(),
                  data.begin() + static_cast<std::ptrdiff_t>(n - output.size()));
    return output;
}

UserDataFile LoadUserDataFile(const std::filesystem::path& path, double maxLengthInBits,
                              std::string_view bitorder) {
    UserDataFile result;
    const auto failed = [&](std::string_view what, std::string reason, bool withReason) {
        result.message = fmt::format("{}\n{}", what, path.string());
        if (withReason) result.message += fmt::format("\n({})", reason);
        result.reason = std::move(reason);
        return result;
    };
    platform::UniqueFd fd;
    try {
        // Only a regular file has a size to read by; a FIFO or a device
        // would block or never end.
        fd = platform::openRegularFile(path);
    } catch (const platform::FileOpenError& e) {
        return failed("Could not open", e.what(),
                      e.kind() == platform::FileOpenError::Kind::NotRegular);
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) return failed("Could not open", std::strerror(errno), false);

    // A negative limit reads nothing; a fractional one keeps whole bits. A
    // limit beyond any file's size is no limit.
    const double limit = std::max(0.0, std::floor(maxLengthInBits));
    const auto maxBytes = static_cast<std::size_t>(std::ceil(std::min(limit, 1e18) / 8));
    // Read to the end or one byte past the limit, whatever size the file
    // states: files such as those under /proc state none.
    std::vector<unsigned char> bytes;
    std::array<unsigned char, 65536> chunk;
    while (bytes.size() <= maxBytes) {
        const std::size_t want = std::min(chunk.size(), maxBytes + 1 - bytes.size());
        const ssize_t n = ::read(fd.get(), chunk.data(), want);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return failed("Could not read", std::strerror(errno), true);
        if (n == 0) break;
        bytes.insert(bytes.end(), chunk.begin(), chunk.begin() + n);
    }
    result.fileBits = std::max(static_cast<std::size_t>(st.st_size), bytes.size()) * 8;
    if (bytes.size() > maxBytes) bytes.resize(maxBytes);
    const auto bitCount = static_cast<std::size_t>(std::min(8.0 * bytes.size(), limit));

    const bool lsbFirst = bitorder.substr(0, 5) == "right";
    result.bits.reserve(bytes.size() * 8);
    for (unsigned char byte : bytes)
        for (int b = 0; b < 8; ++b) {
            const int shift = lsbFirst ? b : 7 - b;
            result.bits.push_back((byte >> shift) & 1);
        }
    result.bits.resize(bitCount);
    result.status = 1;
    return result;
}

std::vector<double> bitVector(double x, std::optional<double> minSize,
                              std::string_view orientation) {
    if (!(x == std::trunc(x))) throw Error("Integer required");  // NaN fails here too
    if (x < 0) detail::fail("bitVector", "x must not be negative", x);
    if (std::isinf(x)) detail::fail("bitVector", "x must be finite", x);
    const double wanted = minSize.has_value() ? *minSize : std::ceil(std::log2(x));
    const auto len = static_cast<std::size_t>(std::ceil(std::log2(x + 1)));
    std::size_t size = len;
    const double fixed = std::trunc(wanted);
    if (fixed > static_cast<double>(size)) {  // NaN and -Inf are ignored like max does
        if (fixed > static_cast<double>(detail::kMaxSequenceLength))
            detail::fail("bitVector", "minSize too large", wanted);
        size = static_cast<std::size_t>(fixed);
    }
    std::vector<double> out(size, 0.0);
    for (std::size_t i = 0; i < len; ++i) {
        out[i] = std::fmod(x, 2.0);
        x = std::trunc(x / 2);
    }
    if (orientation == "left-msb") std::reverse(out.begin(), out.end());
    return out;
}

std::vector<double> bitVector(std::span<const BitVectorArgument> args) {
    if (args.empty() || args.size() > 3) throw Error("Incorrect number of parameters.");
    auto number = [](const BitVectorArgument& a, const char* name) {
        if (const double* v = std::get_if<double>(&a)) return *v;
        detail::fail("bitVector", std::string(name) + " must be a number");
    };
    const double x = number(args[0], "x");
    std::optional<double> minSize;
    if (args.size() >= 2) minSize = number(args[1], "minSize");
    std::string orientation = "right-msb";
    if (args.size() == 3) {
        const std::string* text = std::get_if<std::string>(&args[2]);
        if (!text) detail::fail("bitVector", "orientation must be a text");
        orientation = *text;
    }
    return bitVector(x, minSize, orientation);
}

std::vector<double> de2bi(double d) {
    if (!detail::isWhole(d) || d < 0) detail::fail("de2bi", "d must be a non-negative integer", d);
    std::vector<double> out;
    do {
        out.push_back(std::fmod(d, 2.0));
        d = std::trunc(d / 2);
    } while (d > 0);
    return out;
}

}  // namespace onex
