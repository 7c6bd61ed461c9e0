#pragma once

// The C API's array: a platform::Array owned by the host (a root), or a
// borrowed view of an element inside another array (a child). Children are
// created on demand by mxGetField/mxGetCell and owned by their parent, so a
// host never frees them and destroying the parent frees them all.
//
// Element addresses inside an Array are stable while its struct/cell layout
// only grows (adding fields moves the per-field vectors, not their
// elements), which is what the children map relies on.

#include <map>
#include <memory>
#include <set>
#include <string>

#include "OneX_Rev_b_lib.h"
#include "platform/Array.h"

struct mxArray_tag {
    mxArray_tag() = default;
    mxArray_tag(const mxArray_tag&) = delete;
    mxArray_tag& operator=(const mxArray_tag&) = delete;

    onex::platform::Array own;            // the value of a root
    onex::platform::Array* value = &own;  // own, or the element in the parent
    mxArray_tag* parent = nullptr;        // null for a root
    std::map<const onex::platform::Array*, std::unique_ptr<mxArray_tag>> children;
    std::set<std::string> names;  // field names handed out, kept stable
};

namespace onex::lib::capi {

// A new root holding `value` (the caller owns it).
mxArray* newArray(platform::Array value);

}  // namespace onex::lib::capi
