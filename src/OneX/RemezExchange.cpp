// The Remez exchange (Parks-McClellan) for linear-phase FIR filters.
//
// The amplitude of each symmetry class is Q(f) P(x), x = cos(pi f), with P a
// polynomial of degree nfcns - 1 (a cosine series in pi f) and Q = 1,
// cos(pi f / 2), sin(pi f) or sin(pi f / 2) for classes 1..4. Dividing the
// desired value by Q and multiplying the weight by Q turns every class into
// one weighted polynomial approximation on the grid abscissae x.
//
// Each iteration interpolates the levelled error on the current reference in
// barycentric form, converts the interpolant to cosine-series coefficients
// (which are the taps), scans the whole grid, and picks a new alternating
// reference from the largest error of every sign run (band edges included,
// as grid points like any other), re-evaluated exactly. It stops when the
// errors on the new reference agree to a relative spread of 1e-12 (or to
// rounding), or when rounding stops the levelled error from growing. The
// final taps are then checked against the grid: a design whose taps cannot
// hold its optimum in double precision is refused rather than returned.

#include <algorithm>
#include <climits>
#include <cmath>
#include <functional>
#include <limits>
#include <numbers>
#include <string>
#include <vector>

#include "OneX/FirDesign.h"
#include "platform/Error.h"
#include "platform/Numeric.h"

// The three inner loops below are element-wise over points (no reductions and,
// in ISO C++ mode, no contraction into fused multiply-adds), so their wider
// vector clones give bit-identical results and are chosen at load time.
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && defined(__linux__)
#define ONEX_VECTOR_CLONES \
    __attribute__((target_clones("default", "arch=x86-64-v3", "arch=x86-64-v4")))
#else
#define ONEX_VECTOR_CLONES
#endif

namespace onex {
namespace {

using platform::num2str;

constexpr double kPi = std::numbers::pi;
constexpr int kMaxIterations = 100;
constexpr double kSpreadTolerance = 1e-12;
// Once the spread is this small, a levelled error that no longer grows means
// the remaining change is rounding, not approximation.
constexpr double kStagnationSpread = 1e-9;
// A largest error this small against the weighted desired values is rounding:
// the desired response is exactly a filter of the class.
constexpr double kExactFit = 1e-13;
// Largest error of the coefficient scan at the reference points, relative to
// the levelled error, for that scan to be trusted to locate extrema.
constexpr double kScanAccuracy = 1e-6;
// Rounding in the barycentric values, in units of (n + 1) eps times the
// largest weighted value: differences below it are not approximation.
constexpr double kNoiseUlps = 16;
// How far the error of the returned taps may exceed the exchange's optimum
// before the design counts as beyond what its taps can hold.
constexpr double kRealizedSlack = 1.01;
// Relative excess of the taps' error over the optimum below which the
// coefficients computed in the loop are kept.
constexpr double kFaithful = 1e-11;

// cos(pi f), accurate near f = 1 as well as near f = 0.
double cosPi(double f) {
    return f <= 0.5 ? std::cos(kPi * f) : -std::cos(kPi * (1.0 - f));
}

// Q(f) of the class, exactly zero at its zeros (f = 0 or 1) so that such grid
// points are recognised as fixed rather than as huge desired values.
double classFactor(int cls, double f) {
    switch (cls) {
        case 2:
            return std::sin(0.5 * kPi * (1.0 - f));
        case 3:
            return std::sin(kPi * std::min(f, 1.0 - f));
        case 4:
            return std::sin(0.5 * kPi * f);
        default:
            return 1.0;
    }
}

// Barycentric weights 1 / prod_{j != k} (x_k - x_j), scaled by a common power
// of two so that the largest is of order one. Four partial products, each
// brought back into range every few factors, keep clustered or far-spread
// nodes from under- or overflowing.
void barycentricWeights(const std::vector<double>& x, std::vector<double>& g) {
    const std::size_t r = x.size();
    g.assign(r, 0.0);
    std::vector<int> e(r);
    int top = INT_MIN;
    for (std::size_t k = 0; k < r; ++k) {
        const double xk = x[k];
        double p[4] = {1.0, 1.0, 1.0, 1.0};
        int ex = 0;
        // Factors are at most 2 in magnitude; the few that one block adds to a
        // partial product cannot leave the range that the checks restore.
        auto step = [&](std::size_t lo, std::size_t hi) {
            std::size_t j = lo;
            for (; j + 4 <= hi; j += 4)
                for (std::size_t u = 0; u < 4; ++u)
                    p[u] *= xk - x[j + u];
            for (; j < hi; ++j)
                p[0] *= xk - x[j];
        };
        for (std::size_t lo = 0; lo < r; lo += 16) {
            const std::size_t hi = std::min(r, lo + 16);
            if (k >= lo && k < hi) {
                step(lo, k);
                step(k + 1, hi);
            } else {
                step(lo, hi);
            }
            for (double& pu : p) {
                if (std::fabs(pu) < 0x1p-256) {
                    pu *= 0x1p256;
                    ex -= 256;
                } else if (std::fabs(pu) > 0x1p256) {
                    pu *= 0x1p-256;
                    ex += 256;
                }
            }
        }
        double prod = 1.0;
        for (double pu : p) {
            int t;
            prod *= std::frexp(pu, &t);  // each in [0.5, 1): no underflow in four
            ex += t;
        }
        g[k] = 1.0 / prod;
        e[k] = -ex;
        top = std::max(top, e[k]);
    }
    for (std::size_t k = 0; k < r; ++k)
        g[k] = std::ldexp(g[k], e[k] - top);
}

// Numerator and denominator sums of the barycentric formula at m points.
ONEX_VECTOR_CLONES
void baryAccumulate(const double* x, const double* g, const double* c, std::size_t count,
                    const double* y, std::size_t m, double* num, double* den) {
    for (std::size_t k = 0; k < count; ++k) {
        const double xk = x[k], gk = g[k], ck = c[k];
        for (std::size_t i = 0; i < m; ++i) {
            const double t = gk / (y[i] - xk);
            num[i] += t * ck;
            den[i] += t;
        }
    }
}

// a[k] += v * row[k]
ONEX_VECTOR_CLONES
void axpy(double v, const double* row, double* a, std::size_t n) {
    for (std::size_t k = 0; k < n; ++k)
        a[k] += v * row[k];
}

// The barycentric interpolant over `count` nodes.
struct Interpolant {
    const double* x;
    const double* g;
    const double* c;
    std::size_t count;

    // Second (true) barycentric formula at one point. A point that is a node
    // takes the node's value; everywhere else the formula is used as it is.
    // The nodes are in decreasing order (increasing frequency).
    double at(double y) const {
        const double* pos = std::lower_bound(x, x + count, y, std::greater<double>());
        const std::size_t k = static_cast<std::size_t>(pos - x);
        if (k < count && x[k] == y) return c[k];
        double num = 0.0, den = 0.0;
        for (std::size_t j = 0; j < count; ++j) {
            const double t = g[j] / (y - x[j]);
            num += t * c[j];
            den += t;
        }
        const double v = num / den;
        if (std::isfinite(v)) return v;
        // Only a node closer than rounding gets here: it is the value.
        if (k == count || (k > 0 && std::fabs(y - x[k - 1]) < std::fabs(y - x[k]))) return c[k - 1];
        return c[k];
    }

    // The same at many points, nodes in the outer loop so that the inner one
    // runs over the points in vector registers. Points where that overflows
    // (they coincide with a node) are redone one by one.
    void atMany(const double* y, std::size_t m, std::vector<double>& num, std::vector<double>& den,
                double* out) const {
        num.assign(m, 0.0);
        den.assign(m, 0.0);
        baryAccumulate(x, g, c, count, y, m, num.data(), den.data());
        for (std::size_t i = 0; i < m; ++i) {
            out[i] = num[i] / den[i];
            if (!std::isfinite(out[i])) out[i] = at(y[i]);
        }
    }
};

// Cosine-series (Chebyshev) coefficients a_k of a degree n-1 polynomial from
// its values v_j at the n Chebyshev points cos(pi (j + 1/2) / n): a discrete
// cosine transform with the table T[j][k] = cos(pi k (2j + 1) / (2n)).
class CosineTransform {
  public:
    explicit CosineTransform(std::size_t n) : n_(n), cosTab_(4 * n), points_(n) {
        for (std::size_t m = 0; m < 4 * n; ++m)
            cosTab_[m] = std::cos(kPi * static_cast<double>(m) / (2.0 * static_cast<double>(n)));
        for (std::size_t j = 0; j < n; ++j)
            points_[j] = cosTab_[2 * j + 1];
        if (n <= kTableLimit) {
            table_.resize(n * n);
            for (std::size_t j = 0; j < n; ++j) {
                std::size_t idx = 0;  // k (2j + 1) mod 4n
                for (std::size_t k = 0; k < n; ++k) {
                    table_[j * n + k] = cosTab_[idx];
                    idx += 2 * j + 1;
                    if (idx >= 4 * n) idx -= 4 * n;
                }
            }
        }
    }
    const std::vector<double>& points() const { return points_; }
    void apply(const std::vector<double>& v, std::vector<double>& a) const {
        a.assign(n_, 0.0);
        const std::size_t period = 4 * n_;
        for (std::size_t j = 0; j < n_; ++j) {
            const double vj = v[j];
            if (!table_.empty()) {
                axpy(vj, table_.data() + j * n_, a.data(), n_);
            } else {
                const std::size_t step = 2 * j + 1;
                std::size_t idx = 0;
                for (std::size_t k = 0; k < n_; ++k) {
                    a[k] += vj * cosTab_[idx];
                    idx += step;
                    if (idx >= period) idx %= period;
                }
            }
        }
        const double scale = 2.0 / static_cast<double>(n_);
        for (double& ak : a)
            ak *= scale;
        a[0] *= 0.5;
    }

  private:
    // Above this many coefficients the n x n table (8 MiB here) is not kept.
    static constexpr std::size_t kTableLimit = 1024;
    std::size_t n_;
    std::vector<double> cosTab_;
    std::vector<double> points_;
    std::vector<double> table_;
};

// P(x_i) = sum_k a_k T_k(x_i) at every point, by Clenshaw's recurrence run
// over blocks of points at once.
ONEX_VECTOR_CLONES
void clenshaw(const std::vector<double>& a, const std::vector<double>& x,
              std::vector<double>& out) {
    constexpr std::size_t kBlock = 256;
    const std::size_t n = a.size();
    const std::size_t m = x.size();
    out.resize(m);
    double b1[kBlock], b2[kBlock], x2[kBlock];
    for (std::size_t start = 0; start < m; start += kBlock) {
        const std::size_t len = std::min(kBlock, m - start);
        const double* xs = x.data() + start;
        for (std::size_t i = 0; i < len; ++i) {
            x2[i] = 2.0 * xs[i];
            b1[i] = 0.0;
            b2[i] = 0.0;
        }
        for (std::size_t k = n - 1; k >= 1; --k) {
            const double ak = a[k];
            for (std::size_t i = 0; i < len; ++i) {
                const double t = ak + x2[i] * b1[i] - b2[i];
                b2[i] = b1[i];
                b1[i] = t;
            }
        }
        for (std::size_t i = 0; i < len; ++i)
            out[start + i] = a[0] + xs[i] * b1[i] - b2[i];
    }
}

// Double-double arithmetic (about 32 significant digits) for the final
// coefficients. The error-free steps rely on ISO C++ mode, where the compiler
// does not contract a * b + c into a fused multiply-add on its own.
struct DD {
    double hi = 0.0;
    double lo = 0.0;
};

DD quickTwoSum(double a, double b) {
    const double s = a + b;
    return {s, b - (s - a)};
}

DD twoSum(double a, double b) {
    const double s = a + b;
    const double bb = s - a;
    return {s, (a - (s - bb)) + (b - bb)};
}

DD operator+(DD a, DD b) {
    DD s = twoSum(a.hi, b.hi);
    const DD t = twoSum(a.lo, b.lo);
    s.lo += t.hi;
    s = quickTwoSum(s.hi, s.lo);
    s.lo += t.lo;
    return quickTwoSum(s.hi, s.lo);
}

DD operator-(DD a) {
    return {-a.hi, -a.lo};
}
DD operator-(DD a, DD b) {
    return a + (-b);
}

DD operator*(DD a, DD b) {
    const double p = a.hi * b.hi;
    const double e = std::fma(a.hi, b.hi, -p) + (a.hi * b.lo + a.lo * b.hi);
    return quickTwoSum(p, e);
}

DD operator/(DD a, DD b) {
    const double q1 = a.hi / b.hi;
    DD r = a - b * DD{q1, 0.0};
    const double q2 = r.hi / b.hi;
    r = r - b * DD{q2, 0.0};
    const double q3 = r.hi / b.hi;
    return quickTwoSum(q1, q2) + DD{q3, 0.0};
}

DD scaled(DD a, int e) {
    return {std::ldexp(a.hi, e), std::ldexp(a.lo, e)};
}

DD fromLong(long double v) {
    const double hi = static_cast<double>(v);
    return {hi, static_cast<double>(v - static_cast<long double>(hi))};
}

// Cosine-series coefficients of the levelled interpolant on the reference
// (nodes xr, desired dr and weights wr, n + 1 of each), in double-double.
// Some Chebyshev sample points lie in don't-care gaps or beyond the outermost
// reference points, where the interpolant can magnify rounding in its data by
// many orders; carrying weights, level and sums in double-double keeps the
// taps faithful to the interpolant for all but absurd designs. The sample
// points and the cosine table need only long double: the transform itself is
// well conditioned.
std::vector<double> accurateCoefficients(const std::vector<double>& xr,
                                         const std::vector<double>& dr,
                                         const std::vector<double>& wr, std::size_t n) {
    using L = long double;
    const std::size_t r = n + 1;
    std::vector<DD> g(r);
    std::vector<int> e(r);
    int top = INT_MIN;
    for (std::size_t k = 0; k < r; ++k) {
        DD p{1.0, 0.0};
        int ex = 0;
        for (std::size_t j = 0; j < r; ++j) {
            if (j == k) continue;
            p = p * twoSum(xr[k], -xr[j]);
            int t;
            std::frexp(p.hi, &t);
            p = scaled(p, -t);
            ex += t;
        }
        g[k] = DD{1.0, 0.0} / p;
        e[k] = -ex;
        top = std::max(top, e[k]);
    }
    for (std::size_t k = 0; k < r; ++k)
        g[k] = scaled(g[k], e[k] - top);
    DD sumD, sumW;
    for (std::size_t k = 0; k < r; ++k) {
        const DD t = g[k] / DD{wr[k], 0.0};
        sumD = sumD + g[k] * DD{dr[k], 0.0};
        sumW = (k % 2 == 0) ? sumW + t : sumW - t;
    }
    const DD delta = sumD / sumW;
    std::vector<DD> c(r);
    for (std::size_t k = 0; k < r; ++k) {
        const DD step = delta / DD{wr[k], 0.0};
        c[k] = (k % 2 == 0) ? DD{dr[k], 0.0} - step : DD{dr[k], 0.0} + step;
    }

    const L pi = std::numbers::pi_v<L>;
    const std::size_t period = 4 * n;
    std::vector<L> cosTab(period);
    for (std::size_t m = 0; m < period; ++m)
        cosTab[m] = std::cos(pi * static_cast<L>(m) / (2.0L * static_cast<L>(n)));
    std::vector<L> v(n);
    for (std::size_t j = 0; j < n; ++j) {
        const DD y = fromLong(cosTab[2 * j + 1]);
        DD num, den;
        bool hit = false;
        for (std::size_t k = 0; k < r; ++k) {
            const DD diff = y - DD{xr[k], 0.0};
            if (diff.hi == 0.0) {
                v[j] = static_cast<L>(c[k].hi) + static_cast<L>(c[k].lo);
                hit = true;
                break;
            }
            const DD t = g[k] / diff;
            num = num + t * c[k];
            den = den + t;
        }
        if (!hit) {
            const DD q = num / den;
            v[j] = static_cast<L>(q.hi) + static_cast<L>(q.lo);
        }
    }
    std::vector<double> a(n);
    for (std::size_t k = 0; k < n; ++k) {
        L sum = 0;
        std::size_t idx = k % period;  // k (2j + 1) mod 4n, stepped by 2k
        const std::size_t step = (2 * k) % period;
        for (std::size_t j = 0; j < n; ++j) {
            sum += v[j] * cosTab[idx];
            idx += step;
            if (idx >= period) idx -= period;
        }
        a[k] = static_cast<double>(sum * (k == 0 ? 1.0L : 2.0L) / static_cast<L>(n));
    }
    return a;
}

struct Extremum {
    std::size_t index;
    double value;
    bool onReference = false;
};

// Keeps one point per run of equal sign: the one of larger magnitude.
std::vector<Extremum> mergeSameSign(const std::vector<Extremum>& in) {
    std::vector<Extremum> out;
    for (const Extremum& e : in) {
        if (!out.empty() && (out.back().value > 0) == (e.value > 0)) {
            if (std::fabs(e.value) > std::fabs(out.back().value)) out.back() = e;
        } else {
            out.push_back(e);
        }
    }
    return out;
}

// Reduces an alternating list to `count` points. Dropping an end point or two
// neighbours keeps the alternation; the smallest errors go first, so the
// largest error always stays.
void reduceTo(std::vector<Extremum>& ext, std::size_t count) {
    while (ext.size() > count) {
        const std::size_t last = ext.size() - 1;
        std::size_t j = 0;
        for (std::size_t i = 1; i <= last; ++i)
            if (std::fabs(ext[i].value) < std::fabs(ext[j].value)) j = i;
        if (ext.size() == count + 1 && j != 0 && j != last) {
            // One too many and the smallest is inside: drop the smaller end.
            j = std::fabs(ext[0].value) <= std::fabs(ext[last].value) ? 0 : last;
            ext.erase(ext.begin() + static_cast<std::ptrdiff_t>(j));
        } else if (j == 0 || j == last) {
            ext.erase(ext.begin() + static_cast<std::ptrdiff_t>(j));
        } else {
            const std::size_t other =
                std::fabs(ext[j - 1].value) <= std::fabs(ext[j + 1].value) ? j - 1 : j + 1;
            const std::size_t lo = std::min(j, other);
            ext.erase(ext.begin() + static_cast<std::ptrdiff_t>(lo),
                      ext.begin() + static_cast<std::ptrdiff_t>(lo + 2));
        }
    }
}

// Extrema within this relative margin below the levelled error still count
// as reaching it (the reference points themselves sit exactly on it).
constexpr double kLevelMargin = 1e-7;
// A levelled error that grows by no more than this relative amount (a few
// ulps) has stopped growing.
constexpr double kLevelGrowth = 8e-16;

// The symmetry class and the size of a design.
struct Shape {
    int nfilt = 0;
    int cls = 1;        // 1..4: even/odd length, even/odd symmetry
    std::size_t n = 0;  // cosine-series coefficients of P
};

Shape designShape(double nfiltIn, int ftype) {
    Shape s;
    s.nfilt = static_cast<int>(nfiltIn);
    const bool neg = ftype >= 3;
    const bool nodd = s.nfilt % 2 == 1;
    // The class follows the length and the symmetry, as in the classic program.
    s.cls = neg ? (nodd ? 3 : 4) : (nodd ? 1 : 2);
    s.n = static_cast<std::size_t>(s.nfilt / 2 + ((nodd && !neg) ? 1 : 0));
    if (s.n == 0) throw Error("remezmex: an odd-symmetric filter needs at least 2 taps.");
    return s;
}

// The grid as one weighted polynomial approximation: x, desired / Q and
// weight * Q. Points where that weight is zero carry an error no coefficient
// can change; they are left out of the exchange and only count towards err.
struct Points {
    std::vector<double> x, d, w;
    std::vector<std::size_t> source;  // grid position of each point
    double fixedErr = 0.0;
    std::size_t size() const { return x.size(); }
};

Points workingPoints(const Shape& shape, const std::vector<double>& grid,
                     const std::vector<double>& des, const std::vector<double>& wt) {
    Points p;
    p.x.reserve(grid.size());
    p.d.reserve(grid.size());
    p.w.reserve(grid.size());
    p.source.reserve(grid.size());
    for (std::size_t i = 0; i < grid.size(); ++i) {
        const double f = grid[i];
        if (!(f >= 0.0 && f <= 1.0))
            throw Error("remezmex: grid frequencies must lie between 0 and 1.");
        if (i > 0 && f < grid[i - 1])
            throw Error("remezmex: grid frequencies must be non-decreasing.");
        if (!std::isfinite(des[i]) || !std::isfinite(wt[i]))
            throw Error("remezmex: desired values and weights must be finite.");
        const double q = classFactor(shape.cls, f);
        const double weight = std::fabs(wt[i]) * q;
        if (weight == 0.0) {
            p.fixedErr = std::max(p.fixedErr, std::fabs(wt[i] * (q == 0.0 ? des[i] : 0.0)));
            continue;
        }
        const double xi = cosPi(f);
        const double di = des[i] / q;
        if (!p.x.empty() && xi == p.x.back()) {
            // A repeated frequency (a band edge met twice) is one condition
            // only if it asks for the same thing both times.
            if (di == p.d.back() && weight == p.w.back()) continue;
            throw Error("remezmex: grid frequency " + num2str(f) +
                        " carries two different desired values or weights.");
        }
        p.x.push_back(xi);
        p.d.push_back(di);
        p.w.push_back(weight);
        p.source.push_back(i);
    }
    if (p.size() < shape.n + 1)
        throw Error("remezmex: the grid has " + std::to_string(p.size()) +
                    " usable points; the filter needs at least " + std::to_string(shape.n + 1) +
                    ".");
    return p;
}

// The outcome of the exchange: the cosine-series coefficients on the last
// reference levelled, the largest error of the new reference, that new
// reference and the one the coefficients were levelled on.
struct ExchangeResult {
    std::vector<double> a;
    double err = 0.0;
    std::vector<std::size_t> ref, finalRef;
};

class Exchange {
  public:
    Exchange(const Points& p, std::size_t n)
        : p_(p), n_(n), m_(p.size()), dct_(n), xr_(n + 1), c_(n + 1), v_(n), E_(m_) {
        // Size of the weighted data, against which an error counts as rounding.
        for (std::size_t i = 0; i < m_; ++i)
            scale_ = std::max(scale_, p_.w[i] * std::fabs(p_.d[i]));
    }

    double scale() const { return scale_; }

    ExchangeResult run() {
        ExchangeResult r;
        // Initial reference spread evenly over the grid points.
        r.ref.resize(n_ + 1);
        for (std::size_t j = 0; j <= n_; ++j)
            r.ref[j] = j * (m_ - 1) / n_;
        double prevLevel = 0.0;
        bool converged = false;
        for (int iter = 0; iter < kMaxIterations && !converged; ++iter) {
            r.finalRef = r.ref;
            const double delta = level(r.ref);
            const Interpolant interp{xr_.data(), g_.data(), c_.data(), n_ + 1};
            coefficients(interp, r.a);
            scanGrid(interp, r.a, r.ref, delta);
            const double maxAbs = candidates(interp, r.ref, delta);
            if (maxAbs <= kExactFit * scale_) {
                // The desired response is a filter of this class: nothing to level.
                r.err = maxAbs;
                converged = true;
                break;
            }
            const std::vector<Extremum> best = nextReference(delta);
            double hi = 0.0, lo = HUGE_VAL;
            for (const Extremum& e : best) {
                hi = std::max(hi, std::fabs(e.value));
                lo = std::min(lo, std::fabs(e.value));
            }
            r.err = hi;
            const double spread = hi > 0.0 ? (hi - lo) / hi : 0.0;
            bool same = true;
            for (std::size_t k = 0; k <= n_; ++k)
                same = same && best[k].index == r.ref[k];
            const bool stalled =
                std::fabs(delta) <= prevLevel * (1.0 + kLevelGrowth) && spread <= kStagnationSpread;
            prevLevel = std::max(prevLevel, std::fabs(delta));
            if (spread <= kSpreadTolerance || hi - lo <= roundingOf() || same || stalled)
                converged = true;
            for (std::size_t k = 0; k <= n_; ++k)
                r.ref[k] = best[k].index;
        }
        if (!converged) {
            if (prevLevel <= kExactFit * scale_)
                throw Error(
                    "remezmex: the exchange did not converge: the levelled error stayed at "
                    "rounding level, so a lower order meets the desired response.");
            throw Error("remezmex: the exchange did not converge in " +
                        std::to_string(kMaxIterations) + " iterations.");
        }
        return r;
    }

  private:
    // Levels the error on the reference: the barycentric weights of its
    // abscissae and the levelled error delta at which the n-th divided
    // difference of P vanishes; c gets the interpolated values d -+ delta / w.
    double level(const std::vector<std::size_t>& ref) {
        for (std::size_t k = 0; k <= n_; ++k)
            xr_[k] = p_.x[ref[k]];
        barycentricWeights(xr_, g_);
        double sumD = 0.0, sumW = 0.0;
        for (std::size_t k = 0; k <= n_; ++k) {
            const double s = (k % 2 == 0) ? 1.0 : -1.0;
            sumD += g_[k] * p_.d[ref[k]];
            sumW += g_[k] * s / p_.w[ref[k]];
        }
        const double delta = sumD / sumW;
        if (!std::isfinite(delta))
            throw Error("remezmex: the exchange broke down (singular reference).");
        for (std::size_t k = 0; k <= n_; ++k) {
            const double s = (k % 2 == 0) ? 1.0 : -1.0;
            c_[k] = p_.d[ref[k]] - s * delta / p_.w[ref[k]];
        }
        wRef_.resize(n_ + 1);
        for (std::size_t k = 0; k <= n_; ++k)
            wRef_[k] = p_.w[ref[k]];
        return delta;
    }

    // The interpolant through all n + 1 levelled values has degree n - 1 up
    // to rounding, and it is exact at every reference point; the samples at
    // the n Chebyshev points cannot see a T_n remainder (T_n vanishes
    // there), so the coefficients are those of degree n - 1. Leaving out one
    // reference point instead would extrapolate to it.
    void coefficients(const Interpolant& interp, std::vector<double>& a) {
        interp.atMany(dct_.points().data(), n_, num_, den_, v_.data());
        dct_.apply(v_, a);
    }

    // The weighted error E on the whole grid, from the coefficients. Where
    // they are too large for that to be accurate (wide don't-care gaps,
    // near-exact fits), which shows at the reference points, the scan uses
    // the barycentric form.
    void scanGrid(const Interpolant& interp, const std::vector<double>& a,
                  const std::vector<std::size_t>& ref, double delta) {
        clenshaw(a, p_.x, P_);
        double refDev = 0.0;
        for (std::size_t k = 0; k <= n_; ++k)
            refDev = std::max(refDev, p_.w[ref[k]] * std::fabs(P_[ref[k]] - c_[k]));
        if (!(refDev <= kScanAccuracy * std::fabs(delta)))
            interp.atMany(p_.x.data(), m_, num_, den_, P_.data());
        for (std::size_t i = 0; i < m_; ++i)
            E_[i] = p_.w[i] * (p_.d[i] - P_[i]);
    }

    // Candidates for the next reference: the largest error of every sign
    // run, and the current reference, whose alternation is known; all
    // re-evaluated exactly. Returns the largest of their errors.
    double candidates(const Interpolant& interp, const std::vector<std::size_t>& ref,
                      double delta) {
        cand_.clear();
        for (std::size_t i = 0; i < m_; ++i) {
            const bool pos = E_[i] > 0;
            if (E_[i] == 0.0 && !cand_.empty()) continue;
            if (!cand_.empty() && (cand_.back().value > 0) == pos) {
                if (std::fabs(E_[i]) > std::fabs(cand_.back().value))
                    cand_.back() = {i, E_[i], false};
            } else {
                cand_.push_back({i, E_[i], false});
            }
        }
        // A reference point's error is +-delta by construction; recomputing it
        // as w (d - c) would only add the rounding of d - c.
        for (std::size_t k = 0; k <= n_; ++k)
            cand_.push_back({ref[k], (k % 2 == 0) ? delta : -delta, true});
        std::stable_sort(cand_.begin(), cand_.end(), [](const Extremum& l, const Extremum& r) {
            return l.index < r.index || (l.index == r.index && l.onReference && !r.onReference);
        });
        cand_.erase(
            std::unique(cand_.begin(), cand_.end(),
                        [](const Extremum& l, const Extremum& r) { return l.index == r.index; }),
            cand_.end());
        ys_.resize(cand_.size());
        vals_.resize(cand_.size());
        for (std::size_t i = 0; i < cand_.size(); ++i)
            ys_[i] = p_.x[cand_[i].index];
        interp.atMany(ys_.data(), ys_.size(), num_, den_, vals_.data());
        double maxAbs = 0.0;
        for (std::size_t i = 0; i < cand_.size(); ++i) {
            const std::size_t idx = cand_[i].index;
            if (!cand_[i].onReference) cand_[i].value = p_.w[idx] * (p_.d[idx] - vals_[i]);
            maxAbs = std::max(maxAbs, std::fabs(cand_[i].value));
        }
        return maxAbs;
    }

    // The n + 1 alternating candidates that reach the levelled error, the
    // largest error always among them. The reference points pass that level,
    // so at least n + 1 alternate.
    std::vector<Extremum> nextReference(double delta) const {
        const double level = std::fabs(delta) * (1.0 - kLevelMargin);
        std::vector<Extremum> strong;
        for (const Extremum& e : cand_)
            if (std::fabs(e.value) >= level) strong.push_back(e);
        std::vector<Extremum> best = mergeSameSign(strong);
        if (best.size() < n_ + 1)
            throw Error("remezmex: the exchange broke down (the error lost its alternation).");
        reduceTo(best, n_ + 1);
        return best;
    }

    // Rounding in the levelled values: differences below it are not
    // approximation.
    double roundingOf() const {
        double noise = 0.0;
        for (std::size_t k = 0; k <= n_; ++k)
            noise = std::max(noise, wRef_[k] * std::fabs(c_[k]));
        return noise *
               (kNoiseUlps * static_cast<double>(n_ + 1) * std::numeric_limits<double>::epsilon());
    }

    const Points& p_;
    const std::size_t n_, m_;
    const CosineTransform dct_;
    double scale_ = 0.0;
    std::vector<double> xr_, g_, c_, v_, wRef_, P_, E_, num_, den_, ys_, vals_;
    std::vector<Extremum> cand_;
};

// Rounding of a scan of the coefficients a over the grid, which grows with
// the size of the taps.
double scanNoise(const std::vector<double>& a, const Points& p, std::size_t n) {
    double sumA = 0.0, maxW = 0.0;
    for (double ak : a)
        sumA += std::fabs(ak);
    for (double wi : p.w)
        maxW = std::max(maxW, wi);
    return 4.0 * static_cast<double>(n) * std::numeric_limits<double>::epsilon() * sumA * maxW;
}

// The largest weighted error the coefficients really have on the grid.
double realizedError(const std::vector<double>& a, const Points& p) {
    std::vector<double> P;
    clenshaw(a, p.x, P);
    double worst = 0.0;
    for (std::size_t i = 0; i < p.size(); ++i)
        worst = std::max(worst, p.w[i] * std::fabs(p.d[i] - P[i]));
    return worst;
}

// Checks the taps against the grid; err reports their error when it is
// measurably above the optimum. When the coefficients from the exchange do
// not hold the final interpolant closely enough they are recomputed in
// double-double; a design whose taps still cannot hold its optimum is
// refused.
void settleCoefficients(ExchangeResult& r, const Points& p, std::size_t n, double scale) {
    const double slack = kExactFit * scale;
    double realized = realizedError(r.a, p);
    if (realized > r.err * (1.0 + kFaithful) + scanNoise(r.a, p, n) + slack) {
        std::vector<double> xr(n + 1), dr(n + 1), wr(n + 1);
        for (std::size_t k = 0; k <= n; ++k) {
            xr[k] = p.x[r.finalRef[k]];
            dr[k] = p.d[r.finalRef[k]];
            wr[k] = p.w[r.finalRef[k]];
        }
        r.a = accurateCoefficients(xr, dr, wr, n);
        realized = realizedError(r.a, p);
    }
    const double noise = scanNoise(r.a, p, n);
    if (realized > kRealizedSlack * r.err + noise + slack ||
        noise > (kRealizedSlack - 1) * r.err + slack)
        throw Error(
            "remezmex: the design is ill-conditioned: its taps cannot hold the optimum "
            "(weighted error " +
            num2str(r.err) + ") to working precision.");
    if (realized > r.err + noise) r.err = realized;
}

// Taps from the cosine-series coefficients a (length n) of P.
std::vector<double> tapsOf(const Shape& shape, const std::vector<double>& a) {
    const std::size_t n = shape.n;
    std::vector<double> h(static_cast<std::size_t>(shape.nfilt), 0.0);
    auto b = [&](std::size_t k) { return k < n ? a[k] : 0.0; };
    switch (shape.cls) {
        case 1: {  // nfilt = 2n - 1, centre n - 1
            const std::size_t centre = n - 1;
            h[centre] = a[0];
            for (std::size_t k = 1; k < n; ++k)
                h[centre + k] = h[centre - k] = 0.5 * a[k];
            break;
        }
        case 2: {  // nfilt = 2n; A = sum g_i cos((i + 1/2) w)
            for (std::size_t i = 0; i < n; ++i) {
                const double gi = (i == 0) ? b(0) + 0.5 * b(1) : 0.5 * (b(i) + b(i + 1));
                h[n + i] = h[n - 1 - i] = 0.5 * gi;
            }
            break;
        }
        case 3: {  // nfilt = 2n + 1, centre n; A = sum_{m>=1} g_m sin(m w)
            for (std::size_t mm = 1; mm <= n; ++mm) {
                const double gm = (mm == 1) ? b(0) - 0.5 * b(2) : 0.5 * (b(mm - 1) - b(mm + 1));
                h[n + mm] = 0.5 * gm;
                h[n - mm] = -0.5 * gm;
            }
            break;
        }
        default: {  // class 4: nfilt = 2n; A = sum g_i sin((i + 1/2) w)
            for (std::size_t i = 0; i < n; ++i) {
                const double gi = (i == 0) ? b(0) - 0.5 * b(1) : 0.5 * (b(i) - b(i + 1));
                h[n + i] = 0.5 * gi;
                h[n - 1 - i] = -0.5 * gi;
            }
            break;
        }
    }
    return h;
}

}  // namespace

RemezMexResult remezmex(double nfiltIn,
                        const std::array<double, 2>& /*edges: the grid carries the bands*/,
                        const std::vector<double>& grid, const std::vector<double>& des,
                        const std::vector<double>& wt, int ftype) {
    if (ftype < 1 || ftype > 4)
        throw Error("remezmex: symmetry class " + std::to_string(ftype) + " is not 1, 2, 3 or 4.");
    if (!(nfiltIn >= 1 && nfiltIn <= kMaxRemezLength) || nfiltIn != std::floor(nfiltIn))
        throw Error("remezmex: filter length " + num2str(nfiltIn) +
                    " is not a whole number from 1 to " + num2str(kMaxRemezLength) + ".");
    if (grid.size() != des.size() || grid.size() != wt.size())
        throw Error("remezmex: grid, desired values and weights differ in length.");
    const Shape shape = designShape(nfiltIn, ftype);
    const Points points = workingPoints(shape, grid, des, wt);

    Exchange exchange(points, shape.n);
    ExchangeResult r = exchange.run();
    settleCoefficients(r, points, shape.n, exchange.scale());

    RemezMexResult out;
    out.h = tapsOf(shape, r.a);
    out.err = std::max(r.err, points.fixedErr);
    out.iext.reserve(shape.n + 1);
    for (std::size_t k = 0; k <= shape.n; ++k)
        out.iext.push_back(static_cast<double>(points.source[r.ref[k]] + 1));
    return out;
}

}  // namespace onex
