#include <fmt/format.h>
#include <cstdio>

#include "Cli.h"
#include "Instrument/ParameterFiles.h"
#include "OneX/ParameterFields.h"

namespace onex::cli {
namespace {

struct ParamsOptions {
    ParameterOptions parameters;
    std::string out;
    std::string show;
};

constexpr int kNameWidth = 24;

std::string quoteText(const std::string& text) {
    return "\"" + text + "\"";
}

// A bit stream as its length and the bits, 64 to a line.
std::string bitsText(const std::vector<double>& bits) {
    std::string out = fmt::format("{} bits", bits.size());
    for (std::size_t i = 0; i < bits.size(); ++i) {
        if (i % 64 == 0) out += fmt::format("\n{:{}}", "", kNameWidth + 4);
        out += bits[i] != 0 ? '1' : '0';
    }
    return out;
}

std::string parameterText(const Parameters& p, const ParameterField& f) {
    switch (f.kind) {
        case FieldKind::Text:
            return quoteText(formatParameterField(p, f));
        case FieldKind::Bits:
            return bitsText(p.dataSourceBitstream);
        case FieldKind::Mask:
            return formatParameterField(p, f) + " (hex)";
        case FieldKind::SlotVector:
            return formatParameterField(p, f) + (f.hexDigits ? " (hex)" : "");
        default:
            return formatParameterField(p, f);
    }
}

void show(const std::string& file) {
    ParameterFileResult r = readParameterFile(file, InitializeParameters().ParameterFileFormat_ID);
    if (!r.result.ok) throw Error(failureText(r.result));
    const ParameterFile& c = *r.contents;
    std::printf("Parameter file %s\n", file.c_str());
    if (c.savedFilename) std::printf("  saved as %s\n", quoteText(*c.savedFilename).c_str());
    std::printf("fileParameters:\n");
    for (const ParameterField& f : parameterFields())
        std::printf("  %-*s  %s\n", kNameWidth, std::string(f.name).c_str(),
                    parameterText(c.parameters, f).c_str());
    if (!c.settings) {
        std::printf("sigGenParameters: none in the file (loading keeps the current settings)\n");
        return;
    }
    std::printf("sigGenParameters:\n");
    for (const SigGenField& f : sigGenFields()) {
        auto value = formatSigGenField(*c.settings, f);
        if (!value) continue;  // optional field not in the file
        if (f.kind == SigGenFieldKind::Title) value = quoteText(*value);
        std::printf("  %-*s  %s\n", kNameWidth, std::string(f.name).c_str(), value->c_str());
    }
}

void write(const ParamsOptions& options) {
    Setup setup = buildSetup(options.parameters);
    // Like File/Save: the extension is added unless present, and the file
    // records its full path.
    const std::filesystem::path path =
        std::filesystem::absolute(addFileExtention(options.out, kParameterFileExtension));
    FileResult r = saveParameters(path, setup.parameters, setup.settings);
    if (!r.ok) throw Error(failureText(r));
    std::printf("Written to %s\n", path.string().c_str());
}

}  // namespace

void addParamsCommand(CLI::App& app) {
    auto options = std::make_shared<ParamsOptions>();
    CLI::App* sub = app.add_subcommand("params", "Write a parameter file, or show what one holds");
    options->parameters.addTo(*sub, true);
    CLI::Option* out =
        sub->add_option("--out", options->out,
                        "parameter file to write (\".mat\" is added unless the name ends in it)");
    CLI::Option* showOpt = sub->add_option("--show", options->show,
                                           "parameter file whose fields and settings to print");
    showOpt->excludes(out);
    for (const char* name : {"--params", "--set", "--userfile"})
        showOpt->excludes(sub->get_option(name));
    sub->callback([options] {
        if (!options->show.empty()) return show(options->show);
        if (options->out.empty()) throw UsageError{"params: give --out FILE or --show FILE"};
        write(*options);
    });
}

}  // namespace onex::cli
