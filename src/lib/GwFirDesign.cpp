// Gateways of the FIR designers: the dynamic argument forms of remez2 and the
// routines whose own texts cover their argument counts.

#include <fmt/format.h>

#include <cstdio>

#include "OneX/FirDesign.h"
#include "lib/Gateways.h"
#include "platform/Error.h"

namespace onex::lib::gw {

namespace {

using Outputs = std::vector<Array>;

ArgShape shapeOf(const Args& a, std::size_t k) {
    const Array& v = a.at(k);
    if (v.ndims() != 2) a.fail(k, "a vector");
    return {v.rows(), v.cols()};
}

// A one-element cell holding the grid density.
double gridDensity(const Args& a, std::size_t k) {
    const Array& c = a.at(k);
    if (c.numel() != 1 || !isRealNumeric(c.cell(0)) || !c.cell(0).isScalar())
        a.fail(k, "a one-element cell holding the grid density");
    return c.cell(0).realAt(0);
}

// The built-in response function named in place of aa, with the parameters
// that follow its name in a cell ({"remezfrf", A, diff_flag}).
ResponseFunction namedResponse(const Args& a, std::string_view name,
                               std::span<const Array> params) {
    if (name != "remezfrf") a.fail(fmt::format("unknown response function \"{}\".", name));
    if (params.empty() || !isNumericVector(params[0]) || params[0].isComplex())
        a.fail("the response function \"remezfrf\" needs the amplitudes A (a real vector).");
    double diffFlag = 0;
    if (params.size() >= 2) {
        if (!isRealNumeric(params[1]) || !params[1].isScalar())
            a.fail("the diff_flag of \"remezfrf\" must be a real number.");
        diffFlag = params[1].realAt(0);
    }
    if (params.size() > 2) a.fail("\"remezfrf\" takes at most two parameters (A, diff_flag).");
    return remezfrfResponse(params[0].toDoubleVector(), diffFlag);
}

Array columnOfComplex(std::span<const std::complex<double>> v) {
    Array a = Array::complexRow(v);
    a.reshape({v.size(), 1});
    return a;
}

}  // namespace

Outputs remez2(const Args& a) {
    const double order = a.number(0);
    const std::vector<double> ff = a.realVector(1);

    Remez2Options options;
    options.wantReport = a.nargout() >= 3;
    // The optional arguments: {lgrid} anywhere; otherwise [wtx][, type] or
    // [type] in this order.
    bool haveWeights = false, haveType = false;
    for (std::size_t k = 3; k < a.count(); ++k) {
        if (!a.has(k)) continue;
        const Array& v = a.at(k);
        if (v.isCell()) {
            options.lgrid = gridDensity(a, k);
        } else if (v.isChar() && !haveType) {
            options.filterType = a.text(k);
            haveType = true;
        } else if (!haveWeights && !haveType && (v.isNumeric() || v.isLogical())) {
            options.wtx = a.realVector(k);
            haveWeights = true;
        } else {
            a.fail(k, haveType ? "a one-element cell {lgrid} (nothing may follow the filter type)"
                               : "the weights, the filter type or a one-element cell {lgrid}");
        }
    }

    Remez2Result r;
    const Array& aa = a.at(2);
    if (aa.isChar()) {
        r = onex::remez2(order, ff, namedResponse(a, a.text(2), {}), options);
    } else if (aa.isCell()) {
        if (aa.numel() == 0 || !aa.cell(0).isChar())
            a.fail(2, "the amplitudes, a response function name or a cell {name, ...}");
        std::vector<Array> params;
        for (std::size_t i = 1; i < aa.numel(); ++i)
            params.push_back(aa.cell(i));
        r = onex::remez2(order, ff, namedResponse(a, aa.cell(0).toString(), params), options);
    } else {
        r = onex::remez2(order, ff, a.realVector(2), options);
    }
    if (!r.warning.empty()) std::fprintf(stderr, "Warning: %s\n", r.warning.c_str());

    Outputs out{rowOf(r.h), numberOf(r.err)};
    if (r.res) {
        const Remez2Report& rep = *r.res;
        out.push_back(Array::structure({
            {"fgrid", columnOf(rep.fgrid)},
            {"H", columnOfComplex(rep.H)},
            {"error", columnOf(rep.error)},
            {"des", columnOf(rep.des)},
            {"wt", columnOf(rep.wt)},
            {"iextr", columnOf(rep.iextr)},
            {"fextr", columnOf(rep.fextr)},
        }));
    }
    return out;
}

Outputs remezfrf(const Args& a) {
    if (a.at(0).isChar()) {
        if (a.count() == 2 && a.text(0) == "defaults") return {textOf(remezfrfDefaults())};
        a.fail(0, "the filter order (or \"defaults\" with two inputs)");
    }
    if (a.count() < 6)
        a.fail(fmt::format("not enough input arguments ({} given, exactly 6 needed).", a.count()));
    RemezResponse r = onex::remezfrf(a.number(0), a.realVector(1), a.realVector(2), a.realVector(3),
                                     a.realVector(4), a.number(5));
    return {realShaped(r.DH, a.at(2)), realShaped(r.DW, a.at(2))};
}

Outputs firchk(const Args& a) {
    // An order that is empty, not numeric, complex or not one number is
    // reported by firchk itself.
    std::optional<double> n;
    const Array& nv = a.at(0);
    if (isRealNumeric(nv) && nv.isScalar()) n = nv.realAt(0);
    std::vector<double> amplitudes;
    const Array& av = a.at(1);
    if (av.isChar()) {
        for (char16_t c : av.chars())
            amplitudes.push_back(static_cast<double>(c));
    } else {
        amplitudes = a.realElements(1);
    }
    FirChkResult r = onex::firchk(n, amplitudes, a.optNumber(2).value_or(0));
    return {numberOf(r.n), textOf(r.msg1), textOf(r.msg2)};
}

Outputs createRealFIR(const Args& a) {
    if (a.count() != 4) throw Error(kCreateRealFirInputCountText);
    if (!isRealNumeric(a.at(1))) a.fail(1, "a real vector");
    if (!(a.at(2).isNumeric() || a.at(2).isLogical())) a.fail(2, "a numeric vector");
    return {
        complexRowOf(onex::createRealFIR(a.number(0), a.at(1).toDoubleVector(), shapeOf(a, 1),
                                         a.at(2).toComplexVector(), shapeOf(a, 2), a.number(3)))};
}

Outputs freq2fir(const Args& a) {
    if (a.count() != 4) throw Error(kFreq2FirInputCountText);
    if (!isRealNumeric(a.at(1))) a.fail(1, "a real vector");
    if (!(a.at(2).isNumeric() || a.at(2).isLogical())) a.fail(2, "a numeric vector");
    return {complexRowOf(onex::freq2fir(a.number(0), a.at(1).toDoubleVector(), shapeOf(a, 1),
                                        a.at(2).toComplexVector(), shapeOf(a, 2), a.number(3)))};
}

}  // namespace onex::lib::gw
