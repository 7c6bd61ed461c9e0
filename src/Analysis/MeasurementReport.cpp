#include "Analysis/MeasurementReport.h"

#include <fmt/format.h>

#include <charconv>
#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "Analysis/Units.h"

namespace onex::analysis {

namespace {

// The keys of the CCDF points, in the order of kCcdfPercent.
constexpr std::string_view kCcdfKeys[] = {"10", "1", "0.1", "0.01", "0.001"};
static_assert(std::size(kCcdfKeys) == kCcdfPercent.size());

std::string offsetKey(double offsetHz) {
    return std::to_string(static_cast<long long>(offsetHz));
}

class JsonWriter : public MeasurementFieldVisitor {
  public:
    std::string json;

    void beginObject(std::string_view key) override {
        this->key(key);
        json += '{';
        first_.push_back(true);
    }
    void endObject() override {
        json += '}';
        first_.pop_back();
    }
    void number(std::string_view key, std::optional<double> value) override {
        this->key(key);
        if (!value || !std::isfinite(*value)) {
            json += "null";
            return;
        }
        char buffer[32];
        const auto r = std::to_chars(buffer, buffer + sizeof buffer, *value);
        json.append(buffer, r.ptr);
    }
    void boolean(std::string_view key, bool value) override {
        this->key(key);
        json += value ? "true" : "false";
    }
    // The texts are this file's own: quotes and backslashes are all there
    // could be to escape.
    void text(std::string_view key, std::string_view value) override {
        this->key(key);
        json += '"';
        for (char c : value) {
            if (c == '"' || c == '\\') json += '\\';
            json += c;
        }
        json += '"';
    }

  private:
    std::vector<bool> first_;

    // The keys are this file's own ASCII names, numbers and paths of them:
    // nothing to escape.
    void key(std::string_view key) {
        if (first_.empty()) return;  // the outermost object has no key
        if (!first_.back()) json += ',';
        first_.back() = false;
        json += '"';
        json += key;
        json += "\":";
    }
};

constexpr std::string_view kNotAvailable = "not available";
constexpr std::string_view kNotFinite = "not a finite number";
constexpr std::string_view kChannelOff = "channel not on";

// Below 1 Hz (0 included) the display units would say GHz.
std::string frequencyText(double hz) {
    const FrequencyUnits u =
        std::abs(hz) < 1 ? FrequencyUnits{"Hz", 1} : DetermineFrequencyUnits(std::abs(hz));
    return fmt::format("{:g} {}", hz / u.divider, u.units);
}

// "not available" wherever the JSON text has null.
std::string dbText(const std::optional<double>& v, const char* unit = "dB") {
    if (!v || !std::isfinite(*v)) return std::string(kNotAvailable);
    return fmt::format("{:.2f} {}", *v, unit);
}

// Forwards the walk to the visitor, numbers only when finite, and notes the
// path of every number that is not with the reason.
class Walk {
  public:
    explicit Walk(MeasurementFieldVisitor& v) : v_(v) {}
    void beginObject(std::string_view key) {
        v_.beginObject(key);
        path_.emplace_back(key);
    }
    void endObject() {
        v_.endObject();
        path_.pop_back();
    }
    void number(std::string_view key, std::optional<double> value,
                std::string_view whyNot = kNotFinite) {
        if (value && std::isfinite(*value)) return v_.number(key, value);
        v_.number(key, std::nullopt);
        std::string path;
        for (const std::string& k : path_)
            if (!k.empty()) path += k + '.';
        missing_.emplace_back(path + std::string(key), whyNot.empty() ? kNotFinite : whyNot);
    }
    void boolean(std::string_view key, bool value) { v_.boolean(key, value); }
    void missingFigures() {
        v_.beginObject("not_available");
        for (const auto& [path, why] : missing_)
            v_.text(path, why);
        v_.endObject();
    }

  private:
    MeasurementFieldVisitor& v_;
    std::vector<std::string> path_;
    std::vector<std::pair<std::string, std::string_view>> missing_;
};

}  // namespace

void visitMeasurementFields(const Measurements& m, MeasurementFieldVisitor& visitor) {
    const WaveformMeasurements& w = m.waveform;
    Walk v(visitor);
    v.beginObject({});
    v.number("sample_rate", w.sampleRate);
    v.number("samples", static_cast<double>(w.samples));
    v.number("average_power", w.averagePower);
    v.number("peak_power", w.peakPower);
    v.number("papr_db", w.paprDb);
    v.beginObject("ccdf_db");
    for (std::size_t i = 0; i < kCcdfPercent.size(); ++i)
        v.number(kCcdfKeys[i], w.ccdfDb[i]);
    v.endObject();
    v.number("obw_hz", w.obwHz);
    v.beginObject("acpr_dbc");
    for (const AcprPoint& a : w.acpr)
        v.number(offsetKey(a.offsetHz), a.dbc, acprGapText(a.gap));
    v.endObject();
    v.number("rho", m.codeDomain.rho);
    v.beginObject("channels");
    for (std::size_t k = 0; k < kCodeChannels; ++k) {
        const ChannelPower& c = m.codeDomain.channels[k];
        v.beginObject(codeChannelName(static_cast<CodeChannel>(k)));
        v.boolean("active", c.active);
        v.number("configured_db", c.configuredDb);
        v.number("measured_db", c.measuredDb, c.active ? kNotFinite : kChannelOff);
        v.endObject();
    }
    v.endObject();
    v.missingFigures();
    v.endObject();
}

std::string measurementsJson(const Measurements& m) {
    JsonWriter writer;
    visitMeasurementFields(m, writer);
    return writer.json + '\n';
}

std::string measurementsTable(const Measurements& m) {
    const WaveformMeasurements& w = m.waveform;
    std::string t;
    auto line = [&t](std::string_view label, const std::string& value) {
        t += fmt::format("{:<28}{}\n", label, value);
    };
    line("Samples", fmt::format("{} at {} Sa/s", w.samples, fmt::format("{:.0f}", w.sampleRate)));
    line("Average power", fmt::format("{:.6g}", w.averagePower));
    line("Peak power", fmt::format("{:.6g}", w.peakPower));
    line("Peak-to-average ratio", dbText(w.paprDb));
    for (std::size_t i = 0; i < kCcdfPercent.size(); ++i)
        line(i == 0 ? fmt::format("CCDF {:>7} %", kCcdfKeys[i])
                    : fmt::format("     {:>7} %", kCcdfKeys[i]),
             dbText(w.ccdfDb[i]) + (i == 0 ? " above average" : ""));
    line(fmt::format("Occupied bandwidth ({:g} %)", kOccupiedShare * 100), frequencyText(w.obwHz));
    line("ACPR", fmt::format("{} over {}", frequencyText(w.offsetBandwidthHz),
                             frequencyText(w.channelBandwidthHz)));
    for (const AcprPoint& a : w.acpr) {
        const std::string offset =
            fmt::format("{}{}", a.offsetHz > 0 ? "+" : "", frequencyText(a.offsetHz));
        std::string value = dbText(a.dbc, "dBc");
        if (a.gap != AcprGap::None) value += fmt::format(": {}", acprGapText(a.gap));
        line(fmt::format("    {:>12}", offset), value);
    }
    line("Waveform quality (rho)", fmt::format("{:.6f}", m.codeDomain.rho));
    t += fmt::format("\n{:<10}{:<8}{:>14}{:>14}\n", "Channel", "Active", "Configured", "Measured");
    for (std::size_t k = 0; k < kCodeChannels; ++k) {
        const ChannelPower& c = m.codeDomain.channels[k];
        t += fmt::format("{:<10}{:<8}{:>14}{:>14}\n", codeChannelName(static_cast<CodeChannel>(k)),
                         c.active ? "yes" : "no", dbText(c.configuredDb), dbText(c.measuredDb));
    }
    return t;
}

}  // namespace onex::analysis
