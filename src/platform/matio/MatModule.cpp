// libonexrev-mat.so: the MAT-file library behind the functions of
// MatFileModule.h, loaded by the platform's MAT-file routines on first use.
#include <cerrno>
#include <cstdio>
#include <exception>

#include "platform/MatFileInternal.h"
#include "platform/MatFileModule.h"

namespace {

namespace mm = onex::platform::matmodule;

void report(const char* text, char* error, std::size_t errorSize) {
    if (error && errorSize) std::snprintf(error, errorSize, "%s", text);
}

// Runs `work`; an exception becomes the return value 1 and `failure`.
// errno as the work left it goes back in `failure` either way.
template <class Work>
int guarded(Work&& work, mm::Failure* failure, char* error, std::size_t errorSize) {
    *failure = {-1, 0};
    errno = 0;
    try {
        work();
        // The library may swallow a write error and still report success.
        failure->writeErrno = errno;
        return 0;
    } catch (const onex::platform::MatFileError& e) {
        *failure = {static_cast<int>(e.kind()), errno};
        report(e.what(), error, errorSize);
    } catch (const std::exception& e) {
        failure->writeErrno = errno;
        report(e.what(), error, errorSize);
    } catch (...) {
        report("unknown error", error, errorSize);
    }
    return 1;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) const onex::platform::ModuleTag*
onexrev_mat_module_tag() {
    return &mm::kTag;
}

extern "C" __attribute__((visibility("default"))) int onexrev_mat_write(
    const char* path, const onex::platform::MatVariables* variables, int format,
    mm::Failure* failure, char* error, std::size_t errorSize) {
    return guarded(
        [&] {
            onex::platform::detail::writeWithMatio(path, *variables,
                                                   static_cast<onex::platform::MatFormat>(format));
        },
        failure, error, errorSize);
}

extern "C" __attribute__((visibility("default"))) int onexrev_mat_read(
    const char* path, const onex::platform::MatReadLimits* limits,
    onex::platform::MatVariables* out, mm::Failure* failure, char* error, std::size_t errorSize) {
    return guarded([&] { *out = onex::platform::detail::readMatFileInProcess(path, *limits); },
                   failure, error, errorSize);
}
