#include "MexIO/TcpSocket.h"

#include <linux/sockios.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

#include "MexIO/AsioStream.h"

namespace onex::mexio {

void connectTcp(asio::io_context& io, asio::ip::tcp::socket& socket, const std::string& host,
                uint16_t port, Millis timeout, bool ipv4Only) {
    asio::ip::tcp::resolver resolver(io);
    asio::ip::tcp::resolver::results_type endpoints;
    asio::error_code err;
    bool done = false;
    const auto resolved = [&](const asio::error_code& e, auto results) {
        err = e;
        endpoints = std::move(results);
        done = true;
    };
    if (ipv4Only)
        resolver.async_resolve(asio::ip::tcp::v4(), host, std::to_string(port), resolved);
    else
        resolver.async_resolve(host, std::to_string(port), resolved);
    WaitEnd end = runUntilDone(io, done, timeout, [&] { resolver.cancel(); });
    if (end == WaitEnd::Cancelled) throw cancelledError();
    if (end == WaitEnd::TimedOut || err == asio::error::operation_aborted)
        throw IoError(kNotConnected, "could not resolve host name '" + host + "' within " +
                                         std::to_string(timeout.count()) + " ms");
    if (err) throw IoError(kNotConnected, "unknown host '" + host + "' (" + err.message() + ")");

    done = false;
    asio::async_connect(socket, endpoints,
                        [&](const asio::error_code& e, const asio::ip::tcp::endpoint&) {
                            err = e;
                            done = true;
                        });
    const auto closeQuietly = [&] {
        asio::error_code ignore;
        socket.close(ignore);
    };
    end = runUntilDone(io, done, timeout, closeQuietly);
    if (end == WaitEnd::Cancelled) throw cancelledError();
    if (end == WaitEnd::TimedOut || err == asio::error::operation_aborted)
        throw IoError(kNotConnected,
                      "no connection within " + std::to_string(timeout.count()) + " ms (time-out)");
    if (err) throw IoError(kNotConnected, err.message());
    asio::error_code ignore;
    socket.set_option(asio::ip::tcp::no_delay(true), ignore);
}

std::size_t tcpUnsentBytes(asio::ip::tcp::socket& socket) {
    int n = 0;
    if (::ioctl(socket.native_handle(), SIOCOUTQ, &n) != 0 || n < 0) return 0;
    return static_cast<std::size_t>(n);
}

std::size_t tcpAvailableBytes(asio::ip::tcp::socket& socket) {
    asio::error_code ec;
    std::size_t n = socket.available(ec);
    return ec ? 0 : n;
}

bool tcpAlive(asio::ip::tcp::socket& socket) {
    if (!socket.is_open()) return false;
    pollfd p{socket.native_handle(), POLLIN | POLLRDHUP, 0};
    if (::poll(&p, 1, 0) < 0) return false;
    if (p.revents & (POLLERR | POLLHUP | POLLRDHUP | POLLNVAL)) return false;
    if (p.revents & POLLIN) {
        char c;
        ssize_t n = ::recv(socket.native_handle(), &c, 1, MSG_PEEK | MSG_DONTWAIT);
        if (n == 0) return false;
    }
    return true;
}

}  // namespace onex::mexio
