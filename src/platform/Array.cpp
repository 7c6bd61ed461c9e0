#include "platform/Array.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>
#include <type_traits>

#include <fmt/format.h>

#include "platform/Error.h"

namespace onex::platform {

namespace {

// Normalised size: at least two dimensions, no trailing singleton beyond the
// second (the platform treats [2 3 1] as [2 3]).
Array::Dims normaliseDims(Array::Dims dims) {
    while (dims.size() < 2)
        dims.push_back(dims.empty() ? 0 : 1);
    while (dims.size() > 2 && dims.back() == 1)
        dims.pop_back();
    return dims;
}

std::string dimsText(const Array::Dims& dims) {
    std::string s;
    for (std::size_t i = 0; i < dims.size(); ++i) {
        if (i) s += 'x';
        s += std::to_string(dims[i]);
    }
    return s;
}

template <class T>
bool sameValue(T a, T b) {
    if constexpr (std::is_floating_point_v<T>) {
        return a == b || (std::isnan(a) && std::isnan(b));
    } else {
        return a == b;
    }
}

// Double to an integer class as the platform converts: round halves away
// from zero, saturate, NaN becomes 0.
template <class T>
T saturate(double v) {
    if (std::isnan(v)) return T{0};
    double r = std::round(v);
    if (r <= static_cast<double>(std::numeric_limits<T>::min())) {
        return std::numeric_limits<T>::min();
    }
    // 2^63 and 2^64 are exactly representable; anything at or above the
    // double nearest the maximum saturates.
    if (r >= static_cast<double>(std::numeric_limits<T>::max())) {
        return std::numeric_limits<T>::max();
    }
    return static_cast<T>(r);
}

// UTF-8 to UTF-16 code units; malformed sequences become U+FFFD.
std::vector<char16_t> utf8ToUtf16(std::string_view s) {
    std::vector<char16_t> out;
    out.reserve(s.size());
    std::size_t i = 0;
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    while (i < s.size()) {
        unsigned char c = byte(i);
        char32_t cp = 0xFFFD;
        std::size_t len = 1;
        if (c < 0x80) {
            cp = c;
        } else {
            std::size_t need = 0;
            char32_t minCp = 0;
            if ((c & 0xE0) == 0xC0) {
                need = 1, cp = c & 0x1F, minCp = 0x80;
            } else if ((c & 0xF0) == 0xE0) {
                need = 2, cp = c & 0x0F, minCp = 0x800;
            } else if ((c & 0xF8) == 0xF0) {
                need = 3, cp = c & 0x07, minCp = 0x10000;
            }
            bool ok = need > 0;
            for (std::size_t k = 1; ok && k <= need; ++k) {
                if (i + k >= s.size() || (byte(i + k) & 0xC0) != 0x80) {
                    ok = false;
                } else {
                    cp = (cp << 6) | (byte(i + k) & 0x3F);
                }
            }
            if (ok && (cp < minCp || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))) {
                ok = false;
            }
            if (ok) {
                len = need + 1;
            } else {
                cp = 0xFFFD;
                len = 1;
            }
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
        i += len;
    }
    return out;
}

void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// UTF-16 code units to UTF-8; unpaired surrogates become U+FFFD.
std::string utf16ToUtf8(std::span<const char16_t> units) {
    std::string out;
    out.reserve(units.size());
    for (std::size_t i = 0; i < units.size(); ++i) {
        char32_t u = units[i];
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
            units[i + 1] <= 0xDFFF) {
            u = 0x10000 + ((u - 0xD800) << 10) + (units[i + 1] - 0xDC00);
            ++i;
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            u = 0xFFFD;
        }
        appendUtf8(out, u);
    }
    return out;
}

}  // namespace

const char* className(ArrayClass cls) {
    // In the order of ArrayClass.
    static constexpr const char* kNames[] = {"double", "single",  "int8",   "uint8", "int16",
                                             "uint16", "int32",   "uint32", "int64", "uint64",
                                             "char",   "logical", "struct", "cell"};
    static_assert(std::size(kNames) == static_cast<std::size_t>(ArrayClass::Cell) + 1);
    const auto i = static_cast<std::size_t>(cls);
    return i < std::size(kNames) ? kNames[i] : "unknown";
}

bool isNumericClass(ArrayClass cls) {
    switch (cls) {
        case ArrayClass::Char:
        case ArrayClass::Logical:
        case ArrayClass::Struct:
        case ArrayClass::Cell:
            return false;
        default:
            return true;
    }
}

std::size_t checkedNumel(std::span<const std::size_t> dims) {
    // A zero dimension anywhere makes the array empty, whatever the others.
    if (std::find(dims.begin(), dims.end(), std::size_t{0}) != dims.end()) return 0;
    std::size_t n = 1;
    for (std::size_t d : dims) {
        if (n > std::numeric_limits<std::size_t>::max() / d) {
            throw Error("Array size overflows: too many elements.");
        }
        n *= d;
    }
    return n;
}

Array::Buffer Array::makeBuffer(ArrayClass cls, std::size_t n) {
    // Guard the byte count too, so no request can wrap around in the allocator.
    const std::size_t maxBytes =
        static_cast<std::size_t>(std::numeric_limits<std::ptrdiff_t>::max());
    const auto make = [&]<class T>(T*) -> Buffer {
        if (n > maxBytes / sizeof(T)) throw Error("Array size overflows: too many elements.");
        try {
            return std::vector<T>(n);
        } catch (const std::bad_alloc&) {
            throw Error(fmt::format("Out of memory creating an array of {} elements.", n));
        } catch (const std::length_error&) {
            throw Error(fmt::format("Out of memory creating an array of {} elements.", n));
        }
    };
    if (cls == ArrayClass::Struct || cls == ArrayClass::Cell) return std::monostate{};
    return visitElementType(cls, make);
}

Array::Array() : re_(std::vector<double>{}) {}

Array::Array(ArrayClass cls, Dims dims)
    : cls_(cls), dims_(normaliseDims(std::move(dims))), numel_(checkedNumel(dims_)) {
    re_ = makeBuffer(cls_, numel_);
    if (cls_ == ArrayClass::Cell) {
        try {
            cells_.resize(numel_);
        } catch (const std::exception&) {
            throw Error(fmt::format("Out of memory creating a cell array of {} elements.", numel_));
        }
    }
}

Array::Array(double value) : Array(ArrayClass::Double, {1, 1}) {
    std::get<std::vector<double>>(re_)[0] = value;
}

Array::Array(std::complex<double> value) : Array(ArrayClass::Double, {1, 1}) {
    std::get<std::vector<double>>(re_)[0] = value.real();
    im_ = std::vector<double>{value.imag()};
    complex_ = true;
}

Array Array::zeros(Dims dims, ArrayClass cls, bool complex) {
    Array a(cls, std::move(dims));
    if (complex) {
        if (!isNumericClass(cls)) {
            throw Error(fmt::format("A {} array cannot be complex.", platform::className(cls)));
        }
        a.im_ = makeBuffer(cls, a.numel_);
        a.complex_ = true;
    }
    return a;
}

Array Array::row(std::span<const double> values) {
    Array a(ArrayClass::Double, {1, values.size()});
    std::copy(values.begin(), values.end(), std::get<std::vector<double>>(a.re_).begin());
    return a;
}

Array Array::row(std::initializer_list<double> values) {
    return row(std::span<const double>(values.begin(), values.size()));
}

Array Array::complexRow(std::span<const std::complex<double>> values) {
    Array a = zeros({1, values.size()}, ArrayClass::Double, true);
    auto& re = std::get<std::vector<double>>(a.re_);
    auto& im = std::get<std::vector<double>>(a.im_);
    for (std::size_t i = 0; i < values.size(); ++i) {
        re[i] = values[i].real();
        im[i] = values[i].imag();
    }
    return a;
}

Array Array::matrix(std::size_t rows, std::size_t cols, std::span<const double> columnMajor) {
    Array a(ArrayClass::Double, {rows, cols});
    if (columnMajor.size() != a.numel_) {
        throw Error(fmt::format("Array::matrix: {} values given for a {}x{} matrix.",
                                columnMajor.size(), rows, cols));
    }
    std::copy(columnMajor.begin(), columnMajor.end(), std::get<std::vector<double>>(a.re_).begin());
    return a;
}

Array Array::string(std::string_view utf8) {
    std::vector<char16_t> units = utf8ToUtf16(utf8);
    if (units.empty()) return charFromCodeUnits({0, 0}, {});
    const std::size_t n = units.size();
    return charFromCodeUnits({1, n}, std::move(units));
}

Array Array::charMatrix(const std::vector<std::string>& rowsUtf8) {
    if (rowsUtf8.empty()) return charFromCodeUnits({0, 0}, {});
    std::vector<std::vector<char16_t>> rows;
    std::size_t width = 0;
    for (const auto& r : rowsUtf8) {
        rows.push_back(utf8ToUtf16(r));
        width = std::max(width, rows.back().size());
    }
    const std::size_t m = rows.size();
    std::vector<char16_t> units(checkedNumel(std::array<std::size_t, 2>{m, width}), u' ');
    for (std::size_t r = 0; r < m; ++r) {
        for (std::size_t c = 0; c < rows[r].size(); ++c)
            units[c * m + r] = rows[r][c];
    }
    return charFromCodeUnits({m, width}, std::move(units));
}

Array Array::charFromCodeUnits(Dims dims, std::vector<char16_t> units) {
    Array a(ArrayClass::Char, std::move(dims));
    if (units.size() != a.numel_) {
        throw Error(fmt::format("Array::charFromCodeUnits: {} characters given for size {}.",
                                units.size(), dimsText(a.dims_)));
    }
    a.re_ = std::move(units);
    return a;
}

Array Array::logical(bool value) {
    Array a(ArrayClass::Logical, {1, 1});
    std::get<std::vector<std::uint8_t>>(a.re_)[0] = value ? 1 : 0;
    return a;
}

Array Array::logicalArray(Dims dims, const std::vector<bool>& values) {
    Array a(ArrayClass::Logical, std::move(dims));
    if (values.size() != a.numel_) {
        throw Error(fmt::format("Array::logicalArray: {} values given for size {}.", values.size(),
                                dimsText(a.dims_)));
    }
    auto& buf = std::get<std::vector<std::uint8_t>>(a.re_);
    for (std::size_t i = 0; i < values.size(); ++i)
        buf[i] = values[i] ? 1 : 0;
    return a;
}

Array Array::structure(std::initializer_list<std::pair<std::string, Array>> fields) {
    Array a(ArrayClass::Struct, {1, 1});
    for (const auto& [name, value] : fields)
        a.setField(name, value);
    return a;
}

Array Array::structure(const std::vector<std::pair<std::string, Array>>& fields) {
    Array a(ArrayClass::Struct, {1, 1});
    for (const auto& [name, value] : fields)
        a.setField(name, value);
    return a;
}

Array Array::structArray(Dims dims, const std::vector<std::string>& fieldNames) {
    Array a(ArrayClass::Struct, std::move(dims));
    for (const auto& name : fieldNames) {
        if (a.hasField(name)) throw Error(fmt::format("Duplicate field name \"{}\".", name));
        a.addField(name);
    }
    return a;
}

Array Array::cellRow(std::vector<Array> elements) {
    const std::size_t n = elements.size();
    return cellArray({1, n}, std::move(elements));
}

Array Array::cellArray(Dims dims, std::vector<Array> elements) {
    Array a(ArrayClass::Cell, std::move(dims));
    if (elements.size() != a.numel_) {
        throw Error(fmt::format("Array::cellArray: {} elements given for size {}.", elements.size(),
                                dimsText(a.dims_)));
    }
    a.cells_ = std::move(elements);
    return a;
}

template <class T>
Array Array::numeric(Dims dims, std::vector<T> real, std::vector<T> imag) {
    Array a(ArrayClassOf<T>::value, std::move(dims));
    if (real.size() != a.numel_ || (!imag.empty() && imag.size() != a.numel_)) {
        throw Error(fmt::format("Array::numeric: {} values given for size {}.", real.size(),
                                dimsText(a.dims_)));
    }
    a.re_ = std::move(real);
    if (!imag.empty()) {
        a.im_ = std::move(imag);
        a.complex_ = true;
    }
    return a;
}

std::size_t Array::elementSize() const {
    return std::visit(
        []<class B>([[maybe_unused]] const B& b) -> std::size_t {
            if constexpr (std::is_same_v<B, std::monostate>) {
                return 0;
            } else {
                return sizeof(typename B::value_type);
            }
        },
        re_);
}

void Array::reshape(Dims dims) {
    Dims d = normaliseDims(std::move(dims));
    if (checkedNumel(d) != numel_) {
        throw Error(fmt::format("To RESHAPE the number of elements must not change ({} to {}).",
                                dimsText(dims_), dimsText(d)));
    }
    dims_ = std::move(d);
}

void Array::requireClass(ArrayClass cls, const char* what) const {
    if (cls_ != cls) {
        throw Error(fmt::format("{}: expected a {} array, got {}.", what, platform::className(cls),
                                className()));
    }
}

void Array::requireValueClass(const char* what) const {
    if (cls_ == ArrayClass::Struct || cls_ == ArrayClass::Cell) {
        throw Error(fmt::format("{}: expected a numeric, char or logical array, got {}.", what,
                                className()));
    }
}

void Array::checkIndex(std::size_t index, const char* what) const {
    if (index >= numel_) {
        throw Error(fmt::format("{}: index {} exceeds the {} elements of the array.", what,
                                index + 1, numel_));
    }
}

double Array::elementAt(const Buffer& part, std::size_t i) {
    return std::visit(
        [i]<class B>([[maybe_unused]] const B& b) -> double {
            if constexpr (std::is_same_v<B, std::monostate>) {
                return 0.0;
            } else {
                return static_cast<double>(b[i]);
            }
        },
        part);
}

double Array::realAt(std::size_t i) const {
    requireValueClass("realAt");
    checkIndex(i, "realAt");
    return elementAt(re_, i);
}

double Array::imagAt(std::size_t i) const {
    requireValueClass("imagAt");
    checkIndex(i, "imagAt");
    return complex_ ? elementAt(im_, i) : 0.0;
}

double Array::scalar() const {
    requireValueClass("scalar");
    if (numel_ != 1) {
        throw Error(
            fmt::format("Expected a scalar, got a {} {} array.", dimsText(dims_), className()));
    }
    if (complex_) throw Error("Expected a real scalar, got a complex value.");
    return realAt(0);
}

std::complex<double> Array::complexScalar() const {
    requireValueClass("complexScalar");
    if (numel_ != 1) {
        throw Error(
            fmt::format("Expected a scalar, got a {} {} array.", dimsText(dims_), className()));
    }
    return {realAt(0), imagAt(0)};
}

std::vector<double> Array::toDoubleVector() const {
    requireValueClass("toDoubleVector");
    if (complex_) throw Error("Expected real values, got a complex array.");
    std::vector<double> out(numel_);
    for (std::size_t i = 0; i < numel_; ++i)
        out[i] = realAt(i);
    return out;
}

std::vector<double> Array::imagToDoubleVector() const {
    requireValueClass("imagToDoubleVector");
    std::vector<double> out(numel_);
    for (std::size_t i = 0; i < numel_; ++i)
        out[i] = imagAt(i);
    return out;
}

std::vector<std::complex<double>> Array::toComplexVector() const {
    requireValueClass("toComplexVector");
    std::vector<std::complex<double>> out(numel_);
    for (std::size_t i = 0; i < numel_; ++i)
        out[i] = {realAt(i), imagAt(i)};
    return out;
}

bool Array::toBool() const {
    double v = scalar();
    if (std::isnan(v)) throw Error("NaN's cannot be converted to logicals.");
    return v != 0.0;
}

std::span<const double> Array::real() const {
    requireClass(ArrayClass::Double, "real");
    return std::get<std::vector<double>>(re_);
}

std::span<double> Array::real() {
    requireClass(ArrayClass::Double, "real");
    return std::get<std::vector<double>>(re_);
}

std::span<const double> Array::imag() const {
    requireClass(ArrayClass::Double, "imag");
    if (!complex_) return {};
    return std::get<std::vector<double>>(im_);
}

std::span<double> Array::imag() {
    requireClass(ArrayClass::Double, "imag");
    if (!complex_) return {};
    return std::get<std::vector<double>>(im_);
}

std::span<const char16_t> Array::chars() const {
    requireClass(ArrayClass::Char, "chars");
    return std::get<std::vector<char16_t>>(re_);
}

std::span<const std::uint8_t> Array::logicals() const {
    requireClass(ArrayClass::Logical, "logicals");
    return std::get<std::vector<std::uint8_t>>(re_);
}

template <class T>
std::span<const T> Array::typedReal() const {
    requireClass(ArrayClassOf<T>::value, "typedReal");
    return std::get<std::vector<T>>(re_);
}

template <class T>
std::span<const T> Array::typedImag() const {
    requireClass(ArrayClassOf<T>::value, "typedImag");
    if (!complex_) return {};
    return std::get<std::vector<T>>(im_);
}

namespace {
template <class V>
void* bufferData(V& buffer) {
    return std::visit(
        []<class B>([[maybe_unused]] B& b) -> void* {
            if constexpr (std::is_same_v<B, std::monostate>) {
                return nullptr;
            } else {
                return b.data();
            }
        },
        buffer);
}
}  // namespace

const void* Array::rawReal() const {
    return bufferData(const_cast<Buffer&>(re_));
}
const void* Array::rawImag() const {
    return complex_ ? bufferData(const_cast<Buffer&>(im_)) : nullptr;
}
void* Array::rawReal() {
    return bufferData(re_);
}
void* Array::rawImag() {
    return complex_ ? bufferData(im_) : nullptr;
}

void Array::setRealAt(std::size_t i, double value) {
    requireValueClass("setRealAt");
    checkIndex(i, "setRealAt");
    if (cls_ == ArrayClass::Logical) {
        if (std::isnan(value)) throw Error("NaN's cannot be converted to logicals.");
        std::get<std::vector<std::uint8_t>>(re_)[i] = value != 0.0 ? 1 : 0;
        return;
    }
    std::visit(
        [i, value]<class B>([[maybe_unused]] B& b) {
            if constexpr (!std::is_same_v<B, std::monostate>) {
                using T = typename B::value_type;
                if constexpr (std::is_floating_point_v<T>) {
                    b[i] = static_cast<T>(value);
                } else {
                    b[i] = saturate<T>(value);
                }
            }
        },
        re_);
}

void Array::setComplex(bool complex) {
    if (complex == complex_) return;
    if (complex && !isNumeric()) {
        throw Error(fmt::format("A {} array cannot be complex.", className()));
    }
    if (complex) {
        im_ = makeBuffer(cls_, numel_);
    } else {
        im_ = std::monostate{};
    }
    complex_ = complex;
}

std::string Array::describe() const {
    return fmt::format("a {} {}{}", dimsText(dims_), complex_ ? "complex " : "", className());
}

std::string Array::toString() const {
    requireClass(ArrayClass::Char, "toString");
    if (numel_ != 0 && !isVector()) {
        throw Error(
            fmt::format("Expected a text (char row), got a {} char array.", dimsText(dims_)));
    }
    return utf16ToUtf8(chars());
}

std::vector<std::string> Array::toStrings() const {
    requireClass(ArrayClass::Char, "toStrings");
    if (dims_.size() > 2) throw Error("Expected a 2-D char array.");
    const auto units = chars();
    std::vector<std::string> out;
    const std::size_t m = dims_[0], n = dims_[1];
    std::vector<char16_t> line(n);
    for (std::size_t r = 0; r < m; ++r) {
        for (std::size_t c = 0; c < n; ++c)
            line[c] = units[c * m + r];
        out.push_back(utf16ToUtf8(line));
    }
    return out;
}

const std::vector<std::string>& Array::fieldNames() const {
    requireClass(ArrayClass::Struct, "fieldNames");
    return fieldNames_;
}

std::size_t Array::numFields() const {
    requireClass(ArrayClass::Struct, "numFields");
    return fieldNames_.size();
}

bool Array::hasField(std::string_view name) const {
    if (cls_ != ArrayClass::Struct) return false;
    return std::find(fieldNames_.begin(), fieldNames_.end(), name) != fieldNames_.end();
}

std::size_t Array::fieldIndex(std::string_view name, const char* what) const {
    requireClass(ArrayClass::Struct, what);
    auto it = std::find(fieldNames_.begin(), fieldNames_.end(), name);
    if (it == fieldNames_.end())
        throw Error(fmt::format("Reference to non-existent field '{}'.", name));
    return static_cast<std::size_t>(it - fieldNames_.begin());
}

const Array& Array::field(std::string_view name, std::size_t index) const {
    std::size_t f = fieldIndex(name, "field");
    checkIndex(index, "field");
    return fieldValues_[f][index];
}

Array& Array::field(std::string_view name, std::size_t index) {
    std::size_t f = fieldIndex(name, "field");
    checkIndex(index, "field");
    return fieldValues_[f][index];
}

bool Array::isValidName(std::string_view name) {
    // The platform's identifiers: a letter, then letters, digits or
    // underscores, at most 63 characters.
    if (name.empty() || name.size() > 63) return false;
    const auto alpha = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
    if (!alpha(name[0])) return false;
    return std::all_of(name.begin(), name.end(),
                       [&](char c) { return alpha(c) || (c >= '0' && c <= '9') || c == '_'; });
}

void Array::addField(std::string_view name) {
    requireClass(ArrayClass::Struct, "addField");
    if (hasField(name)) return;
    if (!isValidName(name)) throw Error(fmt::format("Invalid field name \"{}\".", name));
    fieldNames_.emplace_back(name);
    fieldValues_.emplace_back(numel_);
}

void Array::setField(std::string_view name, Array value, std::size_t index) {
    requireClass(ArrayClass::Struct, "setField");
    checkIndex(index, "setField");
    addField(name);
    fieldValues_[fieldIndex(name, "setField")][index] = std::move(value);
}

void Array::removeField(std::string_view name) {
    std::size_t f = fieldIndex(name, "removeField");
    fieldNames_.erase(fieldNames_.begin() + static_cast<std::ptrdiff_t>(f));
    fieldValues_.erase(fieldValues_.begin() + static_cast<std::ptrdiff_t>(f));
}

Array Array::structElement(std::size_t index) const {
    requireClass(ArrayClass::Struct, "structElement");
    checkIndex(index, "structElement");
    Array a(ArrayClass::Struct, {1, 1});
    a.fieldNames_ = fieldNames_;
    for (const auto& values : fieldValues_)
        a.fieldValues_.push_back({values[index]});
    return a;
}

const Array& Array::cell(std::size_t index) const {
    requireClass(ArrayClass::Cell, "cell");
    checkIndex(index, "cell");
    return cells_[index];
}

Array& Array::cell(std::size_t index) {
    requireClass(ArrayClass::Cell, "cell");
    checkIndex(index, "cell");
    return cells_[index];
}

void Array::setCell(std::size_t index, Array value) {
    cell(index) = std::move(value);
}

bool operator==(const Array& a, const Array& b) {
    if (a.cls_ != b.cls_ || a.dims_ != b.dims_ || a.complex_ != b.complex_) return false;
    const auto sameBuffer = [](const Array::Buffer& x, const Array::Buffer& y) {
        if (x.index() != y.index()) return false;
        return std::visit(
            [&y]<class B>([[maybe_unused]] const B& bx) -> bool {
                if constexpr (std::is_same_v<B, std::monostate>) {
                    return true;
                } else {
                    const B& by = std::get<B>(y);
                    return std::equal(bx.begin(), bx.end(), by.begin(), by.end(),
                                      [](auto p, auto q) { return sameValue(p, q); });
                }
            },
            x);
    };
    switch (a.cls_) {
        case ArrayClass::Struct:
            return a.fieldNames_ == b.fieldNames_ && a.fieldValues_ == b.fieldValues_;
        case ArrayClass::Cell:
            return a.cells_ == b.cells_;
        default:
            return sameBuffer(a.re_, b.re_) && (!a.complex_ || sameBuffer(a.im_, b.im_));
    }
}

#define ONEX_ARRAY_INSTANTIATE(T)                                           \
    template Array Array::numeric<T>(Dims, std::vector<T>, std::vector<T>); \
    template std::span<const T> Array::typedReal<T>() const;                \
    template std::span<const T> Array::typedImag<T>() const;
ONEX_ARRAY_INSTANTIATE(double)
ONEX_ARRAY_INSTANTIATE(float)
ONEX_ARRAY_INSTANTIATE(std::int8_t)
ONEX_ARRAY_INSTANTIATE(std::uint8_t)
ONEX_ARRAY_INSTANTIATE(std::int16_t)
ONEX_ARRAY_INSTANTIATE(std::uint16_t)
ONEX_ARRAY_INSTANTIATE(std::int32_t)
ONEX_ARRAY_INSTANTIATE(std::uint32_t)
ONEX_ARRAY_INSTANTIATE(std::int64_t)
ONEX_ARRAY_INSTANTIATE(std::uint64_t)
#undef ONEX_ARRAY_INSTANTIATE

std::string validUtf8(std::string_view text) {
    return utf16ToUtf8(utf8ToUtf16(text));
}

}  // namespace onex::platform
