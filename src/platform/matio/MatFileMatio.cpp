// The MAT-file library behind readMatFile / writeMatFile: conversion between
// its variables and Array, the in-process reader and the writer. Linked by
// the reader program and by the module libonexrev-mat.so (MatFileModule.h),
// never by the platform library itself.
#include <matio.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <deque>
#include <fstream>
#include <memory>
#include <mutex>

#include <fmt/format.h>

#include "platform/MatFile.h"
#include "platform/MatFileInternal.h"
#include "platform/Text.h"

namespace onex::platform {

namespace {

using Kind = MatFileError::Kind;

struct MatvarDeleter {
    void operator()(matvar_t* v) const { Mat_VarFree(v); }
};
using MatvarPtr = std::unique_ptr<matvar_t, MatvarDeleter>;

struct MatDeleter {
    void operator()(mat_t* m) const { Mat_Close(m); }
};
using MatPtr = std::unique_ptr<mat_t, MatDeleter>;

// The library passes HDF5's error stack (7.3 files) on entry by entry, each
// as "HDF5 error #002 in FUNC()\n  file : ...\n  major: MAJOR\n  minor:
// MINOR."; a user gets one line: what HDF5 found wrong. Other texts stay.
std::string oneLine(std::string_view message) {
    if (message.rfind("HDF5 error", 0) != 0) return std::string(message);
    const auto field = [&](std::string_view key) {
        const auto at = message.find(key);
        if (at == std::string_view::npos) return std::string_view();
        std::string_view value = message.substr(at + key.size());
        value = trimBlanks(value.substr(0, value.find('\n')));
        if (!value.empty() && value.back() == '.') value.remove_suffix(1);
        return value;
    };
    return fmt::format("the 7.3 (HDF5) file is damaged ({}: {})", field("major:"), field("minor:"));
}

// The library reports problems through a global log function; keep the last
// error text (for HDF5, the innermost entry of its stack) so that a failed
// read can say why.
std::string* g_logSink = nullptr;

void logToSink(int level, char* message) {
    if (g_logSink && message && (level & (MATIO_LOG_LEVEL_ERROR | MATIO_LOG_LEVEL_CRITICAL))) {
        *g_logSink = oneLine(message);
    }
}

class LogCapture {
  public:
    LogCapture() {
        static std::once_flag once;
        std::call_once(once, [] { Mat_LogInitFunc("onex", logToSink); });
        g_logSink = &text_;
    }
    ~LogCapture() { g_logSink = nullptr; }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;
    const std::string& text() const { return text_; }

  private:
    std::string text_;
};

std::string quoted(const std::filesystem::path& p) {
    return fmt::format("'{}'", p.string());
}

[[noreturn]] void corrupt(const std::filesystem::path& path, const std::string& detail) {
    throw MatFileError(Kind::Corrupt,
                       fmt::format("Unable to read MAT-file {}: {}.", quoted(path), detail));
}

// Per-read accounting of bytes and nesting.
struct Budget {
    const std::filesystem::path& path;
    const std::string& variable;
    std::size_t bytesLeft;
    std::size_t maxDepth;

    void take(std::size_t count, std::size_t size) {
        if (size != 0 && count > bytesLeft / size) {
            throw MatFileError(Kind::TooLarge,
                               fmt::format("Unable to read MAT-file {}: variable '{}' is larger "
                                           "than the reader's limit of {} bytes.",
                                           quoted(path), variable, bytesLeft));
        }
        bytesLeft -= count * size;
    }
    [[noreturn]] void bad(const std::string& detail) const {
        corrupt(path, fmt::format("variable '{}' is corrupt ({})", variable, detail));
    }
};

// The library's class and data type of each ArrayClass, in its order.
struct MatioClass {
    matio_classes matClass;
    matio_types dataType;
};
constexpr MatioClass kMatioClasses[] = {
    {MAT_C_DOUBLE, MAT_T_DOUBLE}, {MAT_C_SINGLE, MAT_T_SINGLE}, {MAT_C_INT8, MAT_T_INT8},
    {MAT_C_UINT8, MAT_T_UINT8},   {MAT_C_INT16, MAT_T_INT16},   {MAT_C_UINT16, MAT_T_UINT16},
    {MAT_C_INT32, MAT_T_INT32},   {MAT_C_UINT32, MAT_T_UINT32}, {MAT_C_INT64, MAT_T_INT64},
    {MAT_C_UINT64, MAT_T_UINT64}, {MAT_C_CHAR, MAT_T_UINT16},   {MAT_C_UINT8, MAT_T_UINT8},
    {MAT_C_STRUCT, MAT_T_STRUCT}, {MAT_C_CELL, MAT_T_CELL},
};

static_assert(std::size(kMatioClasses) == static_cast<std::size_t>(ArrayClass::Cell) + 1);

const MatioClass& matioClass(ArrayClass c) {
    return kMatioClasses[static_cast<std::size_t>(c)];
}

// The numeric class a library class reads as (logical and char are not).
std::optional<ArrayClass> numericClassOf(matio_classes c) {
    for (std::size_t i = 0; i < std::size(kMatioClasses); ++i) {
        const auto cls = static_cast<ArrayClass>(i);
        if (isNumericClass(cls) && kMatioClasses[i].matClass == c) return cls;
    }
    return std::nullopt;
}

Array::Dims dimsOf(const matvar_t& v, Budget& budget) {
    if (v.rank < 0 || v.rank > 64 || (v.rank > 0 && v.dims == nullptr)) {
        budget.bad("bad number of dimensions");
    }
    return Array::Dims(v.dims, v.dims + v.rank);
}

// Copies `count` elements of the library's buffer into a fresh typed vector.
template <class T>
std::vector<T> copyElements(const void* data, std::size_t count) {
    std::vector<T> out(count);
    if (count) std::memcpy(out.data(), data, count * sizeof(T));
    return out;
}

template <class T>
Array numericFrom(const matvar_t& v, Array::Dims dims, std::size_t n, Budget& budget) {
    budget.take(n, v.isComplex ? 2 * sizeof(T) : sizeof(T));
    if (n == 0) {
        Array a = Array::numeric<T>(std::move(dims), {});
        if (v.isComplex) a.setComplex(true);
        return a;
    }
    if (v.data == nullptr) budget.bad("no data");
    if (static_cast<std::size_t>(v.data_size) != sizeof(T)) budget.bad("element size");
    if (v.isComplex) {
        const auto* z = static_cast<const mat_complex_split_t*>(v.data);
        if (z->Re == nullptr || z->Im == nullptr) budget.bad("no data");
        return Array::numeric<T>(std::move(dims), copyElements<T>(z->Re, n),
                                 copyElements<T>(z->Im, n));
    }
    if (v.nbytes < n * sizeof(T)) budget.bad("data shorter than its size");
    return Array::numeric<T>(std::move(dims), copyElements<T>(v.data, n));
}

Array charFrom(const matvar_t& v, Array::Dims dims, std::size_t n, Budget& budget) {
    budget.take(n, sizeof(char16_t));
    std::vector<char16_t> units;
    if (n > 0) {
        if (v.data == nullptr) budget.bad("no data");
        const auto* bytes = static_cast<const unsigned char*>(v.data);
        switch (v.data_type) {
            case MAT_T_UINT16:
            case MAT_T_INT16:
            case MAT_T_UTF16:
                if (v.nbytes < n * 2) budget.bad("text shorter than its size");
                units = copyElements<char16_t>(v.data, n);
                break;
            case MAT_T_UINT8:
            case MAT_T_INT8:
                if (v.nbytes < n) budget.bad("text shorter than its size");
                units.assign(bytes, bytes + n);
                break;
            case MAT_T_UTF8: {
                Array text =
                    Array::string(std::string_view(reinterpret_cast<const char*>(bytes), v.nbytes));
                auto u = text.chars();
                if (u.size() < n) budget.bad("text shorter than its size");
                units.assign(u.begin(), u.begin() + static_cast<std::ptrdiff_t>(n));
                break;
            }
            case MAT_T_DOUBLE: {  // version 4 files keep text as doubles
                if (v.nbytes < n * sizeof(double)) budget.bad("text shorter than its size");
                auto d = copyElements<double>(v.data, n);
                units.resize(n);
                for (std::size_t i = 0; i < n; ++i) {
                    units[i] = (d[i] >= 0 && d[i] <= 65535) ? static_cast<char16_t>(d[i]) : 0xFFFD;
                }
                break;
            }
            default:
                budget.bad(fmt::format("text of data type {}", static_cast<int>(v.data_type)));
        }
    }
    return Array::charFromCodeUnits(std::move(dims), std::move(units));
}

Array logicalFrom(const matvar_t& v, Array::Dims dims, std::size_t n, Budget& budget) {
    budget.take(n, 1);
    Array a = Array::zeros(std::move(dims), ArrayClass::Logical);
    if (n == 0) return a;
    if (v.data == nullptr || v.data_size <= 0 ||
        v.nbytes < n * static_cast<std::size_t>(v.data_size)) {
        budget.bad("logical data shorter than its size");
    }
    const auto* bytes = static_cast<const unsigned char*>(v.data);
    const std::size_t size = static_cast<std::size_t>(v.data_size);
    for (std::size_t i = 0; i < n; ++i) {
        bool any = false;
        for (std::size_t k = 0; k < size; ++k)
            any = any || bytes[i * size + k] != 0;
        a.setRealAt(i, any ? 1.0 : 0.0);
    }
    return a;
}

Array sparseFrom(const matvar_t& v, Array::Dims dims, Budget& budget) {
    if (dims.size() != 2) budget.bad("sparse array that is not 2-D");
    const std::size_t m = dims[0], ncols = dims[1];
    const std::size_t n = checkedNumel(dims);
    const bool logical = v.isLogical != 0;
    budget.take(n, logical ? 1 : (v.isComplex ? 16 : 8));
    Array a = Array::zeros(dims, logical ? ArrayClass::Logical : ArrayClass::Double,
                           v.isComplex && !logical);
    if (n == 0) return a;
    const auto* s = static_cast<const mat_sparse_t*>(v.data);
    if (s == nullptr || s->jc == nullptr || s->njc != ncols + 1) budget.bad("sparse column index");
    const std::size_t nnz = s->jc[ncols];
    if (nnz > s->nir || nnz > s->ndata || (nnz > 0 && (s->ir == nullptr || s->data == nullptr))) {
        budget.bad("sparse data");
    }
    const double* re = nullptr;
    const double* im = nullptr;
    const unsigned char* bits = nullptr;
    if (logical) {
        bits = static_cast<const unsigned char*>(s->data);
        if (v.data_type != MAT_T_UINT8 && v.data_type != MAT_T_INT8) budget.bad("sparse logical");
    } else {
        if (v.data_type != MAT_T_DOUBLE) budget.bad("sparse data type");
        if (v.isComplex) {
            const auto* z = static_cast<const mat_complex_split_t*>(s->data);
            re = static_cast<const double*>(z->Re);
            im = static_cast<const double*>(z->Im);
            if (nnz > 0 && (re == nullptr || im == nullptr)) budget.bad("sparse data");
        } else {
            re = static_cast<const double*>(s->data);
        }
    }
    for (std::size_t c = 0; c < ncols; ++c) {
        if (s->jc[c] > s->jc[c + 1] || s->jc[c + 1] > nnz) budget.bad("sparse column index");
        for (std::size_t k = s->jc[c]; k < s->jc[c + 1]; ++k) {
            if (s->ir[k] >= m) budget.bad("sparse row index");
            const std::size_t idx = c * m + s->ir[k];
            if (logical) {
                a.setRealAt(idx, bits[k] ? 1.0 : 0.0);
            } else {
                a.real()[idx] = re[k];
                if (im) a.imag()[idx] = im[k];
            }
        }
    }
    return a;
}

Array toArray(const matvar_t& v, Budget& budget, std::size_t depth);

// Nested values are bounded by the budget before any allocation; an element
// of a struct or cell costs at least the size of an Array.
constexpr std::size_t kElementCost = sizeof(Array);

Array numericOrLogicalFrom(const matvar_t& v, ArrayClass cls, Array::Dims dims, std::size_t n,
                           Budget& budget) {
    if (v.isLogical) {
        // A complex logical is no logical: its data is a pair of parts, not
        // one byte run (a damaged flags word).
        if (v.isComplex) budget.bad("complex logical");
        return logicalFrom(v, std::move(dims), n, budget);
    }
    return visitElementType(cls, [&]<class T>(T*) {
        if constexpr (std::is_same_v<T, char16_t>)
            return Array();  // not reached: cls is numeric
        else
            return numericFrom<T>(v, std::move(dims), n, budget);
    });
}

Array cellFrom(const matvar_t& v, Array::Dims dims, std::size_t n, Budget& budget,
               std::size_t depth) {
    budget.take(n, kElementCost);
    if (n > 0 && (v.data == nullptr || v.nbytes / sizeof(matvar_t*) < n)) {
        budget.bad("cell elements missing");
    }
    auto* const* elems = static_cast<matvar_t* const*>(v.data);
    std::vector<Array> cells;
    cells.reserve(n);
    for (std::size_t i = 0; i < n; ++i)
        cells.push_back(elems[i] ? toArray(*elems[i], budget, depth + 1) : Array());
    return Array::cellArray(std::move(dims), std::move(cells));
}

std::vector<std::string> structFieldNames(const matvar_t& v, Budget& budget) {
    const std::size_t nf = Mat_VarGetNumberOfFields(const_cast<matvar_t*>(&v));
    char* const* names = Mat_VarGetStructFieldnames(&v);
    if (nf > 0 && names == nullptr) budget.bad("field names missing");
    std::vector<std::string> fieldNames;
    for (std::size_t f = 0; f < nf; ++f) {
        if (names[f] == nullptr) budget.bad("field name missing");
        fieldNames.emplace_back(names[f]);
        if (!Array::isValidName(fieldNames.back())) budget.bad("invalid field name");
    }
    return fieldNames;
}

Array structFrom(const matvar_t& v, Array::Dims dims, std::size_t n, Budget& budget,
                 std::size_t depth) {
    const std::vector<std::string> fieldNames = structFieldNames(v, budget);
    const std::size_t nf = fieldNames.size();
    if (nf != 0 && n > SIZE_MAX / nf) budget.bad("size overflows");
    // Every element costs something even without fields: a field-less struct
    // array of huge size must not pass for free.
    budget.take(std::max<std::size_t>(n * nf, n), kElementCost);
    if (n * nf > 0 && (v.data == nullptr || v.nbytes / sizeof(matvar_t*) < n * nf)) {
        budget.bad("field values missing");
    }
    Array s;
    try {
        s = Array::structArray(std::move(dims), fieldNames);
    } catch (const MatFileError&) {
        throw;
    } catch (const Error& e) {
        budget.bad(e.what());
    }
    auto* const* values = static_cast<matvar_t* const*>(v.data);
    for (std::size_t e = 0; nf > 0 && e < n; ++e) {
        for (std::size_t f = 0; f < nf; ++f) {
            const matvar_t* fv = values[e * nf + f];
            if (fv) s.setField(fieldNames[f], toArray(*fv, budget, depth + 1), e);
        }
    }
    return s;
}

[[noreturn]] void unsupportedClass(const matvar_t& v, const Budget& budget) {
    const char* what = v.class_type == MAT_C_OBJECT     ? "object"
                       : v.class_type == MAT_C_FUNCTION ? "function handle"
                       : v.class_type == MAT_C_OPAQUE   ? "opaque object"
                                                        : "unknown";
    throw MatFileError(Kind::Unsupported,
                       fmt::format("Unable to read MAT-file {}: variable '{}' is of class {}, "
                                   "which this program cannot read.",
                                   quoted(budget.path), budget.variable, what));
}

// The library's variable as an Array, within the budget.
Array toArray(const matvar_t& v, Budget& budget, std::size_t depth) {
    if (depth > budget.maxDepth) budget.bad("nested too deeply");
    Array::Dims dims = dimsOf(v, budget);
    std::size_t n = 0;
    try {
        n = checkedNumel(dims);
    } catch (const Error&) {
        budget.bad("size overflows");
    }
    if (auto cls = numericClassOf(v.class_type))
        return numericOrLogicalFrom(v, *cls, std::move(dims), n, budget);
    switch (v.class_type) {
        case MAT_C_EMPTY:
            return Array::zeros(std::move(dims));
        case MAT_C_CHAR:
            return charFrom(v, std::move(dims), n, budget);
        case MAT_C_SPARSE:
            return sparseFrom(v, std::move(dims), budget);
        case MAT_C_CELL:
            return cellFrom(v, std::move(dims), n, budget, depth);
        case MAT_C_STRUCT:
            return structFrom(v, std::move(dims), n, budget, depth);
        default:
            unsupportedClass(v, budget);
    }
}

// The split parts of complex values handed to the library; they must live
// until the variable is written.
using ComplexParts = std::deque<mat_complex_split_t>;

// Array to the library's variable. The library keeps pointers to the
// Array's data rather than copies (a large waveform is not doubled in
// memory), so `a` and `parts` must outlive the variable. `name` is the
// variable or field name.
MatvarPtr toMatvar(const Array& a, const char* name, ComplexParts& parts) {
    std::vector<std::size_t> dims = a.dims();
    const int rank = static_cast<int>(dims.size());
    matvar_t* v = nullptr;
    switch (a.classId()) {
        case ArrayClass::Struct: {
            std::vector<const char*> names;
            for (const auto& f : a.fieldNames())
                names.push_back(f.c_str());
            names.push_back(nullptr);
            v = Mat_VarCreateStruct2(name, rank, dims.data(), names.data());
            if (!v) break;
            MatvarPtr owner(v);
            const std::size_t nf = a.numFields();
            for (std::size_t e = 0; e < a.numel(); ++e) {
                for (std::size_t f = 0; f < nf; ++f) {
                    const auto& fname = a.fieldNames()[f];
                    MatvarPtr child = toMatvar(a.field(fname, e), fname.c_str(), parts);
                    Mat_VarFree(Mat_VarSetStructFieldByIndex(v, f, e, child.release()));
                }
            }
            return owner;
        }
        case ArrayClass::Cell: {
            std::vector<MatvarPtr> children;
            std::vector<matvar_t*> raw;
            for (std::size_t i = 0; i < a.numel(); ++i) {
                children.push_back(toMatvar(a.cell(i), "", parts));
                raw.push_back(children.back().get());
            }
            // The library copies the element pointers and owns them from here.
            v = Mat_VarCreate(name, MAT_C_CELL, MAT_T_CELL, rank, dims.data(),
                              raw.empty() ? nullptr : raw.data(), 0);
            if (v) {
                for (auto& c : children)
                    (void)c.release();
            }
            break;
        }
        default: {
            int flags = MAT_F_DONT_COPY_DATA;
            if (a.isLogical()) flags |= MAT_F_LOGICAL;
            void* data = const_cast<void*>(a.rawReal());
            if (a.isComplex()) {
                mat_complex_split_t& z = parts.emplace_back();
                z.Re = const_cast<void*>(a.rawReal());
                z.Im = const_cast<void*>(a.rawImag());
                data = &z;
                flags |= MAT_F_COMPLEX;
            }
            if (a.numel() == 0 && !a.isComplex()) data = nullptr;
            v = Mat_VarCreate(name, matioClass(a.classId()).matClass,
                              matioClass(a.classId()).dataType, rank, dims.data(), data, flags);
            break;
        }
    }
    if (!v) throw Error(fmt::format("Unable to prepare the value '{}' for writing.", name));
    return MatvarPtr(v);
}

}  // namespace

std::mutex& matioMutex() {
    static std::mutex m;
    return m;
}

MatVariables detail::readMatFileInProcess(const std::filesystem::path& path,
                                          const MatReadLimits& limits) {
    std::lock_guard lock(matioMutex());
    return readWithMatio(path, limits);
}

MatVariables detail::readWithMatio(const std::filesystem::path& path, const MatReadLimits& limits) {
    const FileProbe probe = probeFile(path);
    if (!probe.format) {
        throw MatFileError(
            Kind::NotMatFile,
            fmt::format("Unable to read MAT-file {}: not a MAT-file.", quoted(path)));
    }
    std::size_t expected = 0;
    if (*probe.format == MatFormat::V7) expected = checkLevel5(path, probe, limits);
    if (*probe.format == MatFormat::V4) checkVersion4(path, probe);

    LogCapture log;
    MatPtr mat(Mat_Open(path.c_str(), MAT_ACC_RDONLY));
    if (!mat) {
        if (*probe.format == MatFormat::V4) {
            throw MatFileError(
                Kind::NotMatFile,
                fmt::format("Unable to read MAT-file {}: not a MAT-file.", quoted(path)));
        }
        corrupt(path, log.text().empty() ? "the file cannot be opened" : log.text());
    }
    MatVariables out;
    std::size_t seen = 0;
    std::size_t bytesLeft = limits.maxBytes;
    while (true) {
        MatvarPtr v(Mat_VarReadNext(mat.get()));
        if (!v) break;
        ++seen;
        std::string name = v->name ? v->name : "";
        // Level 5 files may end with the platform's unnamed subsystem data.
        if (name.empty()) continue;
        Budget budget{path, name, bytesLeft, limits.maxDepth};
        Array value = toArray(*v, budget, 0);
        bytesLeft = budget.bytesLeft;
        out.push_back({std::move(name), std::move(value)});
    }
    if (*probe.format == MatFormat::V7 && seen != expected) {
        corrupt(path, log.text().empty()
                          ? fmt::format("variable {} of {} cannot be read", seen + 1, expected)
                          : log.text());
    }
    if (out.empty() && !log.text().empty()) corrupt(path, log.text());
    return out;
}

void detail::writeWithMatio(const std::filesystem::path& tempPath, const MatVariables& variables,
                            MatFormat format) {
    std::lock_guard lock(matioMutex());
    LogCapture log;
    const mat_ft ft = format == MatFormat::V73 ? MAT_FT_MAT73 : MAT_FT_MAT5;
    const matio_compression compression =
        format == MatFormat::V6 ? MAT_COMPRESSION_NONE : MAT_COMPRESSION_ZLIB;
    mat_t* raw = Mat_CreateVer(tempPath.c_str(), nullptr, ft);
    if (!raw) {
        throw Error(log.text().empty() ? std::string(std::strerror(errno)) : log.text());
    }
    MatPtr mat(raw);
    for (const auto& var : variables) {
        ComplexParts parts;
        MatvarPtr v = toMatvar(var.value, var.name.c_str(), parts);
        if (Mat_VarWrite(mat.get(), v.get(), compression) != 0) {
            throw Error(fmt::format("writing variable '{}' failed{}{}", var.name,
                                    log.text().empty() ? "" : ": ", log.text()));
        }
    }
    if (Mat_Close(mat.release()) != 0) {
        throw Error(log.text().empty() ? "closing the file failed" : log.text());
    }
}

}  // namespace onex::platform
