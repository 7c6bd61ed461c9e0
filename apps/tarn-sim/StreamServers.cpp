#include "StreamServers.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <stdexcept>

#include "ScpiParser.h"
#include "Session.h"

namespace tarnsim {

namespace {

class TcpSession : public std::enable_shared_from_this<TcpSession> {
  public:
    TcpSession(asio::ip::tcp::socket s, SimInstrument& inst, Log& log, std::string name,
               const TcpFaults& faults)
        : inst_(inst),
          sock_(std::move(s)),
          log_(log),
          name_(std::move(name)),
          sink_(inst, name_, out_),
          dropAfter_(faults.dropAfter),
          readRate_(faults.readRate),
          buf_(readRate_ ? std::clamp<std::size_t>(*readRate_ / 50, 1, 1 << 18) : 1 << 18),
          pause_(sock_.get_executor()) {}

    void start() {
        log_.write("OPEN " + name_);
        if (inst_.hungUp()) {
            log_.write("HANG-UP " + name_);
            close();
            return;
        }
        started_ = std::chrono::steady_clock::now();
        read();
    }

  private:
    void read() {
        sock_.async_read_some(asio::buffer(buf_),
                              [self = shared_from_this()](const asio::error_code& ec,
                                                          std::size_t n) { self->onRead(ec, n); });
    }

    void onRead(const asio::error_code& ec, std::size_t n) {
        if (ec) {
            log_.write("CLOSE " + name_ +
                       (ec == asio::error::eof ? "" : " (" + ec.message() + ")"));
            close();
            return;
        }
        if (dropAfter_ && received_ + n >= *dropAfter_) {
            // Take what arrived up to the limit, then vanish mid-transfer.
            std::size_t keep = *dropAfter_ - received_;
            parser_.feed(buf_.data(), keep, sink_);
            log_.write("DROP " + name_ + " after " + std::to_string(*dropAfter_) + " bytes");
            close();
            return;
        }
        received_ += n;
        parser_.feed(buf_.data(), n, sink_);
        flush();
        if (inst_.hungUp()) return;  // closed once the last reply is out
        if (!readRate_) {
            read();
            return;
        }
        // A slow instrument: the next read waits until the bytes taken so far
        // fit the rate.
        auto due = started_ + std::chrono::microseconds(received_ * 1000000 / *readRate_);
        pause_.expires_at(due);
        pause_.async_wait([self = shared_from_this()](const asio::error_code& e) {
            if (!e) self->read();
        });
    }

    void flush() {
        if (writing_) return;
        if (out_.empty()) {
            if (inst_.hungUp()) hangUp();
            return;
        }
        writing_ = true;
        sending_.swap(out_);
        out_.clear();
        asio::async_write(sock_, asio::buffer(sending_),
                          [self = shared_from_this()](const asio::error_code& ec, std::size_t) {
                              self->writing_ = false;
                              self->sending_.clear();
                              if (!ec) self->flush();
                          });
    }

    void hangUp() {
        if (!sock_.is_open()) return;
        log_.write("HANG-UP " + name_);
        close();
    }

    void close() {
        asio::error_code ignore;
        sock_.close(ignore);
    }

    SimInstrument& inst_;
    asio::ip::tcp::socket sock_;
    Log& log_;
    std::string name_;
    std::string out_, sending_;
    ReplySink sink_;
    ScpiParser parser_;
    std::optional<std::size_t> dropAfter_;
    std::optional<std::size_t> readRate_;
    std::size_t received_ = 0;
    std::vector<uint8_t> buf_;
    asio::steady_timer pause_;
    std::chrono::steady_clock::time_point started_;
    bool writing_ = false;
};

}  // namespace

TcpServer::TcpServer(asio::io_context& io, SimInstrument& inst, Log& log, uint16_t port,
                     TcpFaults faults)
    : io_(io), inst_(inst), log_(log), acceptor_(io), faults_(faults) {
    asio::ip::tcp::endpoint ep(asio::ip::make_address("127.0.0.1"), port);
    acceptor_.open(ep.protocol());
    acceptor_.set_option(asio::ip::tcp::acceptor::reuse_address(true));
    // Accepted sockets inherit it; it must be set before listening to limit
    // the window the client sees.
    if (faults_.receiveBuffer)
        acceptor_.set_option(asio::socket_base::receive_buffer_size(*faults_.receiveBuffer));
    acceptor_.bind(ep);
    acceptor_.listen();
    accept();
}

void TcpServer::accept() {
    acceptor_.async_accept([this](const asio::error_code& ec, asio::ip::tcp::socket s) {
        if (ec) return;  // closed on shutdown
        asio::error_code ignore;
        s.set_option(asio::ip::tcp::no_delay(true), ignore);
        std::make_shared<TcpSession>(std::move(s), inst_, log_, "tcp#" + std::to_string(next_++),
                                     faults_)
            ->start();
        accept();
    });
}

void TcpServer::stop() {
    asio::error_code ignore;
    acceptor_.close(ignore);
}

PtyServer::PtyServer(asio::io_context& io, SimInstrument& inst, Log& log, PtyOptions opt)
    : io_(io), inst_(inst), log_(log), opt_(opt), master_(io), timer_(io), buf_(1 << 16) {
    int m = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m < 0 || ::grantpt(m) != 0 || ::unlockpt(m) != 0)
        throw std::runtime_error("cannot create a pseudo-terminal");
    const char* name = ::ptsname(m);
    if (!name) throw std::runtime_error("cannot name the pseudo-terminal");
    path_ = name;
    slaveFd_ = ::open(path_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slaveFd_ < 0) throw std::runtime_error("cannot open " + path_);
    termios t{};
    ::tcgetattr(slaveFd_, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(slaveFd_, TCSANOW, &t);
    master_.assign(m);
    parser_ = std::make_unique<ScpiParser>();
    sink_ = std::make_unique<ReplySink>(inst_, "pty", out_);
    if (opt_.xoffAfter && *opt_.xoffAfter > 0) nextXoff_ = *opt_.xoffAfter;
    read();
}

PtyServer::~PtyServer() {
    if (slaveFd_ >= 0) ::close(slaveFd_);
}

void PtyServer::stop() {
    asio::error_code ignore;
    timer_.cancel();
    master_.close(ignore);
}

void PtyServer::read() {
    master_.async_read_some(asio::buffer(buf_), [this](const asio::error_code& ec, std::size_t n) {
        if (ec) {
            if (ec == asio::error::operation_aborted) return;
            // EIO while no client has the terminal open cannot happen (we keep
            // it open), but do not spin if it does.
            log_.write("PTY read error: " + ec.message());
            timer_.expires_after(std::chrono::milliseconds(50));
            timer_.async_wait([this](const asio::error_code& e) {
                if (!e) read();
            });
            return;
        }
        if (held_) {
            auto since = std::chrono::steady_clock::now() - xoffAt_;
            // Bytes already on their way when XOFF was sent are expected;
            // anything later means the sender ignored it.
            (since < std::chrono::milliseconds(100) ? heldEarly_ : heldLate_) += n;
        }
        received_ += n;
        parser_->feed(buf_.data(), n, *sink_);
        flushOut();
        if (nextXoff_ && received_ >= nextXoff_ && !held_) pauseForXoff();
        read();
    });
}

void PtyServer::pauseForXoff() {
    while (nextXoff_ <= received_)
        nextXoff_ += *opt_.xoffAfter;
    const char xoff = 0x13;
    if (::write(master_.native_handle(), &xoff, 1) != 1) return;
    held_ = true;
    heldEarly_ = heldLate_ = 0;
    xoffAt_ = std::chrono::steady_clock::now();
    log_.write("XOFF sent after " + std::to_string(received_) + " bytes");
    timer_.expires_after(opt_.xoffHold);
    timer_.async_wait([this](const asio::error_code& e) {
        if (e) return;
        const char xon = 0x11;
        held_ = false;
        log_.write("XON after " + std::to_string(opt_.xoffHold.count()) + " ms: early=" +
                   std::to_string(heldEarly_) + " late=" + std::to_string(heldLate_));
        if (::write(master_.native_handle(), &xon, 1) != 1) log_.write("PTY: cannot send XON");
    });
}

void PtyServer::flushOut() {
    if (writing_ || out_.empty()) return;
    writing_ = true;
    auto data = std::make_shared<std::string>(std::move(out_));
    out_.clear();
    asio::async_write(master_, asio::buffer(*data),
                      [this, data](const asio::error_code& ec, std::size_t) {
                          writing_ = false;
                          if (!ec) flushOut();
                      });
}

}  // namespace tarnsim
