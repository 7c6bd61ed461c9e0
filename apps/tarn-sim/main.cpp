// tarn-sim: a TARN-family ARB signal generator in software, for trying and
// testing the instrument layer without hardware.
//
// On start it prints one line per front end and then READY, e.g.
//   TCP_PORT=5025
//   VXI11_PORT=40123
//   PTY=/dev/pts/4
//   READY

#include <signal.h>

#include <CLI/CLI.hpp>
#include <asio.hpp>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>

#include "Log.h"
#include "SimInstrument.h"
#include "StreamServers.h"
#include "Vxi11Server.h"
#include "version/Version.h"

int main(int argc, char** argv) {
    CLI::App app{"tarn-sim: simulated TARN-family ARB signal generator", "tarn-sim"};
    app.set_version_flag("--version", std::string("tarn-sim ") + onex::versionText());
    int port = 5025;
    int vxiPort = 0;
    bool noVxi = false;
    bool pty = false;
    std::size_t xoffAfter = 0;
    int xoffMs = 300;
    std::string idn = tarnsim::SimOptions{}.idn;
    std::string storeDir, logFile, arbStateReply;
    std::size_t dropAfter = 0, readRate = 0;
    int receiveBuffer = 0;
    bool noReply = false, reject = false, portmap = false;
    uint32_t maxRecv = 1 << 18;
    std::size_t memoryMb = 1024;

    app.add_option("--port", port, "SCPI raw socket port on 127.0.0.1 (0 = pick a free one)")
        ->check(CLI::Range(0, 65535));
    app.add_option("--vxi11-port", vxiPort, "VXI-11 core channel port (0 = pick a free one)")
        ->check(CLI::Range(0, 65535));
    app.add_flag("--no-vxi11", noVxi, "do not serve VXI-11");
    app.add_option("--vxi11-max-recv", maxRecv,
                   "maximum bytes per device_write announced to clients")
        ->check(CLI::Range(1024u, 1u << 26));
    app.add_flag("--register-portmap", portmap,
                 "register the VXI-11 port with the local portmapper, if one runs");
    app.add_flag("--pty", pty, "also serve SCPI on a pseudo-terminal (RS-232 tests)");
    app.add_option("--xoff-after", xoffAfter,
                   "on the pseudo-terminal, send XOFF after every N received bytes");
    app.add_option("--xoff-ms", xoffMs, "how long to hold XOFF before XON")
        ->check(CLI::Range(1, 60000));
    app.add_option("--idn", idn, "reply to *IDN?");
    app.add_option("--store", storeDir,
                   "write each downloaded waveform to DIR/NAME.iq and NAME.markers");
    app.add_option("--log", logFile, "log every command line and connection event to FILE");
    app.add_option("--memory-mb", memoryMb, "waveform memory size")->check(CLI::Range(1, 65536));
    app.add_option("--drop-after-bytes", dropAfter,
                   "fault: close each TCP connection after N received bytes");
    app.add_option("--read-rate", readRate,
                   "fault: a slow instrument, taking at most N bytes per second on TCP")
        ->check(CLI::Range(std::size_t{1}, std::size_t{1} << 32));
    app.add_option("--receive-buffer", receiveBuffer,
                   "fault: a small TCP receive buffer of N bytes (SO_RCVBUF)")
        ->check(CLI::Range(1, 1 << 26));
    app.add_flag("--no-reply", noReply, "fault: never answer queries");
    app.add_option("--arb-state-reply", arbStateReply, "fault: reply TEXT to the ARB state query");
    app.add_flag("--reject-downloads", reject,
                 "fault: refuse every waveform download with an error");
    std::string hangUpAfter;
    app.add_option("--hang-up-after", hangUpAfter,
                   "fault: after answering this query (e.g. \":SYSTem:ERRor?\"), close the TCP "
                   "connection and take nothing more: new TCP connections are closed at once, "
                   "the pseudo-terminal ignores its input");
    CLI11_PARSE(app, argc, argv);

    tarnsim::Log log;
    if (!logFile.empty() && !log.open(logFile)) {
        std::cerr << "tarn-sim: cannot write log file " << logFile << "\n";
        return 2;
    }
    tarnsim::SimOptions opt;
    opt.idn = idn;
    if (!storeDir.empty()) {
        std::error_code ec;
        std::filesystem::create_directories(storeDir, ec);
        if (!std::filesystem::is_directory(storeDir)) {
            std::cerr << "tarn-sim: cannot use store folder " << storeDir << "\n";
            return 2;
        }
        opt.storeDir = storeDir;
    }
    opt.noReply = noReply;
    if (app.count("--arb-state-reply")) opt.arbStateReply = arbStateReply;
    opt.rejectDownloads = reject;
    if (!hangUpAfter.empty()) opt.hangUpAfter = hangUpAfter;
    opt.memoryBytes = memoryMb << 20;

    // Signals go to the io_context's handler only.
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    ::signal(SIGPIPE, SIG_IGN);

    try {
        tarnsim::SimInstrument inst(opt, log);
        asio::io_context io;
        asio::signal_set signals(io, SIGINT, SIGTERM);

        tarnsim::TcpFaults faults;
        if (dropAfter) faults.dropAfter = dropAfter;
        if (readRate) faults.readRate = readRate;
        if (receiveBuffer) faults.receiveBuffer = receiveBuffer;
        tarnsim::TcpServer tcp(io, inst, log, static_cast<uint16_t>(port), faults);
        std::printf("TCP_PORT=%u\n", tcp.port());

        std::unique_ptr<tarnsim::Vxi11Server> vxi;
        if (!noVxi) {
            // The RPC thread must not take the signals.
            pthread_sigmask(SIG_BLOCK, &set, nullptr);
            tarnsim::Vxi11Options vo;
            vo.port = static_cast<uint16_t>(vxiPort);
            vo.maxRecvSize = maxRecv;
            vo.registerWithPortmapper = portmap;
            vxi = std::make_unique<tarnsim::Vxi11Server>(inst, log, vo);
            pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
            std::printf("VXI11_PORT=%u\n", vxi->port());
            if (portmap)
                std::printf("PORTMAP=%s\n", vxi->registered() ? "registered" : "unavailable");
        }

        std::unique_ptr<tarnsim::PtyServer> ptyServer;
        if (pty) {
            tarnsim::PtyOptions po;
            if (xoffAfter) po.xoffAfter = xoffAfter;
            po.xoffHold = std::chrono::milliseconds(xoffMs);
            ptyServer = std::make_unique<tarnsim::PtyServer>(io, inst, log, po);
            std::printf("PTY=%s\n", ptyServer->path().c_str());
        }
        std::printf("READY\n");
        std::fflush(stdout);
        log.write("READY");

        signals.async_wait([&](const asio::error_code&, int sig) {
            log.write("STOP signal " + std::to_string(sig));
            tcp.stop();
            if (ptyServer) ptyServer->stop();
            io.stop();
        });
        io.run();
        if (vxi) vxi->stop();
    } catch (const std::exception& e) {
        std::cerr << "tarn-sim: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
