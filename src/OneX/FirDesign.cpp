#include "OneX/FirDesign.h"

#include <Eigen/Dense>
#include <algorithm>
#include <cctype>
#include <cmath>
#include <limits>
#include <numbers>

#include "OneX/AirInterface.h"
#include "platform/Error.h"
#include "platform/Numeric.h"
#include "platform/Text.h"

namespace onex {
namespace {

using platform::num2str;

constexpr double kPi = std::numbers::pi;
constexpr double kPassEdgeHz = 590000;
constexpr double kStopEdgeHz = 740000;
constexpr std::size_t kFreqData = 5000;  // nFreqData
// Largest least-squares matrix freq2fir builds (complex entries, 64 MiB).
constexpr double kMaxLsEntries = 4194304;

// a:d:b as the numeric platform lays it out: the count tolerates rounding in
// (b - a) / d, and the values are laid from both ends, the last one landing on
// b when it is within rounding of it.
void appendColon(std::vector<double>& out, double a, double d, double b) {
    if (!(b >= a)) return;
    const double tol =
        2.0 * std::numeric_limits<double>::epsilon() * std::max(std::fabs(a), std::fabs(b));
    const double count = std::floor((b - a) / d + tol / d);
    if (!(count >= 0)) return;
    const std::size_t nInt = static_cast<std::size_t>(count);
    double c = a + count * d;
    if (std::fabs(c - b) < tol) c = b;
    const std::size_t base = out.size();
    out.resize(base + nInt + 1);
    for (std::size_t k = 0; k <= nInt; ++k) {
        out[base + k] = (2 * k <= nInt) ? a + static_cast<double>(k) * d
                                        : c - static_cast<double>(nInt - k) * d;
    }
}

bool isLeadingPartOf(const std::string& s, const std::string& word) {
    return !s.empty() && s.size() <= word.size() && word.compare(0, s.size(), s) == 0;
}

// Normalised IS-95 band edges, in the arithmetic order the filter routines use.
std::vector<double> is95Edges(double oversmpl, double nyquistHz) {
    return {0.0 * 2 / oversmpl / kChipRate, kPassEdgeHz * 2 / oversmpl / kChipRate,
            kStopEdgeHz * 2 / oversmpl / kChipRate, nyquistHz * 2 / oversmpl / kChipRate};
}

// The checks of the band edges, weights and grid density, in the order the
// classic program makes them.
void checkBands(const std::string& ftype, const std::vector<double>& ff,
                const std::vector<double>& wtx, double lgrid) {
    if (ftype[0] == 'm') throw Error("M-file version of REMEZ is no longer supported.");
    if (ff.size() % 2 != 0) throw Error("The number of frequency points must be even.");
    for (double f : ff)
        if (f > 1.0 || f < 0.0) throw Error("Frequencies must lie between 0 and 1.");
    for (std::size_t i = 1; i < ff.size(); ++i)
        if (ff[i] < ff[i - 1]) throw Error("Frequencies must be non-decreasing.");
    if (wtx.size() != ff.size() / 2) throw Error("There should be one weight per band.");
    for (double w : wtx)
        if (!(w > 0.0)) throw Error("All weights must be greater than zero.");
    if (ff.empty()) throw Error("remez2: at least one band is needed.");
    if (!(lgrid > 0.0) || !std::isfinite(lgrid))
        throw Error("remez2: the grid density " + num2str(lgrid) + " is not a positive number.");
}

// The exchange's symmetry class (1..4) for the filter type's first letter,
// or for the response's default symmetry, and the sign of the taps.
struct Symmetry {
    int cls = 1;
    double signFactor = 1.0;
};

Symmetry symmetryOf(char first, int nodd, const ResponseFunction& frf) {
    if (first == 'h') return {nodd ? 3 : 4, 1.0};
    if (first == 'd') return {nodd ? 3 : 4, -1.0};
    std::string sym = "even";
    if (frf.defaults) {
        try {
            sym = frf.defaults();
        } catch (...) {
            sym = "even";  // a response that cannot answer is taken as even
        }
    }
    if (sym == "even") return {nodd ? 1 : 2, 1.0};
    if (sym == "odd") return {nodd ? 3 : 4, 1.0};
    throw Error("Invalid default symmetry option \"" + sym +
                "\" returned from response function \"" + frf.name +
                "\".  Must be either 'even' or 'odd'.");
}

// The design grid, made denser until it has more points than the filter
// has taps.
std::vector<double> designGrid(double nfilt, double lgrid, const std::vector<double>& ff, int neg,
                               int nodd) {
    double width = 0.0;
    for (std::size_t l = 0; l + 1 < ff.size(); l += 2)
        width += ff[l + 1] - ff[l];
    std::vector<double> grid = remezgrid(nfilt, lgrid, ff, neg, nodd);
    while (static_cast<double>(grid.size()) <= nfilt) {
        // Only bands of zero width keep the grid from growing with its density.
        if (!(width > 0.0))
            throw Error("remez2: the bands have no width; no grid can be longer than the filter.");
        lgrid *= 4;
        grid = remezgrid(nfilt, lgrid, ff, neg, nodd);
    }
    return grid;
}

RemezResponse evaluateResponse(const ResponseFunction& frf, double order,
                               const std::vector<double>& ff, const std::vector<double>& grid,
                               const std::vector<double>& wtx) {
    if (!frf.evaluate)
        throw Error("remez2: response function \"" + frf.name + "\" cannot be called.");
    RemezResponse r = frf.evaluate(order, ff, grid, wtx);
    if (r.DH.size() != grid.size() || r.DW.size() != grid.size())
        throw Error("remez2: response function \"" + frf.name + "\" returned " +
                    std::to_string(r.DH.size()) + " desired values and " +
                    std::to_string(r.DW.size()) + " weights for " + std::to_string(grid.size()) +
                    " grid points.");
    return r;
}

// The third output: grid, response, error of the exchange's amplitude and
// the extremal frequencies. `h` are the returned taps, mex.h those of the
// exchange (they differ in sign for a differentiator).
Remez2Report remezReport(const std::vector<double>& grid, const RemezResponse& r,
                         const RemezMexResult& mex, const std::vector<double>& h, double nfilt,
                         int neg) {
    Remez2Report rep;
    rep.fgrid = grid;
    rep.des = r.DH;
    rep.wt = r.DW;
    rep.iextr = mex.iext;
    for (double i : mex.iext)
        rep.fextr.push_back(grid[static_cast<std::size_t>(i) - 1]);
    const double centre = (nfilt - 1) / 2;
    rep.H.resize(grid.size());
    rep.error.resize(grid.size());
    for (std::size_t g = 0; g < grid.size(); ++g) {
        std::complex<double> H = 0.0, z = 0.0;
        for (std::size_t t = 0; t < mex.h.size(); ++t) {
            const double td = static_cast<double>(t);
            H += h[t] * std::polar(1.0, -kPi * grid[g] * td);
            z += mex.h[t] * std::polar(1.0, -kPi * grid[g] * (td - centre));
        }
        rep.H[g] = H;
        // Amplitude of the exchange's filter: H = e^(-jwc) A, or -j e^(-jwc) A.
        const double amp = neg ? -z.imag() : z.real();
        rep.error[g] = r.DH[g] - amp;
    }
    return rep;
}

Remez2Result remez2Impl(double order, const std::vector<double>& ff, const std::vector<double>* aa,
                        const ResponseFunction* response, const Remez2Options& options) {
    if (order < 3) throw Error("Filter order must be 3 or more.");
    const std::string ftype = options.filterType.empty() ? "f" : options.filterType;
    const std::vector<double> wtx =
        options.wtx ? *options.wtx : std::vector<double>(ff.size() / 2, 1.0);
    checkBands(ftype, ff, wtx, options.lgrid);

    const std::string lt = platform::toLower(ftype);
    const char first = lt[0];
    const ResponseFunction frf = aa ? remezfrfResponse(*aa, first == 'd' ? 1.0 : 0.0) : *response;

    const double exception =
        (isLeadingPartOf(lt, "differentiator") || isLeadingPartOf(lt, "hilbert")) ? 1.0 : 0.0;
    // A response named in place of aa ends in a non-zero character, which the
    // order check reads as a non-zero gain at Nyquist.
    const FirChkResult chk = firchk(order, aa ? *aa : std::vector<double>{1.0}, exception);
    if (!chk.msg1.empty()) throw Error(chk.msg1);
    Remez2Result out;
    out.warning = chk.msg2;
    order = chk.n;
    // NaN slips through the range test above; it cannot be a band edge.
    for (double f : ff)
        if (std::isnan(f)) throw Error("Frequencies must lie between 0 and 1.");

    const double nfilt = order + 1;
    if (nfilt > kMaxRemezLength)
        throw Error("remez2: a filter of " + num2str(nfilt) + " taps exceeds the limit of " +
                    num2str(kMaxRemezLength) + ".");
    const int nodd = static_cast<int>(std::fmod(nfilt, 2.0));
    const Symmetry symmetry = symmetryOf(first, nodd, frf);
    const int neg = symmetry.cls >= 3 ? 1 : 0;

    const std::vector<double> grid = designGrid(nfilt, options.lgrid, ff, neg, nodd);
    const RemezResponse r = evaluateResponse(frf, order, ff, grid, wtx);
    const RemezMexResult mex =
        remezmex(nfilt, {ff.front(), ff.back()}, grid, r.DH, r.DW, symmetry.cls);
    out.err = std::fabs(mex.err);
    out.h = mex.h;
    for (double& v : out.h)
        v *= symmetry.signFactor;
    if (options.wantReport) out.res = remezReport(grid, r, mex, out.h, nfilt, neg);
    return out;
}

// Linear interpolation of y over the increasing abscissae c at increasing t
// (all t within [c.front(), c.back()]).
template <typename T>
std::vector<T> interpIncreasing(const std::vector<double>& c, const std::vector<T>& y,
                                const std::vector<double>& t) {
    std::vector<T> out(t.size());
    std::size_t j = 0;
    for (std::size_t k = 0; k < t.size(); ++k) {
        while (j + 2 < c.size() && t[k] > c[j + 1])
            ++j;
        const double span = c[j + 1] - c[j];
        if (t[k] >= c[j + 1])
            out[k] = y[j + 1];
        else if (span > 0)
            out[k] = y[j] + ((t[k] - c[j]) / span) * (y[j + 1] - y[j]);
        else
            out[k] = y[j];
    }
    return out;
}

std::size_t argLength(ArgShape s) {
    return (s.rows == 0 || s.cols == 0) ? 0 : std::max(s.rows, s.cols);
}

void checkShape(ArgShape s, std::size_t count, const char* routine, const char* name) {
    if (s.rows * s.cols != count)
        throw Error(std::string(routine) + ": " + name + " holds " + std::to_string(count) +
                    " values but is described as " + std::to_string(s.rows) + "x" +
                    std::to_string(s.cols) + ".");
}

}  // namespace

ResponseFunction remezfrfResponse(std::vector<double> aa, double diff_flag) {
    ResponseFunction f;
    f.name = "remezfrf";
    f.evaluate = [aa = std::move(aa), diff_flag](double order, const std::vector<double>& ff,
                                                 const std::vector<double>& grid,
                                                 const std::vector<double>& wtx) {
        return remezfrf(order, ff, grid, wtx, aa, diff_flag);
    };
    f.defaults = [] { return remezfrfDefaults(); };
    return f;
}

Remez2Result remez2(double order, const std::vector<double>& ff, const std::vector<double>& aa,
                    const Remez2Options& options) {
    return remez2Impl(order, ff, &aa, nullptr, options);
}

Remez2Result remez2(double order, const std::vector<double>& ff, const ResponseFunction& response,
                    const Remez2Options& options) {
    return remez2Impl(order, ff, nullptr, &response, options);
}

std::vector<double> remezgrid(double nfilt, double lgrid, const std::vector<double>& ff, int neg,
                              int nodd) {
    double nfcns = std::trunc(nfilt / 2);
    if (nodd == 1 && neg == 0) nfcns += 1;
    if (ff.size() < 2) throw Error("remezgrid: at least one band (two edges) is needed.");
    const double delf = 1.0 / (lgrid * nfcns);
    if (!(delf > 0.0) || !std::isfinite(delf))
        throw Error("remezgrid: the grid spacing 1/(lgrid x nfcns) is not a positive number.");
    // Bound the size before building anything.
    double estimate = 1.0;
    for (std::size_t l = 0; l + 1 < ff.size(); l += 2)
        estimate += std::max(0.0, (ff[l + 1] - ff[l]) / delf) + 2.0;
    if (!(estimate <= kMaxRemezGridPoints))
        throw Error("remezgrid: the grid would have more than " + num2str(kMaxRemezGridPoints) +
                    " points.");

    // 1-based positions j and l as in the steps of the algorithm.
    std::vector<double> grid{ff[0]};
    grid.reserve(static_cast<std::size_t>(estimate) + 2);
    if (neg != 0 && grid[0] < delf) grid[0] = delf;
    std::size_t j = 1, l = 1;
    while (l + 1 <= ff.size()) {
        const double fup = ff[l];  // ff(l+1)
        appendColon(grid, grid[j - 1] + delf, delf, fup + delf);
        const std::size_t jend = grid.size();
        if (jend < 2) throw Error("remezgrid: the first band ends below its first grid frequency.");
        grid[jend - 2] = fup;
        j = jend;
        l += 2;
        if (l + 1 <= ff.size()) grid[j - 1] = ff[l - 1];  // ff(l)
    }
    std::size_t ngrid = j - 1;
    // A class whose response vanishes at 1 drops that point.
    if (neg == nodd && grid[ngrid - 1] > 1.0 - delf) {
        if (ff[ff.size() - 2] < 1.0 - delf)
            ngrid -= 1;
        else
            grid[ngrid - 1] = ff[ff.size() - 2];
    }
    grid.resize(ngrid);
    return grid;
}

RemezResponse remezfrf(double /*N*/, const std::vector<double>& F, const std::vector<double>& GF,
                       const std::vector<double>& W, const std::vector<double>& A,
                       double diff_flag) {
    // Positions below are 1-based as in the band loop (F(k), F(l), W((l+1)/2)).
    for (std::size_t k = 2; k + 2 <= F.size(); k += 2)
        if (F[k - 1] == F[k]) throw Error("Adjacent bands not allowed.");
    if (F.size() != A.size())
        throw Error("Frequency and amplitude vectors must be the same length.");
    if (W.size() < F.size() / 2) throw Error("remezfrf: one weight per band is needed.");

    RemezResponse r;
    r.DH.assign(GF.size(), 0.0);
    r.DW.assign(GF.size(), 0.0);
    for (std::size_t l = 1; l + 1 <= F.size(); l += 2) {
        const double f0 = F[l - 1], f1 = F[l];
        const double a0 = A[l - 1], a1 = A[l];
        const double wband = W[(l + 1) / 2 - 1];
        const double d = (diff_flag != 0 && a1 >= 0.0001) ? 1.0 : 0.0;
        const bool zeroWidth = f1 == f0;
        const double slope = zeroWidth ? 0.0 : (a1 - a0) / (f1 - f0);
        for (std::size_t i = 0; i < GF.size(); ++i) {
            const double g = GF[i];
            if (!(g >= f0 && g <= f1)) continue;
            r.DH[i] = zeroWidth ? (a0 + a1) / 2 : a0 + slope * (g - f0);
            r.DW[i] = wband / (1.0 + d * (g / 2 - 1.0));
        }
    }
    return r;
}

std::string remezfrfDefaults() {
    return "even";
}

FirChkResult firchk(std::optional<double> n, const std::vector<double>& a, double exception) {
    FirChkResult r;
    if (!n || !std::isfinite(*n) || *n != std::floor(*n) || *n <= 0) {
        r.n = n.value_or(0.0);
        r.msg1 = "Filter order must be a real, positive integer.";
        return r;
    }
    r.n = *n;
    if (std::fmod(*n, 2.0) == 1.0 && !a.empty() && a.back() != 0 && exception == 0) {
        r.n = *n + 1;
        r.msg2 =
            "Odd order symmetric FIR filters must have a gain of zero\n"
            "at the Nyquist frequency. The order is being increased by one.";
    }
    return r;
}

std::vector<double> FilterCoeff_IS95_Std(double oversmpl) {
    const std::vector<double> f = is95Edges(oversmpl, oversmpl * kChipRate / 2);
    Remez2Options opt;
    opt.wtx = std::vector<double>{1, 20};
    return remez2(12 * oversmpl - 1, f, {1, 1, 0, 0}, opt).h;
}

std::vector<double> FilterCoeff_IS95_Acp(double oversmpl) {
    const std::vector<double> f = is95Edges(oversmpl, oversmpl / 2 * kChipRate);
    Remez2Options opt;
    opt.wtx = std::vector<double>{1, 20};
    const std::vector<double> h0 = remez2(12 * oversmpl - 1, f, {1, 1, 0, 0}, opt).h;
    opt.wtx = std::vector<double>{1, 2};
    std::vector<double> h = remez2(14 * oversmpl, f, {1, 1, 0.005, 0.001}, opt).h;
    double sum = 0.0;
    for (double v : h)
        sum += v;
    for (double& v : h)
        v /= sum;
    // Full convolution of h0 with the unit-sum second filter.
    std::vector<double> out(h0.size() + h.size() - 1, 0.0);
    for (std::size_t i = 0; i < h0.size(); ++i)
        for (std::size_t k = 0; k < h.size(); ++k)
            out[i + k] += h0[i] * h[k];
    return out;
}

std::vector<std::complex<double>> createRealFIR(double n, const std::vector<double>& F,
                                                const std::vector<std::complex<double>>& H,
                                                double SR) {
    return createRealFIR(n, F, ArgShape{1, F.size()}, H, ArgShape{1, H.size()}, SR);
}

std::vector<std::complex<double>> createRealFIR(double n, const std::vector<double>& Fin,
                                                ArgShape fShape,
                                                const std::vector<std::complex<double>>& Hin,
                                                ArgShape hShape, double SR) {
    checkShape(fShape, Fin.size(), "createRealFIR", "F");
    checkShape(hShape, Hin.size(), "createRealFIR", "H");
    // max(3, n) ignores NaN; an even n becomes the next odd number.
    if (std::isnan(n) || n < 3) n = 3;
    n = n + 1 - (n - 2 * std::floor(n / 2));
    if (argLength(fShape) != argLength(hShape)) throw Error("F must be the same size as H");
    if ((fShape.rows > 1 && fShape.cols > 1) || (hShape.rows > 1 && hShape.cols > 1))
        throw Error("F and H must be either a 1xN or a Nx1 matrix.");
    if (!(SR > 0)) throw Error("SR > 0 The sample rate must be greater than zero.");

    // Interpolation over the points needs them finite and strictly increasing.
    for (std::size_t i = 0; i < Fin.size(); ++i) {
        if (!std::isfinite(Fin[i]))
            throw Error("createRealFIR: frequency point " + std::to_string(i + 1) +
                        " is not finite.");
        if (i > 0 && !(Fin[i] > Fin[i - 1]))
            throw Error("createRealFIR: the frequency points must be strictly increasing.");
    }
    for (const auto& v : Hin)
        if (!std::isfinite(v.real()) || !std::isfinite(v.imag()))
            throw Error("createRealFIR: the response H must be finite.");
    if (Fin.empty()) throw Error("createRealFIR: no frequency points were given.");

    // Centre the frequency axis, then keep the points within +-SR/2.
    const double mid = (Fin.front() + Fin.back()) / 2;
    std::vector<double> F(Fin.size());
    for (std::size_t i = 0; i < F.size(); ++i)
        F[i] = Fin[i] - mid;
    std::vector<std::complex<double>> H = Hin;
    const double fMax = std::max(std::fabs(F.back()), std::fabs(F.front()));
    if (fMax > SR / 2) {
        std::size_t y1 = F.size(), y2 = 0;
        for (std::size_t i = 0; i < F.size(); ++i) {
            if (std::fabs(F[i]) <= SR / 2) {
                if (y1 == F.size()) y1 = i;
                y2 = i;
            }
        }
        if (y1 == F.size()) throw Error("createRealFIR: no frequency point lies within +-SR/2.");
        F = std::vector<double>(F.begin() + static_cast<std::ptrdiff_t>(y1),
                                F.begin() + static_cast<std::ptrdiff_t>(y2) + 1);
        H = std::vector<std::complex<double>>(H.begin() + static_cast<std::ptrdiff_t>(y1),
                                              H.begin() + static_cast<std::ptrdiff_t>(y2) + 1);
    }
    if (F.size() < 2)
        throw Error("createRealFIR: at least two frequency points within +-SR/2 are needed.");

    // Points placed on 0..1, resampled at nFreqData uniform positions.
    const double fmin = F.front();
    std::vector<double> c(F.size());
    for (std::size_t i = 0; i < F.size(); ++i)
        c[i] = F[i] - fmin;
    const double cmax = c.back();
    for (double& v : c)
        v /= cmax;
    std::vector<double> t(kFreqData);
    for (std::size_t k = 0; k < kFreqData; ++k)
        t[k] = static_cast<double>(k) / static_cast<double>(kFreqData - 1);

    std::vector<std::complex<double>> HL = interpIncreasing(c, H, t);
    const std::vector<double> FL = interpIncreasing(c, F, t);
    for (std::size_t k = 0; k < HL.size(); ++k) {
        if (HL[k] == std::complex<double>(0.0, 0.0))
            throw Error("createRealFIR: the response is zero at " + num2str(FL[k]) +
                        " Hz and has no inverse.");
        HL[k] = 1.0 / HL[k];  // the target is the inverse of the measurement
    }
    return freq2fir(n, FL, HL, SR);
}

std::vector<std::complex<double>> freq2fir(double n, const std::vector<double>& F,
                                           const std::vector<std::complex<double>>& H, double SR) {
    return freq2fir(n, F, ArgShape{1, F.size()}, H, ArgShape{1, H.size()}, SR);
}

std::vector<std::complex<double>> freq2fir(double n, const std::vector<double>& F, ArgShape fShape,
                                           const std::vector<std::complex<double>>& H,
                                           ArgShape hShape, double SR) {
    checkShape(fShape, F.size(), "freq2fir", "F");
    checkShape(hShape, H.size(), "freq2fir", "H");
    if (argLength(fShape) != argLength(hShape)) throw Error("F must be the same size as H");
    if (fShape.rows > 1 && fShape.cols > 1) throw Error("F must be either a 1xN or a Nx1 matrix.");
    if (hShape.rows > 1 && hShape.cols > 1) throw Error("H must be either a 1xN or a Nx1 matrix.");
    if (n <= 1) throw Error("N must be greater than 1.");
    if (std::fmod(n, 2.0) != 1.0) throw Error("N must be an odd integer");
    double maxF = -HUGE_VAL;
    for (double f : F)
        if (f > maxF) maxF = f;
    if (2 * maxF > SR) throw Error("SR must be greater than 2*max{F}.");

    if (F.empty()) throw Error("freq2fir: no frequency points were given.");
    if (!(SR > 0) || !std::isfinite(SR))
        throw Error("SR > 0 The sample rate must be greater than zero.");
    for (std::size_t k = 0; k < F.size(); ++k)
        if (!std::isfinite(F[k]) || !std::isfinite(H[k].real()) || !std::isfinite(H[k].imag()))
            throw Error("freq2fir: F and H must be finite.");
    if (n * static_cast<double>(F.size()) > kMaxLsEntries)
        throw Error("freq2fir: N x the number of frequency points exceeds " +
                    num2str(kMaxLsEntries) + ".");

    const auto taps = static_cast<Eigen::Index>(n);
    const auto K = static_cast<Eigen::Index>(F.size());
    const Eigen::Index m = (taps - 1) / 2;
    Eigen::MatrixXcd Z(K, taps);
    Eigen::VectorXcd rhs(K);
    for (Eigen::Index k = 0; k < K; ++k) {
        const double phase = -2 * kPi * F[static_cast<std::size_t>(k)] / SR;
        for (Eigen::Index l = 0; l < taps; ++l)
            Z(k, l) = std::polar(1.0, phase * static_cast<double>(l - m));
        rhs(k) = std::conj(H[static_cast<std::size_t>(k)]);
    }
    const Eigen::VectorXcd h = Z.colPivHouseholderQr().solve(rhs);
    return std::vector<std::complex<double>>(h.data(), h.data() + h.size());
}

}  // namespace onex
