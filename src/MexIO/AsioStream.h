#pragma once

// Blocking operations with time-outs on an Asio stream (TCP socket or serial
// port): each operation is started asynchronously and the private
// io_context runs until it completes, the time-out passes without progress,
// or the operation is cancelled; in the last two cases the operation is
// aborted.

#include <algorithm>
#include <asio.hpp>
#include <chrono>
#include <cstring>
#include <span>
#include <string>

#include "MexIO/Cancel.h"
#include "MexIO/Transport.h"

namespace onex::mexio {

using SteadyClock = std::chrono::steady_clock;

enum class WaitEnd { Done, TimedOut, Cancelled };

// Runs io until done is set. The wait gives up `timeout` after `since`;
// whenever progress() says the line moved on, `since` becomes now, so the
// time-out bounds silence rather than the whole wait. A stop requested on
// the current cancel token ends the wait within a few tens of
// milliseconds. On giving up, abort() cancels the operation and its
// handler is drained; the result then says why the wait ended.
template <class Abort, class Progress>
WaitEnd runUntilDone(asio::io_context& io, const bool& done, SteadyClock::time_point& since,
                     Millis timeout, Abort&& abort, Progress&& progress) {
    constexpr Millis kSlice{50};
    const std::stop_token cancel = currentCancelToken();
    WaitEnd end = WaitEnd::TimedOut;
    io.restart();
    for (;;) {
        const auto left = std::chrono::ceil<Millis>(since + timeout - SteadyClock::now());
        if (left.count() <= 0) break;
        io.run_for(std::min(kSlice, left));
        if (done) return WaitEnd::Done;
        if (cancel.stop_requested()) {
            end = WaitEnd::Cancelled;
            break;
        }
        if (progress()) since = SteadyClock::now();
    }
    // Whatever the aborted handler reports, the operation is given up (and
    // the connection with it).
    abort();
    io.restart();
    io.run();
    return end;
}

// The same for an operation whose only progress is its completion.
template <class Abort>
WaitEnd runUntilDone(asio::io_context& io, const bool& done, Millis timeout, Abort&& abort) {
    auto since = SteadyClock::now();
    return runUntilDone(io, done, since, timeout, abort, [] { return false; });
}

inline IoError cancelledError() {
    return IoError(kCancelled, "cancelled");
}

// The waits on one Asio stream: whole writes whose time-out bounds
// silence, and reads that append what arrives to pending_.
template <class Stream>
class AsioByteStream {
  public:
    AsioByteStream() : stream_(io_) {}
    virtual ~AsioByteStream() = default;
    AsioByteStream(const AsioByteStream&) = delete;
    AsioByteStream& operator=(const AsioByteStream&) = delete;

    // Writes every byte; the time-out bounds a wait in which the other end
    // takes nothing.
    void writeAll(std::span<const uint8_t> bytes, Millis timeout) {
        std::size_t off = 0;
        while (off < bytes.size()) {
            std::size_t chunk = std::min<std::size_t>(bytes.size() - off, 1 << 20);
            bool done = false;
            asio::error_code err;
            std::size_t n = 0;
            stream_.async_write_some(asio::buffer(bytes.data() + off, chunk),
                                     [&](const asio::error_code& e, std::size_t k) {
                                         err = e;
                                         n = k;
                                         done = true;
                                     });
            // The system's own buffer may hold megabytes: while the
            // instrument keeps taking bytes out of it, it is alive.
            auto since = SteadyClock::now();
            const WaitEnd end = runUntilDone(
                io_, done, since, timeout, [&] { cancelIo(); }, outputDrains());
            if (end == WaitEnd::Cancelled) throw cancelledError();
            if (end == WaitEnd::TimedOut || err == asio::error::operation_aborted) {
                throw IoError(kTimedOut, "the instrument accepted no data for " +
                                             std::to_string(timeout.count()) + " ms after " +
                                             std::to_string(off) + " of " +
                                             std::to_string(bytes.size()) + " bytes");
            }
            if (err) {
                throw IoError(kIoFailure, "connection lost after " + std::to_string(off + n) +
                                              " of " + std::to_string(bytes.size()) + " bytes (" +
                                              err.message() + ")");
            }
            off += n;
        }
    }

  protected:
    // Waits for more bytes and appends them to pending_. The wait gives up
    // `timeout` after `since`, which `progress` moves on (see runUntilDone).
    template <class Progress>
    void receiveSome(SteadyClock::time_point& since, Millis timeout, Progress& progress) {
        bool done = false;
        asio::error_code err;
        std::size_t n = 0;
        stream_.async_read_some(asio::buffer(buffer_, sizeof buffer_),
                                [&](const asio::error_code& e, std::size_t k) {
                                    err = e;
                                    n = k;
                                    done = true;
                                });
        const WaitEnd end = runUntilDone(
            io_, done, since, timeout, [&] { cancelIo(); }, progress);
        if (end == WaitEnd::Cancelled) throw cancelledError();
        if (end == WaitEnd::TimedOut || err == asio::error::operation_aborted)
            throw IoError(kTimedOut,
                          "no reply within " + std::to_string(timeout.count()) + " ms (time-out)");
        if (err == asio::error::eof)
            throw IoError(kIoFailure, "the instrument closed the connection");
        if (err) throw IoError(kIoFailure, "connection lost (" + err.message() + ")");
        pending_.append(buffer_, n);
    }

    // Drops what was received and not read yet.
    void dropInput() {
        pending_.clear();
        asio::error_code ec;
        for (int i = 0; i < 64; ++i) {
            std::size_t avail = availableBytes();
            if (avail == 0) break;
            stream_.read_some(asio::buffer(buffer_, std::min(avail, sizeof buffer_)), ec);
            if (ec) break;
        }
    }

    void cancelIo() {
        asio::error_code ec;
        stream_.cancel(ec);
    }
    // Bytes received and not yet read.
    virtual std::size_t availableBytes() = 0;
    // Bytes written and not yet taken by the instrument (0 when unknown).
    virtual std::size_t unsentBytes() = 0;

    // A progress test for runUntilDone: true when the bytes still queued
    // for the instrument became fewer since the last call.
    auto outputDrains() {
        return [this, queued = unsentBytes()]() mutable {
            const std::size_t now = unsentBytes();
            const bool moved = now < queued;
            queued = now;
            return moved;
        };
    }

    asio::io_context io_;
    Stream stream_;
    std::string pending_;  // received, not read yet
    char buffer_[65536];
};

// A line-oriented connection (SCPI) over an Asio stream.
template <class Stream>
class AsioStreamTransport : public Transport, protected AsioByteStream<Stream> {
  public:
    explicit AsioStreamTransport(std::string description) : description_(std::move(description)) {}

    void write(std::span<const uint8_t> bytes, Millis timeout) override {
        this->writeAll(bytes, timeout);
    }

    // The time-out bounds the whole reply, counted from the moment the
    // last byte sent before it has left our side of the line.
    std::string readLine(Millis timeout) override {
        std::string& pending = this->pending_;
        auto since = SteadyClock::now();
        auto drains = this->outputDrains();
        for (;;) {
            auto lf = pending.find('\n');
            if (lf != std::string::npos) {
                std::string line = pending.substr(0, lf);
                pending.erase(0, lf + 1);
                while (!line.empty() && line.back() == '\r')
                    line.pop_back();
                return line;
            }
            if (pending.size() > kMaxReplyBytes)
                throw IoError(kIoFailure, "reply longer than " + std::to_string(kMaxReplyBytes) +
                                              " bytes without a line end");
            this->receiveSome(since, timeout, drains);
        }
    }

    void discardInput() override { this->dropInput(); }

    std::string describe() const override { return description_; }

  private:
    std::string description_;
};

}  // namespace onex::mexio
