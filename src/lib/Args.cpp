#include "lib/Args.h"

#include <fmt/format.h>

#include "platform/Error.h"

namespace onex::lib {

namespace {

bool isEmpty2d(const Array& a) {
    return a.isEmpty() && a.ndims() == 2;
}

}  // namespace

std::string describe(const Array& a) {
    return a.describe();
}

bool isRealNumeric(const Array& a) {
    return (a.isNumeric() || a.isLogical()) && !a.isComplex();
}

bool isNumericVector(const Array& a) {
    return (a.isNumeric() || a.isLogical()) && (a.isVector() || isEmpty2d(a));
}

const Array& Args::at(std::size_t k) const {
    if (!has(k)) throw Error(fmt::format("{}: {} is missing.", routine_.name, label(k)));
    return *in_[k];
}

std::string Args::label(std::size_t k) const {
    if (k < routine_.inputs.size()) return fmt::format("input {} ({})", k + 1, routine_.inputs[k]);
    return fmt::format("input {}", k + 1);
}

void Args::fail(std::size_t k, std::string_view expected) const {
    throw Error(fmt::format("{}: {} must be {}, got {}.", routine_.name, label(k), expected,
                            describe(at(k))));
}

void Args::fail(std::string_view text) const {
    throw Error(fmt::format("{}: {}", routine_.name, text));
}

double Args::number(std::size_t k) const {
    const Array& a = at(k);
    if (!isRealNumeric(a) || !a.isScalar()) fail(k, "a real number");
    return a.realAt(0);
}

std::optional<double> Args::optNumber(std::size_t k) const {
    if (!has(k)) return std::nullopt;
    return number(k);
}

std::vector<double> Args::realVector(std::size_t k) const {
    const Array& a = at(k);
    if (isEmpty2d(a) && (a.isNumeric() || a.isLogical())) return {};
    if (!isRealNumeric(a) || !a.isVector()) fail(k, "a real vector");
    return a.toDoubleVector();
}

std::vector<double> Args::realElements(std::size_t k) const {
    const Array& a = at(k);
    if (!isRealNumeric(a)) fail(k, "a real numeric array");
    return a.toDoubleVector();
}

std::vector<std::complex<double>> Args::complexVector(std::size_t k) const {
    const Array& a = at(k);
    if (!isNumericVector(a)) fail(k, "a numeric vector");
    return a.toComplexVector();
}

std::string Args::text(std::size_t k) const {
    const Array& a = at(k);
    if (isEmpty2d(a) && (a.isChar() || a.isDouble())) return {};
    if (!a.isChar() || !a.isRow()) fail(k, "a text (char row)");
    return a.toString();
}

FilterChoice Args::filterChoice(std::size_t k) const {
    const Array& a = at(k);
    if (a.isChar()) return text(k);
    if (!isRealNumeric(a) || !a.isScalar()) fail(k, "a number or a text");
    return a.realAt(0);
}

const Array& Args::structure(std::size_t k) const {
    const Array& a = at(k);
    if (!a.isStruct() || a.ndims() != 2 || !a.isScalar()) fail(k, "a 1x1 struct");
    return a;
}

Array rowOf(std::span<const double> v) {
    return Array::row(v);
}

Array complexRowOf(std::span<const std::complex<double>> v) {
    return Array::complexRow(v);
}

Array columnOf(std::span<const double> v) {
    Array a = Array::row(v);
    a.reshape({v.size(), 1});
    return a;
}

Array realShaped(std::span<const double> v, const Array& shape) {
    Array a = Array::row(v);
    if (shape.isColumn() && !shape.isRow()) a.reshape({v.size(), 1});
    return a;
}

Array complexShaped(std::span<const std::complex<double>> v, const Array& shape) {
    Array a = Array::complexRow(v);
    if (shape.isColumn() && !shape.isRow()) a.reshape({v.size(), 1});
    return a;
}

Array textOf(std::string_view s) {
    return Array::string(s);
}

Array numberOf(double v) {
    return Array(v);
}

}  // namespace onex::lib
