#include "Analysis/CaptureAnalysis.h"

#include <fmt/format.h>

#include <Eigen/Dense>
#include <algorithm>
#include <cmath>
#include <numbers>
#include <optional>

#include "Analysis/CaptureResampler.h"
#include "OneX/FrameBuilder.h"
#include "OneX/OverheadChannels.h"
#include "platform/Fft.h"

namespace onex::analysis {

namespace {

using cplx = std::complex<double>;
constexpr double kPi = std::numbers::pi;
constexpr double kTwoPi = 2 * std::numbers::pi;

// Acquisition splits the first frame into this many parts whose correlations
// add in power, so that the frequency left after the coarse search (up to a
// bin of the frame's spectrum) costs little.
constexpr std::size_t kAcquisitionParts = 4;
// The fine loop's rounds of frequency, timing and I/Q estimation.
constexpr int kFineRounds = 3;
// Walsh codes of the code-domain scan: the longest cover.
constexpr std::size_t kScanCodeLength = 16;

[[noreturn]] void refuse(const std::string& what) {
    throw Error("Capture analysis: " + what);
}

std::string millisecondsText(double seconds) {
    return fmt::format("{:.3f} ms", seconds * 1e3);
}

// Signed frequency index of DFT bin k of n.
double signedBin(std::size_t k, std::size_t n) {
    return k < (n + 1) / 2 ? static_cast<double>(k)
                           : static_cast<double>(k) - static_cast<double>(n);
}

// x[n] exp(j (2 pi cycles n + phase)) for every n, by a phasor that is set
// afresh every 1024 samples so that rounding cannot build up.
void rotate(std::span<cplx> x, double cycles, double phase) {
    constexpr std::size_t kBlock = 1024;
    const cplx step = std::polar(1.0, kTwoPi * cycles);
    for (std::size_t b = 0; b < x.size(); b += kBlock) {
        cplx w = std::polar(1.0, kTwoPi * cycles * static_cast<double>(b) + phase);
        const std::size_t end = std::min(x.size(), b + kBlock);
        for (std::size_t n = b; n < end; ++n) {
            x[n] *= w;
            w *= step;
        }
    }
}

// exp(-j 2 pi k tau / n) for every bin k (signed frequency), the spectrum of a
// delay of tau samples; by phasors set afresh every 1024 bins.
std::vector<cplx> delayRamp(std::size_t n, double tau) {
    constexpr std::size_t kBlock = 1024;
    std::vector<cplx> ramp(n);
    const double w = -kTwoPi * tau / static_cast<double>(n);
    const cplx step = std::polar(1.0, w);
    for (std::size_t b = 0; b < n; b += kBlock) {
        const std::size_t end = std::min(n, b + kBlock);
        // A block that holds the wrap to negative frequencies starts again there.
        const std::size_t wrap = (n + 1) / 2;
        cplx v = std::polar(1.0, w * signedBin(b, n));
        for (std::size_t k = b; k < end; ++k) {
            if (k == wrap && k != b) v = std::polar(1.0, w * signedBin(k, n));
            ramp[k] = v;
            v *= step;
        }
    }
    return ramp;
}

// The bins within the band both the capture and the frame hold.
std::vector<bool> bandMask(std::size_t n, double sampleRate, double bandHz) {
    std::vector<bool> in(n);
    for (std::size_t k = 0; k < n; ++k)
        in[k] = std::abs(signedBin(k, n)) * sampleRate / static_cast<double>(n) <= bandHz;
    return in;
}

// A periodic signal (spectrum X) delayed by tau samples and limited to the
// band: the band-limited interpolation, exact for one period.
std::vector<cplx> delayedSignal(std::span<const cplx> X, double tau,
                                const std::vector<bool>& band) {
    const std::size_t n = X.size();
    const std::vector<cplx> ramp = delayRamp(n, tau);
    std::vector<cplx> out(n);
    for (std::size_t k = 0; k < n; ++k)
        out[k] = band[k] ? X[k] * ramp[k] / static_cast<double>(n) : cplx{};
    platform::ifftInPlaceUnscaled(out);
    return out;
}

// The widely linear model of the transmitter: capture = mu x + nu x* + c.
struct IqModel {
    cplx mu{1, 0}, nu{0, 0}, c{0, 0};
};

// mu, nu, c by least squares over one frame: the normal equations of the
// regressors x, x* and 1.
IqModel fitIqModel(std::span<const cplx> z, std::span<const cplx> x) {
    double xx = 0;
    cplx x2{}, x1{}, xz{}, xcz{}, z1{};
    for (std::size_t n = 0; n < x.size(); ++n) {
        xx += std::norm(x[n]);
        x2 += x[n] * x[n];
        x1 += x[n];
        xz += std::conj(x[n]) * z[n];
        xcz += x[n] * z[n];
        z1 += z[n];
    }
    Eigen::Matrix3cd g;
    g << xx, std::conj(x2), std::conj(x1), x2, xx, x1, x1, std::conj(x1),
        static_cast<double>(x.size());
    const Eigen::Vector3cd b = g.ldlt().solve(Eigen::Vector3cd(xz, xcz, z1));
    return {b(0), b(1), b(2)};
}

// The model in the impairments' terms: capture = g exp(j theta) (M(x) + origin)
// with M: I' = a (I cos h + Q sin h), Q' = (Q cos h + I sin h) / a.
struct Decomposition {
    double gain = 1, theta = 0;
    double a = 1, h = 0;
    cplx origin{};
};

Decomposition decompose(const IqModel& m) {
    // The real 2 x 2 matrix W of mu x + nu x*, and W^T W = g^2 M^T M, whose
    // terms give h, g and a without the rotation.
    const double w00 = (m.mu + m.nu).real(), w01 = m.nu.imag() - m.mu.imag();
    const double w10 = (m.mu + m.nu).imag(), w11 = m.mu.real() - m.nu.real();
    const double q00 = w00 * w00 + w10 * w10, q11 = w01 * w01 + w11 * w11;
    const double q01 = w00 * w01 + w10 * w11;
    const double det = w00 * w11 - w01 * w10;
    if (!(det > 0))
        throw NoFrameFound(
            "Capture analysis: no frame found (the capture's I/Q image is as strong as the "
            "signal)");
    Decomposition d;
    d.h = std::asin(std::clamp(2 * q01 / (q00 + q11), -1.0, 1.0)) / 2;
    const double cos2h = std::cos(2 * d.h);
    d.gain = std::sqrt(det / cos2h);
    const double k = (q00 - q11) / det;  // a^2 - a^-2
    d.a = std::sqrt((k + std::sqrt(k * k + 4)) / 2);
    // The rotation: W M^-1 / g.
    const double c = std::cos(d.h), s = std::sin(d.h);
    const double i00 = c / d.a / cos2h, i01 = -d.a * s / cos2h;
    const double i10 = -s / d.a / cos2h, i11 = d.a * c / cos2h;
    const double r00 = w00 * i00 + w01 * i10, r01 = w00 * i01 + w01 * i11;
    const double r10 = w10 * i00 + w11 * i10, r11 = w10 * i01 + w11 * i11;
    d.theta = std::atan2(r10 - r01, r00 + r11);
    d.origin = m.c * std::polar(1.0 / d.gain, -d.theta);
    return d;
}

// M^-1 of the decomposition applied to each sample (after the rotation, the
// gain and the origin offset are removed).
void undoTransmitter(std::span<cplx> z, const Decomposition& d) {
    const cplx unrotate = std::polar(1.0 / d.gain, -d.theta);
    const double c = std::cos(d.h), s = std::sin(d.h), cos2h = std::cos(2 * d.h);
    const double i00 = c / d.a / cos2h, i01 = -d.a * s / cos2h;
    const double i10 = -s / d.a / cos2h, i11 = d.a * c / cos2h;
    for (cplx& v : z) {
        const cplx u = v * unrotate - d.origin;
        v = {i00 * u.real() + i01 * u.imag(), i10 * u.real() + i11 * u.imag()};
    }
}

// Coarse frequency, in bins of the frame's spectrum: a shift of the capture's
// line spectrum against the frame's. The power spectrum of one period does
// not depend on where the period starts, so this needs no timing.
long coarseFrequencyBins(std::span<const cplx> Y, std::span<const cplx> X, long maxBins) {
    const std::size_t n = X.size();
    std::vector<cplx> a(n), b(n);
    // Powers clipped at ten times their mean, so that a strong line (the
    // origin offset, a spur) cannot outweigh the fine structure, then without
    // their mean.
    auto prepare = [n](std::span<const cplx> spectrum, std::vector<cplx>& out) {
        double mean = 0;
        for (std::size_t k = 0; k < n; ++k)
            mean += std::norm(spectrum[k]) / static_cast<double>(n);
        double clippedMean = 0;
        for (std::size_t k = 0; k < n; ++k) {
            out[k] = std::min(std::norm(spectrum[k]), 10 * mean);
            clippedMean += out[k].real() / static_cast<double>(n);
        }
        for (cplx& v : out)
            v -= clippedMean;
    };
    prepare(Y, a);
    prepare(X, b);
    platform::fftInPlace(a);
    platform::fftInPlace(b);
    for (std::size_t k = 0; k < n; ++k)
        a[k] *= std::conj(b[k]);
    platform::ifftInPlaceUnscaled(a);  // a[s] = sum_k |Y[k + s]|^2 |X[k]|^2
    long best = 0;
    double bestValue = -HUGE_VAL;
    const long ln = static_cast<long>(n);
    for (long s = -std::min(maxBins, ln / 2); s <= std::min(maxBins, (ln - 1) / 2); ++s) {
        const double v = a[static_cast<std::size_t>((s + ln) % ln)].real();
        if (v > bestValue) bestValue = v, best = s;
    }
    return best;
}

// What the model leaves of the capture (z, one period in the band) is noise
// or distortion when the transmitter sent this frame. When that is more than
// the part the model explains and is shaped like the frame's spectrum (10 dB
// above its floor in the frame's stopband) rather than flat like noise, the
// capture holds a signal the parameter set does not describe: its rho then.
// Nothing when it does not (or the band has no stopband to compare with).
std::optional<double> unexplainedSignal(std::span<const cplx> z, std::span<const cplx> x,
                                        std::span<const cplx> X, const std::vector<bool>& inBand,
                                        const IqModel& m) {
    const std::size_t n = x.size();
    std::vector<cplx> residual(n);
    double explained = 0, left = 0;
    for (std::size_t k = 0; k < n; ++k) {
        const cplx p = m.mu * x[k] + m.nu * std::conj(x[k]);
        residual[k] = z[k] - p - m.c;
        explained += std::norm(p);
        left += std::norm(residual[k]);
    }
    const double rho = explained / (explained + left);
    if (rho >= 0.5) return std::nullopt;
    platform::fftInPlace(residual);
    // The frame's spectrum smoothed over 257 bins; the strong bins are those
    // within 10 dB of its mean, the stopband those 40 dB below its peak.
    constexpr std::size_t kHalf = 128;
    std::vector<double> smooth(n);
    double sum = 0, peak = 0, mean = 0;
    for (std::size_t k = 0; k <= 2 * kHalf; ++k)
        sum += std::norm(X[(k + n - kHalf) % n]);
    for (std::size_t k = 0; k < n; ++k) {
        smooth[k] = sum / (2 * kHalf + 1);
        peak = std::max(peak, smooth[k]);
        mean += smooth[k] / static_cast<double>(n);
        sum += std::norm(X[(k + kHalf + 1) % n]) - std::norm(X[(k + n - kHalf) % n]);
    }
    double strong = 0, stop = 0;
    std::size_t strongBins = 0, stopBins = 0;
    for (std::size_t k = 0; k < n; ++k) {
        if (!inBand[k]) continue;
        if (smooth[k] >= 0.1 * mean) strong += std::norm(residual[k]), ++strongBins;
        if (smooth[k] <= 1e-4 * peak) stop += std::norm(residual[k]), ++stopBins;
    }
    if (strongBins == 0 || stopBins < 64) return std::nullopt;
    const double shaped = (strong / double(strongBins)) / (stop / double(stopBins) + 1e-300);
    return shaped > 10 ? std::optional<double>(rho) : std::nullopt;
}

struct Acquisition {
    double tau = 0;  // frame start in samples of the first period (fractional)
    double peakToMean = 0;
};

// Where the frame starts in the period y (already shifted by the coarse
// frequency): the parts' circular correlations with the frame, added in power.
Acquisition acquireTiming(std::span<const cplx> y, std::span<const cplx> X) {
    const std::size_t n = X.size();
    std::vector<double> metric(n, 0.0);
    std::vector<cplx> part(n);
    for (std::size_t p = 0; p < kAcquisitionParts; ++p) {
        const std::size_t first = p * n / kAcquisitionParts, last = (p + 1) * n / kAcquisitionParts;
        std::fill(part.begin(), part.end(), cplx{});
        std::copy(y.begin() + static_cast<std::ptrdiff_t>(first),
                  y.begin() + static_cast<std::ptrdiff_t>(last),
                  part.begin() + static_cast<std::ptrdiff_t>(first));
        platform::fftInPlace(part);
        for (std::size_t k = 0; k < n; ++k)
            part[k] *= std::conj(X[k]);
        platform::ifftInPlaceUnscaled(part);  // sum_m y[m] x*[m - tau]
        for (std::size_t t = 0; t < n; ++t)
            metric[t] += std::norm(part[t]);
    }
    const auto peak = std::max_element(metric.begin(), metric.end());
    double mean = 0;
    for (double v : metric)
        mean += v / static_cast<double>(n);
    const std::size_t t0 = static_cast<std::size_t>(peak - metric.begin());
    const double before = metric[(t0 + n - 1) % n], at = *peak, after = metric[(t0 + 1) % n];
    const double curvature = before - 2 * at + after;
    const double offset =
        curvature < 0 ? std::clamp((before - after) / (2 * curvature), -0.5, 0.5) : 0;
    return {static_cast<double>(t0) + offset, mean > 0 ? at / mean : 0};
}

// The frequency step that removes the phase slope left between z and the
// model p (one period, repeated), from the correlations of slot-long pieces;
// the slope's intercept is not needed.
double frequencyStep(std::span<const cplx> z, std::span<const cplx> p, double sampleRate) {
    const std::size_t n = p.size(), piece = n / kSlotsPerFrame;
    const std::size_t pieces = z.size() / piece;
    std::vector<cplx> c(pieces);
    for (std::size_t s = 0; s < pieces; ++s) {
        cplx acc{};
        for (std::size_t m = s * piece; m < (s + 1) * piece; ++m)
            acc += z[m] * std::conj(p[m % n]);
        c[s] = acc;
    }
    // Unwrapped phases, then the slope by least squares weighted by |c|.
    std::vector<double> phase(pieces);
    for (std::size_t s = 1; s < pieces; ++s)
        phase[s] = phase[s - 1] + std::arg(c[s] * std::conj(c[s - 1]));
    double sw = 0, st = 0, sp = 0, stt = 0, stp = 0;
    for (std::size_t s = 0; s < pieces; ++s) {
        const double w = std::abs(c[s]),
                     t = static_cast<double>(s * piece + piece / 2) / sampleRate;
        sw += w, st += w * t, sp += w * phase[s], stt += w * t * t, stp += w * t * phase[s];
    }
    const double denominator = sw * stt - st * st;
    if (pieces < 2 || !(denominator > 0)) return 0;
    return (sw * stp - st * sp) / denominator / kTwoPi;
}

// Newton steps on |R(tau)|^2, R(tau) = sum_k W_k exp(j w_k tau), w_k = 2 pi k / n:
// the delay at which the capture's spectrum (W_k = Z_k P_k* with P the
// model's undelayed spectrum) lines up best.
double refineDelay(std::span<const cplx> W, double tau) {
    const std::size_t n = W.size();
    for (int step = 0; step < 6; ++step) {
        const std::vector<cplx> ramp = delayRamp(n, -tau);
        cplx r{}, r1{}, r2{};
        for (std::size_t k = 0; k < n; ++k) {
            const double w = kTwoPi * signedBin(k, n) / static_cast<double>(n);
            const cplx v = W[k] * ramp[k];
            r += v;
            r1 += cplx(0, w) * v;
            r2 -= w * w * v;
        }
        const double d1 = 2 * (std::conj(r) * r1).real();
        const double d2 = 2 * (std::norm(r1) + (std::conj(r) * r2).real());
        if (!(d2 < 0)) break;
        const double delta = std::clamp(-d1 / d2, -0.5, 0.5);
        tau += delta;
        if (std::abs(delta) < 1e-7) break;
    }
    return tau;
}

// The largest length up to n whose prime factors are all 2, 3, 5 or 7.
std::size_t smoothLengthAtMost(std::size_t n) {
    for (std::size_t m = n; m > 1; --m) {
        std::size_t r = m;
        for (std::size_t p : {2, 3, 5, 7})
            while (r % p == 0)
                r /= p;
        if (r == 1) return m;
    }
    return n;
}

double wrapDegrees(double radians) {
    double d = std::remainder(radians, kTwoPi) * 180 / kPi;
    if (d <= -180) d += 360;
    return d;
}

// Code-domain power on every 16-chip Walsh code of the I and Q sides over the
// whole frame; the largest on a code no active channel uses, relative to the
// pilot's code (which the RRI shares with the pilot's amplitude).
double maxInactiveCodePowerDb(std::span<const cplx> d,
                              const std::array<ChannelPower, kCodeChannels>& channels) {
    const RealMatrix walsh = OneX_WalshMatrix(static_cast<double>(kScanCodeLength));
    // A channel with cover `row` of order o, whose symbols change every o
    // chips, lies on rows row + o m of the order-16 matrix (Sylvester order:
    // it is the order-16/o matrix times the order-o one).
    std::array<std::array<bool, kScanCodeLength>, 2> used{};
    auto mark = [&](CodeChannel c, bool inPhase, WalshCode code) {
        if (c != CodeChannel::Pilot && !channels[static_cast<std::size_t>(c)].active) return;
        const auto order = static_cast<std::size_t>(code.order);
        for (std::size_t row = code.row; row < kScanCodeLength; row += order)
            used[inPhase ? 0 : 1][row] = true;
    };
    mark(CodeChannel::Pilot, true, kPilotWalsh);
    mark(CodeChannel::ACK, true, kAckWalsh);
    mark(CodeChannel::DRC, false, kDrcWalsh);
    mark(CodeChannel::Data, false, kDataWalsh);
    std::array<std::array<double, kScanCodeLength>, 2> power{};
    const std::size_t symbols = d.size() / kScanCodeLength;
    for (std::size_t s = 0; s < symbols; ++s)
        for (std::size_t row = 0; row < kScanCodeLength; ++row) {
            const std::span<const double> w = walsh.row(row);
            double i = 0, q = 0;
            for (std::size_t m = 0; m < kScanCodeLength; ++m) {
                i += d[s * kScanCodeLength + m].real() * w[m];
                q += d[s * kScanCodeLength + m].imag() * w[m];
            }
            power[0][row] += i * i, power[1][row] += q * q;
        }
    double worst = 0;
    for (std::size_t side = 0; side < 2; ++side)
        for (std::size_t row = 0; row < kScanCodeLength; ++row)
            if (!used[side][row]) worst = std::max(worst, power[side][row]);
    return 10 * std::log10(worst / power[0][kPilotWalsh.row]);
}

std::size_t frameSamplesOf(const Parameters& p) {
    const double os = p.OverSampling;
    if (!(os >= 1 && os <= 30 && os == std::floor(os)))
        refuse("OverSampling must be a whole number from 1 to 30");
    return kFrameChips * static_cast<std::size_t>(os);
}

void checkRates(double captureRate, double frameRate) {
    if (!(captureRate >= kMinCaptureRate && captureRate <= kMaxCaptureRate))
        refuse(fmt::format("the capture's sample rate must be 1.2288 MHz to 100 MHz (got {} Hz)",
                           captureRate));
    if (!(std::isfinite(frameRate) && frameRate > 0))
        refuse(fmt::format("the frame's sample rate must be a positive number (got {} Hz)",
                           frameRate));
}

}  // namespace

std::size_t captureSamplesNeeded(double captureRate, const CaptureReference& reference) {
    return captureSamplesWanted(captureRate, reference, 1);
}

std::size_t captureSamplesWanted(double captureRate, const CaptureReference& r,
                                 std::size_t maxFrames) {
    checkRates(captureRate, r.frameRate);
    const std::size_t samples = maxFrames * frameSamplesOf(r.parameters);
    if (captureRate == r.frameRate) return samples;
    // The transient at both ends, and a sample for the rounding of the rates.
    const double seconds = static_cast<double>(samples) / r.frameRate +
                           2 * captureTransientSeconds(captureRate, r.frameRate);
    return static_cast<std::size_t>(std::ceil(seconds * captureRate)) + 1;
}

CaptureAnalysis analyzeCapture(std::span<const std::complex<float>> capture, double captureRate,
                               const CaptureReference& reference,
                               const CaptureAnalysisOptions& options) {
    const Parameters& p = reference.parameters;
    const double fs = reference.frameRate;
    checkRates(captureRate, fs);
    if (options.maxFrames < 1 || options.maxFrames > kMaxCaptureFrames)
        refuse(fmt::format("the frames to analyse must be 1 to {} (got {})", kMaxCaptureFrames,
                           options.maxFrames));
    validateMeasurementOptions(options.spectrum);

    // The ideal frame: the parameter set's frame without its impairments.
    const std::vector<double> dataBits = prepareDataBits(p);
    const FrameInputs inputs = frameInputsFrom(p, dataBits);
    const FrameResult frame = OneX_RevTrfChn(inputs);  // held: x views its storage
    const std::span<const cplx> x = frame.waveform;
    const std::vector<cplx> ideal = chipFrameOf(inputs).chips;
    const std::size_t n = x.size();
    const double frameSeconds = static_cast<double>(n) / fs;

    const std::size_t needed = captureSamplesNeeded(captureRate, reference);
    if (capture.size() < needed) {
        const double transient = captureTransientSeconds(captureRate, fs);
        refuse(fmt::format(
            "the capture is too short: it holds {} ({} samples at {} Hz); the analysis needs at "
            "least {} ({} samples): one frame of {}{}",
            millisecondsText(static_cast<double>(capture.size()) / captureRate), capture.size(),
            captureRate, millisecondsText(static_cast<double>(needed) / captureRate), needed,
            millisecondsText(frameSeconds),
            transient > 0 ? fmt::format(" and {} of resampler transient at each end",
                                        millisecondsText(transient))
                          : ""));
    }
    const std::span<const std::complex<float>> used = capture.first(
        std::min(capture.size(), captureSamplesWanted(captureRate, reference, options.maxFrames)));
    double power = 0;
    for (std::size_t i = 0; i < used.size(); ++i) {
        const std::complex<float> v = used[i];
        if (!std::isfinite(v.real()) || !std::isfinite(v.imag()))
            refuse(fmt::format("sample {} (counted from 0) is not a finite number", i));
        power += std::norm(std::complex<double>(v));
    }
    if (!(power > 0)) refuse("the capture holds no signal (every sample is zero)");

    // The capture at the frame's clock, its start-up transient dropped, cut to
    // whole periods.
    const std::size_t lead =
        static_cast<std::size_t>(std::ceil(captureTransientSeconds(captureRate, fs) * fs));
    const std::vector<cplx> resampled =
        resampleCapture(used, captureRate, fs, lead + options.maxFrames * n + lead);
    const std::size_t available = resampled.size() > 2 * lead ? resampled.size() - 2 * lead : 0;
    const std::size_t frames = std::min(options.maxFrames, available / n);
    if (frames == 0) refuse("the capture is too short for one frame after resampling");
    const std::span<const cplx> y(resampled.data() + lead, frames * n);

    // Acquisition on the first period: coarse frequency from the line
    // spectra, then timing by correlation.
    const std::vector<cplx> X = platform::fft(x);
    std::vector<cplx> y0(y.begin(), y.begin() + static_cast<std::ptrdiff_t>(n));
    const std::vector<cplx> Y0 = platform::fft(y0);
    const double bin = fs / static_cast<double>(n);
    const long coarse =
        coarseFrequencyBins(Y0, X, static_cast<long>(std::ceil(kFrequencySearchHz / bin)));
    double freq = static_cast<double>(coarse) * bin;
    rotate(y0, -freq / fs, 0);
    const Acquisition acq = acquireTiming(y0, X);
    if (!(acq.peakToMean >= kDetectionPeakToMean))
        throw NoFrameFound(fmt::format(
            "Capture analysis: no frame found: the capture's correlation with the frame of the "
            "parameter set peaks {:.1f} dB above its mean, {:.0f} dB are needed (another "
            "signal, other long-code masks, a mirrored spectrum or too much noise)",
            10 * std::log10(std::max(acq.peakToMean, 1e-300)),
            10 * std::log10(kDetectionPeakToMean)));

    // The fine loop: frequency from the phase slope against the model, the
    // delay from the cross spectrum, the transmitter's I/Q model by least
    // squares, each with the others' latest values.
    const double band =
        captureRate == fs ? fs / 2 : kResamplerPassband * std::min(captureRate, fs) / 2;
    const std::vector<bool> inBand = bandMask(n, fs, band);
    double tau = acq.tau;
    IqModel model;
    std::vector<cplx> z(y.size()), zAverage(n), Z(n), xDelayed, prediction;
    auto derotate = [&] {
        std::copy(y.begin(), y.end(), z.begin());
        rotate(z, -freq / fs, kTwoPi * freq * tau / fs);
    };
    auto averagePeriods = [&] {
        std::fill(zAverage.begin(), zAverage.end(), cplx{});
        for (std::size_t m = 0; m < z.size(); ++m)
            zAverage[m % n] += z[m] / static_cast<double>(frames);
    };
    for (int round = 0; round < kFineRounds; ++round) {
        xDelayed = delayedSignal(X, tau, inBand);
        prediction.resize(n);
        for (std::size_t m = 0; m < n; ++m)
            prediction[m] = model.mu * xDelayed[m] + model.nu * std::conj(xDelayed[m]) + model.c;
        derotate();
        freq += frequencyStep(z, prediction, fs);
        derotate();
        averagePeriods();
        std::copy(zAverage.begin(), zAverage.end(), Z.begin());
        platform::fftInPlace(Z);
        // The model's spectrum before the delay: mu X_k + nu conj(X_-k).
        std::vector<cplx> w(n);
        for (std::size_t k = 0; k < n; ++k)
            w[k] = inBand[k]
                       ? Z[k] * std::conj(model.mu * X[k] + model.nu * std::conj(X[(n - k) % n]))
                       : cplx{};
        tau = refineDelay(w, tau);
        derotate();
        averagePeriods();
        xDelayed = delayedSignal(X, tau, inBand);
        std::copy(zAverage.begin(), zAverage.end(), Z.begin());
        platform::fftInPlace(Z);
        for (std::size_t k = 0; k < n; ++k)
            Z[k] = inBand[k] ? Z[k] / static_cast<double>(n) : cplx{};
        platform::ifftInPlaceUnscaled(Z);
        model = fitIqModel(Z, xDelayed);
    }
    const Decomposition t = decompose(model);
    if (const std::optional<double> rho = unexplainedSignal(Z, xDelayed, X, inBand, model))
        throw NoFrameFound(fmt::format(
            "Capture analysis: no frame found: the capture matches the frame of the parameter "
            "set only in part (rho {:.3f}) and the rest is shaped like the signal, not like "
            "noise (other long-code masks, channels or gains?)",
            *rho));

    CaptureAnalysis a;
    a.captureRate = captureRate;
    a.captureSamples = capture.size();
    a.frames = frames;
    a.correlationPeakToMean = acq.peakToMean;
    a.freqErrorHz = freq;
    // The frame starts tau samples into the analysed span; the phase was
    // measured there and is reported at the first frame start of the capture.
    const double start = (static_cast<double>(lead) + tau) / fs;
    a.timeOffsetS = start - std::floor(start / frameSeconds) * frameSeconds;
    // A start a hair before the frame's end is the start of the next one
    // (within a picosecond: far below what can be measured).
    if (a.timeOffsetS >= frameSeconds - 1e-12) a.timeOffsetS -= frameSeconds;
    a.timeOffsetS = std::max(a.timeOffsetS, 0.0);
    a.phaseDeg = wrapDegrees(t.theta - kTwoPi * freq * (start - a.timeOffsetS));
    double framePower = 0;
    for (const cplx& v : x)
        framePower += std::norm(v) / static_cast<double>(n);
    a.iqOffsetDbc = 20 * std::log10(std::abs(t.origin) / std::sqrt(framePower));
    a.iqGainImbalanceDb = 40 * std::log10(t.a);
    a.quadratureErrorDeg = 2 * t.h * 180 / kPi;

    // Each period corrected and moved back to the frame's start, then the
    // code-domain receiver's chips.
    const std::vector<cplx> advance = delayRamp(n, -tau);
    auto corrected = [&](std::span<const cplx> period) {
        std::vector<cplx> u(period.begin(), period.end());
        undoTransmitter(u, t);
        platform::fftInPlace(u);
        for (std::size_t k = 0; k < n; ++k)
            u[k] = inBand[k] ? u[k] * advance[k] / static_cast<double>(n) : cplx{};
        platform::ifftInPlaceUnscaled(u);
        return u;
    };
    std::vector<std::vector<cplx>> chips;
    for (std::size_t f = 0; f < frames; ++f)
        chips.push_back(despreadChips(corrected(std::span<const cplx>(z).subspan(f * n, n)), p));

    cplx cross{};
    double measured = 0, ideals = 0;
    for (const auto& d : chips)
        for (std::size_t c = 0; c < d.size(); ++c) {
            cross += d[c] * std::conj(ideal[c]);
            measured += std::norm(d[c]);
            ideals += std::norm(ideal[c]);
        }
    a.rho = std::norm(cross) / (measured * ideals);
    const cplx scale = cross / ideals;
    double error = 0, peak = 0, magnitude = 0, phase = 0;
    for (const auto& d : chips)
        for (std::size_t c = 0; c < d.size(); ++c) {
            const cplx v = d[c] / scale, r = ideal[c];
            const double e = std::norm(v - r);
            error += e;
            peak = std::max(peak, e);
            magnitude += (std::abs(v) - std::abs(r)) * (std::abs(v) - std::abs(r));
            if (std::norm(r) > 0) phase += std::norm(r) * std::pow(std::arg(v / r), 2);
        }
    const double meanIdeal = ideals / static_cast<double>(frames * ideal.size());
    a.evmRmsPct = 100 * std::sqrt(error / ideals);
    a.evmPeakPct = 100 * std::sqrt(peak / meanIdeal);
    a.magErrorPct = 100 * std::sqrt(magnitude / ideals);
    a.phaseErrorDeg = std::sqrt(phase / ideals) * 180 / kPi;

    // Code-domain power of the average of the periods.
    const std::vector<cplx> average = corrected(zAverage);
    const CodeDomainResult cd = measureCodeDomain(average, p);
    a.channels = cd.channels;
    a.maxInactiveDb = maxInactiveCodePowerDb(despreadChips(average, p), a.channels);

    // The capture's own spectrum at its own rate over its first frame (a
    // length of small prime factors, for the transform's speed).
    const std::size_t span = smoothLengthAtMost(
        std::min(used.size(), static_cast<std::size_t>(std::llround(frameSeconds * captureRate))));
    const std::vector<cplx> own(used.begin(), used.begin() + static_cast<std::ptrdiff_t>(span));
    const WaveformMeasurements w = measureWaveform(own, captureRate, options.spectrum);
    a.obwHz = w.obwHz;
    a.acpr = w.acpr;
    a.offsetBandwidthHz = w.offsetBandwidthHz;
    a.channelBandwidthHz = w.channelBandwidthHz;

    if (options.keepChips) {
        a.chips = std::move(chips[0]);
        for (cplx& c : a.chips)
            c /= scale;
        a.idealChips = ideal;
    }
    return a;
}

}  // namespace onex::analysis
