#include "MexIO/TcpipAddress.h"
#include "platform/Text.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <vector>

namespace onex::mexio {

namespace {

using platform::equalsIgnoreCase;
using platform::trimBlanks;

std::optional<uint16_t> parsePort(std::string_view s) {
    unsigned value = 0;
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (ec != std::errc() || p != s.data() + s.size() || value == 0 || value > 65535)
        return std::nullopt;
    return static_cast<uint16_t>(value);
}

std::vector<std::string_view> splitColons(std::string_view s) {
    std::vector<std::string_view> parts;
    for (;;) {
        auto pos = s.find("::");
        if (pos == std::string_view::npos) {
            parts.push_back(s);
            return parts;
        }
        parts.push_back(s.substr(0, pos));
        s.remove_prefix(pos + 2);
    }
}

// host, host:port, [v6], [v6]:port. Sets port only when one is written.
bool splitHostPort(std::string_view s, std::string& host, std::optional<uint16_t>& port,
                   std::string& error) {
    if (!s.empty() && s.front() == '[') {
        auto close = s.find(']');
        if (close == std::string_view::npos) {
            error = "unclosed '[' in host";
            return false;
        }
        host = std::string(s.substr(1, close - 1));
        std::string_view rest = s.substr(close + 1);
        if (!rest.empty()) {
            if (rest.front() != ':' || !(port = parsePort(rest.substr(1)))) {
                error = "bad port after ']'";
                return false;
            }
        }
    } else {
        auto colon = s.find(':');
        if (colon != std::string_view::npos) {
            if (s.find(':', colon + 1) != std::string_view::npos) {
                error = "an IPv6 address must be written in brackets";
                return false;
            }
            port = parsePort(s.substr(colon + 1));
            if (!port) {
                error = "bad port number '" + std::string(s.substr(colon + 1)) + "'";
                return false;
            }
            s = s.substr(0, colon);
        }
        host = std::string(s);
    }
    if (host.empty()) {
        error = "no host given";
        return false;
    }
    for (char c : host) {
        if (std::isspace(static_cast<unsigned char>(c)) ||
            std::iscntrl(static_cast<unsigned char>(c))) {
            error = "blank or control character in host name";
            return false;
        }
    }
    // 0.0.0.0 is the dialog's "not set yet"; connecting to it would reach
    // this computer instead of an instrument.
    if (host == "0.0.0.0" || host == "::") {
        error = "no instrument address set (" + host + ")";
        return false;
    }
    return true;
}

}  // namespace

std::optional<TcpipAddress> parseTcpipAddress(std::string_view text, std::string& error) {
    text = trimBlanks(text);
    if (text.empty()) {
        error = "no instrument address set";
        return std::nullopt;
    }
    TcpipAddress a;
    bool resource = text.size() >= 5 && equalsIgnoreCase(text.substr(0, 5), "TCPIP") &&
                    text.find("::") != std::string_view::npos;
    if (!resource) {
        if (!splitHostPort(text, a.host, a.port, error)) return std::nullopt;
        if (!a.port) a.port = kScpiRawPort;
        return a;
    }
    std::vector<std::string_view> parts = splitColons(text);
    std::string_view board = parts[0].substr(5);
    if (!std::all_of(board.begin(), board.end(),
                     [](char c) { return std::isdigit(static_cast<unsigned char>(c)); })) {
        error = "bad interface name '" + std::string(parts[0]) + "'";
        return std::nullopt;
    }
    std::string_view last = parts.back();
    if (equalsIgnoreCase(last, "SOCKET")) {
        if (parts.size() != 4) {
            error = "expected TCPIP[board]::host::port::SOCKET";
            return std::nullopt;
        }
        if (parts[1].find(':') != std::string_view::npos && parts[1].front() != '[') {
            error = "port of a SOCKET resource goes in its own field";
            return std::nullopt;
        }
        std::optional<uint16_t> none;
        if (!splitHostPort(parts[1], a.host, none, error)) return std::nullopt;
        a.port = parsePort(parts[2]);
        if (!a.port) {
            error = "bad port number '" + std::string(parts[2]) + "'";
            return std::nullopt;
        }
        return a;
    }
    if (equalsIgnoreCase(last, "INSTR") && (parts.size() == 3 || parts.size() == 4)) {
        a.kind = TcpipAddress::Kind::Vxi11;
        if (!splitHostPort(parts[1], a.host, a.port, error)) return std::nullopt;
        a.device = parts.size() == 4 ? std::string(parts[2]) : "inst0";
        if (a.device.empty()) {
            error = "empty device name";
            return std::nullopt;
        }
        return a;
    }
    error = "unrecognised resource string (expected ...::INSTR or ...::SOCKET)";
    return std::nullopt;
}

}  // namespace onex::mexio
