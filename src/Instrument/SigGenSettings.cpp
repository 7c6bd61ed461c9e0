#include "Instrument/SigGenSettings.h"

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

constexpr std::size_t kMaxTitle = 20;
constexpr std::string_view kDefaultTitle = "OneX-Rev";
constexpr double kHuge = std::numeric_limits<double>::max();

using K = SigGenFieldKind;

struct Entry {
    SigGenField field;
    double SigGenSettings::*number = nullptr;
    std::optional<double> SigGenSettings::*optionalNumber = nullptr;
};

const std::vector<Entry>& entries() {
    using S = SigGenSettings;
    // Scaling and ModAtten have no panel; the playback sends them as numbers,
    // so any finite value is kept.
    static const std::vector<Entry> table = {
        {{"Title", K::Title}},
        {{"Frequency", K::Real, 100000, 4000000000}, &S::Frequency},
        {{"Amplitude", K::Integer, -136, 20}, &S::Amplitude},
        {{"SamplingRate", K::Real, 1, 40000000}, &S::SamplingRate},
        {{"ReconFilter", K::Integer, 1, 4}, &S::ReconFilter},
        {{"RFblanking", K::Flag, 0, 1}, &S::RFblanking},
        {{"ArbRefSource", K::Flag, 0, 1}, &S::ArbRefSource},
        {{"MarkerPolarity", K::Flag, 0, 1}, &S::MarkerPolarity},
        {{"BBfilter", K::Integer, 1, 3, true}, nullptr, &S::BBfilter},
        {{"Scaling", K::Real, -kHuge, kHuge, true}, nullptr, &S::Scaling},
        {{"ModAtten", K::Real, -kHuge, kHuge, true}, nullptr, &S::ModAtten},
        {{"ALC", K::Flag, 0, 1, true}, nullptr, &S::ALC},
    };
    return table;
}

const Entry& entryFor(const SigGenField& field) {
    for (const Entry& e : entries())
        if (e.field.name == field.name) return e;
    std::abort();  // fields only come from the table
}

bool allowedTitleChar(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           std::string_view("_$&#+-[]").find(c) != std::string_view::npos;
}

bool inRange(const SigGenField& f, double v) {
    if (!std::isfinite(v) || v < f.lo || v > f.hi) return false;
    return f.kind == K::Real || v == std::floor(v);
}

std::optional<std::string> checkField(const SigGenSettings& s, const SigGenField& f) {
    const Entry& e = entryFor(f);
    if (f.kind == K::Title) {
        if (isValidTitle(s.Title)) return std::nullopt;
        return fmt::format("Title: \"{}\" is not {}", s.Title, describeSigGenFieldRange(f));
    }
    std::optional<double> v = e.number ? std::optional<double>(s.*e.number) : s.*e.optionalNumber;
    if (!v || inRange(f, *v)) return std::nullopt;
    return fmt::format("{}: {} is out of range (expected {})", f.name,
                       platform::exactNumberText(*v), describeSigGenFieldRange(f));
}

}  // namespace

SigGenSettings InitializeSigGenSettings(double overSampling) {
    SigGenSettings s;
    s.Title = std::string(kDefaultTitle);
    s.Frequency = 2200000000;
    s.Amplitude = -30;
    s.SamplingRate = chipSamplingRate(overSampling);
    s.ReconFilter = 2;
    s.RFblanking = 0;
    s.ArbRefSource = 0;
    s.MarkerPolarity = 0;
    return s;
}

std::string applyTitleRule(std::string_view text) {
    std::string out;
    for (char u : platform::toUpper(text))
        if (allowedTitleChar(u) && out.size() < kMaxTitle) out += u;
    return out.empty() ? "BLANK" : out;
}

bool isValidTitle(std::string_view title) {
    if (title == kDefaultTitle) return true;
    if (title.empty() || title.size() > kMaxTitle) return false;
    for (char c : title)
        if (!allowedTitleChar(c)) return false;
    return true;
}

const std::vector<SigGenField>& sigGenFields() {
    static const std::vector<SigGenField> fields = [] {
        std::vector<SigGenField> out;
        for (const Entry& e : entries())
            out.push_back(e.field);
        return out;
    }();
    return fields;
}

const SigGenField* findSigGenField(std::string_view name) {
    for (const SigGenField& f : sigGenFields())
        if (f.name == name) return &f;
    return nullptr;
}

std::string describeSigGenFieldRange(const SigGenField& f) {
    switch (f.kind) {
        case K::Title:
            return "1 to 20 characters of A-Z 0-9 _ $ & # + - [ ] (or the default \"OneX-Rev\")";
        case K::Flag:
            return "0 or 1";
        case K::Integer:
            return fmt::format("an integer from {} to {}", platform::num2str(f.lo),
                               platform::num2str(f.hi));
        case K::Real:
            if (f.hi == kHuge) return "a finite number";
            return fmt::format("a number from {} to {}", platform::num2str(f.lo),
                               platform::num2str(f.hi));
    }
    return {};
}

std::optional<std::string> formatSigGenField(const SigGenSettings& s, const SigGenField& f) {
    const Entry& e = entryFor(f);
    if (f.kind == K::Title) return s.Title;
    if (e.number) return platform::num2str(s.*e.number);
    const auto& v = s.*e.optionalNumber;
    if (!v) return std::nullopt;
    return platform::num2str(*v);
}

std::optional<std::string> setSigGenField(SigGenSettings& s, const SigGenField& f,
                                          std::string_view text) {
    const Entry& e = entryFor(f);
    SigGenSettings next = s;
    if (f.kind == K::Title) {
        next.Title = std::string(text);
    } else {
        auto v = platform::parseDecimal(text);
        if (!v)
            return fmt::format("SigGen.{}: \"{}\" is not {}", f.name, text,
                               describeSigGenFieldRange(f));
        if (e.number)
            next.*e.number = *v;
        else
            next.*e.optionalNumber = *v;
    }
    if (auto err = checkField(next, f)) return "SigGen." + *err;
    s = std::move(next);
    return std::nullopt;
}

std::optional<double> getSigGenNumber(const SigGenSettings& s, const SigGenField& f) {
    const Entry& e = entryFor(f);
    if (e.number) return s.*e.number;
    if (e.optionalNumber) return s.*e.optionalNumber;
    return std::nullopt;
}

std::optional<std::string> assignSigGenNumber(SigGenSettings& s, const SigGenField& f,
                                              std::optional<double> value) {
    const Entry& e = entryFor(f);
    if (f.kind == K::Title || (!value && !f.optional))
        return fmt::format("SigGen.{}: expected {}", f.name, describeSigGenFieldRange(f));
    SigGenSettings next = s;
    if (e.number)
        next.*e.number = *value;
    else
        next.*e.optionalNumber = value;
    if (auto err = checkField(next, f)) return "SigGen." + *err;
    s = std::move(next);
    return std::nullopt;
}

std::optional<std::string> checkSigGenSettings(const SigGenSettings& s) {
    for (const SigGenField& f : sigGenFields())
        if (auto err = checkField(s, f)) return err;
    return std::nullopt;
}

}  // namespace onex
