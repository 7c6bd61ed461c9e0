// LAN backend: SCPI over a raw TCP socket (port 5025 by default).

#include "MexIO/AsioStream.h"
#include "MexIO/TcpSocket.h"
#include "MexIO/Transport.h"

namespace onex::mexio {

namespace {

class RawSocketTransport : public AsioStreamTransport<asio::ip::tcp::socket> {
  public:
    RawSocketTransport(const std::string& host, uint16_t port, Millis timeout)
        : AsioStreamTransport("TCPIP " + host + ":" + std::to_string(port) + " (raw socket)") {
        connectTcp(io_, stream_, host, port, timeout, false);
    }

    ~RawSocketTransport() override {
        asio::error_code ec;
        stream_.close(ec);
    }

    void goToLocal(Millis timeout) override {
        // A raw socket has no interface message for this; the instrument's
        // own command does it.
        static const char line[] = ":SYSTem:COMMunicate:GTLocal\n";
        write({reinterpret_cast<const uint8_t*>(line), sizeof line - 1}, timeout);
    }

    bool alive() override { return tcpAlive(stream_); }

  private:
    std::size_t availableBytes() override { return tcpAvailableBytes(stream_); }
    std::size_t unsentBytes() override { return tcpUnsentBytes(stream_); }
};

}  // namespace

std::unique_ptr<Transport> openRawSocket(const std::string& host, uint16_t port, Millis timeout) {
    return std::make_unique<RawSocketTransport>(host, port, timeout);
}

}  // namespace onex::mexio
