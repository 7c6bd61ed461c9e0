// onexrev: one reverse-link frame from Python. Parameters, calculation,
// waveform files and instruments, over the same layers as the command line.

#include <pybind11/eval.h>

#include <fmt/format.h>

#include <exception>
#include <utility>

#include "Bindings.h"
#include "MexIO/Cancel.h"
#include "MexIO/Status.h"
#include "platform/Error.h"
#include "version/Version.h"

namespace onex::python {

namespace {
// Kept for the life of the process: released at exit, after the interpreter
// has gone, they would touch freed memory.
py::object& storedError() {
    static auto* type = new py::object();
    return *type;
}
py::object& storedInstrumentError() {
    static auto* type = new py::object();
    return *type;
}
}  // namespace

py::object errorType() {
    return storedError();
}

py::object instrumentErrorType() {
    return storedInstrumentError();
}

void raiseInstrumentError(const Status& status) {
    py::object error = storedInstrumentError()(status.response, status.status);
    PyErr_SetObject(storedInstrumentError().ptr(), error.ptr());
    throw py::error_already_set();
}

void bindErrors(py::module_& m) {
    py::dict scope;
    scope["__name__"] = "onexrev";
    // The status numbers are the instrument layer's: named on the class and
    // in its help from the one definition.
    const std::pair<const char*, int> statuses[] = {{"NOT_CONNECTED", mexio::kNotConnected},
                                                    {"TIMED_OUT", mexio::kTimedOut},
                                                    {"CONNECTION_FAILED", mexio::kIoFailure},
                                                    {"REFUSED", mexio::kInstrumentError},
                                                    {"CANCELLED", kCancelled}};
    py::exec(fmt::format(R"(
class Error(RuntimeError):
    """A failure of the library: a calculation refused, a file not read or
    not written. The message is the library's own text."""

class InstrumentError(Error):
    """An instrument operation failed. The message is the text the
    instrument layer reports (with the instrument's own error text when the
    instrument refused something); `status` is its status number:
    NOT_CONNECTED ({}), TIMED_OUT ({}), CONNECTION_FAILED ({}: the connection
    broke or the reply was unusable), REFUSED ({}: by the instrument) or
    CANCELLED ({})."""

    def __init__(self, message, status=None):
        super().__init__(message)
        self.status = status
)",
                         mexio::kNotConnected, mexio::kTimedOut, mexio::kIoFailure,
                         mexio::kInstrumentError, kCancelled),
             scope);
    for (const auto& [name, number] : statuses)
        py::setattr(scope["InstrumentError"], name, py::int_(number));
    storedError() = scope["Error"];
    storedInstrumentError() = scope["InstrumentError"];
    m.attr("Error") = storedError();
    m.attr("InstrumentError") = storedInstrumentError();

    py::register_exception_translator([](std::exception_ptr p) {
        try {
            if (p) std::rethrow_exception(p);
        } catch (const onex::Error& e) {
            PyErr_SetString(storedError().ptr(), e.what());
        }
    });
}

}  // namespace onex::python

PYBIND11_MODULE(onexrev, m) {
    using namespace onex::python;
    m.doc() =
        "One frame of a 1xEV-DO reverse-link baseband waveform: parameters, calculation, "
        "waveform files and download to a TARN-family signal generator.";
    m.attr("__version__") = onex::versionText();
    bindErrors(m);
    bindParameters(m);
    bindFrame(m);
    bindInstrument(m);
    bindAnalysis(m);
}
