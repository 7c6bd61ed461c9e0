// Gateways of the waveform synthesis routines.

#include <fmt/format.h>

#include <cmath>

#include "OneX/BasebandFilter.h"
#include "OneX/Codes.h"
#include "OneX/DataSources.h"
#include "OneX/FirDesign.h"
#include "OneX/FrameBuilder.h"
#include "OneX/Impairments.h"
#include "OneX/OverheadChannels.h"
#include "OneX/ParametersArray.h"
#include "OneX/PhysicalLayerPacket.h"
#include "OneX/SequenceOps.h"
#include "OneX/Spreading.h"
#include "OneX/TurboEncoder.h"
#include "lib/Gateways.h"
#include "platform/Error.h"

namespace onex::lib::gw {

namespace {

using Outputs = std::vector<Array>;

// Row-major fixed matrix to the platform's column-major array.
Array matrixOf(const RealMatrix& m) {
    std::vector<double> cm(m.rows() * m.cols());
    for (std::size_t r = 0; r < m.rows(); ++r)
        for (std::size_t c = 0; c < m.cols(); ++c)
            cm[c * m.rows() + r] = m(r, c);
    return Array::matrix(m.rows(), m.cols(), cm);
}

bool isComplexInput(const Args& a, std::size_t k) {
    return a.at(k).isComplex();
}

// A real result of a routine that took a real input and complex internally
// (the imaginary parts are then zero).
std::vector<double> realParts(const std::vector<std::complex<double>>& v) {
    std::vector<double> out(v.size());
    for (std::size_t i = 0; i < v.size(); ++i)
        out[i] = v[i].real();
    return out;
}

// A numeric input that the routine treats as "not given" when it is not a
// single number (PNgenerator's n and dataLength); text, structures and cells
// are still refused.
std::optional<double> scalarOrDefault(const Args& a, std::size_t k) {
    if (!a.has(k)) return std::nullopt;
    const Array& v = a.at(k);
    if (!isRealNumeric(v)) a.fail(k, "a real number");
    if (!v.isScalar()) return std::nullopt;
    return v.realAt(0);
}

// A flag that counts only when it equals 1.
std::optional<double> flagEqualsOne(const Args& a, std::size_t k) {
    if (!a.has(k)) return std::nullopt;
    const Array& v = a.at(k);
    if (!isRealNumeric(v)) a.fail(k, "a real number");
    return (v.isScalar() && v.realAt(0) == 1) ? 1.0 : 0.0;
}

// The frame and, when asked for, its events: row 1 = marker1, row 2 =
// marker2, column-major.
Outputs frameOutputs(const FrameResult& r, std::size_t nargout) {
    Outputs out;
    out.push_back(complexRowOf(r.waveform));
    if (nargout >= 2) {
        const std::size_t n = r.marker1.size();
        std::vector<double> ev(2 * n);
        for (std::size_t i = 0; i < n; ++i) {
            ev[2 * i] = r.marker1[i];
            ev[2 * i + 1] = r.marker2[i];
        }
        out.push_back(Array::matrix(2, n, ev));
    }
    return out;
}

}  // namespace

Outputs OneX_RevTrfChn(const Args& a) {
    const auto ackSlotActive = a.realVector(4);
    const auto ackBits = a.realVector(5);
    const auto drcSlotActive = a.realVector(8);
    const auto drcValue = a.realVector(9);
    const auto drcCover = a.realVector(10);
    const auto dataBits = a.realVector(13);
    FrameInputs in;
    in.RRIactive = a.number(0);
    in.RRIvalue = a.number(1);
    in.ACKactive = a.number(2);
    in.ACKgain = a.number(3);
    in.ACKslotActive = ackSlotActive;
    in.ACKbits = ackBits;
    in.DRCactive = a.number(6);
    in.DRCgain = a.number(7);
    in.DRCslotActive = drcSlotActive;
    in.DRCvalue = drcValue;
    in.DRCcover = drcCover;
    in.DATAactive = a.number(11);
    in.DATAgain = a.number(12);
    in.DATAbits = dataBits;
    in.DATAencoderActive = a.number(14);
    in.DATArate = a.number(15);
    in.Imask = a.number(16);
    in.Qmask = a.number(17);
    in.oversamplingRate = a.number(18);
    in.filterType = a.filterChoice(19);
    in.mirrorSpectrum = a.number(20);
    return frameOutputs(onex::OneX_RevTrfChn(in), a.nargout());
}

Parameters parameterSetArg(const Args& a, std::size_t k) {
    Parameters p;
    try {
        fromArray(a.structure(k), p);
    } catch (const Error& e) {
        a.fail(fmt::format("{}: {}", a.label(k), e.what()));
    }
    return p;
}

Outputs calculateFrame(const Args& a) {
    const Parameters p = parameterSetArg(a, 0);
    const double sampleRate =
        a.has(1) && !a.at(1).isEmpty() ? a.number(1) : chipSamplingRate(p.OverSampling);
    const FrameResult r = Calculate(p, sampleRate);
    Outputs out = frameOutputs(r, a.nargout());
    if (a.nargout() >= 3)
        out.push_back(
            Array::string(describeImpairments(planImpairments(p, sampleRate, r.waveform.size()))));
    return out;
}

// --- data sources ---------------------------------------------------------

Outputs GenerateBitStream(const Args& a) {
    std::vector<double> pattern;
    if (a.has(2)) pattern = a.realVector(2);
    return {rowOf(onex::GenerateBitStream(a.number(0), a.number(1), pattern))};
}

Outputs PNgenerator(const Args& a) {
    std::optional<std::vector<double>> seed;
    if (a.has(3)) {
        auto s = a.realVector(3);
        if (!s.empty()) seed = std::move(s);
    }
    return {rowOf(onex::PNgenerator(scalarOrDefault(a, 0), scalarOrDefault(a, 1),
                                    flagEqualsOne(a, 2), seed, flagEqualsOne(a, 4)))};
}

Outputs ExtendVector(const Args& a) {
    return {rowOf(onex::ExtendVector(a.realVector(0), a.number(1)))};
}

Outputs bitVector(const Args& a) {
    std::vector<BitVectorArgument> args;
    for (std::size_t k = 0; k < a.count(); ++k) {
        if (a.at(k).isChar())
            args.emplace_back(a.text(k));
        else
            args.emplace_back(a.number(k));
    }
    return {rowOf(onex::bitVector(args))};
}

// --- packet and turbo encoder ---------------------------------------------

Outputs OneX_RevTrfPhysicalLayerPacket(const Args& a) {
    return {rowOf(onex::OneX_RevTrfPhysicalLayerPacket(a.realVector(0)))};
}

Outputs OneX_PhysicalLayerFCS(const Args& a) {
    return {rowOf(onex::OneX_PhysicalLayerFCS(a.realElements(0)))};
}

Outputs OneX_RevEncoder(const Args& a) {
    return {rowOf(onex::OneX_RevEncoder(a.realVector(0), a.number(1)))};
}

Outputs OneX_TurboCoder(const Args& a) {
    return {rowOf(onex::OneX_TurboCoder(a.realVector(0), a.number(1)))};
}

Outputs OneX_ConstituentEncoder(const Args& a) {
    ConstituentOutput c = onex::OneX_ConstituentEncoder(a.realVector(0));
    return {rowOf(c.x), rowOf(c.y0), rowOf(c.y1)};
}

Outputs OneX_TurboInterleaver(const Args& a) {
    return {rowOf(onex::OneX_TurboInterleaver(a.realVector(0)))};
}

Outputs OneX_TurboPuncturing(const Args& a) {
    return {rowOf(onex::OneX_TurboPuncturing(a.realVector(0), a.realVector(1), a.realVector(2),
                                             a.realVector(3), a.realVector(4), a.realVector(5),
                                             a.number(6)))};
}

// --- sequence operations ----------------------------------------------------

Outputs OneX_RevChnInterleaver(const Args& a) {
    return {rowOf(onex::OneX_RevChnInterleaver(a.realVector(0)))};
}

Outputs OneX_Repeat(const Args& a) {
    return {rowOf(onex::OneX_Repeat(a.realVector(0), a.number(1)))};
}

Outputs OneX_SignalMap(const Args& a) {
    // Element by element: the output keeps the input's size.
    Array out = rowOf(onex::OneX_SignalMap(a.realElements(0)));
    out.reshape(a.at(0).dims());
    return {out};
}

Outputs ReverseBits(const Args& a) {
    const double n = a.number(0);
    const double len = a.number(1);
    // Whole numbers that the bit reversal can hold exactly.
    if (!(n >= 0 && n <= 9007199254740992.0 && n == std::trunc(n)))
        a.fail(0, "a whole number from 0 to 2^53");
    if (!(len >= 0 && len <= 53 && len == std::trunc(len)))
        a.fail(1, "a whole number from 0 to 53");
    if (len < 53 && n >= std::ldexp(1.0, static_cast<int>(len)))
        a.fail("n has more than len bits.");
    return {numberOf(static_cast<double>(
        onex::ReverseBits(static_cast<std::uint64_t>(n), static_cast<unsigned>(len))))};
}

// --- overhead channels ------------------------------------------------------

Outputs OneX_WalshMatrix(const Args& a) {
    return {matrixOf(onex::OneX_WalshMatrix(a.number(0)))};
}

Outputs OneX_WalshCover(const Args& a) {
    const auto code = a.realVector(1);
    if (isComplexInput(a, 0))
        return {complexRowOf(onex::OneX_WalshCover(a.complexVector(0), code))};
    return {rowOf(onex::OneX_WalshCover(a.realVector(0), code))};
}

Outputs OneX_RevRRIencoder(const Args& a) {
    return {rowOf(onex::OneX_RevRRIencoder(a.number(0)))};
}

Outputs OneX_RevRRIchn(const Args& a) {
    return {matrixOf(onex::OneX_RevRRIchn(a.number(0), a.number(1)))};
}

Outputs OneX_RevDrcChn(const Args& a) {
    return {rowOf(onex::OneX_RevDrcChn(a.number(0), a.number(1)))};
}

// --- codes and spreading ----------------------------------------------------

Outputs OneX_RevLongCode(const Args& a) {
    CodeSequences c =
        onex::OneX_RevLongCode(a.number(0), a.realVector(1), a.number(2), a.number(3));
    return {rowOf(c.Iseq), rowOf(c.Qseq)};
}

Outputs OneX_RevShortCode(const Args& a) {
    CodeSequences c = onex::OneX_RevShortCode(a.number(0));
    return {rowOf(c.Iseq), rowOf(c.Qseq)};
}

Outputs lfsr(const Args& a) {
    return {rowOf(onex::lfsr(a.number(0), a.realVector(1), a.number(2), a.realVector(3)))};
}

Outputs CircularShiftLeft(const Args& a) {
    const double count = a.number(1);
    if (isComplexInput(a, 0))
        return {complexShaped(onex::CircularShiftLeft(a.complexVector(0), count), a.at(0))};
    return {realShaped(onex::CircularShiftLeft(a.realVector(0), count), a.at(0))};
}

Outputs OneX_RevQuadSpreading(const Args& a) {
    return {
        complexRowOf(onex::OneX_RevQuadSpreading(a.complexVector(0), a.number(1), a.number(2)))};
}

// --- oversampling and filtering --------------------------------------------

Outputs upsample(const Args& a) {
    const double n = a.number(1);
    if (isComplexInput(a, 0))
        return {complexShaped(onex::upsample(a.complexVector(0), n), a.at(0))};
    return {realShaped(onex::upsample(std::span<const double>(a.realVector(0)), n), a.at(0))};
}

Outputs upsampleMarker(const Args& a) {
    return {rowOf(onex::upsampleMarker(a.realVector(0), a.number(1)))};
}

Outputs OneX_BasebandFilter(const Args& a) {
    const auto frame = a.complexVector(0);
    auto out = onex::OneX_BasebandFilter(frame, a.number(1), a.filterChoice(2));
    // Real taps keep a real frame real.
    if (!isComplexInput(a, 0)) return {rowOf(realParts(out))};
    return {complexRowOf(out)};
}

Outputs FilterCoeff_IS95_Std(const Args& a) {
    return {rowOf(onex::FilterCoeff_IS95_Std(a.number(0)))};
}

Outputs FilterCoeff_IS95_Acp(const Args& a) {
    return {rowOf(onex::FilterCoeff_IS95_Acp(a.number(0)))};
}

Outputs circfilt(const Args& a) {
    const bool cx = isComplexInput(a, 0);
    const bool ch = isComplexInput(a, 1);
    const Array& shape = a.at(0);
    if (!cx && !ch) return {realShaped(onex::circfilt(a.realVector(0), a.realVector(1)), shape)};
    if (cx && !ch)
        return {complexShaped(onex::circfilt(a.complexVector(0), a.realVector(1)), shape)};
    if (!cx) return {complexShaped(onex::circfilt(a.realVector(0), a.complexVector(1)), shape)};
    return {complexShaped(onex::circfilt(a.complexVector(0), a.complexVector(1)), shape)};
}

}  // namespace onex::lib::gw
