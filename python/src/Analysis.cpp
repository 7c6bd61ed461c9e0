// The analysis of a frame: the displays' models and the measurements, bound
// here as they join the library (each a function over FrameData or a numpy
// waveform, releasing the GIL while it computes).

#include "Bindings.h"

namespace onex::python {

void bindAnalysis(py::module_&) {}

}  // namespace onex::python
