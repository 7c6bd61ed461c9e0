#pragma once

// Runs tarn-sim as a real process for the system tests.

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace onex::testsim {

class SimProcess {
  public:
    // Starts tarn-sim with --port 0 (unless args name a port), a log file and
    // a store folder of its own, and waits for READY. Nothing on failure,
    // with the reason in error.
    static std::unique_ptr<SimProcess> start(const std::vector<std::string>& args,
                                             std::string& error);
    ~SimProcess();
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    uint16_t tcpPort() const { return tcpPort_; }
    uint16_t vxiPort() const { return vxiPort_; }
    const std::string& ptyPath() const { return ptyPath_; }
    const std::string& portmap() const { return portmap_; }
    // "127.0.0.1:<port>"
    std::string rawAddress() const;
    std::string logText() const;
    std::vector<uint8_t> storedFile(const std::string& name) const;
    // Stops the process with SIGTERM; true when it exited with status 0.
    bool stop();

  private:
    SimProcess() = default;
    pid_t pid_ = -1;
    uint16_t tcpPort_ = 0, vxiPort_ = 0;
    std::string ptyPath_, portmap_;
    std::filesystem::path dir_;
};

// Commands sent without a reply may still be on their way through the
// simulator: waits (at most 5 s) until its log holds `needle` at least
// `count` times.
bool waitForLog(const SimProcess& sim, const std::string& needle, std::size_t count = 1);

// The command texts of a simulator log ("CMD <origin> <text>"), in order.
std::vector<std::string> loggedCommands(const std::string& log);

inline bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}
// How often `part` stands in `text` (overlaps counted).
inline std::size_t countOf(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (auto p = text.find(part); p != std::string::npos; p = text.find(part, p + 1))
        ++n;
    return n;
}

// SimProcess::start that fails the current test (with the reason) when the
// simulator does not come up.
std::unique_ptr<SimProcess> startSim(const std::vector<std::string>& args = {});

// What a program run to its end printed and returned.
struct Outcome {
    int rc = -1;
    std::string out, err;
};
// Starts `args` (args[0] the program's path) in `dir` with the extra
// environment NAME=VALUE entries, stdout and stderr going to the files
// given (/dev/null for an empty path); returns its process id. Throws
// std::runtime_error when it cannot be started.
pid_t spawnProgram(std::vector<std::string> args, const std::filesystem::path& dir,
                   const std::filesystem::path& out = {}, const std::filesystem::path& err = {},
                   const std::vector<std::pair<std::string, std::string>>& env = {});
// Runs `args` (args[0] the program's path) in `dir` with the extra
// environment NAME=VALUE entries, stdout and stderr captured, and waits;
// with interruptAfter, sends it SIGINT (Ctrl+C) once that time has passed.
Outcome runProgram(std::vector<std::string> args, const std::filesystem::path& dir,
                   const std::vector<std::pair<std::string, std::string>>& env = {},
                   std::optional<std::chrono::milliseconds> interruptAfter = std::nullopt);
// The whole file as bytes in a string (empty when it cannot be read).
std::string slurp(const std::filesystem::path& p);

// A small tmpfs mounted at `dir` (created) while this lives, for full-disk
// and read-only cases; it needs the right to mount, as root has in a private
// mount namespace or on a test machine. Without it mounted() is false and
// error() says why.
class SmallFileSystem {
  public:
    SmallFileSystem(const std::filesystem::path& dir, const std::string& size);
    ~SmallFileSystem();
    SmallFileSystem(const SmallFileSystem&) = delete;
    SmallFileSystem& operator=(const SmallFileSystem&) = delete;
    bool mounted() const { return error_.empty(); }
    const std::string& error() const { return error_; }

  private:
    std::filesystem::path dir_;
    std::string error_;
};

// True when a TCP connection to 127.0.0.1:port is accepted.
bool localPortOpen(uint16_t port);
// A local port on which nothing listens (bound briefly, then released).
uint16_t unusedLocalPort();
// Full path of an executable on PATH, or empty.
std::string findProgram(const std::string& name);

}  // namespace onex::testsim
