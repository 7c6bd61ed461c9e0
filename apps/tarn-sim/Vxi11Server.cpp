#include "Vxi11Server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <rpc/rpc.h>
// after rpc.h, which they need
#include <rpc/pmap_clnt.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <memory>
#include <stdexcept>

#include "MexIO/Vxi11Protocol.h"
#include "MexIO/vxi11.h"
#include "ScpiParser.h"
#include "Session.h"

namespace tarnsim {

namespace {

using namespace onex::vxi11;

constexpr std::size_t kMaxLinks = 64;
constexpr long kMaxWaitMs = 5000;

struct Link {
    std::string device;
    std::string out;
    ScpiParser parser;
    std::unique_ptr<ReplySink> sink;
};

// The RPC library calls a plain function; the one server of the process
// keeps its state here.
struct ServerState {
    SimInstrument* inst = nullptr;
    Log* log = nullptr;
    Vxi11Options opt;
    std::map<long, Link> links;
    long nextLink = 1;
};
ServerState g;

Link* findLink(long lid) {
    auto it = g.links.find(lid);
    return it == g.links.end() ? nullptr : &it->second;
}

std::string errorSuffix(long error) {
    return error ? " error " + std::to_string(error) : "";
}

// One procedure call: decodes the arguments, lets `handle` fill the result,
// sends it and frees what decoding allocated. A call whose arguments do not
// decode is answered by the library's decode error.
template <class Args, class Res, class Handler>
void serve(SVCXPRT* xprt, bool_t (*xdrArgs)(XDR*, Args*), bool_t (*xdrRes)(XDR*, Res*),
           Handler handle) {
    const auto argsProc = reinterpret_cast<xdrproc_t>(xdrArgs);
    Args a{};
    if (!svc_getargs(xprt, argsProc, reinterpret_cast<caddr_t>(&a))) {
        svcerr_decode(xprt);
        return;
    }
    Res r{};
    handle(a, r);
    svc_sendreply(xprt, reinterpret_cast<xdrproc_t>(xdrRes), reinterpret_cast<caddr_t>(&r));
    svc_freeargs(xprt, argsProc, reinterpret_cast<caddr_t>(&a));
}

void createLink(const Create_LinkParms& a, Create_LinkResp& r) {
    const std::string device = a.device ? a.device : "";
    if (g.links.size() >= kMaxLinks) {
        r.error = kErrOutOfResources;
    } else {
        long lid = g.nextLink++;
        Link& l = g.links[lid];
        l.device = device;
        l.sink = std::make_unique<ReplySink>(*g.inst, "vxi11#" + std::to_string(lid), l.out);
        r.error = 0;
        r.lid = lid;
        r.abortPort = 0;
        r.maxRecvSize = g.opt.maxRecvSize;
    }
    g.log->write("VXI11 create_link " + device + " -> " +
                 (r.error ? "error " + std::to_string(r.error) : "link " + std::to_string(r.lid)));
}

void deviceWrite(const Device_WriteParms& a, Device_WriteResp& r) {
    Link* l = findLink(a.lid);
    const bool end = (a.flags & kFlagEnd) != 0;
    if (!l) {
        r.error = kErrInvalidLink;
    } else if (a.data.data_len > g.opt.maxRecvSize) {
        // The client must split writes by the size we announced.
        r.error = kErrParameter;
    } else {
        l->parser.feed(reinterpret_cast<const uint8_t*>(a.data.data_val), a.data.data_len,
                       *l->sink);
        if (end) l->parser.end(*l->sink);
        r.error = 0;
        r.size = a.data.data_len;
    }
    g.log->write("VXI11 device_write " + std::to_string(a.data.data_len) + " bytes" +
                 (end ? " END" : "") + errorSuffix(r.error));
}

// Takes the next piece of the pending reply: up to requestSize bytes, ending
// early after the termination character when asked to.
std::string nextPiece(Link& l, const Device_ReadParms& a, Device_ReadResp& r) {
    std::size_t n = std::min<std::size_t>(l.out.size(), std::max(1ul, a.requestSize));
    if (a.flags & kFlagTermChar) {
        auto t = l.out.find(a.termChar);
        if (t != std::string::npos && t < n) {
            n = t + 1;
            r.reason |= kReasonChr;
        }
    }
    std::string piece = l.out.substr(0, n);
    l.out.erase(0, n);
    if (l.out.empty())
        r.reason |= kReasonEnd;
    else if (!(r.reason & kReasonChr))
        r.reason |= kReasonReqCnt;
    return piece;
}

// `piece` holds the bytes the result points to until the reply is sent.
void deviceRead(const Device_ReadParms& a, Device_ReadResp& r, std::string& piece) {
    Link* l = findLink(a.lid);
    if (!l) {
        r.error = kErrInvalidLink;
    } else if (l->out.empty()) {
        // Nothing to read: a device waits for its I/O time-out.
        long wait = std::min<long>(static_cast<long>(a.io_timeout), kMaxWaitMs);
        std::this_thread::sleep_for(std::chrono::milliseconds(wait));
        r.error = kErrIoTimeout;
    } else {
        piece = nextPiece(*l, a, r);
    }
    r.data.data_len = static_cast<u_int>(piece.size());
    r.data.data_val = piece.data();
    g.log->write("VXI11 device_read " + std::to_string(piece.size()) + " bytes reason " +
                 std::to_string(r.reason) + errorSuffix(r.error));
}

void deviceGeneric(u_long proc, const Device_GenericParms& a, Device_Error& r) {
    Link* l = findLink(a.lid);
    const char* what = proc == device_clear    ? "device_clear"
                       : proc == device_local  ? "device_local"
                       : proc == device_remote ? "device_remote"
                                               : "device_trigger";
    if (!l) {
        r.error = kErrInvalidLink;
    } else if (proc == device_clear) {
        l->out.clear();
        l->parser = ScpiParser();
    } else if (proc == device_local) {
        g.inst->goToLocal("vxi11");
    }
    g.log->write(std::string("VXI11 ") + what + errorSuffix(r.error));
}

void destroyLink(const Device_Link& lid, Device_Error& r) {
    r.error = g.links.erase(lid) ? 0 : kErrInvalidLink;
    g.log->write("VXI11 destroy_link " + std::to_string(lid));
}

void dispatch(svc_req* rq, SVCXPRT* xprt) {
    const u_long proc = rq->rq_proc;
    switch (proc) {
        case NULLPROC:
            // xdr_void is declared without parameters; go through void* to
            // the library's variadic procedure type.
            svc_sendreply(xprt, reinterpret_cast<xdrproc_t>(reinterpret_cast<void*>(xdr_void)),
                          nullptr);
            return;
        case create_link:
            return serve(xprt, xdr_Create_LinkParms, xdr_Create_LinkResp, createLink);
        case device_write:
            return serve(xprt, xdr_Device_WriteParms, xdr_Device_WriteResp, deviceWrite);
        case device_read: {
            std::string piece;
            return serve(
                xprt, xdr_Device_ReadParms, xdr_Device_ReadResp,
                [&](const Device_ReadParms& a, Device_ReadResp& r) { deviceRead(a, r, piece); });
        }
        case device_clear:
        case device_local:
        case device_remote:
        case device_trigger:
            return serve(xprt, xdr_Device_GenericParms, xdr_Device_Error,
                         [proc](const Device_GenericParms& a, Device_Error& r) {
                             deviceGeneric(proc, a, r);
                         });
        case destroy_link:
            return serve(xprt, xdr_Device_Link, xdr_Device_Error, destroyLink);
        default:
            g.log->write("VXI11 unsupported procedure " + std::to_string(proc));
            svcerr_noproc(xprt);
            return;
    }
}

}  // namespace

Vxi11Server::Vxi11Server(SimInstrument& inst, Log& log, Vxi11Options opt) {
    g.inst = &inst;
    g.log = &log;
    g.opt = opt;
    int sock = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int one = 1;
    ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(opt.port);
    if (::bind(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(sock);
        throw std::runtime_error("VXI-11: cannot bind port " + std::to_string(opt.port));
    }
    // The RPC library listens only on sockets it bound itself.
    if (::listen(sock, SOMAXCONN) != 0) {
        ::close(sock);
        throw std::runtime_error("VXI-11: cannot listen");
    }
    socklen_t len = sizeof addr;
    ::getsockname(sock, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    SVCXPRT* xprt = svctcp_create(sock, 0, 0);
    if (!xprt) throw std::runtime_error("VXI-11: cannot create the RPC service");
    // Protocol 0: not registered with a portmapper here (optional, below).
    if (!svc_register(xprt, DEVICE_CORE, DEVICE_CORE_VERSION, dispatch, 0))
        throw std::runtime_error("VXI-11: cannot register the core channel");
    if (opt.registerWithPortmapper) {
        registered_ = pmap_set(DEVICE_CORE, DEVICE_CORE_VERSION, IPPROTO_TCP, port_);
        log.write(std::string("VXI11 portmapper registration ") +
                  (registered_ ? "done" : "failed"));
    }
    thread_ = std::thread([this] { run(); });
}

Vxi11Server::~Vxi11Server() {
    stop();
}

void Vxi11Server::stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (registered_) {
        pmap_unset(DEVICE_CORE, DEVICE_CORE_VERSION);
        registered_ = false;
    }
}

void Vxi11Server::run() {
    while (!stop_) {
        std::vector<pollfd> fds(svc_pollfd, svc_pollfd + svc_max_pollfd);
        int n = ::poll(fds.data(), fds.size(), 200);
        if (n > 0) svc_getreq_poll(fds.data(), n);
    }
}

}  // namespace tarnsim
