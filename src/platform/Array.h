#pragma once

#include <complex>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

namespace onex::platform {

// The classes a value can have, as the numeric platform names them.
enum class ArrayClass {
    Double,
    Single,
    Int8,
    UInt8,
    Int16,
    UInt16,
    Int32,
    UInt32,
    Int64,
    UInt64,
    Char,
    Logical,
    Struct,
    Cell,
};

// "double", "int8", "char", "struct", ... as the platform prints them.
const char* className(ArrayClass cls);
bool isNumericClass(ArrayClass cls);  // double, single and the integer classes

// Element types of the numeric classes, in the order of ArrayClass.
using NumericElementTypes =
    std::tuple<double, float, std::int8_t, std::uint8_t, std::int16_t, std::uint16_t, std::int32_t,
               std::uint32_t, std::int64_t, std::uint64_t>;

namespace detail {
template <std::size_t I = 0, class F>
decltype(auto) visitNumericType(std::size_t cls, F& f) {
    if constexpr (I + 1 < std::tuple_size_v<NumericElementTypes>) {
        if (cls != I) return visitNumericType<I + 1>(cls, f);
    }
    return f(static_cast<std::tuple_element_t<I, NumericElementTypes>*>(nullptr));
}
}  // namespace detail

// Calls f with a null pointer to the element type that stores a class other
// than struct and cell (uint8_t for logical, char16_t for char) and returns
// its result.
template <class F>
decltype(auto) visitElementType(ArrayClass cls, F&& f) {
    if (cls == ArrayClass::Char) return f(static_cast<char16_t*>(nullptr));
    if (cls == ArrayClass::Logical) return f(static_cast<std::uint8_t*>(nullptr));
    return detail::visitNumericType(static_cast<std::size_t>(cls), f);
}

// The one dynamic value type: an N-dimensional (N >= 2), column-major array of
// one class. Numeric values keep their class so that a value read from a file
// writes back as read; real and imaginary parts live in separate contiguous
// buffers because the exported C API hands out pointers to each of them.
// Char holds 16-bit code units, logical one byte (0/1) per element.
//
// Equality (==) is structural and class-strict: same class, size, complexity,
// field names in order and element values, where NaN equals NaN (so a value
// always equals its own copy).
class Array {
  public:
    using Dims = std::vector<std::size_t>;

    // A 0x0 double, the platform's "[]".
    Array();
    // Real scalar (1x1 double).
    explicit Array(double value);
    // Complex scalar (1x1 complex double).
    explicit Array(std::complex<double> value);

    // All-zero (or empty cells, or 0x0-double-filled struct) array of a class.
    // Throws onex::Error when the element count overflows.
    static Array zeros(Dims dims, ArrayClass cls = ArrayClass::Double, bool complex = false);
    // Real row vector 1xN (an empty input gives 1x0).
    static Array row(std::span<const double> values);
    static Array row(std::initializer_list<double> values);
    // Complex row vector 1xN.
    static Array complexRow(std::span<const std::complex<double>> values);
    // Real rows x cols double matrix from column-major values.
    static Array matrix(std::size_t rows, std::size_t cols, std::span<const double> columnMajor);
    // Char row from UTF-8 text; "" gives the platform's '' (0x0 char).
    // Invalid UTF-8 sequences become U+FFFD.
    static Array string(std::string_view utf8);
    // Char matrix with one row per text, shorter rows padded with blanks
    // (the platform's char(a, b, ...)); no texts gives 0x0 char.
    static Array charMatrix(const std::vector<std::string>& rowsUtf8);
    static Array charFromCodeUnits(Dims dims, std::vector<char16_t> units);
    static Array logical(bool value);
    static Array logicalArray(Dims dims, const std::vector<bool>& values);
    // 1x1 struct with the given fields in the given order.
    static Array structure(std::initializer_list<std::pair<std::string, Array>> fields = {});
    static Array structure(const std::vector<std::pair<std::string, Array>>& fields);
    // Struct array of the given size, every field of every element [].
    static Array structArray(Dims dims, const std::vector<std::string>& fieldNames);
    // 1xN cell row.
    static Array cellRow(std::vector<Array> elements);
    // Cell array of the given size filled from column-major elements.
    static Array cellArray(Dims dims, std::vector<Array> elements);
    // Numeric array of a given class from typed column-major values; the
    // imaginary part, when given, makes it complex and must match in size.
    template <class T>
    static Array numeric(Dims dims, std::vector<T> real, std::vector<T> imag = {});

    // --- class and size ---
    ArrayClass classId() const { return cls_; }
    const char* className() const { return platform::className(cls_); }
    const Dims& dims() const { return dims_; }
    std::size_t ndims() const { return dims_.size(); }
    std::size_t rows() const { return dims_[0]; }
    std::size_t cols() const { return dims_[1]; }
    std::size_t numel() const { return numel_; }
    bool isEmpty() const { return numel_ == 0; }
    bool isScalar() const { return numel_ == 1; }
    bool isRow() const { return dims_.size() == 2 && dims_[0] == 1; }
    bool isColumn() const { return dims_.size() == 2 && dims_[1] == 1; }
    bool isVector() const { return isRow() || isColumn(); }
    bool isComplex() const { return complex_; }
    bool isNumeric() const { return isNumericClass(cls_); }
    bool isDouble() const { return cls_ == ArrayClass::Double; }
    bool isChar() const { return cls_ == ArrayClass::Char; }
    bool isLogical() const { return cls_ == ArrayClass::Logical; }
    bool isStruct() const { return cls_ == ArrayClass::Struct; }
    bool isCell() const { return cls_ == ArrayClass::Cell; }
    // Bytes per element of the real part (numeric, char, logical), else 0.
    std::size_t elementSize() const;

    // Changes the size without changing the elements (column-major order is
    // kept); the element count must stay the same.
    void reshape(Dims dims);

    // --- values as double (numeric, char and logical) ---
    // The single value of a 1x1 real array.
    double scalar() const;
    std::complex<double> complexScalar() const;
    // Element i (column-major, 0-based) of the real part, as double.
    double realAt(std::size_t i) const;
    // Element i of the imaginary part (0 for real arrays).
    double imagAt(std::size_t i) const;
    // All elements as double; a complex array is refused so that no
    // imaginary part gets lost silently.
    std::vector<double> toDoubleVector() const;
    std::vector<double> imagToDoubleVector() const;
    std::vector<std::complex<double>> toComplexVector() const;
    // Logical values (nonzero numerics count as true, NaN is refused).
    bool toBool() const;

    // --- typed buffers ---
    // The real / imaginary buffers of a double array (imaginary: empty span
    // when real). Writable spans never change the size.
    std::span<const double> real() const;
    std::span<double> real();
    std::span<const double> imag() const;
    std::span<double> imag();
    std::span<const char16_t> chars() const;
    std::span<const std::uint8_t> logicals() const;
    // Typed buffers of any numeric class; T must match the class exactly.
    template <class T>
    std::span<const T> typedReal() const;
    template <class T>
    std::span<const T> typedImag() const;
    // Untyped access for the file writer and the C API (nullptr for
    // struct and cell; imaginary nullptr when real).
    const void* rawReal() const;
    const void* rawImag() const;
    void* rawReal();
    void* rawImag();
    // Sets element i of a numeric or logical array from a double (converted
    // like the platform converts: integers round and saturate).
    void setRealAt(std::size_t i, double value);
    // Makes a real double array complex (zero imaginary part) or drops the
    // imaginary part.
    void setComplex(bool complex);

    // --- text ---
    // A char vector (or empty char) as UTF-8; multi-row arrays are refused.
    std::string toString() const;
    // Size and class for messages: "a 1x20 double", "a 1x1 complex double".
    std::string describe() const;
    // Each row of a char matrix as UTF-8 (trailing blanks kept).
    std::vector<std::string> toStrings() const;

    // --- struct ---
    const std::vector<std::string>& fieldNames() const;
    std::size_t numFields() const;
    bool hasField(std::string_view name) const;
    // Field of element `index` (0-based); throws when the field is missing.
    const Array& field(std::string_view name, std::size_t index = 0) const;
    Array& field(std::string_view name, std::size_t index = 0);
    // Sets the field of element `index`, adding the field (at the end, [] in
    // every other element) when it is new.
    void setField(std::string_view name, Array value, std::size_t index = 0);
    // Adds a field filled with [] in every element; an existing field is
    // left as it is.
    void addField(std::string_view name);
    // Removes a field; throws when it is missing.
    void removeField(std::string_view name);
    // Element `index` of a struct array as a 1x1 struct.
    Array structElement(std::size_t index) const;
    // True for names the platform accepts as field and variable names.
    static bool isValidName(std::string_view name);

    // --- cell ---
    const Array& cell(std::size_t index) const;
    Array& cell(std::size_t index);
    void setCell(std::size_t index, Array value);

    friend bool operator==(const Array& a, const Array& b);

  private:
    using Buffer =
        std::variant<std::monostate, std::vector<double>, std::vector<float>,
                     std::vector<std::int8_t>, std::vector<std::uint8_t>, std::vector<std::int16_t>,
                     std::vector<std::uint16_t>, std::vector<std::int32_t>,
                     std::vector<std::uint32_t>, std::vector<std::int64_t>,
                     std::vector<std::uint64_t>, std::vector<char16_t>>;

    Array(ArrayClass cls, Dims dims);
    static Buffer makeBuffer(ArrayClass cls, std::size_t n);
    // Element i of a part as a double (0 for a class without one).
    static double elementAt(const Buffer& part, std::size_t i);
    void requireClass(ArrayClass cls, const char* what) const;
    void requireValueClass(const char* what) const;
    void checkIndex(std::size_t index, const char* what) const;
    std::size_t fieldIndex(std::string_view name, const char* what) const;

    ArrayClass cls_ = ArrayClass::Double;
    Dims dims_{0, 0};
    std::size_t numel_ = 0;
    bool complex_ = false;
    Buffer re_;
    Buffer im_;
    std::vector<std::string> fieldNames_;
    std::vector<std::vector<Array>> fieldValues_;  // [field][element]
    std::vector<Array> cells_;
};

// Checked product of dimensions; throws onex::Error on overflow.
std::size_t checkedNumel(std::span<const std::size_t> dims);

// The numeric class whose elements are of type T.
template <class T>
struct ArrayClassOf {
    static constexpr std::size_t kCount = std::tuple_size_v<NumericElementTypes>;
    static constexpr std::size_t kIndex = [] {
        std::size_t at = kCount;
        [&]<std::size_t... I>(std::index_sequence<I...>) {
            ((std::is_same_v<T, std::tuple_element_t<I, NumericElementTypes>> ? at = I : 0), ...);
        }
        (std::make_index_sequence<kCount>{});
        return at;
    }();
    static_assert(kIndex < kCount, "not the element type of a numeric class");
    static constexpr ArrayClass value = static_cast<ArrayClass>(kIndex);
};

// `text` as valid UTF-8: malformed sequences become U+FFFD, as texts do on
// their way into an Array.
std::string validUtf8(std::string_view text);

}  // namespace onex::platform
