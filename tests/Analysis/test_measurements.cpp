// Measurements of frames and of signals whose answers follow by reasoning:
// channel powers against the gains that made the frame, tones and flat bands
// for the spectrum figures, Gaussian noise for the CCDF points.

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "Analysis/Ccdf.h"
#include "Analysis/CodeDomain.h"
#include "Analysis/MeasurementReport.h"
#include "Analysis/Measurements.h"
#include "NoiseGain.h"
#include "OneX/AirInterface.h"
#include "OneX/BasebandFilter.h"
#include "OneX/FrameBuilder.h"
#include "platform/Error.h"
#include "platform/Fft.h"

using namespace onex;
using namespace onex::analysis;
using C = std::complex<double>;

namespace {

// Every channel on, with sparse slot vectors so that a channel measured over
// the wrong chips would average in silence: DRC in slots 1, 6, 7 and from
// the previous frame, ACK in slots 2, 3, 16.
Parameters everyChannel(double os, double filter, double drc, double ack, double data) {
    Parameters p = InitializeParameters();
    p.OverSampling = os;
    p.FilterType = filter;
    p.RRIactive = 1;
    p.RRIvalue = 5;
    p.DRCactive = p.ACKactive = p.DATAactive = 1;
    p.DRCrelGain = drc;
    p.ACKrelGain = ack;
    p.DATArelGain = data;
    p.DataRate = 4;
    p.slot.DRCslotActive.assign(17, 0.0);
    for (std::size_t k : {0, 5, 6, 16})
        p.slot.DRCslotActive[k] = 1;
    p.slot.DRCslotValue = {3, 0, 1, 2, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 6};
    p.slot.ACKslotActive.assign(16, 0.0);
    for (std::size_t k : {1, 2, 15})
        p.slot.ACKslotActive[k] = 1;
    p.slot.ACKslotValue[2] = 0;
    p.IMask = 0x2A5A5A5A5A5;
    p.QMask = 0x15A5A5A5A5A;
    return p;
}

void expectGainsMet(const CodeDomainResult& r, const Parameters& p, double tolerance) {
    for (std::size_t k = 0; k < kCodeChannels; ++k) {
        const ChannelPower& c = r.channels[k];
        ASSERT_TRUE(c.active) << codeChannelName(static_cast<CodeChannel>(k));
        ASSERT_TRUE(c.measuredDb);
        EXPECT_NEAR(*c.measuredDb, c.configuredDb, tolerance)
            << codeChannelName(static_cast<CodeChannel>(k)) << " at OverSampling " << p.OverSampling
            << ", FilterType " << p.FilterType;
    }
}

// A waveform whose DFT is `bins` at the bins listed (centred bin numbers).
std::vector<C> fromBins(std::size_t n, const std::vector<std::pair<long, C>>& bins) {
    std::vector<C> x(n);
    for (const auto& [k, v] : bins)
        x[static_cast<std::size_t>((k + static_cast<long>(n)) % static_cast<long>(n))] = v;
    return platform::ifft(x);
}

}  // namespace

// The frame builder's gains come back from the waveform at every
// oversampling rate (each with one of the filters, in turn): exactly (within
// 0.01 dB) through the equalising receiver, while the matched filter alone
// is exact only without a filter's inter-symbol interference.
TEST(CodeDomain, MeasuredPowersAreTheConfiguredGains) {
    const double gains[][3] = {{-10, 10, -10}, {10, -10, 10}, {-3, 7, 0}, {4.5, -6, -10}};
    const double filters[] = {3, 2, 1, 4};
    for (std::size_t g = 0; g <= 28; ++g) {
        const double os = static_cast<double>(g + 2), filter = filters[g % 4];
        const auto& gain = gains[g / 4 % std::size(gains)];
        Parameters p = everyChannel(os, filter, gain[0], gain[1], gain[2]);
        p.MirrorSpectrum = static_cast<double>(g / 4 % 2);
        const FrameResult f = Calculate(p);
        const CodeDomainResult r = measureCodeDomain(f.waveform, p);
        expectGainsMet(r, p, 0.01);
        EXPECT_GT(r.rho, 0.9999);

        const CodeDomainResult plain = measureCodeDomain(f.waveform, p, Receiver::MatchedFilter);
        if (filter == 1 || filter == 4) {
            expectGainsMet(plain, p, 0.01);
            EXPECT_GT(plain.rho, 0.9999);
        } else {
            // About -17 dB of interference per chip: rho near 0.98.
            EXPECT_LT(plain.rho, 0.99);
            EXPECT_GT(plain.rho, 0.97);
        }
    }
}

// What is measured is the waveform, not the parameter set: a frame made with
// another gain reads that gain, and one made with other codes is noise to
// the receiver.
TEST(CodeDomain, ReadsTheWaveformNotTheParameterSet) {
    // Pilot 1 on I, DRC +-a on Q in every chip (bursts in all 17 slots).
    Parameters made = InitializeParameters();
    made.DRCactive = 1;
    made.DRCrelGain = -6;
    const FrameResult f = Calculate(made);
    Parameters claimed = made;
    claimed.DRCrelGain = 0;
    const CodeDomainResult r = measureCodeDomain(f.waveform, claimed);
    EXPECT_NEAR(*r[CodeChannel::DRC].measuredDb, -6, 0.01);
    EXPECT_EQ(r[CodeChannel::DRC].configuredDb, 0);
    // Chips 1 + j a s against ideal 1 + j s (s = +-1, summing to zero):
    // rho = (1 + a)^2 / ((1 + a^2) 2).
    const double a = std::pow(10, -6.0 / 20);
    EXPECT_NEAR(r.rho, (1 + a) * (1 + a) / ((1 + a * a) * 2), 1e-9);

    claimed = everyChannel(5, 3, 0, 0, 0);
    const FrameResult other = Calculate(claimed);
    claimed.IMask = 0x3FFFFFFFFFF;
    EXPECT_LT(measureCodeDomain(other.waveform, claimed).rho, 0.01);

    // A waveform of another length is not this frame.
    EXPECT_THROW(measureCodeDomain(std::span(f.waveform).first(1000), made), Error);
}

// Active means configured on and present in some chip; the pilot is the
// reference in every frame.
TEST(CodeDomain, ChannelsOffOrWithoutChipsAreInactive) {
    Parameters p = InitializeParameters();
    p.OverSampling = 2;
    p.DRCactive = p.ACKactive = 1;
    p.slot.DRCslotActive.assign(17, 0.0);
    p.slot.ACKslotActive.assign(16, 0.0);
    p.ACKrelGain = 5;
    const CodeDomainResult r = measureCodeDomain(Calculate(p).waveform, p);
    EXPECT_TRUE(r[CodeChannel::Pilot].active);
    EXPECT_EQ(r[CodeChannel::Pilot].measuredDb, 0.0);
    for (CodeChannel c :
         {CodeChannel::RRI, CodeChannel::DRC, CodeChannel::ACK, CodeChannel::Data}) {
        EXPECT_FALSE(r[c].active) << codeChannelName(c);
        EXPECT_FALSE(r[c].measuredDb) << codeChannelName(c);
    }
    EXPECT_EQ(r[CodeChannel::ACK].configuredDb, 5);

    // Only the previous frame's burst: the first half-slot carries DRC.
    p.slot.DRCslotActive[16] = 1;
    p.DRCrelGain = -4;
    const CodeDomainResult spill = measureCodeDomain(Calculate(p).waveform, p);
    EXPECT_TRUE(spill[CodeChannel::DRC].active);
    EXPECT_NEAR(*spill[CodeChannel::DRC].measuredDb, -4, 0.01);
}

// numpy.quantile(0..99, q) is 99 q, so the points are 89.1, 98.01, ...
TEST(Measurements, CcdfPointsAreLinearQuantiles) {
    std::vector<double> v(100);
    for (std::size_t k = 0; k < v.size(); ++k)
        v[(k * 37) % 100] = static_cast<double>(k);  // out of order
    const auto points = ccdfPoints(v);
    const double expected[] = {89.1, 98.01, 98.901, 98.9901, 98.99901};
    for (std::size_t i = 0; i < points.size(); ++i)
        EXPECT_NEAR(points[i], expected[i], 1e-9) << kCcdfPercent[i];
    EXPECT_EQ(ccdfPoints({3.5})[4], 3.5);
}

// The power of complex Gaussian noise is exponential: it exceeds x times its
// mean with probability exp(-x), so the point at p % is 10 log10(ln(100/p)).
// The tolerances are a few standard errors of 2^20 samples.
TEST(Measurements, GaussianNoiseFollowsTheExponentialLaw) {
    std::mt19937 gen(3);
    std::normal_distribution<double> g(0, 1);
    std::vector<C> noise(std::size_t{1} << 20);
    for (C& x : noise)
        x = {g(gen), g(gen)};
    MeasurementOptions o;
    o.acprOffsetsHz = {885000};
    const WaveformMeasurements m = measureWaveform(noise, 32 * 1228800.0, o);
    const double tolerance[] = {0.02, 0.04, 0.08, 0.2, 0.6};
    for (std::size_t i = 0; i < kCcdfPercent.size(); ++i)
        EXPECT_NEAR(m.ccdfDb[i], 10 * std::log10(std::log(100 / kCcdfPercent[i])), tolerance[i])
            << kCcdfPercent[i] << " %";
    EXPECT_NEAR(m.averagePower, 2, 0.01);
    // White: the bands hold power in proportion to their bins, 801 of 32801.
    EXPECT_NEAR(*m.acpr[0].dbc, 10 * std::log10(801.0 / 32801), 0.3);
}

// Tones and a flat band on bins of 37.5 Hz (163840 samples at 6.144 MHz).
TEST(Measurements, SpectrumFiguresOfTonesAndFlatBands) {
    const std::size_t n = 163840;
    const double rate = 6144000, bin = 37.5;
    const long at885k = 23600;
    MeasurementOptions o;

    // Carrier plus a tone 20 dB down at +885 kHz: the tone is all of the
    // +885 kHz band, nothing but rounding is at -885 kHz; 99 % of the power
    // spans both.
    WaveformMeasurements m = measureWaveform(fromBins(n, {{0, 1.0}, {at885k, 0.1}}), rate, o);
    EXPECT_NEAR(*m.acpr[2].dbc, -20, 1e-9);
    EXPECT_LT(*m.acpr[1].dbc, -200);
    // The occupied bandwidth runs from the lower edge of the lowest bin
    // needed to the upper edge of the highest: a tone occupies one bin.
    EXPECT_NEAR(m.obwHz, 885000 + bin, 1e-6);
    m = measureWaveform(fromBins(n, {{-12, C(0, 2)}}), rate, o);
    EXPECT_NEAR(m.obwHz, bin, 1e-9);
    EXPECT_NEAR(m.paprDb, 0, 1e-9);

    // A flat band 64 bins (2400 Hz) wide: each bin holds 1/64 of the power,
    // more than 0.5 %, so 99 % needs every bin and the width is the band's.
    std::vector<std::pair<long, C>> narrow;
    for (long k = 1000; k < 1064; ++k)
        narrow.push_back({k, std::polar(1.0, 0.3 * static_cast<double>(k * k))});
    EXPECT_NEAR(measureWaveform(fromBins(n, narrow), rate, o).obwHz, 2400, 1e-6);

    // Flat over bins -20000..20000 (+-750 kHz): the offset band's 801 bins
    // over the channel band's 32801 (+-615 kHz); the outer 200 of the 40001
    // bins on each side hold less than 0.5 %, the 201st reaches it.
    std::vector<std::pair<long, C>> flat;
    for (long k = -20000; k <= 20000; ++k)
        flat.push_back({k, std::polar(1.0, 0.7 * static_cast<double>(k * k))});
    o.acprOffsetsHz = {-600000, 600000, 1980000};
    m = measureWaveform(fromBins(n, flat), rate, o);
    EXPECT_NEAR(*m.acpr[0].dbc, 10 * std::log10(801.0 / 32801), 1e-9);
    EXPECT_NEAR(*m.acpr[1].dbc, 10 * std::log10(801.0 / 32801), 1e-9);
    EXPECT_LT(*m.acpr[2].dbc, -200);
    EXPECT_NEAR(m.obwHz, (2 * (20000 - 200) + 1) * bin, 1e-6);

    // At 2.4576 MHz the band at 1.98 MHz lies past the Nyquist frequency, and
    // a channel band wider than the sample rate leaves nothing to compare.
    o.acprOffsetsHz = {-1980000, 885000};
    const auto twoTones = fromBins(65536, {{0, 1.0}, {at885k, 0.1}});
    m = measureWaveform(twoTones, 2457600, o);
    EXPECT_FALSE(m.acpr[0].dbc);
    EXPECT_EQ(m.acpr[0].gap, AcprGap::OffsetBandBeyondNyquist);
    EXPECT_NEAR(*m.acpr[1].dbc, -20, 1e-9);
    o.channelBandwidthHz = 3e6;
    m = measureWaveform(twoTones, 2457600, o);
    EXPECT_FALSE(m.acpr[1].dbc);
    EXPECT_EQ(m.acpr[1].gap, AcprGap::ChannelBandBeyondNyquist);

    // Bands the sample rate reaches but that hold no power at all: a
    // constant has only the zero frequency, +-1 alternating only the
    // Nyquist frequency (their other bins are exact zeros).
    o = {};
    o.acprOffsetsHz = {200000};
    o.channelBandwidthHz = 100000;
    std::vector<C> constant(64, 1.0), alternating(64);
    for (std::size_t k = 0; k < alternating.size(); ++k)
        alternating[k] = k % 2 ? -1.0 : 1.0;
    m = measureWaveform(constant, 1e6, o);
    EXPECT_FALSE(m.acpr[0].dbc);
    EXPECT_EQ(m.acpr[0].gap, AcprGap::NoOffsetPower);
    m = measureWaveform(alternating, 1e6, o);
    EXPECT_FALSE(m.acpr[0].dbc);
    EXPECT_EQ(m.acpr[0].gap, AcprGap::NoChannelPower);
}

// The figures of measureWaveform, taken from the transform and the powers
// without arrays of dB values or of the spectrum, are the very numbers of
// the routines on those arrays, and the occupied bandwidth's edges are those
// of a plain walk from each end. An odd length (the centring) and zero
// samples (the floor the dB values get) included.
TEST(Measurements, WaveformFiguresEqualThoseOfTheStoredArrays) {
    auto plainObw = [](const PowerSpectrum& s) {
        double total = 0;
        for (double p : s.power)
            total += p;
        const double outside = (1 - kOccupiedShare) / 2 * total;
        std::size_t lo = 0, hi = s.power.size() - 1;
        for (double sum = 0; lo + 1 < s.power.size(); ++lo)
            if ((sum += s.power[lo]) >= outside) break;
        for (double sum = 0; hi > 0; --hi)
            if ((sum += s.power[hi]) >= outside) break;
        return s.frequencyHz[hi] - s.frequencyHz[lo] + s.binWidthHz;
    };
    std::mt19937 gen(11);
    std::normal_distribution<double> g(0, 1);
    std::vector<C> noise(20001), stuffed(3 * 8192);
    for (C& x : noise)
        x = {g(gen), g(gen)};
    for (std::size_t k = 0; k < stuffed.size(); k += 3)
        stuffed[k] = {g(gen), g(gen)};
    const double rate = 1e6;
    for (const std::vector<C>* w : {&noise, &stuffed}) {
        const WaveformMeasurements m = measureWaveform(*w, rate);
        const auto ccdf = ccdfPoints(relativePowerDb(*w));
        for (std::size_t i = 0; i < ccdf.size(); ++i)
            EXPECT_EQ(m.ccdfDb[i], ccdf[i]) << w->size() << " samples, " << kCcdfPercent[i] << " %";
        const PowerSpectrum s = powerSpectrum(*w, rate);
        EXPECT_EQ(m.obwHz, plainObw(s)) << w->size();
        EXPECT_EQ(m.obwHz, occupiedBandwidth(s));
        for (const AcprPoint& a : m.acpr)
            EXPECT_EQ(a.dbc, adjacentChannelPowerRatio(s, rate, a.offsetHz, 30e3, 1.23e6).dbc);
    }

    // Edges on either side of the 4096-bin blocks the sums are noted at.
    for (std::size_t edge : {4095, 4096, 4097, 8191}) {
        PowerSpectrum s;
        s.power.assign(3 * 4096 + 7, 0.0);
        for (std::size_t j = 0; j < s.power.size(); ++j)
            s.frequencyHz.push_back(static_cast<double>(j));
        s.binWidthHz = 1;
        s.power[edge] = s.power[s.power.size() - 1 - edge] = 1;
        s.power[s.power.size() / 2] = 2;
        EXPECT_EQ(occupiedBandwidth(s), plainObw(s)) << edge;
        const std::size_t mirror = s.power.size() - 1 - edge;
        EXPECT_EQ(occupiedBandwidth(s),
                  static_cast<double>(std::max(edge, mirror) - std::min(edge, mirror) + 1))
            << edge;
    }
}

// The code domain is worked out beside the other figures: a refused
// waveform still reports its own error, and the code domain's errors reach
// the caller.
TEST(Measurements, FrameRefusalsComeFromEitherPart) {
    const Parameters p = everyChannel(2, 3, 0, 0, 0);
    const double rate = 2 * 1228800.0;
    try {
        measureFrame(std::vector<C>(2 * kFrameChips), rate, p);
        ADD_FAILURE() << "an all-zero frame was measured";
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find("no finite, non-zero power"), std::string::npos)
            << e.what();
    }
    try {
        measureFrame(std::vector<C>(3 * kFrameChips, 1.0), rate, p);
        ADD_FAILURE() << "a frame of the wrong length was measured";
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find("a frame at OverSampling 2 has 65536"),
                  std::string::npos)
            << e.what();
    }
}

// The transform's plan can be made before the frame is there; never for an
// oversampling no frame has (it would be a transform of any length).
TEST(Measurements, PreparationPlansOnlyTheFramesTransform) {
    Parameters p = InitializeParameters();
    const std::size_t plans = platform::fftPlanCount();
    for (double os : {1e9, 2.5, std::nan(""), -4.0, 31.0}) {
        p.OverSampling = os;
        prepareFrameMeasurement(p);
    }
    EXPECT_EQ(platform::fftPlanCount(), plans);
    p.OverSampling = 7;
    prepareFrameMeasurement(p);
    EXPECT_EQ(platform::fftPlanCount(), plans + 1);
    const std::vector<C> w(7 * kFrameChips, 1.0);
    const CentredSpectrum s(w, 7 * 1228800.0);
    EXPECT_EQ(platform::fftPlanCount(), plans + 1);
}

TEST(Measurements, RefusesWhatCannotBeMeasured) {
    const std::vector<C> tone(64, 1.0);
    MeasurementOptions o;
    o.acprOffsetsHz = {885000, 885000};
    EXPECT_THROW(measureWaveform(tone, 1e6, o), Error);
    o.acprOffsetsHz = {885000.5};
    EXPECT_THROW(measureWaveform(tone, 1e6, o), Error);
    o = {};
    o.offsetBandwidthHz = 0;
    EXPECT_THROW(measureWaveform(tone, 1e6, o), Error);
    o = {};
    o.channelBandwidthHz = std::nan("");
    EXPECT_THROW(measureWaveform(tone, 1e6, o), Error);
    EXPECT_THROW(measureWaveform(tone, 0, {}), Error);
    EXPECT_THROW(measureWaveform(std::vector<C>(64), 1e6, {}), Error);
    EXPECT_THROW(measureWaveform({}, 1e6, {}), Error);
}

// Names, order, types and "not available" (with the reason) of the JSON text
// and the table, from figures set by hand.
TEST(MeasurementReport, JsonFieldsAndTable) {
    Measurements m;
    m.waveform.sampleRate = 6144000;
    m.waveform.samples = 163840;
    m.waveform.averagePower = 0.5;
    m.waveform.peakPower = 2;
    m.waveform.paprDb = 6.25;
    m.waveform.ccdfDb = {3.5, 5, 6, 7, 8.125};
    m.waveform.obwHz = 1234567.5;
    m.waveform.acpr = {{-1980000, std::nullopt, AcprGap::OffsetBandBeyondNyquist}, {885000, -60.5}};
    m.waveform.offsetBandwidthHz = 30000;
    m.waveform.channelBandwidthHz = 1230000;
    m.codeDomain.rho = 0.75;
    m.codeDomain.channels[0] = {true, 0, 0.0};
    m.codeDomain.channels[2] = {true, -3, -3.25};
    m.codeDomain.channels[4] = {false, 2, std::nullopt};
    EXPECT_EQ(measurementsJson(m),
              "{\"sample_rate\":6144000,\"samples\":163840,\"average_power\":0.5,"
              "\"peak_power\":2,\"papr_db\":6.25,\"ccdf_db\":{\"10\":3.5,\"1\":5,\"0.1\":6,"
              "\"0.01\":7,\"0.001\":8.125},\"obw_hz\":1234567.5,\"acpr_dbc\":{\"-1980000\":null,"
              "\"885000\":-60.5},\"rho\":0.75,\"channels\":{"
              "\"pilot\":{\"active\":true,\"configured_db\":0,\"measured_db\":0},"
              "\"rri\":{\"active\":false,\"configured_db\":0,\"measured_db\":null},"
              "\"drc\":{\"active\":true,\"configured_db\":-3,\"measured_db\":-3.25},"
              "\"ack\":{\"active\":false,\"configured_db\":0,\"measured_db\":null},"
              "\"data\":{\"active\":false,\"configured_db\":2,\"measured_db\":null}},"
              "\"not_available\":{"
              "\"acpr_dbc.-1980000\":\"offset band beyond half the sample rate\","
              "\"channels.rri.measured_db\":\"channel not on\","
              "\"channels.ack.measured_db\":\"channel not on\","
              "\"channels.data.measured_db\":\"channel not on\"}}\n");
    // A number with no finite value is not available too, in both forms,
    // and a band without power is told from one out of reach.
    m.waveform.acpr[1] = {885000, std::nullopt, AcprGap::NoOffsetPower};
    m.codeDomain.channels[2].measuredDb = -HUGE_VAL;
    m.waveform.obwHz = 0;
    const std::string json = measurementsJson(m);
    for (const char* part :
         {"\"885000\":null",
          "\"drc\":{\"active\":true,\"configured_db\":-3,"
          "\"measured_db\":null}",
          "\"acpr_dbc.885000\":\"no power in the offset band\"",
          "\"channels.drc.measured_db\":\"not a finite number\"", "\"obw_hz\":0,"})
        EXPECT_NE(json.find(part), std::string::npos) << part << "\nin\n" << json;

    const std::string table = measurementsTable(m);
    for (const char* line :
         {"Peak-to-average ratio       6.25 dB\n", "Occupied bandwidth (99 %)   0 Hz\n",
          "ACPR                        30 kHz over 1.23 MHz\n",
          "       -1.98 MHz            not available: offset band beyond half the sample rate\n",
          "        +885 kHz            not available: no power in the offset band\n",
          "Waveform quality (rho)      0.750000\n",
          "drc       yes           -3.00 dB not available\n",
          "data      no             2.00 dB not available\n"})
        EXPECT_NE(table.find(line), std::string::npos) << line << "\nin\n" << table;
    EXPECT_EQ(table.find("inf"), std::string::npos) << table;
}

// With noise alone, the receiver's chips are the ideal chips plus noise of
// g 10^(-CN/10) times their power, so rho = 1 / (1 + g 10^(-CN/10)): the
// matched filter gathers the noise of one chip-rate bandwidth (the C/N's own
// band), and g is what the equaliser 1/Q(f) adds, the mean of 1/Q over the
// chip-rate band (NoiseGain.h).
TEST(CodeDomain, RhoWithNoiseFollowsTheReceiversNoiseBandwidth) {
    const double os = 4;
    for (double filter : {1.0, 3.0, 4.0}) {
        const double g = capturetest::equaliserNoiseGain(os, filter);
        for (double cn : {0.0, 10.0, 20.0}) {
            Parameters p = everyChannel(os, filter, -3, 2, 0);
            p.CNRatio = cn;
            p.NoiseSeed = static_cast<double>(cn) + filter;
            const double rho = measureCodeDomain(Calculate(p).waveform, p).rho;
            // 1/rho - 1 is the noise-to-chip ratio; over 32768 chips it is
            // known to about 1 %.
            EXPECT_NEAR((1 / rho - 1) / (g * std::pow(10, -cn / 10)), 1, 0.03)
                << "FilterType " << filter << ", C/N " << cn << " dB, g " << g;
        }
    }
}
