#pragma once

// Internal interface of the driver's connection backends. Every wait of a
// backend also ends, with status kCancelled, soon after a stop is requested
// on the current cancel token (MexIO/Cancel.h); GPIB only between the
// library's calls, which cannot be interrupted.

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>

#include "MexIO/IoConfig.h"
#include "MexIO/Status.h"

namespace onex::mexio {

using Millis = std::chrono::milliseconds;

class IoError : public std::runtime_error {
  public:
    IoError(int status, const std::string& text) : std::runtime_error(text), status_(status) {}
    int status() const { return status_; }

  private:
    int status_;
};

// Longest reply line accepted from an instrument.
inline constexpr std::size_t kMaxReplyBytes = 1 << 20;

class Transport {
  public:
    virtual ~Transport() = default;
    // Writes one whole message (the caller has appended the line terminator).
    // The time-out bounds silence: a wait in which the instrument takes no
    // byte, so long transfers over slow lines are not cut short.
    virtual void write(std::span<const uint8_t> bytes, Millis timeout) = 0;
    // Reads one reply up to its line feed (or end of message) and returns it
    // without the terminator; the time-out bounds the whole reply, counted
    // from when the bytes written before it have been taken where the
    // connection can tell.
    virtual std::string readLine(Millis timeout) = 0;
    // Drops input left over from earlier exchanges, so a late or extra reply
    // is never taken as the answer to the next query.
    virtual void discardInput() {}
    virtual void goToLocal(Millis timeout) = 0;
    // False when the peer has visibly gone (closed socket); the driver then
    // reopens the connection before using it.
    virtual bool alive() { return true; }
    // How the connection reaches the instrument, for messages.
    virtual std::string describe() const = 0;
};

std::unique_ptr<Transport> openRawSocket(const std::string& host, uint16_t port, Millis timeout);
// Without a port the VXI-11 server's port is asked from the portmapper (port 111).
std::unique_ptr<Transport> openVxi11(const std::string& host, std::optional<uint16_t> port,
                                     const std::string& device, Millis timeout);
std::unique_ptr<Transport> openSerial(const std::string& path, int32_t baudrate,
                                      Handshake handshake, Millis timeout);
std::unique_ptr<Transport> openGpib(int32_t board, int32_t primary, int32_t secondary,
                                    Millis timeout);

// Text of a GPIB library that could be loaded, or why none could.
std::string gpibLibraryStatus();

}  // namespace onex::mexio
