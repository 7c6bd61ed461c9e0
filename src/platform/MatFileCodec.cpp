// Wire format between the MAT-file reader process and its caller. The
// decoder trusts nothing: a reader process that went astray must not be able
// to make the caller allocate without bound or read out of range.
#include <cstring>

#include <fmt/format.h>

#include "platform/MatFile.h"

namespace onex::platform::detail {

namespace {

template <class T>
void put(std::string& out, T value) {
    char bytes[sizeof(T)];
    std::memcpy(bytes, &value, sizeof(T));
    out.append(bytes, sizeof(T));
}

void putText(std::string& out, std::string_view text) {
    put<std::uint32_t>(out, static_cast<std::uint32_t>(text.size()));
    out.append(text);
}

void encodeArray(std::string& out, const Array& a) {
    put<std::uint8_t>(out, static_cast<std::uint8_t>(a.classId()));
    put<std::uint8_t>(out, a.isComplex() ? 1 : 0);
    put<std::uint32_t>(out, static_cast<std::uint32_t>(a.ndims()));
    for (std::size_t d : a.dims())
        put<std::uint64_t>(out, d);
    if (a.isStruct()) {
        put<std::uint32_t>(out, static_cast<std::uint32_t>(a.numFields()));
        for (const auto& name : a.fieldNames())
            putText(out, name);
        for (std::size_t e = 0; e < a.numel(); ++e) {
            for (const auto& name : a.fieldNames())
                encodeArray(out, a.field(name, e));
        }
    } else if (a.isCell()) {
        for (std::size_t i = 0; i < a.numel(); ++i)
            encodeArray(out, a.cell(i));
    } else {
        const std::size_t bytes = a.numel() * a.elementSize();
        if (bytes) out.append(static_cast<const char*>(a.rawReal()), bytes);
        if (a.isComplex() && bytes) out.append(static_cast<const char*>(a.rawImag()), bytes);
    }
}

// Smallest encoding of one array: class, complex flag, ndims, two dims.
constexpr std::size_t kMinArrayBytes = 1 + 1 + 4 + 2 * 8;

class Reader {
  public:
    Reader(std::string_view bytes, const MatReadLimits& limits) : bytes_(bytes), limits_(limits) {}

    bool atEnd() const { return pos_ == bytes_.size(); }
    std::size_t left() const { return bytes_.size() - pos_; }

    template <class T>
    T get() {
        need(sizeof(T));
        T value;
        std::memcpy(&value, bytes_.data() + pos_, sizeof(T));
        pos_ += sizeof(T);
        return value;
    }

    std::string text() {
        const auto n = get<std::uint32_t>();
        need(n);
        std::string s(bytes_.substr(pos_, n));
        pos_ += n;
        return s;
    }

    Array array(std::size_t depth) {
        if (depth > limits_.maxDepth) fail();
        const auto clsCode = get<std::uint8_t>();
        if (clsCode > static_cast<std::uint8_t>(ArrayClass::Cell)) fail();
        const auto cls = static_cast<ArrayClass>(clsCode);
        const bool complex = get<std::uint8_t>() != 0;
        const auto nd = get<std::uint32_t>();
        if (nd < 2 || nd > 64) fail();
        need(std::size_t{nd} * 8);
        Array::Dims dims(nd);
        for (auto& d : dims)
            d = static_cast<std::size_t>(get<std::uint64_t>());
        std::size_t n = 0;
        try {
            n = checkedNumel(dims);
        } catch (const Error&) {
            fail();
        }
        if (cls == ArrayClass::Struct) {
            const auto nf = get<std::uint32_t>();
            if (nf > left() / 4) fail();
            std::vector<std::string> names;
            for (std::uint32_t f = 0; f < nf; ++f)
                names.push_back(text());
            // Every element of every field is encoded: bound before allocating.
            if (nf != 0 && n > left() / kMinArrayBytes / nf) fail();
            Array s = Array::structArray(dims, names);
            for (std::size_t e = 0; e < n; ++e) {
                for (const auto& name : names)
                    s.setField(name, array(depth + 1), e);
            }
            return s;
        }
        if (cls == ArrayClass::Cell) {
            if (n > left() / kMinArrayBytes) fail();
            std::vector<Array> cells;
            cells.reserve(n);
            for (std::size_t i = 0; i < n; ++i)
                cells.push_back(array(depth + 1));
            return Array::cellArray(dims, std::move(cells));
        }
        if (complex && !isNumericClass(cls)) fail();
        Array a = Array::zeros({0, 0}, cls);
        const std::size_t size = a.elementSize();
        if (n > left() / size / (complex ? 2 : 1)) fail();
        a = Array::zeros(dims, cls, complex);
        const std::size_t bytes = n * size;
        if (bytes) {
            std::memcpy(a.rawReal(), bytes_.data() + pos_, bytes);
            pos_ += bytes;
            if (complex) {
                std::memcpy(a.rawImag(), bytes_.data() + pos_, bytes);
                pos_ += bytes;
            }
        }
        if (cls == ArrayClass::Logical) {
            for (auto b : a.logicals()) {
                if (b > 1) fail();
            }
        }
        return a;
    }

    [[noreturn]] void fail() const { throw Error("malformed reader output"); }

  private:
    void need(std::size_t n) const {
        if (n > left()) fail();
    }

    std::string_view bytes_;
    const MatReadLimits& limits_;
    std::size_t pos_ = 0;
};

}  // namespace

void encodeVariable(std::string& out, const MatVariable& variable) {
    putText(out, variable.name);
    encodeArray(out, variable.value);
}

MatVariables decodeVariables(std::string_view bytes, const MatReadLimits& limits) {
    Reader in(bytes, limits);
    MatVariables out;
    while (!in.atEnd()) {
        std::string name = in.text();
        Array value = in.array(0);
        out.push_back({std::move(name), std::move(value)});
    }
    return out;
}

}  // namespace onex::platform::detail
