// LAN backend: SCPI over a raw TCP socket (port 5025 by default).

#include <linux/sockios.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

#include "MexIO/AsioStream.h"
#include "MexIO/Transport.h"

namespace onex::mexio {

namespace {

class RawSocketTransport : public AsioStreamTransport<asio::ip::tcp::socket> {
  public:
    RawSocketTransport(const std::string& host, uint16_t port, Millis timeout)
        : AsioStreamTransport("TCPIP " + host + ":" + std::to_string(port) + " (raw socket)") {
        asio::ip::tcp::resolver resolver(io_);
        asio::ip::tcp::resolver::results_type endpoints;
        asio::error_code err;
        bool done = false;
        resolver.async_resolve(host, std::to_string(port),
                               [&](const asio::error_code& e, auto results) {
                                   err = e;
                                   endpoints = std::move(results);
                                   done = true;
                               });
        WaitEnd end = runUntilDone(io_, done, timeout, [&] { resolver.cancel(); });
        if (end == WaitEnd::Cancelled) throw cancelledError();
        if (end == WaitEnd::TimedOut || err == asio::error::operation_aborted)
            throw IoError(kNotConnected, "could not resolve host name '" + host + "' within " +
                                             std::to_string(timeout.count()) + " ms");
        if (err)
            throw IoError(kNotConnected, "unknown host '" + host + "' (" + err.message() + ")");

        done = false;
        asio::async_connect(stream_, endpoints,
                            [&](const asio::error_code& e, const asio::ip::tcp::endpoint&) {
                                err = e;
                                done = true;
                            });
        end = runUntilDone(io_, done, timeout, [&] { closeQuietly(); });
        if (end == WaitEnd::Cancelled) throw cancelledError();
        if (end == WaitEnd::TimedOut || err == asio::error::operation_aborted)
            throw IoError(kNotConnected, "no connection within " + std::to_string(timeout.count()) +
                                             " ms (time-out)");
        if (err) throw IoError(kNotConnected, err.message());
        asio::error_code ignore;
        stream_.set_option(asio::ip::tcp::no_delay(true), ignore);
    }

    ~RawSocketTransport() override { closeQuietly(); }

    void goToLocal(Millis timeout) override {
        // A raw socket has no interface message for this; the instrument's
        // own command does it.
        static const char line[] = ":SYSTem:COMMunicate:GTLocal\n";
        write({reinterpret_cast<const uint8_t*>(line), sizeof line - 1}, timeout);
    }

    bool alive() override {
        if (!stream_.is_open()) return false;
        pollfd p{stream_.native_handle(), POLLIN | POLLRDHUP, 0};
        if (::poll(&p, 1, 0) < 0) return false;
        if (p.revents & (POLLERR | POLLHUP | POLLRDHUP | POLLNVAL)) return false;
        if (p.revents & POLLIN) {
            char c;
            ssize_t n = ::recv(stream_.native_handle(), &c, 1, MSG_PEEK | MSG_DONTWAIT);
            if (n == 0) return false;
        }
        return true;
    }

  private:
    std::size_t availableBytes() override {
        asio::error_code ec;
        std::size_t n = stream_.available(ec);
        return ec ? 0 : n;
    }
    std::size_t unsentBytes() override {
        // Bytes the peer has not acknowledged yet.
        int n = 0;
        if (::ioctl(stream_.native_handle(), SIOCOUTQ, &n) != 0 || n < 0) return 0;
        return static_cast<std::size_t>(n);
    }
    void closeQuietly() {
        asio::error_code ec;
        stream_.close(ec);
    }
};

}  // namespace

std::unique_ptr<Transport> openRawSocket(const std::string& host, uint16_t port, Millis timeout) {
    return std::make_unique<RawSocketTransport>(host, port, timeout);
}

}  // namespace onex::mexio
