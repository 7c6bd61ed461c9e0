#pragma once

// Parsing of the LAN address field TCPIP.address.
//
//   host or 1.2.3.4                     raw SCPI socket on port 5025
//   host:port                           raw SCPI socket on that port
//   TCPIP[board]::host::port::SOCKET    raw SCPI socket on that port
//   TCPIP[board]::host[::device]::INSTR VXI-11, port from the portmapper;
//                                       device defaults to inst0
//   TCPIP[board]::host:port[::device]::INSTR
//                                       VXI-11 on that port, no portmapper
//
// Keywords are compared without regard to case; an IPv6 host is written in
// brackets ([::1] or [::1]:5025).

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace onex::mexio {

inline constexpr uint16_t kScpiRawPort = 5025;

struct TcpipAddress {
    enum class Kind { RawSocket, Vxi11 } kind = Kind::RawSocket;
    std::string host;
    std::optional<uint16_t> port;  // for VXI-11: empty = ask the portmapper
    std::string device;            // VXI-11 device name (inst0)
    bool operator==(const TcpipAddress&) const = default;
};

// Returns the parsed address, or the reason it is unusable in error.
std::optional<TcpipAddress> parseTcpipAddress(std::string_view text, std::string& error);

}  // namespace onex::mexio
