#pragma once

// The simulator's byte-stream front ends, both on one Asio io_context:
// SCPI over TCP (raw socket) and SCPI over a pseudo-terminal (RS-232).

#include <asio.hpp>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "Log.h"
#include "SimInstrument.h"

namespace tarnsim {

// Faults of the TCP front end.
struct TcpFaults {
    std::optional<std::size_t> dropAfter;  // close each connection after this many bytes
    std::optional<std::size_t> readRate;   // take at most this many bytes per second
    std::optional<int> receiveBuffer;      // SO_RCVBUF of the listening socket
};

class TcpServer {
  public:
    // Listens on 127.0.0.1:port (0 = any free port).
    TcpServer(asio::io_context& io, SimInstrument& inst, Log& log, uint16_t port, TcpFaults faults);
    uint16_t port() const { return acceptor_.local_endpoint().port(); }
    void stop();

  private:
    void accept();
    asio::io_context& io_;
    SimInstrument& inst_;
    Log& log_;
    asio::ip::tcp::acceptor acceptor_;
    TcpFaults faults_;
    int next_ = 1;
};

struct PtyOptions {
    std::optional<std::size_t> xoffAfter;  // send XOFF after every this many bytes
    std::chrono::milliseconds xoffHold{300};
};

class PtyServer {
  public:
    PtyServer(asio::io_context& io, SimInstrument& inst, Log& log, PtyOptions opt);
    ~PtyServer();
    const std::string& path() const { return path_; }
    void stop();

  private:
    void read();
    void flushOut();
    void pauseForXoff();
    asio::io_context& io_;
    SimInstrument& inst_;
    Log& log_;
    PtyOptions opt_;
    std::string path_;
    int slaveFd_ = -1;  // kept open so the master never sees a hang-up between clients
    asio::posix::stream_descriptor master_;
    asio::steady_timer timer_;
    std::string out_;
    bool writing_ = false;
    std::unique_ptr<class ScpiParser> parser_;
    std::unique_ptr<class ReplySink> sink_;
    std::vector<uint8_t> buf_;
    std::size_t received_ = 0;
    std::size_t nextXoff_ = 0;
    bool held_ = false;
    std::chrono::steady_clock::time_point xoffAt_;
    std::size_t heldEarly_ = 0, heldLate_ = 0;
};

}  // namespace tarnsim
