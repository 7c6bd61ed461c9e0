#include "platform/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <string>

#include <fmt/format.h>

#include "platform/Error.h"

namespace fs = std::filesystem;

namespace onex::platform {
namespace {

mode_t newFileMode() {
    // The umask without changing it (umask() is process-wide and racy).
    mode_t mask = 022;
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("Umask:", 0) == 0) {
            mask = static_cast<mode_t>(std::stoul(line.substr(6), nullptr, 8));
            break;
        }
    }
    return 0666 & ~mask;
}

void syncPath(const fs::path& p, int flags) {
    int fd = ::open(p.c_str(), flags | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

}  // namespace

void replaceFile(const fs::path& path, const std::function<void(const fs::path& temp)>& write) {
    std::error_code ec;
    fs::path target = path;
    if (fs::is_symlink(fs::symlink_status(path, ec))) {
        target = fs::weakly_canonical(path, ec);
        if (ec) target = path;
    }
    if (fs::is_directory(target, ec)) throw Error("it is a folder");
    fs::path dir = target.parent_path();
    if (dir.empty()) dir = ".";

    std::string tmpl = (dir / fmt::format(".{}.XXXXXX", target.filename().string())).string();
    int fd = ::mkstemp(tmpl.data());
    if (fd < 0) throw Error(std::strerror(errno));
    ::close(fd);
    const fs::path temp = tmpl;
    try {
        write(temp);
        struct stat st {};
        const mode_t mode = ::stat(target.c_str(), &st) == 0 ? (st.st_mode & 07777) : newFileMode();
        if (::chmod(temp.c_str(), mode) != 0) throw Error(std::strerror(errno));
        syncPath(temp, O_RDONLY);  // data on disk before the name points at it
        if (::rename(temp.c_str(), target.c_str()) != 0) throw Error(std::strerror(errno));
    } catch (const std::exception& e) {
        ::unlink(temp.c_str());
        throw Error(e.what());
    }
    syncPath(dir, O_RDONLY | O_DIRECTORY);
}

void writeFileAtomically(const fs::path& path, std::span<const std::uint8_t> bytes) {
    try {
        replaceFile(path, [&](const fs::path& temp) {
            int fd = ::open(temp.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
            if (fd < 0) throw Error(std::strerror(errno));
            std::size_t done = 0;
            while (done < bytes.size()) {
                ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
                if (n < 0 && errno == EINTR) continue;
                if (n <= 0) {
                    const int err = n < 0 ? errno : EIO;
                    ::close(fd);
                    throw Error(std::strerror(err));
                }
                done += static_cast<std::size_t>(n);
            }
            if (::close(fd) != 0) throw Error(std::strerror(errno));
        });
    } catch (const Error& e) {
        throw Error(fmt::format("Unable to write file '{}': {}.", path.string(), e.what()));
    }
}

}  // namespace onex::platform
