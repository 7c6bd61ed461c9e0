#pragma once

// A description of every field of the parameter set: its name as stored in
// parameter files, its kind and the range the windows enforce. One table
// serves the command line (--set), the parameter-file checks and displays.

#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "OneX/Parameters.h"

namespace onex {

enum class FieldKind {
    Text,        // char row
    Flag,        // 0 or 1
    Integer,     // whole number in [lo, hi]
    Real,        // any number in [lo, hi]
    Mask,        // whole number in [lo, hi], written in hexadecimal
    Bits,        // row of 0/1 with at most `length` entries
    SlotVector,  // row of exactly `length` whole numbers in [lo, hi]
};

struct ParameterField {
    std::string_view name;  // "DataRate", "slot.DRCslotValue", ...
    FieldKind kind;
    double lo = 0;
    double hi = 0;
    std::size_t length = 0;  // Bits: maximum; SlotVector: exact
    bool hexDigits = false;  // SlotVector entries shown as hexadecimal
    bool editable = true;    // the format tag is fixed
    // NaN is accepted besides the range: for a field no window writes and no
    // calculation reads, where another tool may store "unknown".
    bool nanAllowed = false;
    // +Inf or -Inf: a value besides the range that means "off" (the text
    // "off"), as CNRatio and CarrierLeakage have; 0 for the other fields.
    double offValue = 0;
};

// True when the field has an "off" value and `value` is it.
bool isOffValue(const ParameterField& field, double value);

// All fields in the order of InitializeParameters.
const std::vector<ParameterField>& parameterFields();
const ParameterField* findParameterField(std::string_view name);

// The field's current value as text: numbers in decimal, masks and DRC
// values in hexadecimal, vectors as "[a b c]", texts as they are.
std::string formatParameterField(const Parameters& p, const ParameterField& field);

// Parses `text` for the field and stores it. Returns an error message (naming
// the field and its range) when the text is malformed or out of range; the
// parameter set is then unchanged.
std::optional<std::string> setParameterField(Parameters& p, const ParameterField& field,
                                             std::string_view text);

// A field's value with its own type, for callers that hold typed values
// rather than text: a number (Flag, Integer, Real, Mask), a text (Text) or a
// row (Bits, SlotVector).
using ParameterValue = std::variant<double, std::string, std::vector<double>>;
ParameterValue getParameterField(const Parameters& p, const ParameterField& field);

// Stores a typed value with the range checks and messages of
// setParameterField; a value of another type than the field's is refused
// with the field and what it takes. The parameter set is unchanged on error.
std::optional<std::string> assignParameterField(Parameters& p, const ParameterField& field,
                                                ParameterValue value);

// Checks every field against its range; returns the first violation.
std::optional<std::string> checkParameterSet(const Parameters& p);

// Human-readable range of a field, e.g. "an integer from 0 to 7".
std::string describeFieldRange(const ParameterField& field);

}  // namespace onex
