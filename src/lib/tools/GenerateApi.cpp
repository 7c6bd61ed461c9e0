// onex-lib-gen: writes the public header of OneX_Rev_b_lib and the
// definitions of its mlf/mlx entry points from Routines.def.
//
//   onex-lib-gen --header FILE --wrappers FILE
//
// The header is kept in the source tree (include/OneX_Rev_b_lib.h) so that it
// can be read and reviewed; the build compares it with a fresh copy, and the
// wrappers are compiled against it, so a stale header cannot go unnoticed.

#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "lib/NameList.h"
#include "onex_version_number.h"

namespace {

struct Entry {
    std::string name;
    std::size_t minInputs;
    std::vector<std::string> inputs;
    std::vector<std::string> outputs;
    bool varying;
    std::string summary;

    // varargin / varargout last: any number more (see Routines.def).
    bool anyInputs() const { return !inputs.empty() && inputs.back() == "varargin"; }
    bool anyOutputs() const { return !outputs.empty() && outputs.back() == "varargout"; }
};

std::vector<Entry> entries() {
    std::vector<Entry> out;
    const bool Fixed = false;
    const bool VaryingOutputs = true;
#define ONEX_ROUTINE(name, minIn, ins, outs, kind, summary)                                       \
    out.push_back({#name, minIn, onex::lib::splitNameList(#ins), onex::lib::splitNameList(#outs), \
                   kind, summary});
#include "lib/Routines.def"
#undef ONEX_ROUTINE
    (void)Fixed;
    (void)VaryingOutputs;
    return out;
}

// Names of the output references: the named outputs 2.., renamed when an
// input has the same name.
std::vector<std::string> outRefNames(const Entry& e) {
    std::vector<std::string> refs;
    const std::size_t named = e.outputs.size() - (e.anyOutputs() ? 1 : 0);
    for (std::size_t j = 1; j < named; ++j) {
        std::string n = e.outputs[j];
        for (const auto& in : e.inputs)
            if (in == n) n += "_out";
        refs.push_back(n);
    }
    return refs;
}

std::string join(const std::vector<std::string>& items, std::string_view sep) {
    std::string s;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i) s += sep;
        s += items[i];
    }
    return s;
}

// "ret name(p1, p2, ...)" wrapped at 100 columns with continuation lines
// aligned after the opening parenthesis.
std::string signature(const std::string& head, const std::vector<std::string>& params) {
    if (params.empty()) return head + "(void)";
    std::string out = head + "(";
    const std::size_t indent = out.size();
    std::size_t col = out.size();
    for (std::size_t i = 0; i < params.size(); ++i) {
        std::string p = params[i] + (i + 1 < params.size() ? "," : ")");
        if (i > 0) {
            if (col + 1 + p.size() > 99) {
                out += '\n';
                out.append(indent, ' ');
                col = indent;
            } else {
                out += " ";
                col += 1;
            }
        }
        out += p;
        col += p.size();
    }
    return out;
}

std::string braced(const std::vector<std::string>& items) {
    std::string s(1, '{');
    s += join(items, ", ");
    s += '}';
    return s;
}

std::vector<std::string> params(const std::vector<std::string>& names, const char* type) {
    std::vector<std::string> out;
    for (const auto& n : names)
        out.push_back(std::string(type) + n);
    return out;
}

struct Signatures {
    std::string mlf, mlx, mlfN, mlfV;
};

// The C parameters of the inputs: one array each, and after varargin (the
// first of the further inputs) a NULL-terminated list of the others.
std::vector<std::string> inputParams(const Entry& e) {
    auto ins = params(e.inputs, "mxArray* ");
    if (e.anyInputs()) ins.push_back("...");
    return ins;
}

Signatures signaturesOf(const Entry& e, const std::string& prefix) {
    Signatures s;
    const auto ins = inputParams(e);
    const auto refs = params(outRefNames(e), "mxArray** ");
    std::vector<std::string> mlfParams = refs;
    mlfParams.insert(mlfParams.end(), ins.begin(), ins.end());
    const auto head = [&](const char* type, const char* kind) {
        std::string h = prefix;
        h += type;
        h += kind;
        h += e.name;
        return h;
    };
    s.mlf = signature(head(e.outputs.empty() ? "bool " : "mxArray* ", "mlf"), mlfParams);
    s.mlx = signature(head("bool ", "mlx"),
                      {"int nlhs", "mxArray* plhs[]", "int nrhs", "mxArray* prhs[]"});
    if (e.varying) {
        // Outputs after the named ones go to the caller's array varargout.
        std::vector<std::string> nParams = {"int nargout"};
        nParams.insert(nParams.end(), refs.begin(), refs.end());
        if (e.anyOutputs()) nParams.push_back("mxArray* varargout[]");
        nParams.insert(nParams.end(), ins.begin(), ins.end());
        s.mlfN = signature(head("mxArray* ", "mlfN"), nParams);
        s.mlfV = signature(head("bool ", "mlfV"), ins);
    }
    return s;
}

// Words of `text` wrapped at 100 columns; lines after the first start with
// `indent`.
std::string wrapText(const std::string& text, const std::string& indent) {
    std::string out, word;
    std::size_t col = 0;
    std::istringstream words(text);
    bool first = true;
    while (words >> word) {
        if (!first && col + 1 + word.size() > 99) {
            out += '\n';
            out += indent;
            col = indent.size();
        } else if (!first) {
            out += ' ';
            ++col;
        }
        out += word;
        col += word.size();
        first = false;
    }
    return out;
}

std::string countText(std::size_t lo, std::size_t hi, bool any) {
    if (any) return lo == 0 ? "any number" : std::to_string(lo) + " or more";
    if (lo == hi) return std::to_string(hi);
    return std::to_string(lo) + " to " + std::to_string(hi);
}

const char* kPreamble = R"HDR(/* clang-format off */
/*
 * OneX_Rev_b_lib.h - the exported library of the 1xEV reverse-link signal
 * generator: compute frames, write waveform and parameter files, drive a
 * TARN-family signal generator and open the application's windows from C,
 * C++ or any language with a C FFI.
 *
 * Generated by onex-lib-gen from src/lib/Routines.def; do not edit. The
 * array type and its functions are in onex_mx.h.
 *
 * Use
 * ---
 *   OneX_Rev_b_libInitialize();           once, before any other routine
 *   ... mlf / mlx calls ...
 *   OneX_Rev_b_libTerminate();            after the last (closes instrument
 *                                         connections)
 *
 * Every routine Name has two entry points:
 *
 *   mlfName  the inputs as arrays, the first output returned and further
 *            outputs through references placed before the inputs. Pass NULL
 *            for an output not wanted and for trailing inputs not given
 *            (optional inputs then take their defaults). The number of
 *            outputs the routine computes is 1 + the position of the last
 *            non-NULL reference. Returns NULL on failure and writes no
 *            reference. A routine without outputs returns true on success.
 *   mlxName  the gateway: nlhs outputs into plhs[0..nlhs-1], nrhs inputs
 *            from prhs[0..nrhs-1]. Returns false on failure and leaves plhs
 *            untouched. With nlhs 0 no output is handed out.
 *
 * A routine whose work depends on the number of outputs asked for also has
 *
 *   mlfNName the number of outputs first, then as mlfName (NULL is returned
 *            when nargout is 0);
 *   mlfVName no output wanted: the inputs only, true on success.
 *
 * The window modules are dispatchers that take and give any number of
 * values (declared as varargin and varargout). Their mlf forms take the
 * inputs as a list ended by NULL (an empty value is an empty array, not
 * NULL):
 *
 *   mlfVOneX_Rev_GUI_b(name, gcbo, empty, handles, NULL);
 *   answer = mlfNQV_SigGen(2, more, NULL);    more[0] receives output 2
 *
 * mlfName gives the first output only; mlfNName hands outputs 2..nargout
 * out through the caller's array varargout. A callback gives nothing: run
 * it with mlfVName (or mlxName with nlhs 0).
 *
 * Values cross as the numeric platform passes them: numbers as 1 x 1
 * doubles, bit rows as 1 x N doubles of 0/1, waveforms as 1 x N complex,
 * texts as char rows, the parameter set, signal-generator settings and I/O
 * configuration as structures with the fields of parameter and
 * configuration files.
 *
 * Errors
 * ------
 * A failing call never raises and never ends the host: its outputs stay
 * unset, the error text is printed on stderr, and OneX_Rev_b_libLastError()
 * returns it until the thread's next call (NULL after a call that
 * succeeded). A call with more inputs or outputs than the routine declares
 * is refused before any work with the run-time's text, e.g.
 *   Run-time Error: File: OneX_RevLongCode Line: 1 Column: 1 The function
 *   "OneX_RevLongCode" was called with more than the declared number of
 *   inputs (4).
 * Fewer inputs than a routine needs give "<Name>: not enough input
 * arguments (...)"; a value of the wrong class or size gives "<Name>: input
 * k (name) must be ...".
 *
 * Ownership
 * ---------
 * Inputs are only read; the caller keeps them. Every output (the returned
 * array, each *reference written, each plhs[j]) is a new array that the
 * caller frees with mxDestroyArray. A reference is overwritten without
 * freeing what it held before.
 *
 * Threads
 * -------
 * The library is thread-compatible: routines may run at the same time on
 * different threads with different arrays (an input array may be shared by
 * concurrent calls only if no thread modifies it or calls mxGetField or
 * mxGetCell on it meanwhile). Calls that reach the instrument are
 * serialised inside the library. Initialize and Terminate must not run
 * concurrently with any other call. The last-error text is per thread.
 * The window routines are the exception: they run on one thread (see
 * Windows).
 *
 * Windows
 * -------
 * OneX_Rev_b opens the application's main window; everything else follows
 * from the user's actions. The windows are Qt widgets; windows and controls
 * cross as numeric handles. When the application that OneX_Rev_b opened
 * ends (File/Exit or the main window's close box), so does the event loop
 * it runs in:
 *   - a host that has created a QApplication runs the event loop itself:
 *     OneX_Rev_b returns once the main window is shown, and the host's
 *     exec() returns when the application ends;
 *   - in a host without one, OneX_Rev_b creates a QApplication, runs the
 *     event loop until the application ends, removes it and returns. It
 *     must then be called on the program's main thread, with a display
 *     (DISPLAY or WAYLAND_DISPLAY, or QT_QPA_PLATFORM=offscreen).
 * Every other window routine needs the host's QApplication and runs on its
 * thread only; called otherwise it fails with an error that says so. The
 * computing, file and instrument routines need neither a QApplication nor a
 * display. A library built without its desktop part (ONEX_BUILD_GUI=OFF)
 * has the same entry points; its window routines fail with an error.
 *
 * The routines without windows show no dialogs: where the application shows
 * an error dialog, they print its title and text on stderr. LoadUserDataFile
 * takes the file name as a third input in place of its file-open dialog;
 * loadParameters returns the parameter set and settings it read as its
 * second and third outputs instead of redrawing a window.
 */
#ifndef ONEX_REV_B_LIB_H
#define ONEX_REV_B_LIB_H

#include <stdbool.h>

#include "onex_mx.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Call once before any other routine; true when the library is ready. */
extern ONEX_API bool OneX_Rev_b_libInitialize(void);
/* Call after the last routine. */
extern ONEX_API void OneX_Rev_b_libTerminate(void);
/* The error text of this thread's last call, or NULL when it succeeded.
   Valid until the thread's next call into the library. */
extern ONEX_API const char* OneX_Rev_b_libLastError(void);
)HDR";

const char* kPostamble = R"HDR(
#ifdef __cplusplus
}
#endif

#endif /* ONEX_REV_B_LIB_H */
/* clang-format on */
)HDR";

// The header's version, for hosts to compare with the library they load.
std::string versionBlock() {
    std::ostringstream v;
    v << "\n/* The version of this header. */\n"
      << "#define ONEX_REV_B_LIB_VERSION \"" << ONEX_VERSION << "\"\n"
      << "#define ONEX_REV_B_LIB_VERSION_MAJOR " << ONEX_VERSION_MAJOR << "\n"
      << "#define ONEX_REV_B_LIB_VERSION_MINOR " << ONEX_VERSION_MINOR << "\n"
      << "#define ONEX_REV_B_LIB_VERSION_PATCH " << ONEX_VERSION_PATCH << "\n"
      << "/* The version of the library loaded: the number, and the commit it was built\n"
         "   from when known (\"1.6.0+g1a2b3c4\"). Hosts built with this header run with\n"
         "   a library of the same major version (the number in its file name). */\n"
         "extern ONEX_API const char* OneX_Rev_b_libVersion(void);\n";
    return v.str();
}

std::string header(const std::vector<Entry>& all) {
    std::ostringstream h;
    h << kPreamble << versionBlock();
    for (const Entry& e : all) {
        const Signatures s = signaturesOf(e, "extern ONEX_API ");
        std::ostringstream title, ins, outs;
        title << e.name << ": " << e.summary;
        ins << "Inputs (" << countText(e.minInputs, e.inputs.size(), e.anyInputs())
            << "): " << (e.inputs.empty() ? "none" : join(e.inputs, ", "));
        const std::size_t namedOutputs = e.outputs.size() - (e.anyOutputs() ? 1 : 0);
        outs << "Outputs (" << countText(namedOutputs, namedOutputs, e.anyOutputs())
             << "): " << (e.outputs.empty() ? "none" : join(e.outputs, ", "));
        h << "\n/* " << wrapText(title.str(), "   ") << "\n   " << wrapText(ins.str(), "     ")
          << "\n   " << wrapText(outs.str(), "     ") << " */\n";
        h << s.mlf << ";\n" << s.mlx << ";\n";
        if (e.varying) h << s.mlfN << ";\n" << s.mlfV << ";\n";
    }
    h << kPostamble;
    return h.str();
}

std::string wrappers(const std::vector<Entry>& all) {
    std::ostringstream w;
    w << "// Generated by onex-lib-gen from src/lib/Routines.def; do not edit.\n\n"
         "#include <cstdarg>\n\n#include \"OneX_Rev_b_lib.h\"\n#include \"lib/CApi.h\"\n\n"
         "using onex::lib::capi::inputList;\nusing onex::lib::capi::mlf;\n"
         "using onex::lib::capi::mlfNoOutput;\nusing onex::lib::capi::mlx;\n\n"
         "extern \"C\" {\n";
    for (std::size_t i = 0; i < all.size(); ++i) {
        const Entry& e = all[i];
        const Signatures s = signaturesOf(e, "ONEX_API ");
        const std::string id = std::to_string(i) + ", \"" + e.name + "\"";
        const std::string refs = braced(outRefNames(e));
        // After varargin the inputs run on to the first NULL.
        std::string prologue, ins = braced(e.inputs);
        if (e.anyInputs()) {
            prologue = "    va_list more;\n    va_start(more, " + e.inputs.back() +
                       ");\n    const auto in = inputList(" + ins + ", more);\n    va_end(more);\n";
            ins = "in";
        }
        w << "\n" << s.mlf << " {\n" << prologue;
        if (e.outputs.empty())
            w << "    return mlfNoOutput(" << id << ", " << ins << ");\n}\n";
        else
            w << "    return mlf(" << id << ", -1, " << refs << ", nullptr, " << ins << ");\n}\n";
        w << s.mlx << " {\n    return mlx(" << id << ", nlhs, plhs, nrhs, prhs);\n}\n";
        if (e.varying) {
            w << s.mlfN << " {\n"
              << prologue << "    return mlf(" << id << ", nargout, " << refs << ", "
              << (e.anyOutputs() ? "varargout" : "nullptr") << ", " << ins << ");\n}\n";
            w << s.mlfV << " {\n"
              << prologue << "    return mlfNoOutput(" << id << ", " << ins << ");\n}\n";
        }
    }
    w << "\n}  // extern \"C\"\n";
    return w.str();
}

bool writeFile(const std::string& path, const std::string& text) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f << text;
    return static_cast<bool>(f);
}

}  // namespace

int main(int argc, char** argv) {
    std::string headerPath, wrappersPath;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string_view opt = argv[i];
        if (opt == "--header")
            headerPath = argv[i + 1];
        else if (opt == "--wrappers")
            wrappersPath = argv[i + 1];
    }
    if (headerPath.empty() && wrappersPath.empty()) {
        std::cerr << "usage: onex-lib-gen --header FILE --wrappers FILE\n";
        return 2;
    }
    const auto all = entries();
    for (const Entry& e : all) {
        const auto misplaced = [](const std::vector<std::string>& names, const char* any) {
            for (std::size_t k = 0; k + 1 < names.size(); ++k)
                if (names[k] == any) return true;
            return false;
        };
        if (misplaced(e.inputs, "varargin") || misplaced(e.outputs, "varargout")) {
            std::cerr << "onex-lib-gen: " << e.name << ": varargin/varargout must come last\n";
            return 1;
        }
        if (e.anyOutputs() && !e.varying) {
            std::cerr << "onex-lib-gen: " << e.name << ": varargout needs VaryingOutputs\n";
            return 1;
        }
    }
    if (!headerPath.empty() && !writeFile(headerPath, header(all))) {
        std::cerr << "onex-lib-gen: cannot write " << headerPath << "\n";
        return 1;
    }
    if (!wrappersPath.empty() && !writeFile(wrappersPath, wrappers(all))) {
        std::cerr << "onex-lib-gen: cannot write " << wrappersPath << "\n";
        return 1;
    }
    return 0;
}
