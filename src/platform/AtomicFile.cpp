#include "platform/AtomicFile.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <random>
#include <string>

#include <fmt/format.h>

#include "platform/Error.h"

namespace fs = std::filesystem;

namespace onex::platform {
namespace {

[[noreturn]] void failWith(int err) {
    throw Error(err == EISDIR ? std::string("it is a folder") : std::string(std::strerror(err)));
}

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

void syncFolder(const fs::path& dir) {
    int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

// Temporary names: ".<target name>.<writer's pid>.<random>", hidden and
// telling which process they belong to.
std::string temporaryPrefix(const fs::path& target) {
    return fmt::format(".{}.", target.filename().string());
}

// A name in `dir` that is free now, for the moment between giving the
// unnamed file a name and renaming it.
fs::path freeName(const fs::path& dir, const fs::path& target) {
    static thread_local std::mt19937_64 rng{std::random_device{}()};
    return dir / fmt::format("{}{}.{:016x}", temporaryPrefix(target), ::getpid(), rng());
}

// Removes the temporary files of `target` left by writers that were killed
// (their process is gone); only named temporaries can be left, where the
// file system has no unnamed files or a library needs a name.
void removeStaleTemporaries(const fs::path& dir, const fs::path& target) {
    const std::string prefix = temporaryPrefix(target);
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.rfind(prefix, 0) != 0) continue;
        const std::string rest = name.substr(prefix.size());
        const auto dot = rest.find('.');
        if (dot == 0 || dot == std::string::npos || rest.find_first_not_of("0123456789") != dot)
            continue;
        const auto pid = static_cast<pid_t>(std::stol(rest.substr(0, dot)));
        if (pid > 0 && ::kill(pid, 0) != 0 && errno == ESRCH) ::unlink(it->path().c_str());
    }
}

}  // namespace

PendingFile::PendingFile(const fs::path& path, bool named) {
    std::error_code ec;
    target_ = path;
    if (fs::is_symlink(fs::symlink_status(path, ec))) {
        target_ = fs::weakly_canonical(path, ec);
        if (ec) target_ = path;
    }
    if (fs::is_directory(target_, ec)) throw Error("it is a folder");
    dir_ = target_.parent_path();
    if (dir_.empty()) dir_ = ".";
    removeStaleTemporaries(dir_, target_);
    if (!named) {
        fd_ = ::open(dir_.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
        if (fd_ >= 0) return;
        // File systems without unnamed files: a hidden temporary name.
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) failWith(errno);
    }
    std::string tmpl =
        (dir_ / fmt::format("{}{}.XXXXXX", temporaryPrefix(target_), ::getpid())).string();
    fd_ = ::mkostemp(tmpl.data(), O_CLOEXEC);
    if (fd_ < 0) failWith(errno);
    named_ = tmpl;
}

PendingFile::~PendingFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!done_ && !named_.empty()) ::unlink(named_.c_str());
}

fs::path PendingFile::openPath() const {
    return named_.empty() ? fs::path(fmt::format("/proc/self/fd/{}", fd_)) : named_;
}

void PendingFile::write(std::span<const std::uint8_t> bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) failWith(errno);
        if (n == 0) failWith(EIO);
        done += static_cast<std::size_t>(n);
    }
}

void PendingFile::commit() {
    struct stat st {};
    const mode_t mode = ::stat(target_.c_str(), &st) == 0 ? (st.st_mode & 07777) : newFileMode();
    if (::fchmod(fd_, mode) != 0) failWith(errno);
    // The data on disk before the name points at it; a full disk or an I/O
    // error that the writes did not report shows here.
    if (::fsync(fd_) != 0) failWith(errno);
    if (named_.empty()) {
        // Named only now, under a fresh hidden name, and at once renamed.
        for (int attempt = 0;; ++attempt) {
            const fs::path name = freeName(dir_, target_);
            if (::linkat(AT_FDCWD, openPath().c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) ==
                0) {
                named_ = name;
                break;
            }
            if (errno != EEXIST || attempt == 8) failWith(errno);
        }
    }
    if (::rename(named_.c_str(), target_.c_str()) != 0) {
        const int err = errno;
        ::unlink(named_.c_str());
        named_.clear();
        failWith(err);
    }
    done_ = true;
    syncFolder(dir_);
}

void replaceFile(const fs::path& path, const std::function<void(PendingFile& file)>& write) {
    try {
        PendingFile file(path);
        write(file);
        file.commit();
    } catch (const std::exception& e) {
        throw Error(e.what());
    }
}

void writeFileAtomically(const fs::path& path, std::span<const std::uint8_t> bytes) {
    try {
        replaceFile(path, [&](PendingFile& file) { file.write(bytes); });
    } catch (const Error& e) {
        throw Error(fmt::format("Unable to write file '{}': {}.", path.string(), e.what()));
    }
}

}  // namespace onex::platform
