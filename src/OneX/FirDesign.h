#pragma once

// Equiripple (Parks-McClellan) and frequency-response FIR design.
// Frequencies for the equiripple designs are normalised to Nyquist = 1;
// those of createRealFIR / freq2fir are in hertz.
//
// The dynamic call forms of remez2 map onto the typed API as follows:
//   remez2(order, ff, aa)                      -> remez2(order, ff, aa)
//   remez2(order, ff, aa, wtx)                 -> options.wtx = wtx
//   a text filter type after aa or after wtx   -> options.filterType ("m..." is refused inside)
//   a one-element cell {lgrid} anywhere among the optional arguments -> options.lgrid
//   a response-function name in place of aa, or a cell {name, p1, p2, ...}
//                                              -> remez2(order, ff, ResponseFunction{...}),
//      the callable having p1, p2, ... bound; "remezfrf" is remezfrfResponse(aa, diff_flag)
//   three outputs requested                    -> options.wantReport = true
// The gateway that parses the dynamic arguments only fills these fields; every
// check with its text runs in remez2 itself, in the documented order.

#include <array>
#include <complex>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace onex {

// Longest equiripple filter and largest design grid accepted; they bound
// run time and memory for absurd orders or grid densities.
inline constexpr double kMaxRemezLength = 8192;
inline constexpr double kMaxRemezGridPoints = 2097152;  // 2^21

// ---------------------------------------------------------------------------
// Equiripple design

// Desired amplitude DH and weight DW at each grid frequency.
struct RemezResponse {
    std::vector<double> DH;
    std::vector<double> DW;
};

// A response function as remez2 calls it. evaluate(order, ff, grid, wtx)
// returns the desired amplitude and weight on the grid (extra parameters are
// bound into the callable). defaults() answers the default symmetry, "even"
// or "odd"; when it is empty or throws, "even" is assumed.
struct ResponseFunction {
    std::string name;
    std::function<RemezResponse(double order, const std::vector<double>& ff,
                                const std::vector<double>& grid, const std::vector<double>& wtx)>
        evaluate;
    std::function<std::string()> defaults;
};

// The built-in response "remezfrf" with its extra parameters (aa, diff_flag).
ResponseFunction remezfrfResponse(std::vector<double> aa, double diff_flag);

struct Remez2Options {
    std::string filterType = "f";            // "" means "f"; "h..." Hilbert, "d..." differentiator
    std::optional<std::vector<double>> wtx;  // absent: one weight of 1 per band
    double lgrid = 16;                       // grid density
    bool wantReport = false;                 // build res (three outputs requested)
};

// The optional report of remez2 (all columns in the original; rows here).
struct Remez2Report {
    std::vector<double> fgrid;            // grid frequencies
    std::vector<std::complex<double>> H;  // frequency response of h on fgrid
    std::vector<double> error;            // des - amplitude (unweighted)
    std::vector<double> des;              // desired amplitude on fgrid
    std::vector<double> wt;               // weight on fgrid
    std::vector<double> iextr;            // extremal grid positions, 1-based
    std::vector<double> fextr;            // extremal frequencies
};

struct Remez2Result {
    std::vector<double> h;            // order + 1 taps (after a firchk correction)
    double err = 0;                   // magnitude of the maximum weighted error
    std::optional<Remez2Report> res;  // only with Remez2Options::wantReport
    std::string warning;              // firchk's warning text, empty when none
};

Remez2Result remez2(double order, const std::vector<double>& ff, const std::vector<double>& aa,
                    const Remez2Options& options = {});
Remez2Result remez2(double order, const std::vector<double>& ff, const ResponseFunction& response,
                    const Remez2Options& options = {});

// Dense design grid (local routine of remez2, exposed for the tests and the library).
std::vector<double> remezgrid(double nfilt, double lgrid, const std::vector<double>& ff, int neg,
                              int nodd);

// Piecewise-linear desired response and band weights on the grid GF.
RemezResponse remezfrf(double N, const std::vector<double>& F, const std::vector<double>& GF,
                       const std::vector<double>& W, const std::vector<double>& A,
                       double diff_flag);
// remezfrf("defaults", x): the default symmetry, "even".
std::string remezfrfDefaults();

struct FirChkResult {
    double n = 0;      // possibly corrected order
    std::string msg1;  // error text, empty when none
    std::string msg2;  // warning text, empty when none
};
// n absent stands for an empty, non-numeric or complex order.
FirChkResult firchk(std::optional<double> n, const std::vector<double>& a, double exception = 0);

// The Remez exchange. Returns the nfilt taps of the linear-phase filter of
// symmetry class ftype (1..4) whose amplitude minimises max |wt (des - A)|
// over the grid, that error, and the extremal grid positions (1-based).
// Classes 3 and 4 follow H(e^jw) = -j e^(-jw(nfilt-1)/2) A(w), so that a
// Hilbert design with A = 1 approximates -j sgn(w). Throws onex::Error for
// malformed input, for no convergence within 100 iterations, and for designs
// whose optimum double-precision taps cannot hold (huge taps in wide
// don't-care gaps, orders far above what the bands need).
struct RemezMexResult {
    std::vector<double> h;
    double err = 0;
    std::vector<double> iext;
};
RemezMexResult remezmex(double nfilt, const std::array<double, 2>& edges,
                        const std::vector<double>& grid, const std::vector<double>& des,
                        const std::vector<double>& wt, int ftype);

// IS-95 baseband filter taps (12 x oversmpl taps, even-symmetric).
std::vector<double> FilterCoeff_IS95_Std(double oversmpl);
// IS-95 filter with improved adjacent-channel power (26 x oversmpl taps).
std::vector<double> FilterCoeff_IS95_Acp(double oversmpl);

// ---------------------------------------------------------------------------
// Frequency-response FIR

// Dimensions of a numeric argument as a dynamic caller hands it over; the
// typed overloads below take rows.
struct ArgShape {
    std::size_t rows = 1;
    std::size_t cols = 0;
};

// Texts of the input-count checks, raised by the dynamic gateways.
inline constexpr const char* kCreateRealFirInputCountText =
    "You must have 4 inputs to createRealFIR.";
inline constexpr const char* kFreq2FirInputCountText = "You must have 4 inputs.";

// Odd-length FIR whose response is the inverse of the measured response H at
// the frequencies F (Hz), for the sample rate SR (Hz).
std::vector<std::complex<double>> createRealFIR(double n, const std::vector<double>& F,
                                                const std::vector<std::complex<double>>& H,
                                                double SR);
std::vector<std::complex<double>> createRealFIR(double n, const std::vector<double>& F,
                                                ArgShape fShape,
                                                const std::vector<std::complex<double>>& H,
                                                ArgShape hShape, double SR);

// Least-squares n-tap FIR (taps at -m..m, m = (n-1)/2) whose response at F
// matches conj(H).
std::vector<std::complex<double>> freq2fir(double n, const std::vector<double>& F,
                                           const std::vector<std::complex<double>>& H, double SR);
std::vector<std::complex<double>> freq2fir(double n, const std::vector<double>& F, ArgShape fShape,
                                           const std::vector<std::complex<double>>& H,
                                           ArgShape hShape, double SR);

}  // namespace onex
