// LAN backend: VXI-11 core channel over ONC RPC (TCP).
//
// Our own small client: create_link, device_write split by the link's
// maximum receive size with END on the last piece only, device_read until
// END, device_local, device_clear, destroy_link. The RPC layer under it is
// our own too (record marking over TCP, XDR by the generated routines), so
// that every reply is checked before it is decoded: its size against what
// the call can return, its transaction id, its reply and accept status. A
// malformed reply is named as such as soon as it shows, however fast or
// slowly it arrives. Every wait is bounded by the time-out (replies counted
// from when the call has been taken, so a reply that keeps trickling in is
// still cut off) and ends on a cancel request; the link is then given up.

#include <rpc/rpc.h>
// after rpc.h, which it needs
#include <rpc/pmap_prot.h>
#include <unistd.h>

#include <algorithm>
#include <random>

#include "MexIO/AsioStream.h"
#include "MexIO/Cancel.h"
#include "MexIO/TcpSocket.h"
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
// The largest piece of one device_write: the bound of its data in vxi11.x.
constexpr unsigned long kMaxWritePiece = 1UL << 26;

// The most a reply holds before its results: transaction id, message type,
// reply status, verifier (flavour, length and at most MAX_AUTH_BYTES) and
// accept status.
constexpr std::size_t kReplyHeaderBytes = 6 * 4 + MAX_AUTH_BYTES;
constexpr uint32_t kLastFragment = 0x80000000u;
// Results of the calls made here, in bytes on the wire.
constexpr std::size_t kDeviceErrorBytes = 4;
constexpr std::size_t kWriteRespBytes = 8;
constexpr std::size_t kCreateLinkRespBytes = 16;

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

std::string acceptStatText(uint32_t stat) {
    switch (stat) {
        case PROG_UNAVAIL:
            return "program unavailable";
        case PROG_MISMATCH:
            return "program version mismatch";
        case PROC_UNAVAIL:
            return "procedure unavailable";
        case GARBAGE_ARGS:
            return "arguments not understood";
        default:
            return "system error";
    }
}

IoError malformed(const std::string& what, const std::string& why) {
    return IoError(kIoFailure, "malformed reply to " + what + ": " + why);
}

// Decodes a reply record to the call with transaction id xid; the results go
// into r through xr.
class ReplyDecoder {
  public:
    ReplyDecoder(const std::string& record, const std::string& what)
        : size_(record.size()), what_(what) {
        ::xdrmem_create(&x_, const_cast<char*>(record.data()), static_cast<u_int>(size_),
                        XDR_DECODE);
    }
    ~ReplyDecoder() { xdr_destroy(&x_); }
    ReplyDecoder(const ReplyDecoder&) = delete;
    ReplyDecoder& operator=(const ReplyDecoder&) = delete;

    void decode(uint32_t xid, xdrproc_t xr, void* r) {
        if (const uint32_t id = word(); id != xid)
            throw malformed(what_, "transaction id " + std::to_string(id) + " where " +
                                       std::to_string(xid) + " was sent");
        if (const uint32_t type = word(); type != REPLY)
            throw malformed(what_, "message type " + std::to_string(type) + ", not a reply");
        const uint32_t replyStat = word();
        if (replyStat == MSG_DENIED)
            throw IoError(kIoFailure, what_ + ": the server refused the call (" +
                                          (word() == RPC_MISMATCH ? "RPC version mismatch"
                                                                  : "authentication error") +
                                          ")");
        if (replyStat != MSG_ACCEPTED)
            throw malformed(what_, "reply status " + std::to_string(replyStat));
        word();  // the verifier's flavour
        const uint32_t verifier = word();
        if (verifier > MAX_AUTH_BYTES || verifier > size_ - xdr_getpos(&x_) ||
            !xdr_setpos(&x_, xdr_getpos(&x_) + ((verifier + 3) & ~3u)))
            throw malformed(what_, "a verifier of " + std::to_string(verifier) + " bytes");
        const uint32_t acceptStat = word();
        if (acceptStat > SYSTEM_ERR)
            throw malformed(what_, "accept status " + std::to_string(acceptStat));
        if (acceptStat != SUCCESS)
            throw IoError(kIoFailure, what_ + ": the server could not run the call (" +
                                          acceptStatText(acceptStat) + ")");
        const bool decoded = xr(&x_, r);
        const std::size_t used = xdr_getpos(&x_);
        if (decoded && used == size_) return;
        ::xdr_free(xr, static_cast<char*>(r));
        throw malformed(what_, decoded ? std::to_string(size_ - used) + " bytes after the results"
                                       : "results that do not decode (" + std::to_string(size_) +
                                             " bytes in all)");
    }

  private:
    uint32_t word() {
        uint32_t v = 0;
        if (!::xdr_u_int32_t(&x_, &v))
            throw malformed(what_, "cut short (" + std::to_string(size_) + " bytes in all)");
        return v;
    }

    XDR x_{};
    std::size_t size_;
    const std::string& what_;
};

// One ONC RPC client connection over TCP.
class RpcClient : public AsioByteStream<asio::ip::tcp::socket> {
  public:
    RpcClient(const std::string& host, uint16_t port, Millis timeout) {
        connectTcp(io_, stream_, host, port, timeout, true);
        xid_ = std::random_device{}() | 1u;  // any start, as long as replies are checked
    }
    ~RpcClient() override {
        asio::error_code ec;
        stream_.close(ec);
    }

    // Calls procedure proc of (prog, vers) with the arguments a (encoded by
    // xa) and decodes the results into r (by xr; the caller frees them with
    // xdr_free). maxResults bounds the results on the wire; `what` names the
    // call in messages.
    void call(uint32_t prog, uint32_t vers, uint32_t proc, xdrproc_t xa, void* a, xdrproc_t xr,
              void* r, std::size_t maxResults, Millis timeout, const std::string& what) {
        const uint32_t xid = xid_++;
        writeAll(callRecord(xid, prog, vers, proc, xa, a, what), timeout);
        const std::string reply = readRecord(kReplyHeaderBytes + maxResults, timeout, what);
        ReplyDecoder(reply, what).decode(xid, xr, r);
    }

    bool alive() { return tcpAlive(stream_); }

  private:
    std::size_t availableBytes() override { return tcpAvailableBytes(stream_); }
    std::size_t unsentBytes() override { return tcpUnsentBytes(stream_); }

    // The call message as one record of a single fragment.
    static std::vector<uint8_t> callRecord(uint32_t xid, uint32_t prog, uint32_t vers,
                                           uint32_t proc, xdrproc_t xa, void* a,
                                           const std::string& what) {
        rpc_msg msg{};
        msg.rm_xid = xid;
        msg.rm_direction = CALL;
        msg.rm_call.cb_rpcvers = RPC_MSG_VERSION;
        msg.rm_call.cb_prog = prog;
        msg.rm_call.cb_vers = vers;
        msg.rm_call.cb_proc = proc;
        msg.rm_call.cb_cred = _null_auth;
        msg.rm_call.cb_verf = _null_auth;
        const std::size_t size =
            ::xdr_sizeof(reinterpret_cast<xdrproc_t>(xdr_callmsg), &msg) + ::xdr_sizeof(xa, a);
        if (size >= kLastFragment) throw IoError(kBadArgument, what + ": the call is too large");
        std::vector<uint8_t> out(4 + size);
        XDR x;
        ::xdrmem_create(&x, reinterpret_cast<char*>(out.data() + 4), static_cast<u_int>(size),
                        XDR_ENCODE);
        const bool encoded = ::xdr_callmsg(&x, &msg) && xa(&x, a);
        xdr_destroy(&x);
        if (!encoded) throw IoError(kBadArgument, what + ": the call cannot be encoded");
        const uint32_t mark = kLastFragment | static_cast<uint32_t>(size);
        for (std::size_t i = 0; i < 4; ++i)
            out[i] = static_cast<uint8_t>(mark >> (24 - 8 * i));
        return out;
    }

    // One whole reply record, its fragments joined. The time-out bounds the
    // whole record; a record longer than maxBytes is refused from its first
    // fragment header on, before anything more is read.
    std::string readRecord(std::size_t maxBytes, Millis timeout, const std::string& what) {
        auto since = SteadyClock::now();
        auto drains = outputDrains();
        const auto fill = [&](std::size_t n) {
            while (pending_.size() < n)
                receiveSome(since, timeout, drains);
        };
        std::string record;
        for (bool last = false; !last;) {
            fill(4);
            const auto* u = reinterpret_cast<const unsigned char*>(pending_.data());
            const uint32_t mark =
                uint32_t{u[0]} << 24 | uint32_t{u[1]} << 16 | uint32_t{u[2]} << 8 | u[3];
            pending_.erase(0, 4);
            last = (mark & kLastFragment) != 0;
            const std::size_t length = mark & ~kLastFragment;
            if (length > maxBytes - record.size())
                throw malformed(what, "a record of more than " + std::to_string(maxBytes) +
                                          " bytes (a fragment of " + std::to_string(length) +
                                          "), longer than any reply to the call");
            fill(length);
            record.append(pending_, 0, length);
            pending_.erase(0, length);
        }
        return record;
    }

    uint32_t xid_ = 0;
};

uint16_t portFromPortmapper(const std::string& host, Millis timeout) {
    try {
        RpcClient c(host, PMAPPORT, timeout);
        pmap parms{DEVICE_CORE, DEVICE_CORE_VERSION, IPPROTO_TCP, 0};
        u_long port = 0;
        c.call(PMAPPROG, PMAPVERS, PMAPPROC_GETPORT, reinterpret_cast<xdrproc_t>(xdr_pmap), &parms,
               reinterpret_cast<xdrproc_t>(xdr_u_long), &port, 4, timeout, "GETPORT");
        if (port == 0 || port > 65535)
            throw IoError(kNotConnected, "no VXI-11 server is registered");
        return static_cast<uint16_t>(port);
    } catch (const IoError& e) {
        throw IoError(e.status(), "portmapper of " + host + ": " + e.what());
    }
}

class Vxi11Transport : public Transport {
  public:
    Vxi11Transport(const std::string& host, std::optional<uint16_t> port, const std::string& device,
                   Millis timeout) {
        description_ = "TCPIP " + host;
        if (port) description_.append(":").append(std::to_string(*port));
        description_.append(" VXI-11 ").append(device);
        const uint16_t p = port ? *port : portFromPortmapper(host, timeout);
        try {
            rpc_ = std::make_unique<RpcClient>(host, p, timeout);
        } catch (const IoError& e) {
            throw IoError(e.status(),
                          "VXI-11 server " + host + ":" + std::to_string(p) + ": " + e.what());
        }

        Create_LinkParms parms{};
        parms.clientId = static_cast<long>(::getpid());
        parms.lockDevice = 0;
        parms.lock_timeout = 0;
        parms.device = const_cast<char*>(device.c_str());
        Create_LinkResp resp{};
        call(create_link, reinterpret_cast<xdrproc_t>(xdr_Create_LinkParms), &parms,
             reinterpret_cast<xdrproc_t>(xdr_Create_LinkResp), &resp, kCreateLinkRespBytes, timeout,
             "create_link");
        if (resp.error != 0)
            throw IoError(kNotConnected,
                          "create_link to '" + device + "' refused: " + vxiErrorText(resp.error));
        link_ = resp.lid;
        // The protocol promises at least 1024; guard against a server that
        // says 0 so that writing always makes progress.
        maxRecv_ = std::clamp<unsigned long>(resp.maxRecvSize, 1024, kMaxWritePiece);
    }

    ~Vxi11Transport() override {
        // The link is ended politely only on a connection that still works
        // and when nobody is waiting for us to stop.
        if (!broken_ && rpc_->alive() && !cancelRequested()) {
            try {
                if (needsClear_) genericCall(device_clear, kClosingWait, "device_clear");
                Device_Link lid = link_;
                Device_Error err{};
                call(destroy_link, reinterpret_cast<xdrproc_t>(xdr_Device_Link), &lid,
                     reinterpret_cast<xdrproc_t>(xdr_Device_Error), &err, kDeviceErrorBytes,
                     kClosingWait, "destroy_link");
            } catch (const IoError&) {
            }
        }
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
                 reinterpret_cast<xdrproc_t>(xdr_Device_WriteResp), &resp, kWriteRespBytes,
                 timeout + kRpcMargin, "device_write");
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
            const std::size_t request =
                std::min<std::size_t>(kMaxReplyBytes + 1 - reply.size(), 1 << 20);
            parms.requestSize = static_cast<unsigned long>(request);
            parms.io_timeout = static_cast<unsigned long>(left.count());
            parms.lock_timeout = 0;
            parms.flags = 0;
            parms.termChar = '\n';
            Device_ReadResp resp{};
            // error, reason and the data (a length and the bytes, padded to 4).
            const std::size_t maxResults = 12 + (request + 3) / 4 * 4;
            call(device_read, reinterpret_cast<xdrproc_t>(xdr_Device_ReadParms), &parms,
                 reinterpret_cast<xdrproc_t>(xdr_Device_ReadResp), &resp, maxResults,
                 left + kRpcMargin, "device_read");
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

    bool alive() override { return !broken_ && rpc_->alive(); }

    std::string describe() const override { return description_; }

  private:
    // A failed call leaves the connection in an unknown state (a late reply
    // could answer the next call): the link is given up.
    void call(u_long proc, xdrproc_t xa, void* a, xdrproc_t xr, void* r, std::size_t maxResults,
              Millis timeout, const char* what) {
        try {
            rpc_->call(DEVICE_CORE, DEVICE_CORE_VERSION, static_cast<uint32_t>(proc), xa, a, xr, r,
                       maxResults, timeout, what);
        } catch (const IoError&) {
            broken_ = true;
            throw;
        }
    }

    void genericCall(u_long proc, Millis timeout, const char* what) {
        Device_GenericParms parms{};
        parms.lid = link_;
        parms.flags = 0;
        parms.lock_timeout = 0;
        parms.io_timeout = static_cast<unsigned long>(timeout.count());
        Device_Error err{};
        call(proc, reinterpret_cast<xdrproc_t>(xdr_Device_GenericParms), &parms,
             reinterpret_cast<xdrproc_t>(xdr_Device_Error), &err, kDeviceErrorBytes,
             timeout + kRpcMargin, what);
        if (err.error != 0) throw deviceError(what, err.error);
    }

    std::string description_;
    std::unique_ptr<RpcClient> rpc_;
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
