// The array functions of the C API. None of them lets an exception out: a
// failure gives NULL, 0 or false (see onex_mx.h).

#include "lib/MxArray.h"

#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

using onex::platform::Array;
using onex::platform::ArrayClass;

namespace onex::lib::capi {

mxArray* newArray(Array value) {
    auto* m = new mxArray_tag;
    m->own = std::move(value);
    return m;
}

}  // namespace onex::lib::capi

namespace {

using onex::lib::capi::newArray;

template <class F>
mxArray* creating(F make) {
    try {
        return newArray(make());
    } catch (...) {
        return nullptr;
    }
}

const Array* valueOf(const mxArray* pm) {
    return pm ? pm->value : nullptr;
}

// The child view of the element at `slot` of pm, made on first use.
mxArray* childOf(const mxArray* pm, Array* slot) {
    auto* parent = const_cast<mxArray*>(pm);
    auto it = parent->children.find(slot);
    if (it != parent->children.end()) return it->second.get();
    auto child = std::make_unique<mxArray_tag>();
    child->value = slot;
    child->parent = parent;
    mxArray* raw = child.get();
    parent->children.emplace(slot, std::move(child));
    return raw;
}

mxArray* rootOf(mxArray* pm) {
    while (pm->parent)
        pm = pm->parent;
    return pm;
}

// Stores `value` at `slot` of pm as mxSetField/mxSetCell do. False (nothing
// changed, value still the caller's) when value is pm's own root, which
// would make the array contain itself.
bool containsItself(mxArray* pm, const mxArray* value) {
    return value && !value->parent && rootOf(pm) == value;
}

bool setElement(mxArray* pm, Array* slot, mxArray* value) {
    if (!value) {
        pm->children.erase(slot);
        *slot = Array();
        return true;
    }
    if (!value->parent) {
        if (rootOf(pm) == value) return false;
        pm->children.erase(slot);
        // The element's storage moves as a whole, so views and data pointers
        // the host took from `value` stay valid; the object becomes the
        // element's view.
        *slot = std::move(value->own);
        value->own = Array();
        value->value = slot;
        value->parent = pm;
        pm->children.emplace(slot, std::unique_ptr<mxArray_tag>(value));
        return true;
    }
    if (value->value == slot) return true;
    // Borrowed from elsewhere: store a copy (taken first, since value may lie
    // inside the element being replaced).
    Array copy = *value->value;
    pm->children.erase(slot);
    *slot = std::move(copy);
    return true;
}

bool isNumericOrValue(const Array& a) {
    return !a.isStruct() && !a.isCell();
}

}  // namespace

extern "C" {

mxArray* mxCreateDoubleMatrix(mwSize m, mwSize n, mxComplexity flag) {
    return creating([&] { return Array::zeros({m, n}, ArrayClass::Double, flag == mxCOMPLEX); });
}

mxArray* mxCreateDoubleScalar(double value) {
    return creating([&] { return Array(value); });
}

mxArray* mxCreateString(const char* str) {
    if (!str) return nullptr;
    return creating([&] { return Array::string(str); });
}

mxArray* mxCreateStructMatrix(mwSize m, mwSize n, int nfields, const char** fieldnames) {
    if (nfields < 0 || (nfields > 0 && !fieldnames)) return nullptr;
    std::vector<std::string> names;
    for (int i = 0; i < nfields; ++i) {
        if (!fieldnames[i] || !Array::isValidName(fieldnames[i])) return nullptr;
        names.emplace_back(fieldnames[i]);
    }
    return creating([&] { return Array::structArray({m, n}, names); });
}

mxArray* mxCreateCellMatrix(mwSize m, mwSize n) {
    return creating([&] { return Array::zeros({m, n}, ArrayClass::Cell); });
}

mxArray* mxDuplicateArray(const mxArray* pm) {
    if (!pm) return nullptr;
    return creating([&] { return *pm->value; });
}

void mxDestroyArray(mxArray* pm) {
    if (!pm) return;
    if (!pm->parent) {
        delete pm;
        return;
    }
    // A borrowed element: the element of the parent becomes [].
    mxArray* parent = pm->parent;
    Array* slot = pm->value;
    parent->children.erase(slot);  // frees pm and the views inside it
    *slot = Array();
}

void mxFree(void* ptr) {
    std::free(ptr);
}

mwSize mxGetM(const mxArray* pm) {
    const Array* a = valueOf(pm);
    return a ? a->rows() : 0;
}

mwSize mxGetN(const mxArray* pm) {
    const Array* a = valueOf(pm);
    if (!a) return 0;
    mwSize n = 1;
    for (std::size_t i = 1; i < a->ndims(); ++i)
        n *= a->dims()[i];
    return n;
}

mwSize mxGetNumberOfElements(const mxArray* pm) {
    const Array* a = valueOf(pm);
    return a ? a->numel() : 0;
}

mwSize mxGetNumberOfDimensions(const mxArray* pm) {
    const Array* a = valueOf(pm);
    return a ? a->ndims() : 0;
}

const mwSize* mxGetDimensions(const mxArray* pm) {
    const Array* a = valueOf(pm);
    return a ? a->dims().data() : nullptr;
}

const char* mxGetClassName(const mxArray* pm) {
    const Array* a = valueOf(pm);
    return a ? a->className() : nullptr;
}

bool mxIsDouble(const mxArray* pm) {
    const Array* a = valueOf(pm);
    return a && a->isDouble();
}

bool mxIsComplex(const mxArray* pm) {
    const Array* a = valueOf(pm);
    return a && a->isComplex();
}

bool mxIsNumeric(const mxArray* pm) {
    const Array* a = valueOf(pm);
    return a && a->isNumeric();
}

bool mxIsLogical(const mxArray* pm) {
    const Array* a = valueOf(pm);
    return a && a->isLogical();
}

bool mxIsChar(const mxArray* pm) {
    const Array* a = valueOf(pm);
    return a && a->isChar();
}

bool mxIsStruct(const mxArray* pm) {
    const Array* a = valueOf(pm);
    return a && a->isStruct();
}

bool mxIsCell(const mxArray* pm) {
    const Array* a = valueOf(pm);
    return a && a->isCell();
}

bool mxIsEmpty(const mxArray* pm) {
    const Array* a = valueOf(pm);
    return a && a->isEmpty();
}

double* mxGetPr(const mxArray* pm) {
    const Array* a = valueOf(pm);
    if (!a || !a->isDouble()) return nullptr;
    return pm->value->real().data();
}

double* mxGetPi(const mxArray* pm) {
    const Array* a = valueOf(pm);
    if (!a || !a->isDouble() || !a->isComplex()) return nullptr;
    return pm->value->imag().data();
}

void* mxGetData(const mxArray* pm) {
    const Array* a = valueOf(pm);
    if (!a || !isNumericOrValue(*a)) return nullptr;
    return pm->value->rawReal();
}

double mxGetScalar(const mxArray* pm) {
    const Array* a = valueOf(pm);
    if (!a || !isNumericOrValue(*a) || a->isEmpty()) return 0.0;
    try {
        return a->realAt(0);
    } catch (...) {
        return 0.0;
    }
}

char* mxArrayToString(const mxArray* pm) {
    const Array* a = valueOf(pm);
    if (!a || !a->isChar()) return nullptr;
    try {
        const auto units = a->chars();
        // All characters in column order, as one text.
        const std::string text =
            Array::charFromCodeUnits({1, units.size()}, {units.begin(), units.end()}).toString();
        char* out = static_cast<char*>(std::malloc(text.size() + 1));
        if (!out) return nullptr;
        std::memcpy(out, text.c_str(), text.size() + 1);
        return out;
    } catch (...) {
        return nullptr;
    }
}

int mxGetString(const mxArray* pm, char* buf, mwSize buflen) {
    if (!buf || buflen == 0) return 1;
    buf[0] = '\0';
    char* text = mxArrayToString(pm);
    if (!text) return 1;
    const std::size_t n = std::strlen(text);
    const std::size_t copied = n < buflen ? n : buflen - 1;
    std::memcpy(buf, text, copied);
    buf[copied] = '\0';
    std::free(text);
    return copied == n ? 0 : 1;
}

int mxGetNumberOfFields(const mxArray* pm) {
    const Array* a = valueOf(pm);
    if (!a || !a->isStruct()) return 0;
    return static_cast<int>(a->numFields());
}

const char* mxGetFieldNameByNumber(const mxArray* pm, int n) {
    const Array* a = valueOf(pm);
    if (!a || !a->isStruct() || n < 0 || static_cast<std::size_t>(n) >= a->numFields())
        return nullptr;
    try {
        auto* self = const_cast<mxArray*>(pm);
        return self->names.insert(a->fieldNames()[static_cast<std::size_t>(n)]).first->c_str();
    } catch (...) {
        return nullptr;
    }
}

int mxAddField(mxArray* pm, const char* fieldname) {
    if (!pm || !fieldname || !pm->value->isStruct() || !Array::isValidName(fieldname)) return -1;
    try {
        pm->value->addField(fieldname);
        const auto& names = pm->value->fieldNames();
        for (std::size_t i = 0; i < names.size(); ++i)
            if (names[i] == fieldname) return static_cast<int>(i);
    } catch (...) {
    }
    return -1;
}

mxArray* mxGetField(const mxArray* pm, mwIndex index, const char* fieldname) {
    const Array* a = valueOf(pm);
    if (!a || !fieldname || !a->isStruct() || index >= a->numel() || !a->hasField(fieldname))
        return nullptr;
    try {
        return childOf(pm, &pm->value->field(fieldname, index));
    } catch (...) {
        return nullptr;
    }
}

void mxSetField(mxArray* pm, mwIndex index, const char* fieldname, mxArray* value) {
    if (!pm || !fieldname || !pm->value->isStruct() || index >= pm->value->numel() ||
        !Array::isValidName(fieldname) || containsItself(pm, value))
        return;
    try {
        pm->value->addField(fieldname);
        setElement(pm, &pm->value->field(fieldname, index), value);
    } catch (...) {
    }
}

mxArray* mxGetCell(const mxArray* pm, mwIndex index) {
    const Array* a = valueOf(pm);
    if (!a || !a->isCell() || index >= a->numel()) return nullptr;
    try {
        return childOf(pm, &pm->value->cell(index));
    } catch (...) {
        return nullptr;
    }
}

void mxSetCell(mxArray* pm, mwIndex index, mxArray* value) {
    if (!pm || !pm->value->isCell() || index >= pm->value->numel()) return;
    try {
        setElement(pm, &pm->value->cell(index), value);
    } catch (...) {
    }
}

}  // extern "C"
