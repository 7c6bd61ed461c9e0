#include "OneX/Spreading.h"

#include <mutex>

#include "OneX/AirInterface.h"
#include "OneX/Checks.h"
#include "OneX/Codes.h"
#include "OneX/DataSources.h"
#include "OneX/OverheadChannels.h"
#include "OneX/SequenceOps.h"

namespace onex {

namespace {
constexpr double kLongCodeStart = 0x24B91BFD3A8;
}  // namespace

namespace {

// pn(k) = I short x I long + j (Q short x Q long at the even chip 2 floor(k/2),
// negated at odd k: the Walsh cover (+1, -1)) x the I product. Every factor
// is +-1 = 1 - 2 bit, so the products are exclusive ors of bits.
std::vector<std::complex<double>> makeSpreadingSequence(double Imask, double Qmask) {
    std::vector<std::uint8_t> bits(4 * kFrameChips);
    const std::span<std::uint8_t> iLong(bits.data(), kFrameChips),
        qLong(bits.data() + kFrameChips, kFrameChips);
    const std::span<std::uint8_t, kFrameChips> iShort(bits.data() + 2 * kFrameChips, kFrameChips),
        qShort(bits.data() + 3 * kFrameChips, kFrameChips);
    longCodeBits(static_cast<std::uint64_t>(kLongCodeStart), Imask, Qmask, iLong, qLong);
    shortCodeBits(false, iShort);
    shortCodeBits(true, qShort);

    const auto sign = [](unsigned bit) { return bit ? -1.0 : 1.0; };
    std::vector<std::complex<double>> pn(kFrameChips);
    for (std::size_t k = 0; k < kFrameChips; ++k) {
        const unsigned i = iShort[k] ^ iLong[k];
        const std::size_t even = k & ~std::size_t{1};
        const unsigned q = qShort[even] ^ qLong[even] ^ static_cast<unsigned>(k & 1);
        pn[k] = {sign(i), sign(q ^ i)};
    }
    return pn;
}

void checkFrame(std::size_t chips) {
    if (chips != kFrameChips)
        detail::fail("OneX_RevQuadSpreading", "frame must hold 32768 chips, given",
                     static_cast<double>(chips));
}

}  // namespace

std::shared_ptr<const std::vector<std::complex<double>>> spreadingSequence(double Imask,
                                                                           double Qmask) {
    using Sequence = std::shared_ptr<const std::vector<std::complex<double>>>;
    struct Kept {
        double Imask, Qmask;
        Sequence pn;
    };
    constexpr std::size_t kKept = 4;
    static std::mutex mutex;
    static std::vector<Kept> kept;
    {
        const std::lock_guard lock(mutex);
        for (const Kept& k : kept)
            if (k.Imask == Imask && k.Qmask == Qmask) return k.pn;
    }
    Sequence pn = std::make_shared<const std::vector<std::complex<double>>>(
        makeSpreadingSequence(Imask, Qmask));
    const std::lock_guard lock(mutex);
    if (kept.size() == kKept) kept.erase(kept.begin());
    kept.push_back({Imask, Qmask, pn});
    return pn;
}

void spreadInPlace(std::span<std::complex<double>> frame, double Imask, double Qmask) {
    checkFrame(frame.size());
    const auto pn = spreadingSequence(Imask, Qmask);
    for (std::size_t k = 0; k < kFrameChips; ++k)
        frame[k] *= (*pn)[k];
}

std::vector<std::complex<double>> OneX_RevQuadSpreading(std::span<const std::complex<double>> frame,
                                                        double Imask, double Qmask) {
    checkFrame(frame.size());
    std::vector<std::complex<double>> output(frame.begin(), frame.end());
    spreadInPlace(output, Imask, Qmask);
    return output;
}

}  // namespace onex
