#include "Analysis/CaptureDisplays.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <set>
#include <utility>

#include "OneX/AirInterface.h"
#include "platform/Error.h"

namespace onex::analysis {

namespace {

using cplx = std::complex<double>;

ChipConstellationModel constellationOf(const std::vector<cplx>& d, const std::vector<cplx>& r) {
    ChipConstellationModel m;
    double largest = 0;
    m.i.reserve(d.size());
    m.q.reserve(d.size());
    for (const cplx& v : d) {
        m.i.push_back(v.real());
        m.q.push_back(v.imag());
        largest = std::max({largest, std::abs(v.real()), std::abs(v.imag())});
    }
    // The ideal chips take few values: each once, compared on a grid far
    // finer than their spacing.
    double idealLargest = 0;
    for (const cplx& v : r)
        idealLargest = std::max({idealLargest, std::abs(v.real()), std::abs(v.imag())});
    const double grid = idealLargest > 0 ? idealLargest * 1e-9 : 1;
    std::set<std::pair<long long, long long>> seen;
    for (const cplx& v : r)
        if (seen.insert({std::llround(v.real() / grid), std::llround(v.imag() / grid)}).second) {
            m.idealI.push_back(v.real());
            m.idealQ.push_back(v.imag());
        }
    largest = std::max(largest, idealLargest);
    m.limit = largest > 0 ? 1.1 * largest : 1;
    return m;
}

EvmTimeModel evmOf(const std::vector<cplx>& d, const std::vector<cplx>& r) {
    // The measured chips over their gain against the ideal ones, as the
    // analysis defines the error vector.
    cplx cross = 0;
    double idealPower = 0;
    for (std::size_t k = 0; k < d.size(); ++k) {
        cross += d[k] * std::conj(r[k]);
        idealPower += std::norm(r[k]);
    }
    if (!(idealPower > 0) || std::abs(cross) == 0)
        throw Error("Capture displays: the chips hold no signal");
    const cplx gain = cross / idealPower;
    const double idealRms = std::sqrt(idealPower / static_cast<double>(d.size()));
    const double msPerChip = 1e3 / kChipRate;

    EvmTimeModel m;
    m.chipTimeMs.resize(d.size());
    m.chipEvmPct.resize(d.size());
    double total = 0, run = 0, largest = 0;
    std::size_t inRun = 0;
    for (std::size_t k = 0; k < d.size(); ++k) {
        const double e2 = std::norm(d[k] / gain - r[k]) / (idealRms * idealRms);
        m.chipTimeMs[k] = (static_cast<double>(k) + 0.5) * msPerChip;
        m.chipEvmPct[k] = 100 * std::sqrt(e2);
        largest = std::max(largest, m.chipEvmPct[k]);
        total += e2;
        run += e2;
        if (++inRun == kEvmChipsPerPoint || k + 1 == d.size()) {
            const double middle = static_cast<double>(k + 1) - static_cast<double>(inRun) / 2;
            m.timeMs.push_back(middle * msPerChip);
            m.evmPct.push_back(100 * std::sqrt(run / static_cast<double>(inRun)));
            run = 0;
            inRun = 0;
        }
    }
    m.rmsPct = 100 * std::sqrt(total / static_cast<double>(d.size()));
    m.frameMs = static_cast<double>(d.size()) * msPerChip;
    m.limitPct = largest > 0 ? 1.1 * largest : 1;
    return m;
}

CodePowerModel codePowerOf(const CaptureAnalysis& a) {
    CodePowerModel m;
    double low = 0, high = 0;
    const auto span = [&](double v) {
        low = std::min(low, v);
        high = std::max(high, v);
    };
    for (std::size_t k = 0; k < kCodeChannels; ++k) {
        const ChannelPower& c = a.channels[k];
        if (!c.active) continue;
        CodePowerBar bar{std::string(codeChannelName(static_cast<CodeChannel>(k))), c.configuredDb,
                         c.measuredDb};
        span(c.configuredDb);
        if (c.measuredDb) span(*c.measuredDb);
        m.bars.push_back(std::move(bar));
    }
    if (std::isfinite(a.maxInactiveDb)) {
        m.bars.push_back({"inactive (largest)", std::nullopt, a.maxInactiveDb});
        span(a.maxInactiveDb);
    }
    m.floorDb = std::max(10 * std::floor(low / 10 - 0.5), kCodePowerFloorDb);
    m.topDb = 10 * std::ceil(high / 10 + 0.5);
    return m;
}

}  // namespace

CaptureDisplays captureDisplays(const CaptureAnalysis& a) {
    if (a.chips.empty() || a.chips.size() != a.idealChips.size())
        throw Error("Capture displays: the analysis kept no chips");
    return {constellationOf(a.chips, a.idealChips), evmOf(a.chips, a.idealChips), codePowerOf(a)};
}

}  // namespace onex::analysis
