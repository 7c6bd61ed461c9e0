#include "Instrument/SigGenSettingsArray.h"

#include <fmt/format.h>

#include "platform/Error.h"

namespace onex {

using platform::Array;

namespace {

double readScalar(const Array& a, std::string_view name) {
    if (!a.isDouble() || a.isComplex() || a.ndims() != 2 || !a.isScalar())
        throw Error(fmt::format("{}: expected a real double scalar, found {}", name, a.describe()));
    return a.scalar();
}

}  // namespace

Array toArray(const SigGenSettings& s) {
    std::vector<std::pair<std::string, Array>> fields = {
        {"Title", Array::string(s.Title)},       {"Frequency", Array(s.Frequency)},
        {"Amplitude", Array(s.Amplitude)},       {"SamplingRate", Array(s.SamplingRate)},
        {"ReconFilter", Array(s.ReconFilter)},   {"RFblanking", Array(s.RFblanking)},
        {"ArbRefSource", Array(s.ArbRefSource)}, {"MarkerPolarity", Array(s.MarkerPolarity)},
    };
    const auto optional = [&](const char* name, const std::optional<double>& v) {
        if (v) fields.emplace_back(name, Array(*v));
    };
    optional("BBfilter", s.BBfilter);
    optional("Scaling", s.Scaling);
    optional("ModAtten", s.ModAtten);
    optional("ALC", s.ALC);
    return Array::structure(fields);
}

void fromArray(const Array& a, SigGenSettings& out) {
    if (!a.isStruct() || a.ndims() != 2 || !a.isScalar())
        throw Error(fmt::format("settings: expected a 1x1 struct, found {}", a.describe()));
    const auto field = [&](std::string_view name) -> const Array& {
        if (!a.hasField(name)) throw Error(fmt::format("{}: missing", name));
        return a.field(name);
    };
    const auto number = [&](std::string_view name) { return readScalar(field(name), name); };
    const auto optional = [&](std::string_view name) -> std::optional<double> {
        if (!a.hasField(name)) return std::nullopt;
        return readScalar(a.field(name), name);
    };

    SigGenSettings s;
    const Array& title = field("Title");
    if (!title.isChar() || !title.isRow())
        throw Error(fmt::format("Title: expected a char row, found {}", title.describe()));
    s.Title = title.toString();
    s.Frequency = number("Frequency");
    s.Amplitude = number("Amplitude");
    s.SamplingRate = number("SamplingRate");
    s.ReconFilter = number("ReconFilter");
    s.RFblanking = number("RFblanking");
    s.ArbRefSource = number("ArbRefSource");
    s.MarkerPolarity = number("MarkerPolarity");
    s.BBfilter = optional("BBfilter");
    s.Scaling = optional("Scaling");
    s.ModAtten = optional("ModAtten");
    s.ALC = optional("ALC");
    if (auto err = checkSigGenSettings(s)) throw Error(*err);
    out = std::move(s);
}

}  // namespace onex
