#pragma once

// Helpers for tests of the C API: owned arrays, rows in and out, and a
// fixture that initialises the library.

#include <gtest/gtest.h>

#include <complex>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "OneX_Rev_b_lib.h"

namespace libtest {

struct Destroy {
    void operator()(mxArray* a) const { mxDestroyArray(a); }
};
using Owned = std::unique_ptr<mxArray, Destroy>;

inline Owned num(double v) {
    return Owned(mxCreateDoubleScalar(v));
}

inline Owned row(const std::vector<double>& v) {
    Owned a(mxCreateDoubleMatrix(1, v.size(), mxREAL));
    for (std::size_t i = 0; i < v.size(); ++i)
        mxGetPr(a.get())[i] = v[i];
    return a;
}

inline Owned column(const std::vector<double>& v) {
    Owned a(mxCreateDoubleMatrix(v.size(), 1, mxREAL));
    for (std::size_t i = 0; i < v.size(); ++i)
        mxGetPr(a.get())[i] = v[i];
    return a;
}

inline Owned complexRow(const std::vector<std::complex<double>>& v) {
    Owned a(mxCreateDoubleMatrix(1, v.size(), mxCOMPLEX));
    for (std::size_t i = 0; i < v.size(); ++i) {
        mxGetPr(a.get())[i] = v[i].real();
        mxGetPi(a.get())[i] = v[i].imag();
    }
    return a;
}

inline Owned str(const char* s) {
    return Owned(mxCreateString(s));
}

inline std::vector<double> values(const mxArray* a) {
    const double* p = mxGetPr(a);
    return p ? std::vector<double>(p, p + mxGetNumberOfElements(a)) : std::vector<double>{};
}

inline std::vector<std::complex<double>> complexValues(const mxArray* a) {
    std::vector<std::complex<double>> out;
    const double* re = mxGetPr(a);
    const double* im = mxGetPi(a);
    for (std::size_t i = 0; i < mxGetNumberOfElements(a); ++i)
        out.emplace_back(re[i], im ? im[i] : 0.0);
    return out;
}

inline std::string text(const mxArray* a) {
    char* s = mxArrayToString(a);
    std::string out = s ? s : "<not text>";
    mxFree(s);
    return out;
}

// "1011 0" -> {1, 0, 1, 1, 0}
inline std::vector<double> bits(const std::string& t) {
    std::vector<double> out;
    for (char c : t)
        if (c == '0' || c == '1') out.push_back(c - '0');
    return out;
}

// The outputs of one mlx call, owned.
struct Call {
    bool ok = false;
    std::vector<Owned> out;
    std::string error;  // OneX_Rev_b_libLastError() after the call
    const mxArray* operator[](std::size_t i) const { return out.at(i).get(); }
};

// Calls an mlx gateway with borrowed inputs and nlhs outputs.
template <class Gateway>
Call callMlx(Gateway gateway, int nlhs, std::initializer_list<const mxArray*> inputs) {
    std::vector<mxArray*> in;
    for (const mxArray* a : inputs)
        in.push_back(const_cast<mxArray*>(a));
    std::vector<mxArray*> out(static_cast<std::size_t>(nlhs > 0 ? nlhs : 1), nullptr);
    Call c;
    c.ok = gateway(nlhs, out.data(), static_cast<int>(in.size()), in.data());
    const char* e = OneX_Rev_b_libLastError();
    c.error = e ? e : "";
    if (c.ok)
        for (int j = 0; j < nlhs; ++j)
            c.out.emplace_back(out[static_cast<std::size_t>(j)]);
    return c;
}

class LibTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(OneX_Rev_b_libInitialize()); }
    void TearDown() override { OneX_Rev_b_libTerminate(); }
};

}  // namespace libtest
