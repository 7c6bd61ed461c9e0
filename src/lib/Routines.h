#pragma once

// The routine registry of the exported library: one entry per routine with
// its declared inputs and outputs and its gateway. The C API (mlf/mlx), the
// command line's `call` verb and the header generator all read this table.

#include <cstddef>
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

struct Routine {
    std::string_view name;
    std::size_t minInputs;
    std::vector<std::string> inputs;   // declared input names
    std::vector<std::string> outputs;  // declared output names
    OutputKind kind;
    std::string_view summary;
    Gateway gateway;

    std::size_t maxInputs() const { return inputs.size(); }
    std::size_t maxOutputs() const { return outputs.size(); }
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
// outputs). Throws onex::Error with the text to show on any failure.
// The inputs are not copied; they must outlive the call.
std::vector<Array> callRoutine(const Routine& r, std::size_t nargout,
                               std::span<const Array* const> in);
std::vector<Array> callRoutine(const Routine& r, std::size_t nargout, std::span<const Array> in);

}  // namespace onex::lib
