#pragma once

// The simulator's VXI-11 core channel (ONC RPC over TCP), served by the
// RPC library on a thread of its own.

#include <atomic>
#include <cstdint>
#include <thread>

#include "Log.h"
#include "SimInstrument.h"

namespace tarnsim {

struct Vxi11Options {
    uint16_t port = 0;  // 0 = any free port
    uint32_t maxRecvSize = 1 << 18;
    bool registerWithPortmapper = false;
    bool noReply = false;
};

class Vxi11Server {
  public:
    Vxi11Server(SimInstrument& inst, Log& log, Vxi11Options opt);
    ~Vxi11Server();
    uint16_t port() const { return port_; }
    bool registered() const { return registered_; }
    void stop();

  private:
    void run();
    uint16_t port_ = 0;
    bool registered_ = false;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

}  // namespace tarnsim
