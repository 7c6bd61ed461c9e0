#pragma once

// The parameter set as the numeric platform's structure (the `fileParameters`
// variable of parameter files), and the structure comparison the stale
// waveform check relies on.

#include "OneX/Parameters.h"
#include "platform/Array.h"

namespace onex {

// 1 x 1 struct with every field in the order of InitializeParameters and the
// nested 1 x 1 `slot` struct: numbers as 1 x 1 doubles, vectors as 1 x N
// double rows, texts as char rows, empty texts and an empty bit stream as
// 0 x 0 values.
platform::Array toArray(const Parameters& p);

// Reads a parameter set written by toArray (or by another tool with the same
// classes). Field order does not matter and unknown fields are ignored, but
// every field must be there with its class and size (the impairment fields
// may be missing: files older than them load with them off), and its value must be
// one the windows could store (checkParameterSet). Empty texts and bit
// streams may be any empty value. Throws onex::Error naming the field; `out`
// is changed only on success.
void fromArray(const platform::Array& a, Parameters& out);

// Equality of two values by the parameter-set comparison rule: structs need
// the same field names in the same order and equal fields; two empty values
// are equal whatever their class; numeric (and logical) arrays need the same
// size, NaN at the same places and all other elements equal; texts must be
// identical; any other pairing is unequal.
bool compareStruct(const platform::Array& a, const platform::Array& b);
bool compareStruct(const Parameters& a, const Parameters& b);

}  // namespace onex
