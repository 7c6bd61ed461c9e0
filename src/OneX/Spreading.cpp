#include "OneX/Spreading.h"

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

std::vector<std::complex<double>> OneX_RevQuadSpreading(std::span<const std::complex<double>> frame,
                                                        double Imask, double Qmask) {
    if (frame.size() != kFrameChips)
        detail::fail("OneX_RevQuadSpreading", "frame must hold 32768 chips, given",
                     static_cast<double>(frame.size()));
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

    std::vector<std::complex<double>> output(kFrameChips);
    for (std::size_t k = 0; k < kFrameChips; ++k) {
        const double pni = iShort[k] * iLong[k];
        const double pnq = qCovered[k] * pni;
        output[k] = frame[k] * std::complex<double>(pni, pnq);
    }
    return output;
}

}  // namespace onex
