#pragma once

// The interface between the capture analysis and the module that holds the
// resampling library (libonexrev-resample.so). The library and the OpenMP
// run-time it pulls in cost every program start, and only the analysis of
// a capture at another sample rate needs them: the module is loaded then.

#include <complex>
#include <cstddef>
#include <cstdint>

#include "onex_version_number.h"
#include "platform/Module.h"

namespace onex::analysis::resamplermodule {

// Raised whenever the function below or what it takes changes.
inline constexpr std::uint32_t kInterface = 1;

inline constexpr platform::ModuleTag kTag{sizeof(platform::ModuleTag), kInterface, ONEX_VERSION,
                                          sizeof(std::complex<double>)};

inline constexpr const char* kFileName = "libonexrev-resample.so";
inline constexpr const char* kTagSymbol = "onexrev_resample_module_tag";
inline constexpr const char* kResampleSymbol = "onexrev_resample";

}  // namespace onex::analysis::resamplermodule

extern "C" {
const onex::platform::ModuleTag* onexrev_resample_module_tag();
// The `inCount` samples of `in` at inRate, resampled to outRate into `out`
// (room for `outCapacity` samples; `made` of them are made), with the
// passband kept flat to `passband` of the lower Nyquist frequency. 0, or 1
// with the reason in `error`.
int onexrev_resample(const std::complex<float>* in, std::size_t inCount, double inRate,
                     double outRate, double passband, std::complex<double>* out,
                     std::size_t outCapacity, std::size_t* made, char* error,
                     std::size_t errorSize);
}
