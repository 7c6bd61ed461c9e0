#pragma once

// The TCP side of the LAN backends (SCPI raw socket, VXI-11): connecting
// with a time-out and what the kernel tells about a connected socket.

#include <asio.hpp>
#include <cstdint>
#include <string>

#include "MexIO/Transport.h"

namespace onex::mexio {

// Resolves host and connects `socket` (on io) within `timeout`; IPv4
// addresses only when ipv4Only. IoError kNotConnected (or kCancelled).
void connectTcp(asio::io_context& io, asio::ip::tcp::socket& socket, const std::string& host,
                uint16_t port, Millis timeout, bool ipv4Only);

// Bytes sent and not yet acknowledged by the peer (0 when unknown).
std::size_t tcpUnsentBytes(asio::ip::tcp::socket& socket);
// Bytes received and not yet read.
std::size_t tcpAvailableBytes(asio::ip::tcp::socket& socket);
// False once the peer has visibly closed or reset the connection.
bool tcpAlive(asio::ip::tcp::socket& socket);

}  // namespace onex::mexio
