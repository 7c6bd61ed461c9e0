#pragma once

// The Python module onexrev: the objects its binding files share.

#include <pybind11/pybind11.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Instrument/SigGenSettings.h"
#include "MexIO/Status.h"
#include "OneX/Parameters.h"
#include "platform/Error.h"

namespace onex::python {

namespace py = pybind11;

// A parameter set with the signal-generator settings that go with it (as in
// a parameter file). The settings are shared so that `params.siggen` is a
// live view of them.
struct ParameterSet {
    Parameters parameters = InitializeParameters();
    std::shared_ptr<SigGenSettings> settings =
        std::make_shared<SigGenSettings>(InitializeSigGenSettings(parameters.OverSampling));

    std::shared_ptr<ParameterSet> copy() const;
};

// One computed frame with the parameter set and settings it came from.
// Immutable once built, so numpy may look at its memory directly.
struct FrameData {
    FrameResult result;
    Parameters parameters;
    SigGenSettings settings;
    // The 2 x N marker bytes: a calculated frame holds them in one piece, so
    // this is its own memory; a copy only for rows that lie apart.
    std::optional<std::vector<std::uint8_t>> markerBytes;

    const std::uint8_t* markers();
};

// The module's exception types (set up by bindErrors).
py::object errorType();
py::object instrumentErrorType();
// Raises onexrev.InstrumentError carrying the status and its text.
[[noreturn]] void raiseInstrumentError(const Status& status);

void bindErrors(py::module_& m);
void bindParameters(py::module_& m);
void bindFrame(py::module_& m);
void bindInstrument(py::module_& m);
void bindAnalysis(py::module_& m);

}  // namespace onex::python
