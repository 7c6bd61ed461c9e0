#include "MexIO/ConnectionAddress.h"

#include <fmt/format.h>

#include <cctype>
#include <charconv>
#include <vector>

#include "MexIO/TcpipAddress.h"
#include "platform/Text.h"

namespace onex {
namespace {

constexpr double kDirectBaudrate = 19200;
constexpr const char* kDirectHandshake = "Xon/Xoff";

std::vector<std::string_view> split(std::string_view text, std::string_view separator) {
    std::vector<std::string_view> parts;
    for (;;) {
        const auto at = text.find(separator);
        parts.push_back(text.substr(0, at));
        if (at == std::string_view::npos) return parts;
        text.remove_prefix(at + separator.size());
    }
}

std::optional<long> wholeNumber(std::string_view text) {
    long v = 0;
    const char* end = text.data() + text.size();
    auto [p, ec] = std::from_chars(text.data(), end, v);
    if (text.empty() || ec != std::errc() || p != end) return std::nullopt;
    return v;
}

// The serial line: PORT (a number from 1, or a device path), then BAUD and
// HANDSHAKE when not empty.
std::optional<IoConfig> serialLine(std::string_view port, std::string_view baud,
                                   std::string_view handshake, std::string& error) {
    IoConfig c = startupIoConfig();
    c.type = "RS232";
    c.RS232->baudrate = kDirectBaudrate;
    c.RS232->handshake = kDirectHandshake;
    if (auto n = wholeNumber(port)) {
        if (*n < 1) {
            error = "ports count from 1";
            return std::nullopt;
        }
        c.RS232->port = static_cast<double>(*n);
    } else {
        c.RS232->device = std::string(port);
    }
    if (!baud.empty()) {
        auto b = wholeNumber(baud);
        if (!b || *b <= 0 || *b > 4000000) {
            error = fmt::format("\"{}\" is no baud rate", baud);
            return std::nullopt;
        }
        c.RS232->baudrate = static_cast<double>(*b);
    }
    if (!handshake.empty()) {
        if (!handshakeFromName(handshake)) {
            error = fmt::format("handshake \"{}\" is not None, Xon/Xoff or RTS/CTS", handshake);
            return std::nullopt;
        }
        c.RS232->handshake = std::string(handshake);
    }
    return c;
}

// Board, primary and secondary address (-1 = none), in the ranges of the
// I/O configuration.
std::optional<IoConfig> gpibAddress(long board, long primary, long secondary, std::string& error) {
    if (board < 0 || primary < kGpibPrimaryMin || primary > kGpibPrimaryMax ||
        (secondary != kGpibSecondaryNone &&
         (secondary < kGpibSecondaryMin || secondary > kGpibSecondaryMax))) {
        error = "board from 0, primary address " + gpibPrimaryRangeText() + ", secondary " +
                gpibSecondaryRangeText();
        return std::nullopt;
    }
    IoConfig c = startupIoConfig();
    c.type = "GPIB";
    c.GPIB->board = static_cast<double>(board);
    c.GPIB->primary = static_cast<double>(primary);
    c.GPIB->secondary = static_cast<double>(secondary);
    return c;
}

}  // namespace

std::optional<IoConfig> serialConnection(std::string_view text, std::string& error) {
    const auto parts = split(text, ",");
    if (parts.size() > 3 || parts[0].empty()) {
        error = "expected PORT[,BAUD[,HANDSHAKE]]";
        return std::nullopt;
    }
    if (parts.size() > 1 && parts[1].empty()) {
        error = "\"\" is no baud rate";
        return std::nullopt;
    }
    return serialLine(parts[0], parts.size() > 1 ? parts[1] : "", parts.size() > 2 ? parts[2] : "",
                      error);
}

std::optional<IoConfig> gpibConnection(std::string_view text, std::string& error) {
    const auto parts = split(text, ",");
    std::vector<long> v;
    for (const auto& p : parts)
        if (auto n = wholeNumber(p)) v.push_back(*n);
    if (parts.size() < 2 || parts.size() > 3 || v.size() != parts.size()) {
        error = "expected BOARD,PRIMARY[,SECONDARY]";
        return std::nullopt;
    }
    return gpibAddress(v[0], v[1], v.size() == 3 ? v[2] : -1, error);
}

std::optional<IoConfig> instrumentAddress(std::string_view text, std::string& error,
                                          std::string_view baud, std::string_view handshake) {
    text = platform::trimBlanks(text);
    std::vector<std::string_view> parts = split(text, "::");
    const std::string head = platform::toUpper(parts[0]);
    const bool resource = parts.size() > 1;
    if (resource && parts.size() > 2 && platform::toUpper(parts.back()) == "INSTR")
        parts.pop_back();

    // ASRL then a port number or a device path (a host name such as
    // "asrl-lab" stays a LAN address).
    if (head.size() > 4 && head.rfind("ASRL", 0) == 0 &&
        (std::isdigit(static_cast<unsigned char>(head[4])) || head[4] == '/')) {
        if (parts.size() == 2 && platform::toUpper(parts[1]) == "INSTR") parts.pop_back();
        if (parts.size() != 1) {
            error = "expected ASRL<port>[::INSTR] or ASRL<device path>[::INSTR]";
            return std::nullopt;
        }
        return serialLine(parts[0].substr(4), baud, handshake, error);
    }
    if (!baud.empty() || !handshake.empty()) {
        error = "a baud rate and a handshake apply to serial (ASRL) addresses only";
        return std::nullopt;
    }
    if (resource && head.rfind("GPIB", 0) == 0) {
        const auto board = head.size() == 4 ? std::optional<long>(0)
                                            : wholeNumber(std::string_view(head).substr(4));
        std::vector<long> addresses;
        for (std::size_t i = 1; i < parts.size(); ++i)
            if (auto n = wholeNumber(parts[i])) addresses.push_back(*n);
        if (!board || addresses.empty() || addresses.size() > 2 ||
            addresses.size() != parts.size() - 1) {
            error = "expected GPIB[board]::primary[::secondary]::INSTR";
            return std::nullopt;
        }
        return gpibAddress(*board, addresses[0], addresses.size() == 2 ? addresses[1] : -1, error);
    }
    // Everything else is a LAN address; checked now so that a typing error
    // shows before the first operation.
    if (!mexio::parseTcpipAddress(text, error)) return std::nullopt;
    IoConfig c = startupIoConfig();
    c.type = "TCPIP";
    c.TCPIP->address = std::string(text);
    return c;
}

std::string describeConnection(const IoConfig& c) {
    const std::string type = c.type.value_or("?");
    const std::string lower = platform::toLower(type);
    auto num = [](const std::optional<double>& v) {
        return v ? fmt::format("{:g}", *v) : std::string("?");
    };
    if (lower == "tcpip" && c.TCPIP) return "TCPIP " + c.TCPIP->address.value_or("?");
    if (lower == "rs232" && c.RS232) {
        const std::string where = c.RS232->device && !c.RS232->device->empty()
                                      ? *c.RS232->device
                                      : "port " + num(c.RS232->port);
        return fmt::format("RS232 {} at {} baud, handshake {}", where, num(c.RS232->baudrate),
                           c.RS232->handshake.value_or("?"));
    }
    if (lower == "gpib" && c.GPIB)
        return fmt::format("GPIB board {} primary {} secondary {}", num(c.GPIB->board),
                           num(c.GPIB->primary), num(c.GPIB->secondary));
    return type;
}

}  // namespace onex
