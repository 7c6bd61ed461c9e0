// LAN backend: VXI-11 core channel over ONC RPC (TCP).
//
// Our own small client: create_link, device_write split by the link's
// maximum receive size with END on the last piece only, device_read until
// END, device_local, device_clear, destroy_link. The RPC layer under it is
// our own too (record marking over TCP, and XDR: the few messages of the
// calls made here, encoded and decoded below), so that every reply is
// checked before it is decoded: its size against what the call can return,
// its transaction id, its reply and accept status; and so that the programs
// need not load the RPC library, with its Kerberos chain, at start (only
// the simulator's server uses it, through the routines generated from
// vxi11.x, which also give the numbers and types used here). A
// malformed reply is named as such as soon as it shows, however fast or
// slowly it arrives. Every wait is bounded by the time-out (replies counted
// from when the call has been taken, so a reply that keeps trickling in is
// still cut off) and ends on a cancel request; the link is then given up.

// Only the RPC library's and the generated protocol's declarations are
// used, none of their routines.
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
// The bounds of vxi11.x: of device_write's and device_read's data (so the
// largest piece of one device_write), and of create_link's device name.
constexpr unsigned long kMaxDeviceData = 1UL << 26;
constexpr std::size_t kMaxDeviceName = 256;

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

// A big-endian word (XDR items, record marks) at `p`.
uint32_t loadWord(const char* p) {
    const auto* u = reinterpret_cast<const unsigned char*>(p);
    return uint32_t{u[0]} << 24 | uint32_t{u[1]} << 16 | uint32_t{u[2]} << 8 | u[3];
}

// XDR (RFC 4506) of the messages below: every item is a multiple of four
// bytes, big-endian; variable-length data is its length and its bytes,
// padded with zeros to four.
class XdrWriter {
  public:
    void word(uint32_t v) {
        for (int shift = 24; shift >= 0; shift -= 8)
            bytes_.push_back(static_cast<uint8_t>(v >> shift));
    }
    void integer(long v) { word(static_cast<uint32_t>(static_cast<int32_t>(v))); }
    void data(const void* p, std::size_t n) {
        word(static_cast<uint32_t>(n));
        const auto* b = static_cast<const uint8_t*>(p);
        bytes_.insert(bytes_.end(), b, b + n);
        bytes_.resize(bytes_.size() + (4 - n % 4) % 4, 0);
    }
    std::vector<uint8_t>& bytes() { return bytes_; }

  private:
    std::vector<uint8_t> bytes_;
};

// Reads a reply record to the call with transaction id xid: the header is
// checked here, the results are read by the caller, who ends with done().
class ReplyReader {
  public:
    ReplyReader(const std::string& record, const std::string& what, uint32_t xid)
        : record_(record), what_(what) {
        if (const uint32_t id = header(); id != xid)
            throw malformed(what_, "transaction id " + std::to_string(id) + " where " +
                                       std::to_string(xid) + " was sent");
        if (const uint32_t type = header(); type != REPLY)
            throw malformed(what_, "message type " + std::to_string(type) + ", not a reply");
        const uint32_t replyStat = header();
        if (replyStat == MSG_DENIED)
            throw IoError(kIoFailure, what_ + ": the server refused the call (" +
                                          (header() == RPC_MISMATCH ? "RPC version mismatch"
                                                                    : "authentication error") +
                                          ")");
        if (replyStat != MSG_ACCEPTED)
            throw malformed(what_, "reply status " + std::to_string(replyStat));
        header();  // the verifier's flavour
        const uint32_t verifier = header();
        const std::size_t padded = (std::size_t{verifier} + 3) & ~std::size_t{3};
        if (verifier > MAX_AUTH_BYTES || padded > record_.size() - pos_)
            throw malformed(what_, "a verifier of " + std::to_string(verifier) + " bytes");
        pos_ += padded;
        const uint32_t acceptStat = header();
        if (acceptStat > SYSTEM_ERR)
            throw malformed(what_, "accept status " + std::to_string(acceptStat));
        if (acceptStat != SUCCESS)
            throw IoError(kIoFailure, what_ + ": the server could not run the call (" +
                                          acceptStatText(acceptStat) + ")");
    }

    // Items of the results; a record too short for them is named by done().
    uint32_t word() {
        if (record_.size() - pos_ < 4) {
            short_ = true;
            return 0;
        }
        pos_ += 4;
        return loadWord(record_.data() + pos_ - 4);
    }
    long integer() { return static_cast<int32_t>(word()); }
    // Variable-length data of at most maxBytes, appended to `out`.
    void data(std::string& out, std::size_t maxBytes) {
        const std::size_t n = word();
        const std::size_t padded = (n + 3) & ~std::size_t{3};
        if (short_ || n > maxBytes || padded > record_.size() - pos_) {
            short_ = true;
            return;
        }
        out.append(record_, pos_, n);
        pos_ += padded;
    }
    // The results were all there, and nothing follows them.
    void done() const {
        if (short_)
            throw malformed(what_, "results that do not decode (" + std::to_string(record_.size()) +
                                       " bytes in all)");
        if (pos_ != record_.size())
            throw malformed(what_,
                            std::to_string(record_.size() - pos_) + " bytes after the results");
    }

  private:
    uint32_t header() {
        const uint32_t v = word();
        if (short_)
            throw malformed(what_,
                            "cut short (" + std::to_string(record_.size()) + " bytes in all)");
        return v;
    }

    const std::string& record_;
    const std::string& what_;
    std::size_t pos_ = 0;
    bool short_ = false;
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

    // Calls procedure proc of (prog, vers) with the arguments `encode`
    // writes, and reads the results with `decode` (on a ReplyReader).
    // maxResults bounds the results on the wire; `what` names the call in
    // messages.
    template <class Encode, class Decode>
    void call(uint32_t prog, uint32_t vers, uint32_t proc, Encode&& encode, Decode&& decode,
              std::size_t maxResults, Millis timeout, const std::string& what) {
        const uint32_t xid = xid_++;
        XdrWriter args;
        encode(args);
        writeAll(callRecord(xid, prog, vers, proc, args.bytes(), what), timeout);
        const std::string reply = readRecord(kReplyHeaderBytes + maxResults, timeout, what);
        ReplyReader results(reply, what, xid);
        decode(results);
        results.done();
    }

    bool alive() { return tcpAlive(stream_); }

  private:
    std::size_t availableBytes() override { return tcpAvailableBytes(stream_); }
    std::size_t unsentBytes() override { return tcpUnsentBytes(stream_); }

    // The call message as one record of a single fragment: its header (no
    // credentials) and the arguments.
    static std::vector<uint8_t> callRecord(uint32_t xid, uint32_t prog, uint32_t vers,
                                           uint32_t proc, const std::vector<uint8_t>& args,
                                           const std::string& what) {
        const uint32_t header[] = {xid,
                                   uint32_t{CALL},
                                   uint32_t{RPC_MSG_VERSION},
                                   prog,
                                   vers,
                                   proc,
                                   uint32_t{AUTH_NONE},
                                   0u,
                                   uint32_t{AUTH_NONE},
                                   0u};
        const std::size_t size = sizeof header + args.size();
        if (size >= kLastFragment) throw IoError(kBadArgument, what + ": the call is too large");
        XdrWriter x;
        x.word(kLastFragment | static_cast<uint32_t>(size));  // the record mark
        for (const uint32_t w : header)
            x.word(w);
        std::vector<uint8_t>& out = x.bytes();
        out.insert(out.end(), args.begin(), args.end());
        return std::move(out);
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
            const uint32_t mark = loadWord(pending_.data());
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
        uint32_t port = 0;
        c.call(
            PMAPPROG, PMAPVERS, PMAPPROC_GETPORT,
            [](XdrWriter& x) {
                for (const uint32_t w : {uint32_t{DEVICE_CORE}, uint32_t{DEVICE_CORE_VERSION},
                                         uint32_t{IPPROTO_TCP}, 0u})
                    x.word(w);
            },
            [&](ReplyReader& r) { port = r.word(); }, 4, timeout, "GETPORT");
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

        if (device.size() > kMaxDeviceName)
            throw IoError(kBadArgument, "create_link: the device name '" + device +
                                            "' is longer than " + std::to_string(kMaxDeviceName) +
                                            " bytes");
        Create_LinkResp resp{};
        call(
            create_link,
            [&](XdrWriter& x) {
                x.integer(::getpid());  // clientId
                x.word(0);              // lockDevice
                x.word(0);              // lock_timeout
                x.data(device.data(), device.size());
            },
            [&](ReplyReader& r) {
                resp.error = r.integer();
                resp.lid = r.integer();
                resp.abortPort = static_cast<u_short>(r.word());
                resp.maxRecvSize = r.word();
            },
            kCreateLinkRespBytes, timeout, "create_link");
        if (resp.error != 0)
            throw IoError(kNotConnected,
                          "create_link to '" + device + "' refused: " + vxiErrorText(resp.error));
        link_ = resp.lid;
        // The protocol promises at least 1024; guard against a server that
        // says 0 so that writing always makes progress.
        maxRecv_ = std::clamp<unsigned long>(resp.maxRecvSize, 1024, kMaxDeviceData);
    }

    ~Vxi11Transport() override {
        // The link is ended politely only on a connection that still works
        // and when nobody is waiting for us to stop.
        if (!broken_ && rpc_->alive() && !cancelRequested()) {
            try {
                if (needsClear_) genericCall(device_clear, kClosingWait, "device_clear");
                call(
                    destroy_link, [&](XdrWriter& x) { x.integer(link_); },
                    [](ReplyReader& r) { r.integer(); }, kDeviceErrorBytes, kClosingWait,
                    "destroy_link");
            } catch (const IoError&) {
            }
        }
    }

    void write(std::span<const uint8_t> bytes, Millis timeout) override {
        std::size_t off = 0;
        do {
            std::size_t piece = std::min<std::size_t>(bytes.size() - off, maxRecv_);
            bool last = off + piece == bytes.size();
            Device_WriteResp resp{};
            call(
                device_write,
                [&](XdrWriter& x) {
                    x.integer(link_);
                    x.word(static_cast<uint32_t>(timeout.count()));  // io_timeout
                    x.word(0);                                       // lock_timeout
                    x.integer(last ? kFlagEnd : 0);                  // flags
                    x.data(bytes.data() + off, piece);
                },
                [&](ReplyReader& r) {
                    resp.error = r.integer();
                    resp.size = r.word();
                },
                kWriteRespBytes, timeout + kRpcMargin, "device_write");
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
            const std::size_t request =
                std::min<std::size_t>(kMaxReplyBytes + 1 - reply.size(), 1 << 20);
            long error = 0, reason = 0;
            // error, reason and the data (a length and the bytes, padded to 4).
            const std::size_t maxResults = 12 + (request + 3) / 4 * 4;
            call(
                device_read,
                [&](XdrWriter& x) {
                    x.integer(link_);
                    x.word(static_cast<uint32_t>(request));       // requestSize
                    x.word(static_cast<uint32_t>(left.count()));  // io_timeout
                    x.word(0);                                    // lock_timeout
                    x.integer(0);                                 // flags
                    x.integer('\n');                              // termChar
                },
                [&](ReplyReader& r) {
                    error = r.integer();
                    reason = r.integer();
                    r.data(reply, kMaxDeviceData);
                },
                maxResults, left + kRpcMargin, "device_read");
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
    template <class Encode, class Decode>
    void call(u_long proc, Encode&& encode, Decode&& decode, std::size_t maxResults, Millis timeout,
              const char* what) {
        try {
            rpc_->call(DEVICE_CORE, DEVICE_CORE_VERSION, static_cast<uint32_t>(proc), encode,
                       decode, maxResults, timeout, what);
        } catch (const IoError&) {
            broken_ = true;
            throw;
        }
    }

    void genericCall(u_long proc, Millis timeout, const char* what) {
        long error = 0;
        call(
            proc,
            [&](XdrWriter& x) {
                x.integer(link_);
                x.integer(0);                                    // flags
                x.word(0);                                       // lock_timeout
                x.word(static_cast<uint32_t>(timeout.count()));  // io_timeout
            },
            [&](ReplyReader& r) { error = r.integer(); }, kDeviceErrorBytes, timeout + kRpcMargin,
            what);
        if (error != 0) throw deviceError(what, error);
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
