#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cmath>
#include <numeric>
#include <string>

#include "OneX/FrameBuilder.h"
#include "OneX/FrameSummary.h"
#include "OneX/Spreading.h"
#include "OneX/TurboEncoder.h"
#include "platform/Error.h"

using namespace onex;
using C = std::complex<double>;

namespace {

constexpr std::size_t kChips = 32768;

// The spreading code written out independently from the code definitions:
// long code by a literal 42-stage register, short codes by their recursions.
std::vector<C> spreadingCode(double imask, double qmask) {
    // Long code: stage k (1-based) = bit k-1 of 24B91BFD3A8; Galois step.
    const int taps[41] = {1, 1, 1, 0, 1, 1, 1, 0, 0, 1, 0, 0, 0, 0, 0, 1, 1, 1, 1, 0, 1,
                          1, 0, 0, 1, 1, 1, 0, 0, 0, 1, 0, 1, 0, 1, 0, 0, 0, 0, 0, 0};
    std::array<int, 42> sr{}, im{}, qm{};
    const unsigned long long start = 0x24B91BFD3A8ULL;
    const auto imaskBits = static_cast<unsigned long long>(imask);
    const auto qmaskBits = static_cast<unsigned long long>(qmask);
    for (int k = 0; k < 42; ++k) {
        sr[k] = (start >> k) & 1;
        im[k] = (imaskBits >> k) & 1;
        qm[k] = (qmaskBits >> k) & 1;
    }
    std::vector<int> iLong(kChips), qLong(kChips);
    for (std::size_t i = 0; i < kChips; ++i) {
        int pi = 0, pq = 0;
        for (int k = 0; k < 42; ++k) {
            pi ^= sr[k] & im[k];
            pq ^= sr[k] & qm[k];
        }
        iLong[i] = pi;
        qLong[i] = pq;
        const int f = sr[41];
        for (int k = 41; k >= 1; --k)
            sr[k] = sr[k - 1] ^ (taps[k - 1] & f);
        sr[0] = f;
    }
    // Short codes: m-sequence a(1..32767) from fourteen 0s and a 1, a 0 put in
    // front, then rotated left by 15.
    auto shortCode = [](const std::vector<int>& delays) {
        std::vector<int> a(32768, 0);  // a[1..32767] used, 1-based
        a[15] = 1;
        for (std::size_t i = 16; i <= 32767; ++i) {
            int v = 0;
            for (int d : delays)
                v ^= a[i - d];
            a[i] = v;
        }
        std::vector<int> x(32768);  // x(1) = 0, x(j) = a(j-1)
        x[0] = 0;
        for (std::size_t j = 1; j < 32768; ++j)
            x[j] = a[j];
        std::vector<int> s(32768);
        for (std::size_t j = 0; j < 32768; ++j)
            s[j] = x[(j + 15) % 32768];
        return s;
    };
    const std::vector<int> iShort = shortCode({15, 10, 8, 7, 6, 2});
    const std::vector<int> qShort = shortCode({15, 12, 11, 10, 9, 5, 4, 3});

    std::vector<C> pn(kChips);
    for (std::size_t k = 0; k < kChips; ++k) {
        const double pni = (1 - 2 * iShort[k]) * (1 - 2 * iLong[k]);
        const std::size_t kk = k - (k % 2);  // the odd 1-based chip of the pair
        const double q = (1 - 2 * qShort[kk]) * (1 - 2 * qLong[kk]);
        const double pnq = pni * q * (k % 2 == 0 ? 1 : -1);
        pn[k] = {pni, pnq};
    }
    return pn;
}

// Undoes the spreading: |PN|^2 = 2.
std::vector<C> despread(std::span<const C> wave, double imask, double qmask) {
    const std::vector<C> pn = spreadingCode(imask, qmask);
    std::vector<C> chips(kChips);
    for (std::size_t k = 0; k < kChips; ++k)
        chips[k] = wave[k] * std::conj(pn[k]) / 2.0;
    return chips;
}

// Walsh code r of length n, Sylvester order.
double walsh(unsigned r, unsigned c) {
    return std::popcount(r & c) % 2 ? -1.0 : 1.0;
}

const char* const kDrcTable[16] = {
    "00000000", "11111111", "01010101", "10101010", "00110011", "11001100", "01100110", "10011001",
    "00001111", "11110000", "01011010", "10100101", "00111100", "11000011", "01101001", "10010110"};

// Parameters with every channel on; OverSampling 1, no filter, no mirroring,
// so the waveform is the spread chip frame itself.
Parameters allChannels() {
    Parameters p = InitializeParameters();
    p.RRIactive = 1;
    p.RRIvalue = 5;
    p.DRCactive = 1;
    p.DRCrelGain = -6;
    p.ACKactive = 1;
    p.ACKrelGain = 3;
    p.DATAactive = 1;
    p.DATArelGain = -20;
    p.EncoderActive = 0;
    p.DATASourceType = 3;  // 0 1 0 1 ...
    p.IMask = 0x123456789AB;
    p.QMask = 0x3A5A5A5A5A5;
    for (std::size_t k = 0; k < 16; ++k) {
        p.slot.ACKslotActive[k] = k % 3 != 1;
        p.slot.ACKslotValue[k] = k % 2;
    }
    for (std::size_t k = 0; k < 17; ++k) {
        p.slot.DRCslotActive[k] = k != 4 && k != 9;  // slots 5 and 10 silent
        p.slot.DRCslotValue[k] = (3 * k + 1) % 16;
        p.slot.DRCslotCover[k] = k % 8;
    }
    p.OverSampling = 1;
    p.FilterType = 4;
    p.MirrorSpectrum = 1;
    return p;
}

// The chip frame expected from the channel definitions.
std::vector<C> expectedChips(const Parameters& p) {
    const std::string rriWord = "1011010";  // RRI value 5
    const double ackGain = std::pow(10.0, p.ACKrelGain / 20);
    const double drcGain = std::pow(10.0, p.DRCrelGain / 20);
    const double dataGain = std::pow(10.0, p.DATArelGain / 20);
    // Chip p (0..2047) of the DRC burst of slot entry e (0..16).
    auto drcChip = [&](std::size_t e, std::size_t pos) {
        if (!p.DRCactive || !p.slot.DRCslotActive[e]) return 0.0;
        const std::size_t n = pos / 16;  // the 128 covered DRC chips
        const char bit = kDrcTable[static_cast<int>(p.slot.DRCslotValue[e])][(n / 8) % 8];
        const double symbol = bit == '1' ? -1.0 : 1.0;
        const double cover = walsh(static_cast<unsigned>(p.slot.DRCslotCover[e]), n % 8);
        return symbol * cover * walsh(8, pos % 16) * drcGain;
    };
    std::vector<C> chips(kChips);
    for (std::size_t s = 0; s < 16; ++s)
        for (std::size_t c = 0; c < 2048; ++c) {
            double re = 1.0;  // pilot
            if (p.RRIactive && c < 256) re = rriWord[(s * 16 + c / 16) % 7] == '1' ? -1.0 : 1.0;
            if (p.ACKactive && p.slot.ACKslotActive[s] && c < 1024)
                re += (1 - 2 * p.slot.ACKslotValue[s]) * walsh(4, c % 8) * ackGain;
            const double drc =
                c < 1024 ? drcChip(s == 0 ? 16 : s - 1, c + 1024) : drcChip(s, c - 1024);
            const double dataBit = (s * 512 + c / 4) % 2;
            const double data = p.DATAactive ? (1 - 2 * dataBit) * walsh(2, c % 4) * dataGain : 0.0;
            chips[s * 2048 + c] = {re, drc + data};
        }
    return chips;
}

double maxDiff(const std::vector<C>& a, const std::vector<C>& b) {
    double m = 0;
    for (std::size_t i = 0; i < a.size(); ++i)
        m = std::max(m, std::abs(a[i] - b[i]));
    return m;
}

template <class F>
std::string errorOf(F&& f) {
    try {
        f();
    } catch (const Error& e) {
        return e.what();
    }
    return "";
}

}  // namespace

TEST(FrameBuilder, DefaultParameters) {
    const Parameters p = InitializeParameters();
    EXPECT_EQ(p.ParameterFileFormat_ID, "OneX-Rev - Format 1.1");
    EXPECT_EQ(p.IMask, 4398046511103.0);
    EXPECT_EQ(p.QMask, 4398046511103.0);
    EXPECT_EQ(p.slot.ACKslotActive, std::vector<double>(16, 1.0));
    EXPECT_EQ(p.slot.DRCslotValue, std::vector<double>(17, 15.0));
    EXPECT_EQ(p.slot.DRCslotCover, std::vector<double>(17, 7.0));
    EXPECT_EQ(p.EncoderActive, 1);
    EXPECT_EQ(p.DATASourceType, 6);
    EXPECT_EQ(p.OverSampling, 5);
    EXPECT_EQ(p.FilterType, 3);
    EXPECT_EQ(p.ProjectedLength, 5 * 32768.0);

    // All channels off: every chip before spreading is 1 + 0j.
    Parameters q = p;
    q.OverSampling = 1;
    q.FilterType = 4;
    q.MirrorSpectrum = 1;
    const FrameResult r = Calculate(q);
    ASSERT_EQ(r.waveform.size(), kChips);
    EXPECT_LT(maxDiff(despread(r.waveform, q.IMask, q.QMask), std::vector<C>(kChips, 1.0)), 1e-15);
    EXPECT_EQ(std::accumulate(r.marker1.begin(), r.marker1.end(), 0.0), 32);
    for (std::size_t k = 0; k < kChips; k += 1024)
        EXPECT_EQ(r.marker1[k], 1);
    EXPECT_EQ(std::count(r.marker2.begin(), r.marker2.end(), 0), kChips);
}

TEST(FrameBuilder, EveryChannelOnMatchesTheChannelDefinitions) {
    const Parameters p = allChannels();
    const FrameResult r = Calculate(p);
    ASSERT_EQ(r.waveform.size(), kChips);
    const std::vector<C> chips = despread(r.waveform, p.IMask, p.QMask);
    const std::vector<C> expected = expectedChips(p);
    EXPECT_LT(maxDiff(chips, expected), 1e-12);

    // A few chips worked out by hand. Slot 1, chip 1: RRI bit 1 of "1011010"
    // is 1 (-1); ACK bit 0 in slot 1 (+1) x +3 dB; burst 17 (value 1, cover 0:
    // all -1) at its chip 1025, the first of a 16-chip Walsh group (+1), so
    // -1 x -6 dB; Data bit 0 -> +1 x 0.1.
    const double ack = std::pow(10.0, 3.0 / 20), drc = std::pow(10.0, -6.0 / 20);
    EXPECT_NEAR(chips[0].real(), -1 + ack, 1e-12);
    EXPECT_NEAR(chips[0].imag(), -drc + 0.1, 1e-12);
    // Slot 1, chip 257: pilot; ACK symbol +1 with cover chip 257 -> +1.
    EXPECT_NEAR(chips[256].real(), 1 + ack, 1e-12);
    // Slot 2 is without ACK (k % 3 == 1), and its first half carries slot 1's
    // burst (value 1, cover 1: -1 x (+ - + - ...)).
    EXPECT_NEAR(chips[2048 + 300].real(), 1.0, 1e-12);
    // Slot 5's burst is off: the second half of slot 5 and the first half of
    // slot 6 carry Data only.
    for (std::size_t c = 4 * 2048 + 1024; c < 5 * 2048 + 1024; ++c)
        ASSERT_NEAR(std::abs(chips[c].imag()), 0.1, 1e-12) << c;

    // Markers: half-slot pulses; ACK half-slots.
    for (std::size_t k = 0; k < kChips; ++k) {
        ASSERT_EQ(r.marker1[k], k % 1024 == 0 ? 1 : 0) << k;
        const std::size_t s = k / 2048;
        ASSERT_EQ(r.marker2[k], (s % 3 != 1 && k % 2048 < 1024) ? 1 : 0) << k;
    }
}

TEST(FrameBuilder, OversamplingMirroringAndMarkersHeld) {
    Parameters p = allChannels();
    const FrameResult one = Calculate(p);
    p.OverSampling = 3;
    p.MirrorSpectrum = 0;
    const FrameResult three = Calculate(p);
    ASSERT_EQ(three.waveform.size(), 3 * kChips);
    ASSERT_EQ(three.marker1.size(), 3 * kChips);
    ASSERT_EQ(three.marker2.size(), 3 * kChips);
    for (std::size_t k = 0; k < 3 * kChips; ++k) {
        // No filter: the zero-stuffed frame, conjugated as mirrorSpectrum is 0.
        const C expected = k % 3 == 0 ? std::conj(one.waveform[k / 3]) : C(0);
        ASSERT_EQ(three.waveform[k], expected) << k;
        ASSERT_EQ(three.marker1[k], one.marker1[k / 3]) << k;
        ASSERT_EQ(three.marker2[k], one.marker2[k / 3]) << k;
    }
    // Rectangular filter holds each chip.
    p.FilterType = 1;
    const FrameResult held = Calculate(p);
    for (std::size_t k = 0; k < 3 * kChips; ++k)
        ASSERT_EQ(held.waveform[k], std::conj(one.waveform[k / 3])) << k;
}

TEST(FrameBuilder, DesignedFilterStagesInOrder) {
    // The builder oversamples and filters in one step; it must equal the
    // stages called one after the other.
    Parameters p = allChannels();
    p.OverSampling = 5;
    p.FilterType = 3;
    p.MirrorSpectrum = 0;
    const FrameResult r = Calculate(p);
    ASSERT_EQ(r.waveform.size(), 5 * kChips);
    const std::vector<double> bits = prepareDataBits(p);
    FrameInputs in;
    in.RRIactive = p.RRIactive, in.RRIvalue = p.RRIvalue, in.ACKactive = p.ACKactive;
    in.ACKgain = p.ACKrelGain, in.ACKslotActive = p.slot.ACKslotActive;
    in.ACKbits = p.slot.ACKslotValue, in.DRCactive = p.DRCactive, in.DRCgain = p.DRCrelGain;
    in.DRCslotActive = p.slot.DRCslotActive, in.DRCvalue = p.slot.DRCslotValue;
    in.DRCcover = p.slot.DRCslotCover, in.DATAactive = p.DATAactive, in.DATAgain = p.DATArelGain;
    in.DATAbits = bits;
    const std::vector<C> spread =
        OneX_RevQuadSpreading(buildChipFrame(in, bits).chips, p.IMask, p.QMask);
    const std::vector<C> filtered = OneX_BasebandFilter(upsample(spread, 5), 5, 3.0);
    double peak = 0, diff = 0;
    for (std::size_t k = 0; k < filtered.size(); ++k) {
        peak = std::max(peak, std::abs(filtered[k]));
        diff = std::max(diff, std::abs(std::conj(filtered[k]) - r.waveform[k]));
    }
    EXPECT_LT(diff, 1e-12 * peak);

    // One sample per chip: the IS-95 filters cannot be designed, the others work.
    p.OverSampling = 1;
    EXPECT_EQ(errorOf([&] { Calculate(p); }), "Frequencies must lie between 0 and 1.");
    p.FilterType = 1;
    EXPECT_EQ(Calculate(p).waveform.size(), kChips);
}

TEST(FrameBuilder, DrcCarriedInFromThePreviousFrameOnly) {
    Parameters p = allChannels();
    p.RRIactive = p.ACKactive = p.DATAactive = 0;
    p.slot.DRCslotActive.assign(17, 0.0);
    p.slot.DRCslotActive[16] = 1;
    const std::vector<C> chips = despread(Calculate(p).waveform, p.IMask, p.QMask);
    const std::vector<C> expected = expectedChips(p);
    for (std::size_t k = 0; k < kChips; ++k) {
        ASSERT_EQ(chips[k].imag() != 0, k < 1024) << k;
        ASSERT_NEAR(chips[k].imag(), expected[k].imag(), 1e-12) << k;
    }
}

TEST(FrameBuilder, EncodedDataAndGains) {
    // All-zero payload: zero check bits and tail, an all-zero code, so every
    // Data chip is +gain times the cover (+ + - -).
    for (double rate : {1.0, 3.0, 5.0}) {
        Parameters p = allChannels();
        p.RRIactive = p.ACKactive = p.DRCactive = 0;
        p.EncoderActive = 1;
        p.DataRate = rate;
        p.DATASourceType = 1;
        p.DATArelGain = 20;
        const std::vector<C> chips = despread(Calculate(p).waveform, p.IMask, p.QMask);
        for (std::size_t k = 0; k < kChips; ++k)
            ASSERT_NEAR(chips[k].imag(), 10.0 * walsh(2, k % 4), 1e-12) << rate << " " << k;
    }
    // 0 dB is amplitude 1.
    Parameters p = allChannels();
    p.RRIactive = p.DRCactive = p.DATAactive = 0;
    p.ACKrelGain = 0;
    p.slot.ACKslotValue.assign(16, 1.0);
    const std::vector<C> chips = despread(Calculate(p).waveform, p.IMask, p.QMask);
    EXPECT_NEAR(chips[0].real(), 0.0, 1e-12);     // pilot 1 + ACK -1
    EXPECT_NEAR(chips[4].real(), 2.0, 1e-12);     // pilot 1 + ACK -1 x -1
    EXPECT_NEAR(chips[2048].real(), 1.0, 1e-12);  // slot 2 has no ACK
}

TEST(FrameBuilder, EncodedFrameUsesTheEncoderOutput) {
    Parameters p = allChannels();
    p.RRIactive = p.ACKactive = p.DRCactive = 0;
    p.EncoderActive = 1;
    p.DataRate = 2;
    p.DATASourceType = 6;
    const std::vector<double> packet = prepareDataBits(p);
    ASSERT_EQ(packet.size(), 512u);
    const std::vector<C> chips = despread(Calculate(p).waveform, p.IMask, p.QMask);
    // Rate 2 repeats a 2048-symbol code four times: every slot of four
    // carries the same Data chips.
    for (std::size_t k = 0; k < kChips - 4 * 2048; ++k)
        ASSERT_NEAR(chips[k].imag(), chips[k + 4 * 2048].imag(), 1e-12) << k;
    // And the chips are the encoder's symbols, mapped, covered and weighted.
    const std::vector<double> symbols = OneX_RevEncoder(packet, 2);
    for (std::size_t k = 0; k < kChips; ++k)
        ASSERT_NEAR(chips[k].imag(), (1 - 2 * symbols[k / 4]) * walsh(2, k % 4) * 0.1, 1e-12) << k;
}

TEST(FrameBuilder, BadParametersAreRefused) {
    auto failsWith = [](Parameters p, const std::string& part) {
        const std::string text = errorOf([&] { Calculate(p); });
        EXPECT_NE(text.find(part), std::string::npos) << "'" << text << "' lacks '" << part << "'";
    };
    const Parameters base = allChannels();
    Parameters p;

    p = base, p.RRIvalue = 8, failsWith(p, "RRIvalue");
    p = base, p.slot.DRCslotValue[3] = 16, failsWith(p, "DRCvalue of slot 4");
    p = base, p.slot.DRCslotCover[16] = 8, failsWith(p, "DRCcover of slot 17");
    p = base, p.slot.DRCslotCover[16] = 1.5, failsWith(p, "(got 1.5)");
    p = base, p.IMask = 4398046511104.0, failsWith(p, "Imask");
    p = base, p.QMask = std::nan(""), failsWith(p, "Qmask");
    p = base, p.ACKrelGain = std::nan(""), failsWith(p, "ACKgain");
    p = base, p.DRCrelGain = INFINITY, failsWith(p, "DRCgain");
    p = base, p.OverSampling = 31, failsWith(p, "oversamplingRate");
    p = base, p.OverSampling = 0, failsWith(p, "oversamplingRate");
    p = base, p.OverSampling = 2.5, failsWith(p, "oversamplingRate");
    p = base, p.OverSampling = 1e9, failsWith(p, "oversamplingRate");
    p = base, p.OverSampling = std::nan(""), failsWith(p, "oversamplingRate");
    p = base, p.slot.ACKslotActive.resize(15), failsWith(p, "ACKslotActive must have 16");
    p = base, p.slot.DRCslotValue.resize(16), failsWith(p, "DRCvalue must have 17");
    p = base, p.DATASourceType = 7, failsWith(p, "type 7 needs user data bits");
    p = base, p.DATASourceType = 9, failsWith(p, "DATASourceType");
    p = base, p.EncoderActive = 1, p.DataRate = 2.5, failsWith(p, "DataRate");
    p = base, p.EncoderActive = 1, p.DataRate = 7, failsWith(p, "DATArate");
    p = base, p.MirrorSpectrum = std::nan(""), failsWith(p, "mirrorSpectrum");

    // Values that are not used are not checked.
    p = base, p.RRIactive = 0, p.RRIvalue = 99;
    EXPECT_NO_THROW(Calculate(p));
    p = base, p.slot.DRCslotActive[3] = 0, p.slot.DRCslotValue[3] = 99;
    EXPECT_NO_THROW(Calculate(p));
    p = base, p.DATAactive = 0, p.EncoderActive = 1, p.DataRate = 7;
    EXPECT_NO_THROW(Calculate(p));
    p = base, p.DATAactive = 0, p.DATASourceType = 9;
    EXPECT_NO_THROW(Calculate(p));

    // The builder's own inputs: too few Data bits, a packet of the wrong size.
    FrameInputs in;
    const std::vector<double> ack(16, 1.0), drc(17, 0.0), few(100, 0.0), wrong(300, 0.0);
    in.ACKslotActive = ack;
    in.ACKbits = ack;
    in.DRCslotActive = drc;
    in.DRCvalue = drc;
    in.DRCcover = drc;
    in.DATAactive = 1;
    in.DATAbits = few;
    in.filterType = 4.0;
    EXPECT_NE(errorOf([&] { OneX_RevTrfChn(in); }).find("at least 8192"), std::string::npos);
    in.DATAencoderActive = 1;
    in.DATAbits = wrong;
    EXPECT_NE(errorOf([&] { OneX_RevTrfChn(in); }).find("packet of 256"), std::string::npos);
}

TEST(FrameSummary, PeakRmsAndTheLineTheCommandLinePrints) {
    const std::vector<C> w = {{3, 4}, {0, 0}, {0, -1}, {0, 0}};
    const FrameSummary s = summarizeFrame(w);
    EXPECT_EQ(s.samples, 4u);
    EXPECT_DOUBLE_EQ(s.peak, 5);
    EXPECT_DOUBLE_EQ(s.rms, std::sqrt((25.0 + 1.0) / 4));
    Parameters p = InitializeParameters();
    p.OverSampling = 8;
    EXPECT_EQ(describeFrame(s, 9830400, p, 12.34),
              "4 samples at 9830400 Sa/s (OverSampling 8, filter IS-95 with improved ACP), peak "
              "|x| 5.0000, RMS 2.5495, 12.3 ms");
    // The filter the frame was built with, by the names the filter menu shows.
    const std::pair<double, std::string> names[] = {{1, "Rectangular (sample and hold)"},
                                                    {4, "None (zero-stuffed chips)"},
                                                    {7, "IS-95 standard"}};
    for (const auto& [type, name] : names) {
        p.FilterType = type;
        EXPECT_NE(describeFrame(s, 9830400, p, 1).find("(OverSampling 8, filter " + name + ")"),
                  std::string::npos)
            << type;
    }
    EXPECT_EQ(summarizeFrame({}).rms, 0);  // no samples, no division by zero
}
