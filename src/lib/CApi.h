#pragma once

// What the generated mlf/mlx entry points call: the registry routine by its
// index in Routines.def, with the C API's conventions for counting inputs and
// outputs, ownership and errors.

#include <cstdarg>
#include <cstddef>
#include <initializer_list>
#include <vector>

#include "OneX_Rev_b_lib.h"

namespace onex::lib::capi {

// mlxName: nlhs outputs into plhs, nrhs inputs from prhs. False on failure
// (plhs untouched).
bool mlx(std::size_t index, const char* name, int nlhs, mxArray* plhs[], int nrhs, mxArray* prhs[]);

// mlfName / mlfNName: the first output returned, outputs 2.. through the
// references `outs` (NULL for an output not wanted) and, for a routine with
// varargout, the ones after those into the array `varargout`. nargout < 0
// counts the outputs from the references (mlf); mlfN gives it. NULL on
// failure, and then no reference is written. Inputs: trailing NULLs are "not
// given".
mxArray* mlf(std::size_t index, const char* name, int nargout,
             std::initializer_list<mxArray**> outs, mxArray** varargout,
             const std::vector<mxArray*>& ins);

// mlfName of a routine without outputs, and mlfVName: true on success.
bool mlfNoOutput(std::size_t index, const char* name, const std::vector<mxArray*>& ins);

// The inputs of an entry point with varargin: the named ones, then those of
// `more`, up to the first NULL.
std::vector<mxArray*> inputList(std::initializer_list<mxArray*> named, va_list more);

}  // namespace onex::lib::capi
