// LAN backend: VXI-11 core channel over ONC RPC (TCP).
//
// Our own small client: create_link, device_write split by the link's
// maximum receive size with END on the last piece only, device_read until
// END, device_local, device_clear, destroy_link. Sockets are connected here
// with our own time-out (the RPC library's connect would wait for minutes on
// an unreachable host) and handed to the RPC client already connected.
//
// The RPC library bounds each read of a reply by its time-out, so a server
// that keeps trickling record fragments would hold a call for ever, and it
// does not bound writes at all. Every call therefore runs under a watchdog
// that shuts the socket down when the call has made no progress for the
// time-out or when the operation is cancelled; the connection is then
// given up.

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <rpc/rpc.h>
// after rpc.h, which it needs
#include <rpc/pmap_prot.h>
#include <sys/socket.h>
#include <unistd.h>

#include <linux/sockios.h>
#include <signal.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

#include "MexIO/Cancel.h"
#include "MexIO/Transport.h"
#include "MexIO/Vxi11Protocol.h"
#include "MexIO/vxi11.h"

namespace onex::mexio {

namespace {

using vxi11::kErrIoTimeout;
using vxi11::kFlagEnd;
using vxi11::kReasonEnd;

// Extra time allowed to the RPC call beyond the device's own I/O time-out,
// so that the device reports its time-out before we give up on the call.
constexpr Millis kRpcMargin{1000};
// Waits for the polite end of a link (device_clear, destroy_link): short,
// since nobody needs their answers.
constexpr Millis kClosingWait{1000};
// Wait for the device_clear that drops a reply left from an abandoned query.
constexpr Millis kDiscardWait{2000};

timeval toTimeval(Millis m) {
    return timeval{static_cast<time_t>(m.count() / 1000),
                   static_cast<suseconds_t>((m.count() % 1000) * 1000)};
}

std::string vxiErrorText(long code) {
    switch (code) {
        case 1:
            return "syntax error";
        case 3:
            return "device not accessible";
        case 4:
            return "invalid link identifier";
        case 5:
            return "parameter error";
        case 6:
            return "channel not established";
        case 8:
            return "operation not supported";
        case 9:
            return "out of resources";
        case 11:
            return "device locked by another link";
        case 12:
            return "no lock held by this link";
        case 15:
            return "I/O time-out";
        case 17:
            return "I/O error";
        case 21:
            return "invalid address";
        case 23:
            return "abort";
        case 29:
            return "channel already established";
        default:
            return "error " + std::to_string(code);
    }
}

IoError deviceError(const char* what, long code) {
    return IoError(code == kErrIoTimeout ? kTimedOut : kIoFailure,
                   std::string(what) + ": the instrument reported " + vxiErrorText(code) +
                       " (VXI-11 error " + std::to_string(code) + ")");
}

sockaddr_in resolveIpv4(const std::string& host) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* res = nullptr;
    int rc = ::getaddrinfo(host.c_str(), nullptr, &hints, &res);
    if (rc != 0 || !res)
        throw IoError(kNotConnected, "unknown host '" + host + "' (" + gai_strerror(rc) + ")");
    sockaddr_in a{};
    std::memcpy(&a, res->ai_addr, sizeof a);
    ::freeaddrinfo(res);
    return a;
}

// The RPC library writes with write(2), which raises SIGPIPE on a
// connection the server has reset (or that the watchdog shut down); its
// default action would end the program. Held pending on this thread for the
// call, then discarded.
class SigpipeGuard {
  public:
    SigpipeGuard() {
        sigemptyset(&pipe_);
        sigaddset(&pipe_, SIGPIPE);
        sigset_t pending;
        alreadyPending_ = ::sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE);
        ::pthread_sigmask(SIG_BLOCK, &pipe_, &previous_);
    }
    ~SigpipeGuard() {
        sigset_t pending;
        if (!alreadyPending_ && ::sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE)) {
            timespec zero{};
            ::sigtimedwait(&pipe_, nullptr, &zero);
        }
        ::pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
    }
    SigpipeGuard(const SigpipeGuard&) = delete;
    SigpipeGuard& operator=(const SigpipeGuard&) = delete;

  private:
    sigset_t pipe_, previous_;
    bool alreadyPending_ = false;
};

// Watches one blocking call on socket fd: when the bytes queued for the
// server stop draining for `timeout`, or the operation is cancelled, it
// shuts the socket down so that the call returns.
class CallWatchdog {
  public:
    enum class End { None, TimedOut, Cancelled };

    CallWatchdog(int fd, Millis timeout)
        : fd_(fd), timeout_(timeout), cancel_(currentCancelToken()) {
        thread_ = std::jthread([this](std::stop_token finished) { watch(finished); });
    }
    ~CallWatchdog() {
        thread_.request_stop();
        thread_.join();
    }
    CallWatchdog(const CallWatchdog&) = delete;
    CallWatchdog& operator=(const CallWatchdog&) = delete;

    // Why the socket was shut down, if it was. Read after the call returned.
    End fired() const { return fired_.load(); }

  private:
    int unsent() const {
        int n = 0;
        return ::ioctl(fd_, SIOCOUTQ, &n) == 0 ? n : 0;
    }
    void watch(std::stop_token finished) {
        constexpr Millis kSlice{20};
        auto since = std::chrono::steady_clock::now();
        int queued = unsent();
        std::unique_lock lock(mutex_);
        while (!finished.stop_requested()) {
            if (cancel_.stop_requested()) return fire(End::Cancelled);
            const int now = unsent();
            if (now < queued) since = std::chrono::steady_clock::now();
            queued = now;
            if (std::chrono::steady_clock::now() - since >= timeout_) return fire(End::TimedOut);
            wake_.wait_for(lock, finished, kSlice, [] { return false; });
        }
    }
    void fire(End why) {
        fired_ = why;
        ::shutdown(fd_, SHUT_RDWR);
    }

    int fd_;
    Millis timeout_;
    std::stop_token cancel_;
    std::atomic<End> fired_{End::None};
    std::mutex mutex_;
    std::condition_variable_any wake_;
    std::jthread thread_;
};

// One RPC call on client c (whose socket is fd) under the watchdog. An
// IoError when the watchdog ended it; otherwise the RPC library's status.
template <class A, class R>
clnt_stat watchedCall(CLIENT* c, int fd, u_long proc, xdrproc_t xa, A* a, xdrproc_t xr, R* r,
                      Millis timeout) {
    SigpipeGuard pipe;
    CallWatchdog watchdog(fd, timeout);
    clnt_stat st = clnt_call(c, proc, xa, reinterpret_cast<caddr_t>(a), xr,
                             reinterpret_cast<caddr_t>(r), toTimeval(timeout));
    if (st != RPC_SUCCESS) {
        switch (watchdog.fired()) {
            case CallWatchdog::End::Cancelled:
                throw IoError(kCancelled, "cancelled");
            case CallWatchdog::End::TimedOut:
                throw IoError(kTimedOut, "no answer to the RPC call within " +
                                             std::to_string(timeout.count()) + " ms (time-out)");
            case CallWatchdog::End::None:
                break;
        }
    }
    return st;
}

// A blocking TCP socket connected to addr, or an IoError after timeout.
int connectWithTimeout(const sockaddr_in& addr, Millis timeout, const std::string& what) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) throw IoError(kNotConnected, std::string("socket: ") + std::strerror(errno));
    int rc = ::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr);
    if (rc != 0 && errno != EINPROGRESS) {
        int e = errno;
        ::close(fd);
        throw IoError(kNotConnected, what + ": " + std::strerror(e));
    }
    if (rc != 0) {
        // In slices, so that a cancel request is seen.
        const std::stop_token cancel = currentCancelToken();
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        pollfd p{fd, POLLOUT, 0};
        int n = 0;
        while (n == 0 && !cancel.stop_requested()) {
            const auto left =
                std::chrono::ceil<Millis>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) break;
            n = ::poll(&p, 1, static_cast<int>(std::min<long long>(left.count(), 50)));
            if (n < 0 && errno == EINTR) n = 0;
        }
        if (n <= 0) {
            ::close(fd);
            if (cancel.stop_requested()) throw IoError(kCancelled, "cancelled");
            throw IoError(kNotConnected, what + ": no connection within " +
                                             std::to_string(timeout.count()) + " ms (time-out)");
        }
        int err = 0;
        socklen_t len = sizeof err;
        ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len);
        if (err != 0) {
            ::close(fd);
            throw IoError(kNotConnected, what + ": " + std::strerror(err));
        }
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

// An RPC client on an already connected socket; the client owns the socket.
CLIENT* rpcClient(sockaddr_in addr, int fd, u_long prog, u_long vers) {
    CLIENT* c = ::clnttcp_create(&addr, prog, vers, &fd, 0, 0);
    if (!c) {
        ::close(fd);
        throw IoError(kNotConnected, std::string("RPC client: ") +
                                         ::clnt_spcreateerror(const_cast<char*>("VXI-11")));
    }
    clnt_control(c, CLSET_FD_CLOSE, nullptr);
    return c;
}

uint16_t portFromPortmapper(sockaddr_in addr, const std::string& host, Millis timeout) {
    addr.sin_port = htons(PMAPPORT);
    int fd = connectWithTimeout(addr, timeout, "portmapper of " + host);
    CLIENT* c = rpcClient(addr, fd, PMAPPROG, PMAPVERS);
    pmap parms{DEVICE_CORE, DEVICE_CORE_VERSION, IPPROTO_TCP, 0};
    u_long port = 0;
    clnt_stat st;
    try {
        st = watchedCall(c, fd, PMAPPROC_GETPORT, reinterpret_cast<xdrproc_t>(xdr_pmap), &parms,
                         reinterpret_cast<xdrproc_t>(xdr_u_long), &port, timeout);
    } catch (const IoError& e) {
        clnt_destroy(c);
        throw IoError(e.status(), "portmapper of " + host + ": " + e.what());
    }
    clnt_destroy(c);
    if (st != RPC_SUCCESS)
        throw IoError(st == RPC_TIMEDOUT ? kTimedOut : kNotConnected,
                      "portmapper of " + host + ": " + ::clnt_sperrno(st));
    if (port == 0 || port > 65535)
        throw IoError(kNotConnected, "no VXI-11 server registered with the portmapper of " + host);
    return static_cast<uint16_t>(port);
}

class Vxi11Transport : public Transport {
  public:
    Vxi11Transport(const std::string& host, std::optional<uint16_t> port, const std::string& device,
                   Millis timeout) {
        description_ = "TCPIP " + host;
        if (port) description_.append(":").append(std::to_string(*port));
        description_.append(" VXI-11 ").append(device);
        sockaddr_in addr = resolveIpv4(host);
        uint16_t p = port ? *port : portFromPortmapper(addr, host, timeout);
        addr.sin_port = htons(p);
        int fd =
            connectWithTimeout(addr, timeout, "VXI-11 server " + host + ":" + std::to_string(p));
        fd_ = fd;
        client_ = rpcClient(addr, fd, DEVICE_CORE, DEVICE_CORE_VERSION);

        Create_LinkParms parms{};
        parms.clientId = static_cast<long>(::getpid());
        parms.lockDevice = 0;
        parms.lock_timeout = 0;
        parms.device = const_cast<char*>(device.c_str());
        Create_LinkResp resp{};
        try {
            call(create_link, reinterpret_cast<xdrproc_t>(xdr_Create_LinkParms), &parms,
                 reinterpret_cast<xdrproc_t>(xdr_Create_LinkResp), &resp, timeout);
        } catch (...) {
            clnt_destroy(client_);
            throw;
        }
        if (resp.error != 0) {
            clnt_destroy(client_);
            throw IoError(kNotConnected,
                          "create_link to '" + device + "' refused: " + vxiErrorText(resp.error));
        }
        link_ = resp.lid;
        // The protocol promises at least 1024; guard against a server that
        // says 0 so that writing always makes progress.
        maxRecv_ = std::max<unsigned long>(resp.maxRecvSize, 1024);
    }

    ~Vxi11Transport() override {
        // The link is ended politely only on a connection that still works
        // and when nobody is waiting for us to stop.
        if (!broken_ && alive() && !cancelRequested()) {
            try {
                if (needsClear_) genericCall(device_clear, kClosingWait, "device_clear");
                Device_Link lid = link_;
                Device_Error err{};
                call(destroy_link, reinterpret_cast<xdrproc_t>(xdr_Device_Link), &lid,
                     reinterpret_cast<xdrproc_t>(xdr_Device_Error), &err, kClosingWait);
            } catch (const IoError&) {
            }
        }
        clnt_destroy(client_);
    }

    void write(std::span<const uint8_t> bytes, Millis timeout) override {
        std::size_t off = 0;
        do {
            std::size_t piece = std::min<std::size_t>(bytes.size() - off, maxRecv_);
            bool last = off + piece == bytes.size();
            Device_WriteParms parms{};
            parms.lid = link_;
            parms.io_timeout = static_cast<unsigned long>(timeout.count());
            parms.lock_timeout = 0;
            parms.flags = last ? kFlagEnd : 0;
            parms.data.data_len = static_cast<u_int>(piece);
            parms.data.data_val = reinterpret_cast<char*>(const_cast<uint8_t*>(bytes.data() + off));
            Device_WriteResp resp{};
            call(device_write, reinterpret_cast<xdrproc_t>(xdr_Device_WriteParms), &parms,
                 reinterpret_cast<xdrproc_t>(xdr_Device_WriteResp), &resp, timeout + kRpcMargin);
            if (resp.error != 0) throw deviceError("device_write", resp.error);
            if (resp.size == 0 || resp.size > piece)
                throw IoError(kIoFailure, "device_write: the instrument took " +
                                              std::to_string(resp.size) + " of " +
                                              std::to_string(piece) + " bytes");
            off += resp.size;
        } while (off < bytes.size());
    }

    std::string readLine(Millis timeout) override {
        auto deadline = std::chrono::steady_clock::now() + timeout;
        std::string reply;
        for (;;) {
            auto left =
                std::chrono::duration_cast<Millis>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                throw IoError(kTimedOut, "no complete reply within " +
                                             std::to_string(timeout.count()) + " ms (time-out)");
            Device_ReadParms parms{};
            parms.lid = link_;
            parms.requestSize = static_cast<unsigned long>(
                std::min<std::size_t>(kMaxReplyBytes + 1 - reply.size(), 1 << 20));
            parms.io_timeout = static_cast<unsigned long>(left.count());
            parms.lock_timeout = 0;
            parms.flags = 0;
            parms.termChar = '\n';
            Device_ReadResp resp{};
            call(device_read, reinterpret_cast<xdrproc_t>(xdr_Device_ReadParms), &parms,
                 reinterpret_cast<xdrproc_t>(xdr_Device_ReadResp), &resp, left + kRpcMargin);
            long error = resp.error;
            long reason = resp.reason;
            reply.append(resp.data.data_val, resp.data.data_len);
            ::xdr_free(reinterpret_cast<xdrproc_t>(xdr_Device_ReadResp),
                       reinterpret_cast<char*>(&resp));
            if (error == kErrIoTimeout) {
                needsClear_ = true;
                throw IoError(kTimedOut, "no reply within " + std::to_string(timeout.count()) +
                                             " ms (time-out)");
            }
            if (error != 0) throw deviceError("device_read", error);
            if (reply.size() > kMaxReplyBytes)
                throw IoError(kIoFailure,
                              "reply longer than " + std::to_string(kMaxReplyBytes) + " bytes");
            if (reason & kReasonEnd) break;
        }
        while (!reply.empty() && (reply.back() == '\n' || reply.back() == '\r'))
            reply.pop_back();
        return reply;
    }

    void discardInput() override {
        // A reply the device still holds from an abandoned query would
        // otherwise answer the next one.
        if (!needsClear_) return;
        genericCall(device_clear, kDiscardWait, "device_clear");
        needsClear_ = false;
    }

    void goToLocal(Millis timeout) override { genericCall(device_local, timeout, "device_local"); }

    bool alive() override {
        pollfd p{fd_, POLLIN | POLLRDHUP, 0};
        if (::poll(&p, 1, 0) < 0) return false;
        return !(p.revents & (POLLERR | POLLHUP | POLLRDHUP | POLLNVAL));
    }

    std::string describe() const override { return description_; }

  private:
    template <class A, class R>
    void call(u_long proc, xdrproc_t xa, A* a, xdrproc_t xr, R* r, Millis timeout) {
        clnt_stat st;
        try {
            st = watchedCall(client_, fd_, proc, xa, a, xr, r, timeout);
        } catch (const IoError&) {
            broken_ = true;  // the watchdog shut the socket down
            throw;
        }
        if (st == RPC_TIMEDOUT) {
            needsClear_ = true;
            throw IoError(kTimedOut, "no answer to the RPC call within " +
                                         std::to_string(timeout.count()) + " ms (time-out)");
        }
        // The library's text starts with "RPC: " itself.
        if (st != RPC_SUCCESS) throw IoError(kIoFailure, ::clnt_sperrno(st));
    }

    void genericCall(u_long proc, Millis timeout, const char* what) {
        Device_GenericParms parms{};
        parms.lid = link_;
        parms.flags = 0;
        parms.lock_timeout = 0;
        parms.io_timeout = static_cast<unsigned long>(timeout.count());
        Device_Error err{};
        call(proc, reinterpret_cast<xdrproc_t>(xdr_Device_GenericParms), &parms,
             reinterpret_cast<xdrproc_t>(xdr_Device_Error), &err, timeout + kRpcMargin);
        if (err.error != 0) throw deviceError(what, err.error);
    }

    std::string description_;
    CLIENT* client_ = nullptr;
    int fd_ = -1;
    Device_Link link_ = 0;
    unsigned long maxRecv_ = 1024;
    bool needsClear_ = false;
    bool broken_ = false;
};

}  // namespace

std::unique_ptr<Transport> openVxi11(const std::string& host, std::optional<uint16_t> port,
                                     const std::string& device, Millis timeout) {
    return std::make_unique<Vxi11Transport>(host, port, device, timeout);
}

}  // namespace onex::mexio
