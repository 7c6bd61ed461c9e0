// Initialisation, the last-error text and the calling conventions of the
// mlf/mlx entry points. No exception leaves this file: every failure is
// printed on stderr, kept for OneX_Rev_b_libLastError and reported by the
// entry point's return value.

#include "lib/CApi.h"

#include <fmt/format.h>

#include <atomic>
#include <cstdio>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "MexIO/HwIO.h"
#include "lib/Instrument.h"
#include "lib/MxArray.h"
#include "lib/Routines.h"
#include "platform/Error.h"
#include "version/Version.h"
#ifdef ONEX_LIB_WITH_WINDOWS
#include "lib/WindowHost.h"
#endif

namespace onex::lib::capi {

namespace {

std::atomic<int> gInitialised{0};

thread_local std::string tLastError;
thread_local bool tHasError = false;

void report(const std::string& text) {
    tLastError = text;
    tHasError = true;
    std::fprintf(stderr, "%s\n", text.c_str());
    std::fflush(stderr);
}

template <class F>
bool guarded(const char* name, F&& body) {
    tHasError = false;
    try {
        body();
        return true;
    } catch (const std::bad_alloc&) {
        report(fmt::format("{}: out of memory.", name));
    } catch (const std::exception& e) {
        report(e.what());
    } catch (...) {
        report(fmt::format("{}: unexpected failure.", name));
    }
    return false;
}

const Routine& routineAt(std::size_t index, const char* name) {
    if (gInitialised.load() <= 0)
        throw Error(fmt::format(
            "{}: the library is not initialised; call OneX_Rev_b_libInitialize first.", name));
    const auto all = routines();
    if (index >= all.size() || all[index].name != name)
        throw Error(
            fmt::format("{}: the library's routine table does not match its header.", name));
    return all[index];
}

struct ArrayDeleter {
    void operator()(mxArray* p) const { delete p; }
};
using OwnedArray = std::unique_ptr<mxArray, ArrayDeleter>;

// Wraps every output first, so that nothing is handed out unless all of them
// could be.
std::vector<OwnedArray> wrap(std::vector<Array>&& outputs) {
    std::vector<OwnedArray> out;
    out.reserve(outputs.size());
    for (Array& a : outputs)
        out.emplace_back(newArray(std::move(a)));
    return out;
}

// The inputs of an mlf call: as many as up to the last non-NULL one; a NULL
// before it is an input left out (its default applies, if it has one).
std::vector<const Array*> mlfInputs(const std::vector<mxArray*>& ins) {
    std::vector<mxArray*> given(ins);
    while (!given.empty() && !given.back())
        given.pop_back();
    std::vector<const Array*> in;
    for (mxArray* a : given)
        in.push_back(a ? a->value : nullptr);
    return in;
}

}  // namespace

bool mlx(std::size_t index, const char* name, int nlhs, mxArray* plhs[], int nrhs,
         mxArray* prhs[]) {
    return guarded(name, [&] {
        const Routine& r = routineAt(index, name);
        if (nlhs < 0 || nrhs < 0)
            throw Error(fmt::format("{}: the argument counts must not be negative.", name));
        // The declared counts are checked before anything else is looked at.
        if (static_cast<std::size_t>(nrhs) > r.maxInputs()) throw Error(tooManyInputsText(r));
        if (static_cast<std::size_t>(nlhs) > r.maxOutputs()) throw Error(tooManyOutputsText(r));
        if (nlhs > 0 && !plhs) throw Error(fmt::format("{}: plhs is NULL.", name));
        if (nrhs > 0 && !prhs) throw Error(fmt::format("{}: prhs is NULL.", name));
        std::vector<const Array*> in(static_cast<std::size_t>(nrhs));
        for (std::size_t k = 0; k < in.size(); ++k) {
            if (!prhs[k]) throw Error(fmt::format("{}: input {} is NULL.", name, k + 1));
            in[k] = prhs[k]->value;
        }
        auto outputs = wrap(callRoutine(r, static_cast<std::size_t>(nlhs), in));
        // With nlhs 0 the run-time's "ans" is not handed out.
        for (int j = 0; j < nlhs; ++j)
            plhs[j] = outputs[static_cast<std::size_t>(j)].release();
    });
}

mxArray* mlf(std::size_t index, const char* name, int nargout,
             std::initializer_list<mxArray**> outs, mxArray** varargout,
             const std::vector<mxArray*>& ins) {
    mxArray* first = nullptr;
    guarded(name, [&] {
        const Routine& r = routineAt(index, name);
        const std::vector<mxArray**> refs(outs);
        std::size_t wanted;
        if (nargout < 0) {
            wanted = 1;
            for (std::size_t j = 0; j < refs.size(); ++j)
                if (refs[j]) wanted = j + 2;
        } else {
            wanted = static_cast<std::size_t>(nargout);
            if (wanted > r.maxOutputs()) throw Error(tooManyOutputsText(r));
            if (wanted > 1 + refs.size() && !varargout)
                throw Error(fmt::format("{}: varargout is NULL.", name));
        }
        auto outputs = wrap(callRoutine(r, wanted, mlfInputs(ins)));
        for (std::size_t j = 1; j < wanted; ++j) {
            if (j - 1 < refs.size()) {
                if (refs[j - 1]) *refs[j - 1] = outputs[j].release();
            } else {
                varargout[j - 1 - refs.size()] = outputs[j].release();
            }
        }
        if (wanted >= 1) first = outputs[0].release();
    });
    return first;
}

std::vector<mxArray*> inputList(std::initializer_list<mxArray*> named, va_list more) {
    std::vector<mxArray*> in;
    for (mxArray* a : named) {
        if (!a) return in;
        in.push_back(a);
    }
    while (mxArray* a = va_arg(more, mxArray*))
        in.push_back(a);
    return in;
}

bool mlfNoOutput(std::size_t index, const char* name, const std::vector<mxArray*>& ins) {
    return guarded(name, [&] {
        const Routine& r = routineAt(index, name);
        callRoutine(r, 0, mlfInputs(ins));
    });
}

}  // namespace onex::lib::capi

extern "C" {

bool OneX_Rev_b_libInitialize(void) {
    try {
        onex::lib::routines();  // builds the table now rather than on the first call
#ifdef ONEX_LIB_WITH_WINDOWS
        onex::lib::installWindowHost();
#endif
    } catch (...) {
        std::fprintf(stderr, "OneX_Rev_b_libInitialize: out of memory.\n");
        return false;
    }
    onex::lib::capi::gInitialised.fetch_add(1);
    return true;
}

void OneX_Rev_b_libTerminate(void) {
    int n = onex::lib::capi::gInitialised.load();
    while (n > 0 && !onex::lib::capi::gInitialised.compare_exchange_weak(n, n - 1)) {
    }
    // The last terminate closes the instrument connections the driver keeps.
    if (n == 1) {
        try {
            onex::hwIOCloseAll();
            onex::lib::closeOwnConnections();
        } catch (...) {
        }
    }
}

const char* OneX_Rev_b_libLastError(void) {
    return onex::lib::capi::tHasError ? onex::lib::capi::tLastError.c_str() : nullptr;
}

const char* OneX_Rev_b_libVersion(void) {
    return onex::versionText();
}

}  // extern "C"
