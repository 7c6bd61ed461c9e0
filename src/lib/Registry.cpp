#include <fmt/format.h>

#include <algorithm>

#include "lib/Args.h"
#include "lib/Gateways.h"
#include "lib/Routines.h"
#include "platform/Error.h"

namespace onex::lib {

namespace {

std::vector<Routine> buildTable() {
    constexpr OutputKind Fixed = OutputKind::Fixed;
    constexpr OutputKind VaryingOutputs = OutputKind::VaryingOutputs;
    std::vector<Routine> table;
#define ONEX_ROUTINE(name, minIn, ins, outs, kind, summary) \
    table.push_back(                                        \
        {#name, minIn, splitNameList(#ins), splitNameList(#outs), kind, summary, &gw::name});
#include "lib/Routines.def"
#undef ONEX_ROUTINE
    (void)Fixed;
    (void)VaryingOutputs;
    return table;
}

}  // namespace

std::span<const Routine> routines() {
    static const std::vector<Routine> table = buildTable();
    return table;
}

const Routine* findRoutine(std::string_view name) {
    const auto all = routines();
    auto it =
        std::find_if(all.begin(), all.end(), [&](const Routine& r) { return r.name == name; });
    return it == all.end() ? nullptr : &*it;
}

std::string tooManyInputsText(const Routine& r) {
    return fmt::format(
        "Run-time Error: File: {0} Line: 1 Column: 1 The function \"{0}\" was called with more "
        "than the declared number of inputs ({1}).",
        r.name, r.maxInputs());
}

std::string tooManyOutputsText(const Routine& r) {
    return fmt::format(
        "Run-time Error: File: {0} Line: 1 Column: 1 The function \"{0}\" was called with more "
        "than the declared number of outputs ({1}).",
        r.name, r.maxOutputs());
}

std::string notEnoughInputsText(const Routine& r, std::size_t given) {
    return fmt::format("{}: not enough input arguments ({} given, {} {} needed).", r.name, given,
                       r.minInputs == r.maxInputs() ? "exactly" : "at least", r.minInputs);
}

std::vector<Array> callRoutine(const Routine& r, std::size_t nargout, std::span<const Array> in) {
    std::vector<const Array*> pointers;
    for (const Array& a : in)
        pointers.push_back(&a);
    return callRoutine(r, nargout, pointers);
}

std::vector<Array> callRoutine(const Routine& r, std::size_t nargout,
                               std::span<const Array* const> in) {
    if (in.size() > r.maxInputs()) throw Error(tooManyInputsText(r));
    if (nargout > r.maxOutputs()) throw Error(tooManyOutputsText(r));
    if (in.size() < r.minInputs) throw Error(notEnoughInputsText(r, in.size()));
    std::vector<Array> out = r.gateway(Args(r, nargout, in));
    std::size_t wanted = r.maxOutputs() == 0 ? 0 : std::max<std::size_t>(nargout, 1);
    if (nargout == 0 && r.anyOutputs()) wanted = std::min<std::size_t>(out.size(), 1);
    if (out.size() < wanted)
        throw Error(fmt::format("{}: produced {} outputs where {} were asked for.", r.name,
                                out.size(), wanted));
    out.resize(wanted);
    return out;
}

}  // namespace onex::lib
