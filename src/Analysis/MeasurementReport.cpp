#include "Analysis/MeasurementReport.h"

#include <fmt/format.h>

#include <charconv>
#include <cmath>
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
    std::string text;

    void beginObject(std::string_view key) override {
        this->key(key);
        text += '{';
        first_.push_back(true);
    }
    void endObject() override {
        text += '}';
        first_.pop_back();
    }
    void number(std::string_view key, std::optional<double> value) override {
        this->key(key);
        if (!value || !std::isfinite(*value)) {
            text += "null";
            return;
        }
        char buffer[32];
        const auto r = std::to_chars(buffer, buffer + sizeof buffer, *value);
        text.append(buffer, r.ptr);
    }
    void boolean(std::string_view key, bool value) override {
        this->key(key);
        text += value ? "true" : "false";
    }

  private:
    std::vector<bool> first_;

    // The keys are this file's own ASCII names and numbers: nothing to escape.
    void key(std::string_view key) {
        if (first_.empty()) return;  // the outermost object has no key
        if (!first_.back()) text += ',';
        first_.back() = false;
        text += '"';
        text += key;
        text += "\":";
    }
};

std::string frequencyText(double hz) {
    const FrequencyUnits u = DetermineFrequencyUnits(std::abs(hz));
    return fmt::format("{:g} {}", hz / u.divider, u.units);
}

std::string dbText(const std::optional<double>& v, const char* unit = "dB") {
    if (!v) return "not available";
    return fmt::format("{:.2f} {}", *v, unit);
}

}  // namespace

void visitMeasurementFields(const Measurements& m, MeasurementFieldVisitor& v) {
    const WaveformMeasurements& w = m.waveform;
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
    visitSpectrumFields(w.obwHz, w.acpr, v);
    v.number("rho", m.codeDomain.rho);
    visitChannelFields(m.codeDomain.channels, v);
    v.endObject();
}

void visitSpectrumFields(double obwHz, std::span<const AcprPoint> acpr,
                         MeasurementFieldVisitor& v) {
    v.number("obw_hz", obwHz);
    v.beginObject("acpr_dbc");
    for (const AcprPoint& a : acpr)
        v.number(offsetKey(a.offsetHz), a.dbc);
    v.endObject();
}

void visitChannelFields(std::span<const ChannelPower, kCodeChannels> channels,
                        MeasurementFieldVisitor& v) {
    v.beginObject("channels");
    for (std::size_t k = 0; k < kCodeChannels; ++k) {
        const ChannelPower& c = channels[k];
        v.beginObject(codeChannelName(static_cast<CodeChannel>(k)));
        v.boolean("active", c.active);
        v.number("configured_db", c.configuredDb);
        v.number("measured_db", c.measuredDb);
        v.endObject();
    }
    v.endObject();
}

std::string measurementsJson(const Measurements& m) {
    return fieldsJson([&m](MeasurementFieldVisitor& v) { visitMeasurementFields(m, v); });
}

std::string fieldsJson(const std::function<void(MeasurementFieldVisitor&)>& walk) {
    JsonWriter writer;
    walk(writer);
    return writer.text + '\n';
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
    t += spectrumTable(w.obwHz, w.acpr, w.offsetBandwidthHz, w.channelBandwidthHz);
    line("Waveform quality (rho)", fmt::format("{:.6f}", m.codeDomain.rho));
    t += '\n';
    return t + channelsTable(m.codeDomain.channels);
}

std::string spectrumTable(double obwHz, std::span<const AcprPoint> acpr, double offsetBandwidthHz,
                          double channelBandwidthHz) {
    std::string t;
    auto line = [&t](std::string_view label, const std::string& value) {
        t += fmt::format("{:<28}{}\n", label, value);
    };
    line(fmt::format("Occupied bandwidth ({:g} %)", kOccupiedShare * 100), frequencyText(obwHz));
    for (std::size_t i = 0; i < acpr.size(); ++i) {
        const AcprPoint& a = acpr[i];
        const std::string offset =
            fmt::format("{}{}", a.offsetHz > 0 ? "+" : "", frequencyText(a.offsetHz));
        line(fmt::format("{} {:>12}", i == 0 ? "ACPR" : "    ", offset),
             dbText(a.dbc, "dBc") +
                 (i == 0 ? fmt::format(" ({} over {})", frequencyText(offsetBandwidthHz),
                                       frequencyText(channelBandwidthHz))
                         : ""));
    }
    return t;
}

std::string channelsTable(std::span<const ChannelPower, kCodeChannels> channels) {
    std::string t =
        fmt::format("{:<10}{:<8}{:>14}{:>14}\n", "Channel", "Active", "Configured", "Measured");
    for (std::size_t k = 0; k < kCodeChannels; ++k) {
        const ChannelPower& c = channels[k];
        t += fmt::format("{:<10}{:<8}{:>14}{:>14}\n", codeChannelName(static_cast<CodeChannel>(k)),
                         c.active ? "yes" : "no", dbText(c.configuredDb),
                         c.measuredDb ? dbText(c.measuredDb) : "-");
    }
    return t;
}

}  // namespace onex::analysis
