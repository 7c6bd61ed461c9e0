#include "support_sim.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace onex::testsim {

std::unique_ptr<SimProcess> SimProcess::start(const std::vector<std::string>& args,
                                              std::string& error) {
    std::unique_ptr<SimProcess> p(new SimProcess);
    char tmpl[] = "/tmp/tarn-sim-test-XXXXXX";
    if (!::mkdtemp(tmpl)) {
        error = "mkdtemp failed";
        return nullptr;
    }
    p->dir_ = tmpl;
    std::vector<std::string> argv = {std::string(ONEX_BIN_DIR) + "/tarn-sim", "--log",
                                     (p->dir_ / "sim.log").string(), "--store",
                                     (p->dir_ / "store").string()};
    bool hasPort = false;
    for (const auto& a : args)
        hasPort |= a == "--port";
    if (!hasPort) argv.insert(argv.end(), {"--port", "0"});
    argv.insert(argv.end(), args.begin(), args.end());

    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) {
        error = "pipe failed";
        return nullptr;
    }
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, out[1], 1);
    std::vector<char*> cargv;
    for (auto& a : argv)
        cargv.push_back(a.data());
    cargv.push_back(nullptr);
    int rc = ::posix_spawn(&p->pid_, cargv[0], &fa, nullptr, cargv.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    ::close(out[1]);
    if (rc != 0) {
        ::close(out[0]);
        p->pid_ = -1;
        error = "cannot start " + argv[0] + ": " + std::strerror(rc);
        return nullptr;
    }
    std::string text;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    bool ready = false;
    while (!ready && std::chrono::steady_clock::now() < deadline) {
        pollfd pfd{out[0], POLLIN, 0};
        if (::poll(&pfd, 1, 200) <= 0) continue;
        char buf[512];
        ssize_t n = ::read(out[0], buf, sizeof buf);
        if (n <= 0) break;
        text.append(buf, static_cast<std::size_t>(n));
        ready = text.find("READY\n") != std::string::npos;
    }
    ::close(out[0]);
    if (!ready) {
        error = "tarn-sim did not become ready; output: " + text;
        return nullptr;  // the destructor stops the process
    }
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        auto eq = line.find('=');
        if (eq == std::string::npos) continue;
        std::string key = line.substr(0, eq), value = line.substr(eq + 1);
        if (key == "TCP_PORT") p->tcpPort_ = static_cast<uint16_t>(std::stoi(value));
        if (key == "VXI11_PORT") p->vxiPort_ = static_cast<uint16_t>(std::stoi(value));
        if (key == "PTY") p->ptyPath_ = value;
        if (key == "PORTMAP") p->portmap_ = value;
    }
    return p;
}

bool SimProcess::stop() {
    if (pid_ <= 0) return false;
    ::kill(pid_, SIGTERM);
    int status = 0;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    pid_t r = 0;
    while ((r = ::waitpid(pid_, &status, WNOHANG)) == 0 &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (r == 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, &status, 0);
    }
    pid_ = -1;
    return r == 0 ? false : WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

SimProcess::~SimProcess() {
    stop();
    std::error_code ec;
    if (!dir_.empty()) std::filesystem::remove_all(dir_, ec);
}

std::string SimProcess::rawAddress() const {
    return "127.0.0.1:" + std::to_string(tcpPort_);
}

std::string SimProcess::logText() const {
    std::ifstream f(dir_ / "sim.log");
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

std::vector<uint8_t> SimProcess::storedFile(const std::string& name) const {
    std::ifstream f(dir_ / "store" / name, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

SmallFileSystem::SmallFileSystem(const std::filesystem::path& dir, const std::string& size)
    : dir_(dir) {
    std::filesystem::create_directories(dir);
    if (::mount("tmpfs", dir.c_str(), "tmpfs", 0, ("size=" + size).c_str()) != 0)
        error_ = std::string("cannot mount a small tmpfs here: ") + std::strerror(errno);
}

SmallFileSystem::~SmallFileSystem() {
    if (mounted()) ::umount2(dir_.c_str(), MNT_DETACH);
}

bool localPortOpen(uint16_t port) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(fd);
    return ok;
}

uint16_t unusedLocalPort() {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(fd);
    return ntohs(a.sin_port);
}

std::string findProgram(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::istringstream dirs(path ? path : "/usr/bin:/bin");
    for (std::string d; std::getline(dirs, d, ':');) {
        std::string full = d + "/" + name;
        if (::access(full.c_str(), X_OK) == 0) return full;
    }
    return {};
}

std::unique_ptr<SimProcess> startSim(const std::vector<std::string>& args) {
    std::string error;
    auto sim = SimProcess::start(args, error);
    EXPECT_TRUE(sim) << error;
    return sim;
}

bool waitForLog(const SimProcess& sim, const std::string& needle, std::size_t count) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (countOf(sim.logText(), needle) < count) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

std::vector<std::string> loggedCommands(const std::string& log) {
    std::vector<std::string> out;
    std::istringstream in(log);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("CMD ", 0) != 0) continue;
        const auto sp = line.find(' ', 4);
        out.push_back(sp == std::string::npos ? "" : line.substr(sp + 1));
    }
    return out;
}

std::string slurp(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

pid_t spawnProgram(std::vector<std::string> args, const std::filesystem::path& dir,
                   const std::filesystem::path& out, const std::filesystem::path& err,
                   const std::vector<std::pair<std::string, std::string>>& env) {
    // posix_spawn, not fork: between a fork and the exec of a threaded
    // process (gtest, the simulator threads) only async-signal-safe calls
    // are allowed, so everything is prepared here and the child only execs.
    std::vector<std::string> environment;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('='));
        const bool overridden =
            std::any_of(env.begin(), env.end(), [&](const auto& kv) { return kv.first == name; });
        if (!overridden) environment.push_back(entry);
    }
    for (const auto& [name, value] : env)
        environment.push_back(name + "=" + value);
    std::vector<char*> argv, envp;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    for (auto& e : environment)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    const auto sink = [&](int fd, const std::filesystem::path& p) {
        if (p.empty())
            posix_spawn_file_actions_addopen(&fa, fd, "/dev/null", O_WRONLY, 0);
        else
            posix_spawn_file_actions_addopen(&fa, fd, p.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                             0644);
    };
    // Relative output paths mean the parent's folder, as before the chdir.
    sink(1, out.empty() ? out : std::filesystem::absolute(out));
    sink(2, err.empty() ? err : std::filesystem::absolute(err));
    posix_spawn_file_actions_addchdir_np(&fa, dir.c_str());
    pid_t pid = -1;
    const int rc = ::posix_spawn(&pid, argv[0], &fa, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&fa);
    // No process id to hand out (a caller would signal or wait for -1).
    if (rc != 0) throw std::runtime_error("cannot start " + args[0] + ": " + std::strerror(rc));
    return pid;
}

Outcome runProgram(std::vector<std::string> args, const std::filesystem::path& dir,
                   const std::vector<std::pair<std::string, std::string>>& env,
                   std::optional<std::chrono::milliseconds> interruptAfter) {
    const std::filesystem::path out = dir / ".stdout", err = dir / ".stderr";
    const pid_t pid = spawnProgram(std::move(args), dir, out, err, env);
    int status = 0;
    if (interruptAfter) {
        const auto at = std::chrono::steady_clock::now() + *interruptAfter;
        pid_t r = 0;
        while ((r = ::waitpid(pid, &status, WNOHANG)) == 0 && std::chrono::steady_clock::now() < at)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (r == 0) ::kill(pid, SIGINT);
        if (r != 0) return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, slurp(out), slurp(err)};
    }
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, slurp(out), slurp(err)};
}

}  // namespace onex::testsim
