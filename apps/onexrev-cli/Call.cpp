// onexrev-cli call: runs any routine of the exported library by name, with
// its inputs from a MAT-file (in1..inN) and its outputs to one (out1..outM).
// Counts are checked and errors worded exactly as the library's gateways do.

#include <fmt/format.h>

#include <cstdio>
#include <map>
#include <memory>
#include <string>

#include "Cli.h"
#include "lib/Routines.h"
#include "platform/MatFile.h"

namespace onex::cli {
namespace {

struct CallOptions {
    std::string name;
    std::string in;
    std::string out;
    std::optional<int> nargout;
    bool list = false;
};

void listRoutines() {
    for (const lib::Routine& r : lib::routines()) {
        const auto joined = [](const std::vector<std::string>& names) {
            std::string s;
            for (const auto& n : names) {
                if (!s.empty()) s += ", ";
                s += n;
            }
            return s;
        };
        const std::string ins = joined(r.inputs), outs = joined(r.outputs);
        // "any" for varargin/varargout: the dispatchers take and give any number.
        const std::string count = r.anyInputs() ? fmt::format("{}-any", r.minInputs)
                                  : r.minInputs == r.maxInputs()
                                      ? std::to_string(r.maxInputs())
                                      : fmt::format("{}-{}", r.minInputs, r.maxInputs());
        const std::string outCount =
            r.anyOutputs() ? std::string("any") : std::to_string(r.maxOutputs());
        std::printf("%-32s in %-5s out %-3s [%s] = %s(%s)\n", std::string(r.name).c_str(),
                    count.c_str(), outCount.c_str(), outs.c_str(), std::string(r.name).c_str(),
                    ins.c_str());
    }
}

// in1..inN of the file, in order; N is the highest number present and every
// lower one must be there too. Other variables are not inputs.
std::vector<platform::Array> readInputs(const std::string& path) {
    std::map<std::size_t, platform::Array> found;
    for (auto& v : platform::readMatFile(path)) {
        if (v.name.size() < 3 || v.name.compare(0, 2, "in") != 0) continue;
        const std::string digits = v.name.substr(2);
        if (digits[0] == '0' || digits.find_first_not_of("0123456789") != std::string::npos)
            continue;
        if (digits.size() > 3)
            throw Error(fmt::format("--in {}: too many inputs ({})", path, v.name));
        found[std::stoul(digits)] = std::move(v.value);
    }
    std::vector<platform::Array> inputs;
    for (const auto& [k, value] : found) {
        if (k != inputs.size() + 1)
            throw Error(fmt::format("--in {}: variable in{} is missing (in{} is given)", path,
                                    inputs.size() + 1, k));
        inputs.push_back(value);
    }
    return inputs;
}

void runCall(const CallOptions& o) {
    if (o.list) {
        listRoutines();
        return;
    }
    if (o.name.empty()) throw UsageError{"call: name a routine (see onexrev-cli call --list)"};
    const lib::Routine* r = lib::findRoutine(o.name);
    if (!r)
        throw UsageError{
            fmt::format("call: unknown routine \"{}\" (see onexrev-cli call --list)", o.name)};
    if (o.nargout && *o.nargout < 0) throw UsageError{"--nargout: must not be negative"};
    const std::size_t nargout = o.nargout ? static_cast<std::size_t>(*o.nargout)
                                          : std::min<std::size_t>(1, r->maxOutputs());
    if (nargout > 0 && o.out.empty())
        throw UsageError{fmt::format("call {}: --out FILE.mat is needed for its outputs", o.name)};
    const std::vector<platform::Array> inputs =
        o.in.empty() ? std::vector<platform::Array>{} : readInputs(o.in);

    std::vector<platform::Array> outputs;
    try {
        outputs = lib::callRoutine(*r, nargout, inputs);
    } catch (const std::exception& e) {
        // The routine's own text, as the library prints it.
        std::fprintf(stderr, "%s\n", e.what());
        throw ReportedFailure{};
    }
    if (nargout == 0) return;
    platform::MatVariables vars;
    for (std::size_t j = 0; j < nargout; ++j)
        vars.push_back({fmt::format("out{}", j + 1), std::move(outputs[j])});
    platform::writeMatFile(o.out, vars);
}

}  // namespace

void addCallCommand(CLI::App& app) {
    auto options = std::make_shared<CallOptions>();
    CLI::App* sub = app.add_subcommand(
        "call",
        "Run a routine of the exported library: inputs in1..inN from --in, outputs "
        "out1..outM to --out");
    sub->add_option("name", options->name, "routine name, e.g. OneX_RevLongCode");
    sub->add_option("--in", options->in, "MAT-file holding the inputs as in1, in2, ...");
    sub->add_option("--out", options->out, "MAT-file to write the outputs to, as out1, out2, ...");
    sub->add_option("--nargout", options->nargout,
                    "number of outputs to compute (default 1, or 0 for a routine without)");
    sub->add_flag("--list", options->list, "list the routines with their inputs and outputs");
    sub->callback([options] { runCall(*options); });
}

}  // namespace onex::cli
