// onexrev-matreader PATH MAX_BYTES MAX_DEPTH TIMEOUT_MS PARENT_PID
//
// Reads one MAT-file and writes its variables to standard output in the
// platform's reader format: 'O' and the encoded variables, or 'X', the
// error kind as one byte and the error text. Started by readMatFile, which
// keeps the time limit and reads the answer; this process bounds its own
// memory and CPU time so that a hostile file cannot exhaust the machine,
// and ends with the process that started it.
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>

#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <fstream>
#include <new>
#include <string>
#include <string_view>

#include "platform/MatFile.h"

#if defined(__SANITIZE_ADDRESS__)
#define ONEX_READER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ONEX_READER_ASAN 1
#endif
#endif

namespace {

using onex::platform::MatFileError;
using Kind = MatFileError::Kind;

bool writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool parse(std::string_view text, std::uint64_t& value) {
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size();
}

#ifndef ONEX_READER_ASAN
std::uint64_t currentVirtualBytes() {
    std::ifstream statm("/proc/self/statm");
    std::uint64_t pages = 0;
    statm >> pages;
    return pages * static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE));
}
#endif

void limitResources(const onex::platform::MatReadLimits& limits) {
#ifndef ONEX_READER_ASAN
    // What the process maps now plus room for the data (the library's copy,
    // ours and the encoding). The sanitizer reserves terabytes of address
    // space, so it cannot run under this limit.
    const std::uint64_t room = limits.maxBytes;
    if (room < (std::uint64_t{1} << 40)) {
        const std::uint64_t budget = currentVirtualBytes() + 3 * room + (std::uint64_t{512} << 20);
        const rlimit as{budget, budget};
        ::setrlimit(RLIMIT_AS, &as);
    }
#endif
    const auto cpuSeconds =
        static_cast<rlim_t>(std::chrono::ceil<std::chrono::seconds>(limits.timeout).count() + 1);
    const rlimit cpu{cpuSeconds, cpuSeconds + 1};
    ::setrlimit(RLIMIT_CPU, &cpu);
}

}  // namespace

int main(int argc, char** argv) {
    onex::platform::MatReadLimits limits;
    std::uint64_t maxBytes = 0, maxDepth = 0, timeoutMs = 0, parent = 0;
    if (argc != 6 || !parse(argv[2], maxBytes) || !parse(argv[3], maxDepth) ||
        !parse(argv[4], timeoutMs) || !parse(argv[5], parent))
        return onex::platform::detail::kReaderArgumentsRefused;
    // A caller that is killed leaves nobody to wait for the answer: end
    // with it. It may have died before this line, and then this process
    // already belongs to another parent.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (static_cast<std::uint64_t>(::getppid()) != parent) _exit(4);
    limits.maxBytes = static_cast<std::size_t>(maxBytes);
    limits.maxDepth = static_cast<std::size_t>(maxDepth);
    limits.timeout = std::chrono::milliseconds(timeoutMs);
    limitResources(limits);

    const std::string path = argv[1];
    std::string out;
    const auto fail = [&](Kind kind, const std::string& text) {
        out.assign(1, 'X');
        out += static_cast<char>(kind);
        out += text;
    };
    try {
        const onex::platform::MatVariables vars =
            onex::platform::detail::readMatFileInProcess(path, limits);
        out.assign(1, 'O');
        for (const auto& v : vars)
            onex::platform::detail::encodeVariable(out, v);
    } catch (const MatFileError& e) {
        fail(e.kind(), e.what());
    } catch (const std::bad_alloc&) {
        fail(Kind::TooLarge, "Unable to read MAT-file '" + path + "': out of memory.");
    } catch (const std::exception& e) {
        fail(Kind::Corrupt, "Unable to read MAT-file '" + path + "': " + e.what());
    }
    // _exit: nothing of the process's teardown is needed (nor wanted under
    // the sanitizer's leak check, whose report would go nowhere).
    _exit(writeAll(STDOUT_FILENO, out.data(), out.size()) ? 0 : 3);
}
