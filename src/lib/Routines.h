#pragma once

// The routine registry of the exported library: one entry per routine with
// its declared inputs and outputs and its gateway. The C API (mlf/mlx), the
// command line's `call` verb and the header generator all read this table.

#include <cstddef>
#include <limits>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "lib/NameList.h"
#include "platform/Array.h"

namespace onex::lib {

using platform::Array;

class Args;

// A gateway: the routine's outputs for the given inputs. It returns at least
// max(nargout, 1) outputs when the routine has any (the first is the
// run-time's "ans" when nargout is 0), and may return more than asked.
using Gateway = std::vector<Array> (*)(const Args& args);

enum class OutputKind { Fixed, VaryingOutputs };

// The name that stands for "any number more" at the end of a declaration, as
// in the numeric platform's own (the window modules are dispatchers).
inline constexpr std::string_view kAnyInputs = "varargin";
inline constexpr std::string_view kAnyOutputs = "varargout";
inline constexpr std::size_t kUnlimited = std::numeric_limits<std::size_t>::max();

struct Routine {
    std::string_view name;
    std::size_t minInputs;
    std::vector<std::string> inputs;   // declared input names
    std::vector<std::string> outputs;  // declared output names
    OutputKind kind;
    std::string_view summary;
    Gateway gateway;

    bool anyInputs() const { return !inputs.empty() && inputs.back() == kAnyInputs; }
    bool anyOutputs() const { return !outputs.empty() && outputs.back() == kAnyOutputs; }
    // The declared counts; kUnlimited after varargin / varargout, so that the
    // usual "more than declared" test never refuses such a call.
    std::size_t maxInputs() const { return anyInputs() ? kUnlimited : inputs.size(); }
    std::size_t maxOutputs() const { return anyOutputs() ? kUnlimited : outputs.size(); }
};

// Every routine, in the order of Routines.def.
std::span<const Routine> routines();
const Routine* findRoutine(std::string_view name);

// Texts of the run-time for calls with more inputs or outputs than declared.
std::string tooManyInputsText(const Routine& r);
std::string tooManyOutputsText(const Routine& r);
std::string notEnoughInputsText(const Routine& r, std::size_t given);

// Runs a routine as the gateways are run: counts checked first, then the
// routine. Returns max(nargout, 1) outputs (none for a routine without
// outputs; with nargout 0 a routine with varargout may also give none, as a
// dispatcher running a routine without outputs does). Throws onex::Error
// with the text to show on any failure.
// The inputs are not copied; they must outlive the call.
std::vector<Array> callRoutine(const Routine& r, std::size_t nargout,
                               std::span<const Array* const> in);
std::vector<Array> callRoutine(const Routine& r, std::size_t nargout, std::span<const Array> in);

}  // namespace onex::lib
