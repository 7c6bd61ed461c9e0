#pragma once

#include <pybind11/pybind11.h>

#include <string>

namespace onex::python {

// A file name from a str or any os.PathLike.
inline std::string pathArg(pybind11::handle path) {
    return pybind11::module_::import("os").attr("fspath")(path).cast<std::string>();
}

}  // namespace onex::python
