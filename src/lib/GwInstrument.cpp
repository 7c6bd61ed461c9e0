// Gateways of the instrument routines: the I/O layer, the connections of
// the host's own (hwOpen, hwClose) and the DAC resolution.
//
// Calls that reach the instrument are serialised per connection: a sequence
// of commands from one call never interleaves with another thread's on the
// same connection, while calls on different connections of the host's own
// run side by side.

#include <fmt/format.h>

#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "Instrument/DacResolution.h"
#include "Instrument/Download.h"
#include "MexIO/HwIO.h"
#include "MexIO/IoConfigArray.h"
#include "lib/Gateways.h"
#include "lib/Instrument.h"
#include "platform/Error.h"
#include "platform/HeadlessDialogs.h"
#include "platform/Numeric.h"

namespace onex::lib {

std::mutex& sharedConnectionMutex() {
    static std::mutex m;
    return m;
}

namespace {

// The connections opened with hwOpen, by handle. Handles count up from 1
// and are never given twice, so a stale one cannot reach another
// instrument.
struct OwnConnections {
    std::mutex mutex;
    std::map<double, std::shared_ptr<OwnConnection>> open;
    double last = 0;
};

OwnConnections& ownConnections() {
    static OwnConnections c;
    return c;
}

std::shared_ptr<OwnConnection> ownConnection(double handle) {
    OwnConnections& all = ownConnections();
    std::lock_guard lock(all.mutex);
    const auto it = all.open.find(handle);
    return it == all.open.end() ? nullptr : it->second;
}

// Takes the connection out of the table and closes it once the call that
// may be using it has ended.
bool closeOwn(double handle) {
    std::shared_ptr<OwnConnection> c;
    {
        OwnConnections& all = ownConnections();
        std::lock_guard lock(all.mutex);
        const auto it = all.open.find(handle);
        if (it == all.open.end()) return false;
        c = std::move(it->second);
        all.open.erase(it);
    }
    std::lock_guard lock(c->mutex);
    c->connections.closeAll();
    return true;
}

}  // namespace

void closeOwnConnections() {
    std::vector<double> handles;
    {
        OwnConnections& all = ownConnections();
        std::lock_guard lock(all.mutex);
        for (const auto& [h, c] : all.open)
            handles.push_back(h);
    }
    for (double h : handles)
        closeOwn(h);
}

InstrumentTarget instrumentArg(const Args& a, std::size_t k) {
    const Array& v = a.at(k);
    // Anything but a number is read (or refused) as a configuration.
    if (!isRealNumeric(v) || !v.isScalar()) return {ioConfigArg(a, k), nullptr};
    const double handle = v.realAt(0);
    auto own = ownConnection(handle);
    if (!own)
        a.fail(fmt::format("{}: no connection {} is open (never opened, or closed with hwClose).",
                           a.label(k), platform::num2str(handle)));
    return {own->config, own};
}

IoConfig ioConfigArg(const Args& a, std::size_t k) {
    const Array& s = a.structure(k);
    IoConfig c;
    try {
        fromArray(s, c);
    } catch (const Error& e) {
        a.fail(fmt::format("{}: {}", a.label(k), e.what()));
    }
    return c;
}

MarkerRowsData markerArg(const Args& a, std::size_t k) {
    const Array& m = a.at(k);
    MarkerRowsData out;
    if (m.isEmpty() && m.ndims() == 2 && (m.isNumeric() || m.isLogical())) return out;
    if (!isRealNumeric(m) || m.ndims() != 2 || m.rows() > 2)
        a.fail(k, "a marker array of one or two rows");
    const std::vector<double> v = m.toDoubleVector();
    const std::size_t rows = m.rows(), n = m.cols();
    out.marker1.resize(n);
    if (rows == 2) out.marker2.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        out.marker1[i] = v[i * rows];
        if (rows == 2) out.marker2[i] = v[i * rows + 1];
    }
    return out;
}

std::vector<Array> statusOutputs(const Status& s) {
    return {numberOf(s.status), textOf(s.response)};
}

}  // namespace onex::lib

namespace onex::lib::gw {

namespace {

using Outputs = std::vector<Array>;

// The library has no windows: messages go to stderr, and the one question
// of the download (the RS-232 time estimate) is answered "OK", since the
// host asked for the download and no one is there to wait for.
class LibraryDialogs : public platform::HeadlessDialogs {
  public:
    LibraryDialogs() : HeadlessDialogs(true, stderr, stderr) {}
    std::string questionBox(const std::string& question, const std::string& title,
                            const std::vector<std::string>& buttons,
                            const std::string& defaultButton) override {
        std::fprintf(stderr, "%s: %s (continued: the library has no dialogs)\n", title.c_str(),
                     question.c_str());
        return HeadlessDialogs::questionBox(question, title, buttons, defaultButton);
    }
};

// The settings the playback routines read, as numbers; unlike a parameter
// file they need not be values the settings panel could hold (an amplitude
// of -12.5 dBm is sent as it is). Title is not read: the name comes apart.
SigGenSettings settingsArg(const Args& a, std::size_t k) {
    const Array& s = a.structure(k);
    const auto number = [&](const char* name) -> std::optional<double> {
        if (!s.hasField(name)) return std::nullopt;
        const Array& v = s.field(name);
        if (!isRealNumeric(v) || !v.isScalar())
            a.fail(fmt::format("{}: {} must be a real number, got {}.", a.label(k), name,
                               describe(v)));
        return v.realAt(0);
    };
    const auto required = [&](const char* name) {
        if (auto v = number(name)) return *v;
        a.fail(fmt::format("{}: the field {} is missing.", a.label(k), name));
    };
    SigGenSettings out;
    out.Frequency = required("Frequency");
    out.Amplitude = required("Amplitude");
    out.SamplingRate = required("SamplingRate");
    out.RFblanking = required("RFblanking");
    out.ArbRefSource = required("ArbRefSource");
    out.MarkerPolarity = required("MarkerPolarity");
    // ReconFilter is read by platform "b", the other four by platform "c".
    out.ReconFilter = number("ReconFilter").value_or(0);
    out.BBfilter = number("BBfilter");
    out.Scaling = number("Scaling");
    out.ModAtten = number("ModAtten");
    out.ALC = number("ALC");
    return out;
}

// The driver's copy of a configuration: the listed numeric fields of the
// sub-structures that are there become 32-bit integers; everything else is
// copied as it is.
Array formatConfigArray(const Args& a, const Array& config) {
    struct Numeric {
        const char* sub;
        const char* field;
    };
    static constexpr Numeric kFields[] = {
        {"GPIB", "board"}, {"GPIB", "primary"},   {"GPIB", "secondary"},
        {"RS232", "port"}, {"RS232", "baudrate"}, {"TCPIP", "board"},
    };
    Array out = config;
    for (const Numeric& f : kFields) {
        if (!out.hasField(f.sub)) continue;
        Array& sub = out.field(f.sub);
        if (!sub.isStruct() || !sub.isScalar())
            a.fail(fmt::format("{} must be a 1x1 struct, got {}.", f.sub, describe(sub)));
        if (!sub.hasField(f.field)) continue;
        const Array& v = sub.field(f.field);
        if (!isRealNumeric(v) || !v.isScalar())
            a.fail(
                fmt::format("{}.{} must be a real number, got {}.", f.sub, f.field, describe(v)));
        sub.setField(f.field, Array::numeric<std::int32_t>(
                                  {1, 1}, {platform::toInt32Saturated(v.realAt(0))}));
    }
    return out;
}

// One call of the I/O layer or a sequence on its connection; its status
// pair is the routine's output.
template <class Call>
Outputs instrumentCall(const InstrumentTarget& t, Call call) {
    return statusOutputs(onInstrument(t, call));
}

}  // namespace

Outputs formatconfig(const Args& a) {
    return {formatConfigArray(a, a.structure(0))};
}

Outputs hwPing(const Args& a) {
    const InstrumentTarget t = instrumentArg(a, 0);
    const IoConfig& c = t.config;
    return instrumentCall(t, [&] { return onex::hwPing(c); });
}

Outputs hwSend(const Args& a) {
    const InstrumentTarget t = instrumentArg(a, 0);
    const IoConfig& c = t.config;
    const std::string command = a.text(1);
    return instrumentCall(t, [&] { return onex::hwSend(c, command); });
}

Outputs hwQuery(const Args& a) {
    const InstrumentTarget t = instrumentArg(a, 0);
    const IoConfig& c = t.config;
    const std::string query = a.text(1);
    return instrumentCall(t, [&] { return onex::hwQuery(c, query); });
}

Outputs hwDownload(const Args& a) {
    const InstrumentTarget t = instrumentArg(a, 0);
    const IoConfig& c = t.config;
    const auto data = a.complexVector(1);
    const MarkerRowsData markers = markerArg(a, 2);
    // Inputs 4 and 5 are never read: the I/O layer passes "norm" and 1.
    const std::string filename = a.text(5);
    return instrumentCall(t, [&] {
        return onex::hwDownload(c, data, MarkerRows{markers.marker1, markers.marker2}, filename);
    });
}

Outputs hwReturnLocal(const Args& a) {
    const InstrumentTarget t = instrumentArg(a, 0);
    const IoConfig& c = t.config;
    return instrumentCall(t, [&] { return onex::hwReturnLocal(c); });
}

Outputs hwSetTimeout(const Args& a) {
    const InstrumentTarget t = instrumentArg(a, 0);
    const IoConfig& c = t.config;
    const double timeout = a.number(1);
    return instrumentCall(t, [&] { return onex::hwSetTimeout(c, timeout); });
}

Outputs VerifyComm(const Args& a) {
    const InstrumentTarget t = instrumentArg(a, 0);
    const IoConfig& c = t.config;
    return instrumentCall(t, [&] { return onex::VerifyComm(c); });
}

Outputs hwOpen(const Args& a) {
    auto own = std::make_shared<OwnConnection>();
    own->config = ioConfigArg(a, 0);
    OwnConnections& all = ownConnections();
    std::lock_guard lock(all.mutex);
    const double handle = ++all.last;
    all.open.emplace(handle, std::move(own));
    return {numberOf(handle)};
}

Outputs hwClose(const Args& a) {
    const double handle = a.number(0);
    if (!closeOwn(handle))
        return statusOutputs(
            {mexio::kBadArgument, "no connection " + platform::num2str(handle) + " is open"});
    return statusOutputs({0, ""});
}

Outputs TARNDownLoadWrap(const Args& a) {
    const auto data = a.complexVector(0);
    const MarkerRowsData markers = markerArg(a, 1);
    const std::string filename = a.text(2);
    const InstrumentTarget t = instrumentArg(a, 3);
    const IoConfig& c = t.config;
    const std::optional<double> segments = a.optNumber(4);
    LibraryDialogs dialogs;
    return instrumentCall(t, [&] {
        return onex::TARNDownLoadWrap(data, MarkerRows{markers.marker1, markers.marker2}, filename,
                                      c, dialogs, segments);
    });
}

// Both playback routines take (name, settings, configuration).
template <class Play>
Outputs play(const Args& a, Play routine) {
    const std::string name = a.text(0);
    const SigGenSettings s = settingsArg(a, 1);
    const InstrumentTarget t = instrumentArg(a, 2);
    const IoConfig& c = t.config;
    return instrumentCall(t, [&] { return routine(name, s, c); });
}

Outputs TARNPlay(const Args& a) {
    return play(a, onex::TARNPlay);
}

Outputs TARNPlay_c(const Args& a) {
    return play(a, onex::TARNPlay_c);
}

Outputs applyDacRes(const Args& a) {
    const Array& wave = a.at(0);
    if (!(wave.isNumeric() || wave.isLogical())) a.fail(0, "a numeric array");
    const auto out = onex::applyDacRes(wave.toComplexVector(), a.number(1));
    // The result keeps the waveform's size, and a real waveform stays real.
    Array result;
    if (wave.isComplex()) {
        result = Array::complexRow(out);
    } else {
        std::vector<double> re(out.size());
        for (std::size_t i = 0; i < out.size(); ++i)
            re[i] = out[i].real();
        result = Array::row(re);
    }
    result.reshape(wave.dims());
    return {result};
}

}  // namespace onex::lib::gw
