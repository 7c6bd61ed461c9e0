#include "MexIO/IoConfigArray.h"

#include <fmt/format.h>

#include <cmath>

#include "platform/Error.h"

namespace onex {

using platform::Array;

namespace {

using Fields = std::vector<std::pair<std::string, Array>>;

void putNumber(Fields& f, const char* name, const std::optional<double>& v) {
    if (v) f.emplace_back(name, Array(*v));
}

void putText(Fields& f, const char* name, const std::optional<std::string>& v) {
    if (v) f.emplace_back(name, Array::string(*v));
}

// A sub-structure, when present, with the fields `fill` puts.
template <class T, class Fill>
void putStruct(Fields& f, const char* name, const std::optional<T>& value, Fill fill) {
    if (!value) return;
    Fields sub;
    fill(sub, *value);
    f.emplace_back(name, Array::structure(sub));
}

bool isOneStruct(const Array& a) {
    return a.isStruct() && a.ndims() == 2 && a.isScalar();
}

// Reads the fields of one struct level; `prefix` names it in messages.
class Reader {
  public:
    Reader(const Array& s, std::string prefix) : s_(s), prefix_(std::move(prefix)) {}

    std::optional<double> number(std::string_view name) const {
        if (!s_.hasField(name)) return std::nullopt;
        const Array& a = s_.field(name);
        if (!a.isDouble() || a.isComplex() || a.ndims() != 2 || !a.isScalar() ||
            !std::isfinite(a.scalar()))
            fail(name, "a finite real double scalar", a);
        return a.scalar();
    }

    std::optional<std::string> text(std::string_view name) const {
        if (!s_.hasField(name)) return std::nullopt;
        const Array& a = s_.field(name);
        if (a.isEmpty() && a.ndims() == 2 && (a.isChar() || a.isDouble())) return std::string();
        if (!a.isChar() || !a.isRow()) fail(name, "a char row", a);
        return a.toString();
    }

    // The sub-structure, or nothing when the field is missing.
    std::optional<Reader> sub(std::string_view name) const {
        if (!s_.hasField(name)) return std::nullopt;
        const Array& a = s_.field(name);
        if (!isOneStruct(a)) fail(name, "a 1x1 struct", a);
        return Reader(a, prefix_ + std::string(name) + ".");
    }

  private:
    [[noreturn]] void fail(std::string_view name, std::string_view expected,
                           const Array& found) const {
        throw Error(
            fmt::format("{}{}: expected {}, found {}", prefix_, name, expected, found.describe()));
    }
    const Array& s_;
    std::string prefix_;
};

}  // namespace

Array toArray(const IoConfig& c) {
    Fields f;
    putText(f, "type", c.type);
    putStruct(f, "GPIB", c.GPIB, [](Fields& g, const IoConfig::Gpib& x) {
        putNumber(g, "board", x.board);
        putNumber(g, "primary", x.primary);
        putNumber(g, "secondary", x.secondary);
    });
    putStruct(f, "RS232", c.RS232, [](Fields& r, const IoConfig::Rs232& x) {
        putNumber(r, "port", x.port);
        putNumber(r, "baudrate", x.baudrate);
        putText(r, "handshake", x.handshake);
        putText(r, "device", x.device);
    });
    putStruct(f, "TCPIP", c.TCPIP, [](Fields& t, const IoConfig::Tcpip& x) {
        putText(t, "address", x.address);
        putNumber(t, "board", x.board);
    });
    putText(f, "BBGtype", c.BBGtype);
    putText(f, "LastParameterFilename", c.LastParameterFilename);
    return Array::structure(f);
}

void fromArray(const Array& a, IoConfig& out) {
    if (!isOneStruct(a))
        throw Error(fmt::format("configuration: expected a 1x1 struct, found {}", a.describe()));
    const Reader top(a, "");
    IoConfig c;
    c.type = top.text("type");
    c.GPIB.reset();
    if (auto g = top.sub("GPIB"))
        c.GPIB = IoConfig::Gpib{g->number("board"), g->number("primary"), g->number("secondary")};
    c.RS232.reset();
    if (auto r = top.sub("RS232"))
        c.RS232 = IoConfig::Rs232{r->number("port"), r->number("baudrate"), r->text("handshake"),
                                  r->text("device")};
    c.TCPIP.reset();
    if (auto t = top.sub("TCPIP"))
        c.TCPIP = IoConfig::Tcpip{t->text("address"), t->number("board")};
    c.BBGtype = top.text("BBGtype");
    c.LastParameterFilename = top.text("LastParameterFilename");
    out = std::move(c);
}

Array reStructureConfig(const Array& oldConfig, const std::vector<std::string>& handshakeNames) {
    if (!isOneStruct(oldConfig) || !oldConfig.hasField("Connection")) return oldConfig;
    auto value = [&](const char* name) {
        if (!oldConfig.hasField(name))
            throw Error(fmt::format("old-style configuration: {} is missing", name));
        return oldConfig.field(name).scalar();
    };
    auto group = [](Fields fields) { return Array::structure(fields); };
    Array c = oldConfig;
    c.setField("type", Array::string(value("Connection") == 1 ? "RS232" : "GPIB"));
    c.setField("GPIB", group({{"board", Array(value("GPIBboard"))},
                              {"primary", Array(value("Primary"))},
                              {"secondary", Array(value("Secondary"))}}));
    std::string handshake = "Xon/Xoff";
    const double entry = value("HandShake") + 1;
    if (entry >= 1 && entry <= static_cast<double>(handshakeNames.size()) &&
        entry == std::floor(entry))
        handshake = handshakeNames[static_cast<std::size_t>(entry) - 1];
    c.setField("RS232", group({{"port", Array(value("RS232Port"))},
                               {"baudrate", Array(value("BaudRate"))},
                               {"handshake", Array::string(handshake)}}));
    c.setField("TCPIP", group({{"address", Array::string("0.0.0.0")}, {"board", Array(0.0)}}));
    for (const char* old :
         {"Connection", "GPIBboard", "Primary", "Secondary", "RS232Port", "BaudRate", "HandShake"})
        c.removeField(old);
    return c;
}

}  // namespace onex
