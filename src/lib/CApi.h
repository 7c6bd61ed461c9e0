#pragma once

// What the generated mlf/mlx entry points call: the registry routine by its
// index in Routines.def, with the C API's conventions for counting inputs and
// outputs, ownership and errors.

#include <cstddef>
#include <initializer_list>

#include "OneX_Rev_b_lib.h"

namespace onex::lib::capi {

// mlxName: nlhs outputs into plhs, nrhs inputs from prhs. False on failure
// (plhs untouched).
bool mlx(std::size_t index, const char* name, int nlhs, mxArray* plhs[], int nrhs, mxArray* prhs[]);

// mlfName / mlfNName: the first output returned, outputs 2.. through the
// references `outs` (NULL for an output not wanted). nargout < 0 counts the
// outputs from the references (mlf); mlfN gives it. NULL on failure, and then
// no reference is written. Inputs: trailing NULLs are "not given".
mxArray* mlf(std::size_t index, const char* name, int nargout,
             std::initializer_list<mxArray**> outs, std::initializer_list<mxArray*> ins);

// mlfName of a routine without outputs, and mlfVName: true on success.
bool mlfNoOutput(std::size_t index, const char* name, std::initializer_list<mxArray*> ins);

}  // namespace onex::lib::capi
