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

std::vector<std::complex<double>> makeSpreadingSequence(double Imask, double Qmask) {
    const std::vector<double> initialState = de2bi(kLongCodeStart);
    const CodeSequences longCode =
        OneX_RevLongCode(static_cast<double>(kFrameChips), initialState, Imask, Qmask);
    const CodeSequences shortCode = OneX_RevShortCode(1);
    const std::vector<double> iLong = OneX_SignalMap(longCode.Iseq);
    const std::vector<double> qLong = OneX_SignalMap(longCode.Qseq);
    const std::vector<double> iShort = OneX_SignalMap(shortCode.Iseq);
    const std::vector<double> qShort = OneX_SignalMap(shortCode.Qseq);

    // Keep the Q-side code at odd chips (1-based) only and hold each value for
    // two chips with the Walsh code (+1, -1).
    std::vector<double> decimated(kFrameChips / 2);
    for (std::size_t k = 0; k < decimated.size(); ++k)
        decimated[k] = qShort[2 * k] * qLong[2 * k];
    static constexpr double kWalsh2[2] = {1, -1};
    const std::vector<double> qCovered = OneX_WalshCover(decimated, kWalsh2);

    std::vector<std::complex<double>> pn(kFrameChips);
    for (std::size_t k = 0; k < kFrameChips; ++k) {
        const double pni = iShort[k] * iLong[k];
        pn[k] = {pni, qCovered[k] * pni};
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
