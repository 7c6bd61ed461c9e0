// The built-in hwIO driver: argument checks, the connection cache and the
// operations, on top of the connection backends.

#include <algorithm>
#include <cctype>
#include <cmath>
#include <functional>
#include <map>
#include <mutex>
#include <utility>

#include "MexIO/Cancel.h"
#include "MexIO/Completion.h"
#include "MexIO/HwIO.h"
#include "MexIO/TcpipAddress.h"
#include "MexIO/Transport.h"
#include "MexIO/WaveformEncoding.h"
#include "platform/Text.h"

namespace onex {

using namespace mexio;

namespace {

// Time-out until hwSetTimeout says otherwise.
constexpr Millis kDefaultTimeout{5000};
constexpr double kMaxTimeoutMs = 3600e3;

struct Target {
    std::string key;    // equal keys share a connection
    std::string label;  // where, for messages before a connection exists
    std::function<std::unique_ptr<Transport>(Millis)> open;
};

Handshake parseHandshake(const std::optional<std::string>& text) {
    if (!text) return Handshake::None;
    if (const auto h = handshakeFromName(*text)) return *h;
    throw IoError(kBadArgument,
                  "unknown RS-232 handshake '" + *text + "' (expected None, Xon/Xoff or RTS/CTS)");
}

Target resolveTarget(const DriverConfig& c) {
    if (!c.type) throw IoError(kBadArgument, "the configuration has no connection type");
    std::string type = platform::toLower(*c.type);
    if (type == "tcpip") {
        if (!c.TCPIP || !c.TCPIP->address)
            throw IoError(kBadArgument, "the configuration has no TCPIP address");
        std::string why;
        auto a = parseTcpipAddress(*c.TCPIP->address, why);
        if (!a)
            throw IoError(kBadArgument, "TCPIP address '" +
                                            platform::shownReply(*c.TCPIP->address) + "': " + why);
        if (a->kind == TcpipAddress::Kind::RawSocket) {
            std::string hp = a->host + ":" + std::to_string(*a->port);
            return {"tcpip|raw|" + hp, "TCPIP " + hp + " (raw socket)",
                    [a = *a](Millis t) { return openRawSocket(a.host, *a.port, t); }};
        }
        std::string hp = a->host;
        if (a->port) hp.append(":").append(std::to_string(*a->port));
        return {"tcpip|vxi11|" + hp + "|" + a->device, "TCPIP " + hp + " VXI-11 " + a->device,
                [a = *a](Millis t) { return openVxi11(a.host, a.port, a.device, t); }};
    }
    if (type == "rs232") {
        if (!c.RS232) throw IoError(kBadArgument, "the configuration has no RS232 settings");
        const auto& r = *c.RS232;
        std::string path;
        if (r.device && !r.device->empty()) {
            path = *r.device;
        } else {
            if (!r.port) throw IoError(kBadArgument, "the configuration has no RS232 port");
            if (*r.port < 1)
                throw IoError(kBadArgument,
                              "RS232 port " + std::to_string(*r.port) + " does not exist");
            path = "/dev/ttyS" + std::to_string(*r.port - 1);  // port 1 is the first
        }
        if (!r.baudrate || *r.baudrate <= 0)
            throw IoError(kBadArgument, "the configuration has no valid RS232 baud rate");
        Handshake hs = parseHandshake(r.handshake);
        int32_t baud = *r.baudrate;
        return {"rs232|" + path + "|" + std::to_string(baud) + "|" +
                    std::to_string(static_cast<int>(hs)),
                "RS232 " + path,
                [path, baud, hs](Millis t) { return openSerial(path, baud, hs, t); }};
    }
    if (type == "gpib") {
        if (!c.GPIB || !c.GPIB->board || !c.GPIB->primary)
            throw IoError(kBadArgument, "the configuration has no GPIB board or primary address");
        int32_t b = *c.GPIB->board, p = *c.GPIB->primary, s = c.GPIB->secondary.value_or(-1);
        std::string label = "GPIB" + std::to_string(b) + "::" + std::to_string(p) +
                            (s >= 0 ? "::" + std::to_string(s) : "");
        return {"gpib|" + std::to_string(b) + "|" + std::to_string(p) + "|" + std::to_string(s),
                label, [b, p, s](Millis t) { return openGpib(b, p, s, t); }};
    }
    throw IoError(kBadArgument, "unknown connection type '" + platform::shownReply(*c.type) +
                                    "' (expected GPIB, RS232 or TCPIP)");
}

}  // namespace

struct HwConnections::State {
    std::mutex mutex;
    std::string key;
    std::unique_ptr<Transport> conn;
    std::map<std::string, Millis> timeouts;

    void close() {
        std::lock_guard lock(mutex);
        conn.reset();
        key.clear();
        timeouts.clear();
    }
};

HwConnections::HwConnections() : state_(std::make_unique<State>()) {}

HwConnections::~HwConnections() = default;

void HwConnections::closeAll() {
    state_->close();
}

namespace {

using DriverState = HwConnections::State;

thread_local HwConnections* tCurrent = nullptr;

HwConnections& processWide() {
    static HwConnections c;
    return c;
}

DriverState& state() {
    return (tCurrent ? *tCurrent : processWide()).state();
}

class Session {
  public:
    Session(DriverState& s, const Target& t) : s_(s), t_(t) {
        auto it = s.timeouts.find(t.key);
        timeout_ = it == s.timeouts.end() ? kDefaultTimeout : it->second;
    }
    Millis timeout() const { return timeout_; }

    // The cached connection for this target, opened (again) when needed.
    // Only one connection is kept: an instrument may serve one client at a time.
    // Within one operation the connection is never replaced: if it broke
    // half-way, the operation must fail rather than finish on a new one.
    Transport& conn() {
        if (current_) return *current_;
        if (s_.conn && s_.key == t_.key && s_.conn->alive()) return *(current_ = s_.conn.get());
        s_.conn.reset();
        s_.key.clear();
        try {
            s_.conn = t_.open(timeout_);
        } catch (const IoError& e) {
            throw IoError(e.status(), "cannot connect to " + t_.label + ": " + e.what());
        }
        s_.key = t_.key;
        return *(current_ = s_.conn.get());
    }
    // After a failure the connection's state is unknown (a late reply could
    // answer the next query): close it; the next call opens a new one.
    void drop() {
        current_ = nullptr;
        s_.conn.reset();
        s_.key.clear();
    }
    std::string where() const {
        return s_.conn && s_.key == t_.key ? s_.conn->describe() : t_.label;
    }
    // The outcome of an operation that failed with e; the connection is
    // closed.
    Status failed(const std::string& what, const IoError& e) {
        std::string w = where();
        drop();
        if (e.status() == kCancelled) return {kCancelled, what + " to " + w + " cancelled"};
        return {e.status(), what + " to " + w + " failed: " + e.what()};
    }

    void sendLine(std::string_view text) {
        std::string line(text);
        line += '\n';
        conn().write({reinterpret_cast<const uint8_t*>(line.data()), line.size()}, timeout_);
    }
    std::string query(std::string_view text, Millis timeout) {
        Transport& c = conn();
        c.discardInput();
        std::string line(text);
        line += '\n';
        c.write({reinterpret_cast<const uint8_t*>(line.data()), line.size()}, timeout_);
        try {
            return c.readLine(timeout);
        } catch (const IoError& e) {
            throw IoError(e.status(), platform::shownReply(text) + ": " + e.what());
        }
    }

  private:
    DriverState& s_;
    const Target& t_;
    Millis timeout_;
    Transport* current_ = nullptr;
};

template <class T>
const T* arg(std::span<const HwArg> args, std::size_t i) {
    return i < args.size() ? std::get_if<T>(&args[i]) : nullptr;
}

Status doDownload(Session& s, std::span<const HwArg> args) {
    auto* data = arg<std::span<const std::complex<double>>>(args, 0);
    auto* markers = arg<MarkerRows>(args, 1);
    auto* mode = arg<std::string_view>(args, 2);
    auto* name = arg<std::string_view>(args, 4);
    if (!data || !markers || !mode || !arg<double>(args, 3) || !name || args.size() != 5)
        return {kBadArgument, "Download: expected waveform, markers, \"norm\", 1 and a name"};
    if (*mode != "norm")
        return {kBadArgument,
                "Download: unsupported scaling mode '" + platform::shownReply(*mode) + "'"};
    if (auto why = checkDownload(*data, *markers, *name))
        return {kBadArgument, "Download refused, nothing sent: " + *why};

    std::string what = "Download of \"" + std::string(*name) + "\"";
    std::vector<uint8_t> wfm = waveformMessage(*data, *name);
    std::vector<uint8_t> mkr = markerMessage(*markers, data->size(), *name);
    try {
        s.sendLine("*CLS");  // so that only this download's errors are read back
        s.conn().write(wfm, s.timeout());
        s.conn().write(mkr, s.timeout());
        // The instrument may still be storing the data: allow 1 ms per kB.
        Millis opcTimeout = s.timeout() + Millis((wfm.size() + mkr.size()) / 1000);
        Status done = awaitCompletion([&](std::string_view q) {
            return Status{0, s.query(q, q == "*OPC?" ? opcTimeout : s.timeout())};
        });
        if (done.status == kInstrumentError)
            return {kInstrumentError, what + " rejected by the instrument: " + done.response};
        if (done.status != 0) throw IoError(done.status, done.response);
    } catch (const IoError& e) {
        return s.failed(what, e);
    }
    return {0, what + " stored: " + std::to_string(data->size()) + " samples"};
}

}  // namespace

Status builtinHwIO(int32_t code, const DriverConfig& config, std::span<const HwArg> args) {
    DriverState& st = state();
    std::lock_guard lock(st.mutex);
    Target target;
    try {
        target = resolveTarget(config);
    } catch (const IoError& e) {
        return {e.status(), std::string("Invalid I/O configuration: ") + e.what()};
    }
    Session s(st, target);
    std::string what;
    // A cancelled operation sends nothing more.
    if (cancelRequested() && code != kHwSetTimeout)
        return {kCancelled, "cancelled before anything was sent"};
    try {
        switch (code) {
            case kHwPing: {
                what = "Ping";
                try {
                    s.conn();
                } catch (const IoError& e) {
                    if (e.status() == kCancelled) return {kCancelled, "Ping cancelled"};
                    return {e.status(), "No instrument answered: " + std::string(e.what())};
                }
                std::string idn = s.query("*IDN?", s.timeout());
                if (idn.find_first_not_of(" \t") == std::string::npos)
                    return {kIoFailure, "The instrument at " + s.where() +
                                            " answered *IDN? with an empty line"};
                return {0, "Instrument at " + s.where() + ": " + platform::printable(idn, 200)};
            }
            case kHwSend: {
                auto* cmd = arg<std::string_view>(args, 0);
                if (!cmd || args.size() != 1)
                    return {kBadArgument, "Send: expected one command line as text"};
                what = "Send \"" + platform::shownReply(*cmd) + "\"";
                s.sendLine(*cmd);
                return {0, ""};
            }
            case kHwQuery: {
                auto* q = arg<std::string_view>(args, 0);
                if (!q || args.size() != 1)
                    return {kBadArgument, "Query: expected one query line as text"};
                what = "Query \"" + platform::shownReply(*q) + "\"";
                return {0, s.query(*q, s.timeout())};
            }
            case kHwDownload:
                return doDownload(s, args);
            case kHwReturnLocal:
                what = "Return to local";
                s.conn().goToLocal(s.timeout());
                return {0, ""};
            case kHwSetTimeout: {
                auto* v = arg<double>(args, 0);
                if (!v || args.size() != 1 || !std::isfinite(*v) || *v <= 0)
                    return {kBadArgument,
                            "Set time-out: expected a positive number of milliseconds"};
                double ms = std::min(std::ceil(*v), kMaxTimeoutMs);
                st.timeouts[target.key] = Millis(static_cast<long long>(ms));
                return {0, ""};
            }
            default:
                return {kBadArgument, "Unknown I/O operation code " + std::to_string(code)};
        }
    } catch (const IoError& e) {
        return s.failed(what, e);
    }
}

HwConnectionScope::HwConnectionScope(HwConnections& connections)
    : previous_(std::exchange(tCurrent, &connections)) {}

HwConnectionScope::~HwConnectionScope() {
    tCurrent = previous_;
}

void hwIOCloseAll() {
    processWide().closeAll();
}

bool hwIOConnected(const IoConfig& config) {
    DriverState& st = state();
    std::lock_guard lock(st.mutex);
    try {
        const Target target = resolveTarget(formatconfig(config));
        return st.conn && st.key == target.key && st.conn->alive();
    } catch (const IoError&) {
        return false;
    }
}

}  // namespace onex
