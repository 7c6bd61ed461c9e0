#pragma once

// Blocking operations with time-outs on an Asio stream (TCP socket or serial
// port): each operation is started asynchronously and the private
// io_context runs until it completes or the time-out passes, in which case
// the operation is cancelled.

#include <asio.hpp>
#include <chrono>
#include <cstring>
#include <string>

#include "MexIO/Transport.h"

namespace onex::mexio {

// Runs io until done is set or timeout passes; cancels with cancel() and
// drains the aborted handler in the latter case. True when done.
template <class Cancel>
bool runWithTimeout(asio::io_context& io, Millis timeout, const bool& done, Cancel&& cancel) {
    io.restart();
    io.run_for(timeout);
    if (done) return true;
    cancel();
    io.restart();
    io.run();
    return done;
}

template <class Stream>
class AsioStreamTransport : public Transport {
  public:
    // Wrap an already opened stream.
    AsioStreamTransport(std::string description)
        : stream_(io_), description_(std::move(description)) {}

    void write(std::span<const uint8_t> bytes, Millis timeout) override {
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
            if (!runWithTimeout(io_, timeout, done, [&] { cancelIo(); }) ||
                err == asio::error::operation_aborted) {
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

    std::string readLine(Millis timeout) override {
        auto deadline = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            auto lf = pending_.find('\n');
            if (lf != std::string::npos) {
                std::string line = pending_.substr(0, lf);
                pending_.erase(0, lf + 1);
                while (!line.empty() && line.back() == '\r')
                    line.pop_back();
                return line;
            }
            if (pending_.size() > kMaxReplyBytes)
                throw IoError(kIoFailure, "reply longer than " + std::to_string(kMaxReplyBytes) +
                                              " bytes without a line end");
            auto left =
                std::chrono::duration_cast<Millis>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) throw timeoutError(timeout);
            bool done = false;
            asio::error_code err;
            std::size_t n = 0;
            stream_.async_read_some(asio::buffer(buffer_, sizeof buffer_),
                                    [&](const asio::error_code& e, std::size_t k) {
                                        err = e;
                                        n = k;
                                        done = true;
                                    });
            if (!runWithTimeout(io_, left, done, [&] { cancelIo(); }) ||
                err == asio::error::operation_aborted)
                throw timeoutError(timeout);
            if (err == asio::error::eof)
                throw IoError(kIoFailure, "the instrument closed the connection");
            if (err) throw IoError(kIoFailure, "connection lost (" + err.message() + ")");
            pending_.append(buffer_, n);
        }
    }

    void discardInput() override {
        pending_.clear();
        asio::error_code ec;
        for (int i = 0; i < 64; ++i) {
            std::size_t avail = availableBytes();
            if (avail == 0) break;
            stream_.read_some(asio::buffer(buffer_, std::min(avail, sizeof buffer_)), ec);
            if (ec) break;
        }
    }

    std::string describe() const override { return description_; }

  protected:
    static IoError timeoutError(Millis timeout) {
        return IoError(kTimedOut,
                       "no reply within " + std::to_string(timeout.count()) + " ms (time-out)");
    }
    void cancelIo() {
        asio::error_code ec;
        stream_.cancel(ec);
    }
    virtual std::size_t availableBytes() = 0;

    asio::io_context io_;
    Stream stream_;
    std::string description_;
    std::string pending_;
    char buffer_[65536];
};

}  // namespace onex::mexio
