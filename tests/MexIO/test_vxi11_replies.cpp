// The VXI-11 client against a server of the test's own on 127.0.0.1, for
// replies no instrument should send: each is reported as what it is, at
// once and whatever the pace at which it arrives, while a sound reply cut
// into many fragments and written slowly is still read.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <rpc/rpc.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <thread>

#include "MexIO/HwIO.h"
#include "MexIO/vxi11.h"
#include "system/support_lan.h"

using namespace onex;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

namespace {

std::string word(uint32_t v) {
    const uint32_t be = htonl(v);
    return std::string(reinterpret_cast<const char*>(&be), 4);
}

// `body` as a record of fragments of at most `fragment` bytes.
std::string record(const std::string& body, std::size_t fragment = std::string::npos) {
    std::string out;
    std::size_t at = 0;
    do {
        const std::size_t n = std::min(fragment, body.size() - at);
        const bool last = at + n == body.size();
        out += word((last ? 0x80000000u : 0) | static_cast<uint32_t>(n)) + body.substr(at, n);
        at += n;
    } while (at < body.size());
    return out;
}

// An accepted, successful reply to call xid carrying `results`.
template <class R>
std::string acceptedReply(uint32_t xid, xdrproc_t encode, R results) {
    char buf[4096];
    XDR x;
    xdrmem_create(&x, buf, sizeof buf, XDR_ENCODE);
    EXPECT_TRUE(encode(&x, &results));
    const std::string encoded(buf, xdr_getpos(&x));
    xdr_destroy(&x);
    return word(xid) + word(REPLY) + word(MSG_ACCEPTED) + word(0) + word(0) + word(SUCCESS) +
           encoded;
}

struct Call {
    uint32_t xid = 0, proc = 0;
    std::string args;
};

// What an instrument would answer: a link, every write taken whole, and an
// identity to every read.
std::string soundReply(const Call& c) {
    const auto xdr = [](auto f) { return reinterpret_cast<xdrproc_t>(f); };
    switch (c.proc) {
        case 10:
            return acceptedReply(c.xid, xdr(xdr_Create_LinkResp), Create_LinkResp{0, 7, 0, 1024});
        case 11: {
            // lid, io_timeout, lock_timeout, flags, then the data's length
            uint32_t n = 0;
            std::memcpy(&n, c.args.data() + 16, 4);
            return acceptedReply(c.xid, xdr(xdr_Device_WriteResp), Device_WriteResp{0, ntohl(n)});
        }
        case 12: {
            static char idn[] = "FAKE,VXI,US1,1\n";
            Device_ReadResp r{};
            r.reason = 4;  // END
            r.data.data_len = sizeof idn - 1;
            r.data.data_val = idn;
            return acceptedReply(c.xid, xdr(xdr_Device_ReadResp), r);
        }
        default:
            return acceptedReply(c.xid, xdr(xdr_Device_Error), Device_Error{0});
    }
}

// Serves one connection after another until destroyed. Each call is read
// whole and answered with what `answer` gives (records included), written
// in pieces of `piece` bytes with `pause` after each. `zerosAfter` (when not
// 0) then follows the answer with that many zero bytes, as long as the
// client takes them (for at most 10 s).
class FakeVxi11Server {
  public:
    std::function<std::string(const Call&)> answer = [](const Call& c) {
        return record(soundReply(c));
    };
    std::size_t piece = std::string::npos;
    milliseconds pause{0};
    uint64_t zerosAfter = 0;

    FakeVxi11Server() {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(listener_, 4);
        socklen_t len = sizeof a;
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
    }
    ~FakeVxi11Server() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        ::close(listener_);
    }
    void start() {
        thread_ = std::thread([this] { serve(); });
    }
    IoConfig config() const {
        return testsim::lan("TCPIP0::127.0.0.1:" + std::to_string(port_) + "::inst0::INSTR");
    }

  private:
    bool readExactly(int fd, std::string& out, std::size_t n) {
        while (out.size() < n && !stop_) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0) continue;
            char buf[65536];
            const ssize_t k = ::recv(fd, buf, std::min(sizeof buf, n - out.size()), 0);
            if (k <= 0) return false;
            out.append(buf, static_cast<std::size_t>(k));
        }
        return out.size() == n;
    }
    bool readCall(int fd, Call& c) {
        std::string body;
        for (bool last = false; !last;) {
            std::string mark;
            if (!readExactly(fd, mark, 4)) return false;
            const uint32_t m = ntohl(*reinterpret_cast<const uint32_t*>(mark.data()));
            last = (m & 0x80000000u) != 0;
            std::string part;
            if (!readExactly(fd, part, m & 0x7FFFFFFFu)) return false;
            body += part;
        }
        const auto at = [&](std::size_t i) {
            return ntohl(*reinterpret_cast<const uint32_t*>(body.data() + 4 * i));
        };
        // xid, CALL, RPC version, program, version, procedure, then
        // credentials and verifier (flavour, length, bytes) and the arguments.
        c.xid = at(0);
        c.proc = at(5);
        std::size_t off = 24;
        for (int i = 0; i < 2; ++i)
            off +=
                8 + (ntohl(*reinterpret_cast<const uint32_t*>(body.data() + off + 4)) + 3) / 4 * 4;
        c.args = body.substr(off);
        return true;
    }
    bool send(int fd, const char* data, std::size_t n) {
        for (std::size_t at = 0; at < n && !stop_;) {
            const std::size_t k = std::min(piece, n - at);
            if (::send(fd, data + at, k, MSG_NOSIGNAL) < 0) return false;
            at += k;
            if (pause.count() > 0) std::this_thread::sleep_for(pause);
        }
        return true;
    }
    void serve() {
        while (!stop_) {
            pollfd p{listener_, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0) continue;
            const int fd = ::accept(listener_, nullptr, nullptr);
            if (fd < 0) continue;
            Call c;
            bool open = true;
            while (open && readCall(fd, c)) {
                const std::string reply = answer(c);
                open = !reply.empty() && send(fd, reply.data(), reply.size());
                const auto end = Clock::now() + std::chrono::seconds(10);
                const std::string zeros(65536, '\0');
                for (uint64_t left = zerosAfter; open && left > 0 && Clock::now() < end;) {
                    const std::size_t n = std::min<uint64_t>(left, zeros.size());
                    open = send(fd, zeros.data(), n);
                    left -= n;
                }
            }
            ::close(fd);
        }
    }

    int listener_ = -1;
    uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

long long msSince(Clock::time_point t0) {
    return std::chrono::duration_cast<milliseconds>(Clock::now() - t0).count();
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

using Vxi11Replies = testsim::FreshConnections;

}  // namespace

TEST_F(Vxi11Replies, AFragmentedReplyWrittenSlowlyIsRead) {
    FakeVxi11Server server;
    server.answer = [](const Call& c) { return record(soundReply(c), 5); };
    server.piece = 3;
    server.pause = milliseconds(1);
    server.start();
    const Status p = hwPing(server.config());
    EXPECT_EQ(p.status, 0) << p.response;
    EXPECT_TRUE(contains(p.response, "FAKE,VXI,US1,1")) << p.response;
}

// The link request answered with a 2 GB record of zeros, records that do
// not belong to the call, and a refusal: each is named for what it is
// within a moment, however fast or slowly the server writes.
TEST_F(Vxi11Replies, BadRepliesAreNamedAtOnce) {
    struct Case {
        const char* name;
        std::function<std::string(const Call&)> answer;
        uint64_t zeros;
        const char* says;
    };
    const std::string malformed = "malformed reply to create_link: ";
    const Case cases[] = {
        {"2 GB of zeros", [](const Call&) { return word(0xFFFFFFFFu); }, (1ull << 31) - 1,
         "a record of more than"},
        {"a record of zeros", [](const Call&) { return record(std::string(40, '\0')); }, 0,
         "transaction id 0 where"},
        {"another call's reply",
         [](const Call& c) {
             return record(soundReply(Call{c.xid + 1, c.proc, c.args}));
         },
         0, "transaction id"},
        {"a call", [](const Call& c) { return record(word(c.xid) + word(CALL)); }, 0,
         "message type 0, not a reply"},
        {"results cut short", [](const Call& c) { return record(soundReply(c).substr(0, 32)); }, 0,
         "results that do not decode"},
        {"a refusal",
         [](const Call& c) {
             return record(word(c.xid) + word(REPLY) + word(MSG_ACCEPTED) + word(0) + word(0) +
                           word(PROG_UNAVAIL));
         },
         0, "create_link: the server could not run the call (program unavailable)"}};
    for (const bool slowly : {false, true}) {
        for (const Case& k : cases) {
            FakeVxi11Server server;
            server.answer = k.answer;
            server.zerosAfter = k.zeros;
            if (slowly) {
                server.piece = 1;
                server.pause = milliseconds(20);
            }
            server.start();
            IoConfig c = server.config();
            ASSERT_EQ(hwSetTimeout(c, 5000).status, 0);
            const auto t0 = Clock::now();
            const Status p = hwPing(c);
            EXPECT_EQ(p.status, 4) << k.name << (slowly ? " (slowly)" : "") << ": " << p.response;
            const bool refusal = std::string(k.says).starts_with("create_link");
            EXPECT_TRUE(contains(p.response, refusal ? k.says : malformed + k.says))
                << k.name << ": " << p.response;
            EXPECT_LT(msSince(t0), slowly ? 3000 : 1000) << k.name;
            hwIOCloseAll();
        }
    }
}

// A reply that keeps coming in fragments, each well within the size a
// reply may have, is still cut off at the time-out; a server that hangs up
// is reported once.
TEST_F(Vxi11Replies, RepliesAreBoundedByTheTimeOut) {
    {
        FakeVxi11Server server;
        server.answer = [](const Call&) {
            std::string trickle;
            for (int i = 0; i < 40; ++i)
                trickle += word(0);  // empty fragments without the last-fragment bit
            return trickle;
        };
        server.pause = milliseconds(50);
        server.piece = 4;
        server.start();
        IoConfig c = server.config();
        ASSERT_EQ(hwSetTimeout(c, 400).status, 0);
        const auto t0 = Clock::now();
        const Status p = hwPing(c);
        EXPECT_LT(msSince(t0), 2500);
        EXPECT_EQ(p.status, 3) << p.response;
        EXPECT_TRUE(contains(p.response, "400 ms")) << p.response;
    }
    FakeVxi11Server server;
    server.answer = [](const Call&) { return std::string(); };
    server.start();
    const Status p = hwPing(server.config());
    EXPECT_EQ(p.status, 4) << p.response;
    EXPECT_TRUE(contains(p.response, "closed the connection")) << p.response;
}
