#include "OneX/ParameterFields.h"

#include <fmt/format.h>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "OneX/AirInterface.h"
#include "platform/Numeric.h"
#include "platform/Text.h"

namespace onex {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr std::string_view kOffText = "off";

struct Access {
    double Parameters::*number = nullptr;
    std::string Parameters::*text = nullptr;
    std::vector<double> Parameters::*bits = nullptr;
    std::vector<double> SlotParameters::*slot = nullptr;
};

struct Entry {
    ParameterField field;
    Access access;
};

const std::vector<Entry>& entries() {
    using P = Parameters;
    using S = SlotParameters;
    using K = FieldKind;
    static const std::vector<Entry> table = {
        {{"ParameterFileFormat_ID", K::Text, 0, 0, 0, false, false},
         {.text = &P::ParameterFileFormat_ID}},
        {{"RRIactive", K::Flag, 0, 1}, {.number = &P::RRIactive}},
        {{"RRIvalue", K::Integer, 0, 7}, {.number = &P::RRIvalue}},
        {{"DRCactive", K::Flag, 0, 1}, {.number = &P::DRCactive}},
        {{"DRCrelGain", K::Real, -30, 30}, {.number = &P::DRCrelGain}},
        {{"ACKactive", K::Flag, 0, 1}, {.number = &P::ACKactive}},
        {{"ACKrelGain", K::Real, -30, 30}, {.number = &P::ACKrelGain}},
        {{"DATAactive", K::Flag, 0, 1}, {.number = &P::DATAactive}},
        {{"DATArelGain", K::Real, -30, 30}, {.number = &P::DATArelGain}},
        {{"EncoderActive", K::Flag, 0, 1}, {.number = &P::EncoderActive}},
        {{"DataRate", K::Integer, 1, 5}, {.number = &P::DataRate}},
        {{"DATASourceType", K::Integer, 1, 8}, {.number = &P::DATASourceType}},
        {{"DATASourceName", K::Text}, {.text = &P::DATASourceName}},
        {{"dataSourceBitstream", K::Bits, 0, 1, kDataFrameSymbols},
         {.bits = &P::dataSourceBitstream}},
        {{"IMask", K::Mask, 0, kMaxLongCodeMask}, {.number = &P::IMask}},
        {{"QMask", K::Mask, 0, kMaxLongCodeMask}, {.number = &P::QMask}},
        {{"slot.ACKslotActive", K::SlotVector, 0, 1, kSlotsPerFrame}, {.slot = &S::ACKslotActive}},
        {{"slot.ACKslotValue", K::SlotVector, 0, 1, kSlotsPerFrame}, {.slot = &S::ACKslotValue}},
        {{"slot.DRCslotActive", K::SlotVector, 0, 1, kDrcSlotEntries}, {.slot = &S::DRCslotActive}},
        {{"slot.DRCslotValue", K::SlotVector, 0, 15, kDrcSlotEntries, true},
         {.slot = &S::DRCslotValue}},
        {{"slot.DRCslotCover", K::SlotVector, 0, 7, kDrcSlotEntries}, {.slot = &S::DRCslotCover}},
        {{"OverSampling", K::Integer, kMinOverSampling, kMaxOverSampling},
         {.number = &P::OverSampling}},
        {{"FilterType", K::Integer, 1, 4}, {.number = &P::FilterType}},
        {{"MirrorSpectrum", K::Flag, 0, 1}, {.number = &P::MirrorSpectrum}},
        {{"ProjectedLength", K::Integer, 0, double{kMaxOverSampling} * kFrameChips, 0, false, true,
          true},
         {.number = &P::ProjectedLength}},
        {{"LastPath", K::Text}, {.text = &P::LastPath}},
        // Impairments: appended, so that older files keep their field order.
        {{"IQGainImbalance", K::Real, -3, 3}, {.number = &P::IQGainImbalance}},
        {{"QuadratureError", K::Real, -10, 10}, {.number = &P::QuadratureError}},
        {{"CarrierLeakage", K::Real, -80, -10, 0, false, true, false, -kInf},
         {.number = &P::CarrierLeakage}},
        {{"FreqError", K::Real, -20000, 20000}, {.number = &P::FreqError}},
        {{"FreqErrorSnap", K::Flag, 0, 1}, {.number = &P::FreqErrorSnap}},
        {{"CNRatio", K::Real, -10, 60, 0, false, true, false, kInf}, {.number = &P::CNRatio}},
        {{"NoiseSeed", K::Integer, 0, 4294967295.0}, {.number = &P::NoiseSeed}},
    };
    return table;
}

const Entry& entryFor(const ParameterField& field) {
    for (const Entry& e : entries())
        if (e.field.name == field.name) return e;
    std::abort();  // fields only come from the table
}

std::string formatNumber(double v) {
    return platform::num2str(v);
}

using platform::parseDecimal;
using platform::trimBlanks;

std::string formatVector(const std::vector<double>& v, bool hex) {
    std::string out = "[";
    for (std::size_t i = 0; i < v.size(); ++i) {
        if (i) out += ' ';
        out += (hex && v[i] >= 0 && v[i] == std::floor(v[i])) ? platform::toHex(v[i])
                                                              : formatNumber(v[i]);
    }
    return out + "]";
}

// "[1 0 1]", "1,0,1" or "1 0 1"; hexadecimal entries when `hex`.
std::optional<std::vector<double>> parseVector(std::string_view text, bool hex) {
    text = trimBlanks(text);
    if (!text.empty() && text.front() == '[') {
        if (text.back() != ']') return std::nullopt;
        text = text.substr(1, text.size() - 2);
    }
    std::vector<double> out;
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && (text[i] == ',' || text[i] == ';' ||
                                   std::isspace(static_cast<unsigned char>(text[i]))))
            ++i;
        std::size_t j = i;
        while (j < text.size() && text[j] != ',' && text[j] != ';' &&
               !std::isspace(static_cast<unsigned char>(text[j])))
            ++j;
        if (j == i) break;
        auto v =
            hex ? platform::parseHex(text.substr(i, j - i)) : parseDecimal(text.substr(i, j - i));
        if (!v) return std::nullopt;
        out.push_back(*v);
        i = j;
    }
    return out;
}

bool isNanText(std::string_view text) {
    return platform::equalsIgnoreCase(trimBlanks(text), "nan");
}

bool inRange(const ParameterField& f, double v) {
    if (f.nanAllowed && std::isnan(v)) return true;
    if (isOffValue(f, v)) return true;
    if (!std::isfinite(v) || v < f.lo || v > f.hi) return false;
    bool whole = f.kind != FieldKind::Real;
    return !whole || v == std::floor(v);
}

std::optional<std::string> checkValue(const ParameterField& f, const Parameters& p) {
    const Access& a = entryFor(f).access;
    auto bad = [&](const std::string& what) {
        return fmt::format("{}: {} (expected {})", f.name, what, describeFieldRange(f));
    };
    switch (f.kind) {
        case FieldKind::Text:
            if (!f.editable && p.*a.text != InitializeParameters().*a.text)
                return bad(fmt::format("\"{}\" is not this format", p.*a.text));
            return std::nullopt;
        case FieldKind::Flag:
        case FieldKind::Integer:
        case FieldKind::Real:
        case FieldKind::Mask: {
            double v = p.*a.number;
            if (!inRange(f, v))
                return bad((f.kind == FieldKind::Mask && v >= 0 && v == std::floor(v)
                                ? platform::toHex(v)
                                : platform::exactNumberText(v)) +
                           " is out of range");
            return std::nullopt;
        }
        case FieldKind::Bits: {
            const auto& v = p.*a.bits;
            if (v.size() > f.length) return bad(fmt::format("{} entries", v.size()));
            for (double b : v)
                if (b != 0 && b != 1) return bad("an entry is not 0 or 1");
            return std::nullopt;
        }
        case FieldKind::SlotVector: {
            const auto& v = p.slot.*a.slot;
            if (v.size() != f.length) return bad(fmt::format("{} entries", v.size()));
            for (double x : v)
                if (!inRange(f, x)) return bad(platform::exactNumberText(x) + " is out of range");
            return std::nullopt;
        }
    }
    return std::nullopt;
}

}  // namespace

bool isOffValue(const ParameterField& f, double value) {
    return std::isinf(f.offValue) && value == f.offValue;
}

const std::vector<ParameterField>& parameterFields() {
    static const std::vector<ParameterField> fields = [] {
        std::vector<ParameterField> out;
        for (const Entry& e : entries())
            out.push_back(e.field);
        return out;
    }();
    return fields;
}

const ParameterField* findParameterField(std::string_view name) {
    for (const ParameterField& f : parameterFields())
        if (f.name == name) return &f;
    return nullptr;
}

std::string describeFieldRange(const ParameterField& f) {
    switch (f.kind) {
        case FieldKind::Text:
            return f.editable
                       ? "text"
                       : "the fixed text \"" + InitializeParameters().ParameterFileFormat_ID + "\"";
        case FieldKind::Flag:
            return "0 or 1";
        case FieldKind::Integer:
            return fmt::format("an integer from {} to {}{}", formatNumber(f.lo), formatNumber(f.hi),
                               f.nanAllowed ? " or NaN" : "");
        case FieldKind::Real:
            return fmt::format("a number from {} to {}{}", formatNumber(f.lo), formatNumber(f.hi),
                               std::isinf(f.offValue) ? " or off" : "");
        case FieldKind::Mask:
            return fmt::format("hexadecimal 0 to {}", platform::toHex(f.hi));
        case FieldKind::Bits:
            return fmt::format("a row of at most {} bits (0 or 1)", f.length);
        case FieldKind::SlotVector:
            return fmt::format("{} {} from {} to {}", f.length,
                               f.hexDigits ? "hexadecimal digits" : "integers", formatNumber(f.lo),
                               f.hexDigits ? platform::toHex(f.hi) : formatNumber(f.hi));
    }
    return {};
}

std::string formatParameterField(const Parameters& p, const ParameterField& f) {
    const Access& a = entryFor(f).access;
    switch (f.kind) {
        case FieldKind::Text:
            return p.*a.text;
        case FieldKind::Mask:
            return platform::toHex(p.*a.number);
        case FieldKind::Flag:
        case FieldKind::Integer:
        case FieldKind::Real:
            if (isOffValue(f, p.*a.number)) return std::string(kOffText);
            return formatNumber(p.*a.number);
        case FieldKind::Bits:
            return formatVector(p.*a.bits, false);
        case FieldKind::SlotVector:
            return formatVector(p.slot.*a.slot, f.hexDigits);
    }
    return {};
}

std::optional<std::string> setParameterField(Parameters& p, const ParameterField& f,
                                             std::string_view text) {
    if (!f.editable) return fmt::format("{} cannot be changed", f.name);
    const Access& a = entryFor(f).access;
    Parameters next = p;
    auto malformed = [&] {
        return fmt::format("{}: \"{}\" is not {}", f.name, text, describeFieldRange(f));
    };
    switch (f.kind) {
        case FieldKind::Text:
            next.*a.text = std::string(text);
            break;
        case FieldKind::Mask: {
            auto v = platform::parseHex(text);
            if (!v) return malformed();
            next.*a.number = *v;
            break;
        }
        case FieldKind::Flag:
        case FieldKind::Integer:
        case FieldKind::Real: {
            auto v = parseDecimal(text);
            if (!v && f.nanAllowed && isNanText(text)) v = std::nan("");
            if (!v && std::isinf(f.offValue) &&
                platform::equalsIgnoreCase(trimBlanks(text), kOffText))
                v = f.offValue;
            if (!v) return malformed();
            next.*a.number = *v;
            break;
        }
        case FieldKind::Bits:
        case FieldKind::SlotVector: {
            auto v = parseVector(text, f.hexDigits);
            if (!v) return malformed();
            (f.kind == FieldKind::Bits ? next.*a.bits : next.slot.*a.slot) = std::move(*v);
            break;
        }
    }
    if (auto err = checkValue(f, next)) return err;
    p = std::move(next);
    return std::nullopt;
}

ParameterValue getParameterField(const Parameters& p, const ParameterField& f) {
    const Access& a = entryFor(f).access;
    switch (f.kind) {
        case FieldKind::Text:
            return p.*a.text;
        case FieldKind::Bits:
            return p.*a.bits;
        case FieldKind::SlotVector:
            return p.slot.*a.slot;
        case FieldKind::Flag:
        case FieldKind::Integer:
        case FieldKind::Real:
        case FieldKind::Mask:
            break;
    }
    return p.*a.number;
}

std::optional<std::string> assignParameterField(Parameters& p, const ParameterField& f,
                                                ParameterValue value) {
    if (!f.editable) return fmt::format("{} cannot be changed", f.name);
    const Access& a = entryFor(f).access;
    Parameters next = p;
    bool fits = false;
    if (auto* text = std::get_if<std::string>(&value); text && a.text) {
        next.*a.text = std::move(*text);
        fits = true;
    } else if (auto* number = std::get_if<double>(&value); number && a.number) {
        next.*a.number = *number;
        fits = true;
    } else if (auto* row = std::get_if<std::vector<double>>(&value); row && (a.bits || a.slot)) {
        (a.bits ? next.*a.bits : next.slot.*a.slot) = std::move(*row);
        fits = true;
    }
    if (!fits) return fmt::format("{}: expected {}", f.name, describeFieldRange(f));
    if (auto err = checkValue(f, next)) return err;
    p = std::move(next);
    return std::nullopt;
}

std::optional<std::string> checkParameterSet(const Parameters& p) {
    for (const ParameterField& f : parameterFields())
        if (auto err = checkValue(f, p)) return err;
    return std::nullopt;
}

}  // namespace onex
