#pragma once

// Reading a gateway's inputs and building its outputs. Values arrive as the
// numeric platform passes them (platform::Array); every conversion checks the
// class and size and fails with a text naming the routine, the input's
// position (1-based) and its declared name.

#include <complex>
#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "OneX/BasebandFilter.h"
#include "lib/Routines.h"
#include "platform/Array.h"

namespace onex::lib {

class Args {
  public:
    Args(const Routine& routine, std::size_t nargout, std::span<const Array* const> in)
        : routine_(routine), nargout_(nargout), in_(in) {}

    const Routine& routine() const { return routine_; }
    std::string_view name() const { return routine_.name; }
    std::size_t nargout() const { return nargout_; }
    std::size_t count() const { return in_.size(); }
    // Input k (0-based) was given. An mlf caller may leave an input before
    // the last one out (NULL): it then takes its default where the routine
    // has one, and is reported missing where it has none.
    bool has(std::size_t k) const { return k < in_.size() && in_[k]; }
    const Array& at(std::size_t k) const;

    // "input 2 (dataLength)"
    std::string label(std::size_t k) const;
    [[noreturn]] void fail(std::size_t k, std::string_view expected) const;
    [[noreturn]] void fail(std::string_view text) const;

    // A real numeric or logical 1 x 1 value.
    double number(std::size_t k) const;
    std::optional<double> optNumber(std::size_t k) const;
    // A real numeric or logical vector (row or column) or an empty value, in
    // order.
    std::vector<double> realVector(std::size_t k) const;
    // All elements of a real numeric or logical array, column-major.
    std::vector<double> realElements(std::size_t k) const;
    // A numeric vector (real or complex) or an empty value.
    std::vector<std::complex<double>> complexVector(std::size_t k) const;
    // A char row, or an empty value ('' or []).
    std::string text(std::size_t k) const;
    // A number or a text (the baseband filter selection).
    FilterChoice filterChoice(std::size_t k) const;
    // A 1 x 1 structure.
    const Array& structure(std::size_t k) const;

  private:
    const Routine& routine_;
    std::size_t nargout_;
    std::span<const Array* const> in_;
};

// "a 1x20 double", "a 1x1 struct", "a 0x0 char"
std::string describe(const Array& a);

bool isRealNumeric(const Array& a);  // numeric or logical, not complex
bool isNumericVector(const Array& a);

// Output builders.
Array rowOf(std::span<const double> v);
Array complexRowOf(std::span<const std::complex<double>> v);
// The same values laid out as `shape` is (a row stays a row, a column a
// column); used for routines whose output takes the input's orientation.
Array realShaped(std::span<const double> v, const Array& shape);
Array complexShaped(std::span<const std::complex<double>> v, const Array& shape);
Array columnOf(std::span<const double> v);
Array textOf(std::string_view s);
Array numberOf(double v);

}  // namespace onex::lib
