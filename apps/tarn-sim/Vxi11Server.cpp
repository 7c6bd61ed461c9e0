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

#include "MexIO/vxi11.h"
#include "ScpiParser.h"
#include "Session.h"

namespace tarnsim {

namespace {

constexpr long kFlagEnd = 8;
constexpr long kFlagTermChar = 0x80;
constexpr long kReasonChr = 2;
constexpr long kReasonEnd = 4;
constexpr long kReasonReqCnt = 1;
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

template <class Args>
bool getArgs(SVCXPRT* xprt, xdrproc_t x, Args* a) {
    if (!svc_getargs(xprt, x, reinterpret_cast<caddr_t>(a))) {
        svcerr_decode(xprt);
        return false;
    }
    return true;
}

template <class Res>
void reply(SVCXPRT* xprt, xdrproc_t x, Res* r) {
    svc_sendreply(xprt, x, reinterpret_cast<caddr_t>(r));
}

void dispatch(svc_req* rq, SVCXPRT* xprt) {
    switch (rq->rq_proc) {
        case NULLPROC:
            // xdr_void is declared without parameters; go through void* to
            // the library's variadic procedure type.
            svc_sendreply(xprt, reinterpret_cast<xdrproc_t>(reinterpret_cast<void*>(xdr_void)),
                          nullptr);
            return;
        case create_link: {
            Create_LinkParms a{};
            if (!getArgs(xprt, reinterpret_cast<xdrproc_t>(xdr_Create_LinkParms), &a)) return;
            Create_LinkResp r{};
            std::string device = a.device ? a.device : "";
            if (g.links.size() >= kMaxLinks) {
                r.error = 9;
            } else {
                long lid = g.nextLink++;
                Link& l = g.links[lid];
                l.device = device;
                l.sink =
                    std::make_unique<ReplySink>(*g.inst, "vxi11#" + std::to_string(lid), l.out);
                r.error = 0;
                r.lid = lid;
                r.abortPort = 0;
                r.maxRecvSize = g.opt.maxRecvSize;
            }
            g.log->write(
                "VXI11 create_link " + device + " -> " +
                (r.error ? "error " + std::to_string(r.error) : "link " + std::to_string(r.lid)));
            reply(xprt, reinterpret_cast<xdrproc_t>(xdr_Create_LinkResp), &r);
            svc_freeargs(xprt, reinterpret_cast<xdrproc_t>(xdr_Create_LinkParms),
                         reinterpret_cast<caddr_t>(&a));
            return;
        }
        case device_write: {
            Device_WriteParms a{};
            if (!getArgs(xprt, reinterpret_cast<xdrproc_t>(xdr_Device_WriteParms), &a)) return;
            Device_WriteResp r{};
            Link* l = findLink(a.lid);
            bool end = (a.flags & kFlagEnd) != 0;
            if (!l) {
                r.error = 4;
            } else if (a.data.data_len > g.opt.maxRecvSize) {
                // The client must split writes by the size we announced.
                r.error = 5;
            } else {
                l->parser.feed(reinterpret_cast<const uint8_t*>(a.data.data_val), a.data.data_len,
                               *l->sink);
                if (end) l->parser.end(*l->sink);
                r.error = 0;
                r.size = a.data.data_len;
            }
            g.log->write("VXI11 device_write " + std::to_string(a.data.data_len) + " bytes" +
                         (end ? " END" : "") +
                         (r.error ? " error " + std::to_string(r.error) : ""));
            reply(xprt, reinterpret_cast<xdrproc_t>(xdr_Device_WriteResp), &r);
            svc_freeargs(xprt, reinterpret_cast<xdrproc_t>(xdr_Device_WriteParms),
                         reinterpret_cast<caddr_t>(&a));
            return;
        }
        case device_read: {
            Device_ReadParms a{};
            if (!getArgs(xprt, reinterpret_cast<xdrproc_t>(xdr_Device_ReadParms), &a)) return;
            Device_ReadResp r{};
            std::string chunk;
            Link* l = findLink(a.lid);
            if (!l) {
                r.error = 4;
            } else if (l->out.empty()) {
                // Nothing to read: a device waits for its I/O time-out.
                long wait = std::min<long>(static_cast<long>(a.io_timeout), kMaxWaitMs);
                std::this_thread::sleep_for(std::chrono::milliseconds(wait));
                r.error = 15;
            } else {
                std::size_t n = std::min<std::size_t>(l->out.size(), std::max(1ul, a.requestSize));
                if (a.flags & kFlagTermChar) {
                    auto t = l->out.find(a.termChar);
                    if (t != std::string::npos && t < n) {
                        n = t + 1;
                        r.reason |= kReasonChr;
                    }
                }
                chunk = l->out.substr(0, n);
                l->out.erase(0, n);
                if (l->out.empty())
                    r.reason |= kReasonEnd;
                else if (!(r.reason & kReasonChr))
                    r.reason |= kReasonReqCnt;
            }
            r.data.data_len = static_cast<u_int>(chunk.size());
            r.data.data_val = chunk.data();
            g.log->write("VXI11 device_read " + std::to_string(chunk.size()) + " bytes reason " +
                         std::to_string(r.reason) +
                         (r.error ? " error " + std::to_string(r.error) : ""));
            reply(xprt, reinterpret_cast<xdrproc_t>(xdr_Device_ReadResp), &r);
            svc_freeargs(xprt, reinterpret_cast<xdrproc_t>(xdr_Device_ReadParms),
                         reinterpret_cast<caddr_t>(&a));
            return;
        }
        case device_clear:
        case device_local:
        case device_remote:
        case device_trigger: {
            Device_GenericParms a{};
            if (!getArgs(xprt, reinterpret_cast<xdrproc_t>(xdr_Device_GenericParms), &a)) return;
            Device_Error r{};
            Link* l = findLink(a.lid);
            const char* what = rq->rq_proc == device_clear    ? "device_clear"
                               : rq->rq_proc == device_local  ? "device_local"
                               : rq->rq_proc == device_remote ? "device_remote"
                                                              : "device_trigger";
            if (!l) {
                r.error = 4;
            } else if (rq->rq_proc == device_clear) {
                l->out.clear();
                l->parser = ScpiParser();
            } else if (rq->rq_proc == device_local) {
                g.inst->goToLocal("vxi11");
            }
            g.log->write(std::string("VXI11 ") + what +
                         (r.error ? " error " + std::to_string(r.error) : ""));
            reply(xprt, reinterpret_cast<xdrproc_t>(xdr_Device_Error), &r);
            return;
        }
        case destroy_link: {
            Device_Link lid = 0;
            if (!getArgs(xprt, reinterpret_cast<xdrproc_t>(xdr_Device_Link), &lid)) return;
            Device_Error r{};
            r.error = g.links.erase(lid) ? 0 : 4;
            g.log->write("VXI11 destroy_link " + std::to_string(lid));
            reply(xprt, reinterpret_cast<xdrproc_t>(xdr_Device_Error), &r);
            return;
        }
        default: {
            g.log->write("VXI11 unsupported procedure " + std::to_string(rq->rq_proc));
            svcerr_noproc(xprt);
            return;
        }
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
