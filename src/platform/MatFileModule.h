#pragma once

// The interface between the MAT-file routines and the module that holds the
// MAT-file library (libonexrev-mat.so). The library pulls in HDF5 and its
// chain (curl, Kerberos, TLS, LDAP), dozens of shared libraries that cost
// every program start; so it is loaded only when a file is written (reads
// run in the reader program, which links it directly). Nothing but these
// functions and the tag cross the boundary, and no exception does.

#include <cstddef>
#include <cstdint>

#include "onex_version_number.h"
#include "platform/MatFile.h"
#include "platform/Module.h"

namespace onex::platform::matmodule {

// Raised whenever the functions below or what they take change.
inline constexpr std::uint32_t kInterface = 1;

inline constexpr ModuleTag kTag{sizeof(ModuleTag), kInterface, ONEX_VERSION,
                                sizeof(MatVariable) + sizeof(MatReadLimits)};

inline constexpr const char* kFileName = "libonexrev-mat.so";
inline constexpr const char* kTagSymbol = "onexrev_mat_module_tag";
inline constexpr const char* kWriteSymbol = "onexrev_mat_write";
inline constexpr const char* kReadSymbol = "onexrev_mat_read";

// How a call ended: on failure the text goes to `error`, and
struct Failure {
    int matErrorKind;  // a MatFileError::Kind, or -1 for any other error
    int writeErrno;    // errno as the library left it (also after a success)
};

}  // namespace onex::platform::matmodule

extern "C" {
const onex::platform::ModuleTag* onexrev_mat_module_tag();
// Writes `variables` to `path` (detail::writeWithMatio). 0, or 1 with the
// reason in `error` and `failure`.
int onexrev_mat_write(const char* path, const onex::platform::MatVariables* variables, int format,
                      onex::platform::matmodule::Failure* failure, char* error,
                      std::size_t errorSize);
// Reads every variable of `path` in this process into `out`
// (detail::readMatFileInProcess). 0, or 1 as above.
int onexrev_mat_read(const char* path, const onex::platform::MatReadLimits* limits,
                     onex::platform::MatVariables* out, onex::platform::matmodule::Failure* failure,
                     char* error, std::size_t errorSize);
}
