// Download throughput to tarn-sim over loopback: the largest frame
// (983040 samples, 3.9 MB of I/Q plus 1 MB of markers) through hwDownload,
// including encoding, *OPC? and the error-queue check. The counter
// payload_bytes_per_second counts the I/Q payload only.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <complex>
#include <string>
#include <vector>

#include "MexIO/HwIO.h"

extern char** environ;

namespace {

// tarn-sim lives next to the benchmark in the build's bin folder.
std::string siblingExecutable(const std::string& name) {
    char self[4096];
    ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return name;
    std::string path(self, static_cast<std::size_t>(n));
    return path.substr(0, path.rfind('/') + 1) + name;
}

// tarn-sim, started once with --port 0; its port is read from its READY lines.
class Sim {
  public:
    Sim() {
        std::string exe = siblingExecutable("tarn-sim");
        int out[2];
        if (::pipe2(out, O_CLOEXEC) != 0) return;
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_adddup2(&fa, out[1], 1);
        std::vector<std::string> args = {exe, "--port", "0", "--no-vxi11"};
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        if (::posix_spawn(&pid_, exe.c_str(), &fa, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&fa);
        ::close(out[1]);
        std::string text;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (pid_ > 0 && text.find("READY\n") == std::string::npos &&
               std::chrono::steady_clock::now() < deadline) {
            pollfd p{out[0], POLLIN, 0};
            if (::poll(&p, 1, 200) <= 0) continue;
            char buf[256];
            ssize_t n = ::read(out[0], buf, sizeof buf);
            if (n <= 0) break;
            text.append(buf, static_cast<std::size_t>(n));
        }
        ::close(out[0]);
        auto at = text.find("TCP_PORT=");
        if (at != std::string::npos) port_ = std::stoi(text.substr(at + 9));
    }
    ~Sim() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            int st;
            ::waitpid(pid_, &st, 0);
        }
    }
    int port() const { return port_; }

  private:
    pid_t pid_ = -1;
    int port_ = 0;
};

void BM_DownloadLargestFrame(benchmark::State& state) {
    Sim sim;
    if (sim.port() == 0) {
        state.SkipWithError("tarn-sim did not start");
        return;
    }
    const std::size_t n = 983040;
    std::vector<std::complex<double>> wave(n);
    std::vector<double> m1(n), m2(n);
    for (std::size_t i = 0; i < n; ++i) {
        wave[i] = {std::cos(0.001 * static_cast<double>(i)),
                   std::sin(0.0013 * static_cast<double>(i))};
        m1[i] = (i / 1024) % 2;
        m2[i] = (i % 2048) < 64;
    }
    onex::IoConfig config;
    config.type = "TCPIP";
    config.TCPIP->address = "127.0.0.1:" + std::to_string(sim.port());
    onex::hwSetTimeout(config, 10000);
    for (auto _ : state) {
        onex::Status s = onex::hwDownload(config, wave, {m1, m2}, "BENCH");
        if (s.status != 0) {
            state.SkipWithError(s.response.c_str());
            break;
        }
    }
    onex::hwIOCloseAll();
    state.counters["payload_bytes_per_second"] =
        benchmark::Counter(static_cast<double>(4 * n) * static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate);
}
BENCHMARK(BM_DownloadLargestFrame)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
