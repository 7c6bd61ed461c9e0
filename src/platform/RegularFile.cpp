#include "platform/RegularFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace onex::platform {

namespace {

const char* kindOfFile(mode_t mode) {
    if (S_ISFIFO(mode)) return "a FIFO";
    if (S_ISCHR(mode)) return "a character device";
    if (S_ISBLK(mode)) return "a block device";
    if (S_ISSOCK(mode)) return "a socket";
    return "of an unknown kind";
}

}  // namespace

void UniqueFd::reset() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

UniqueFd openRegularFile(const std::filesystem::path& path) {
    using Kind = FileOpenError::Kind;
    // O_NONBLOCK: opening a FIFO for reading would wait for a writer.
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!fd) {
        const int err = errno;
        if (err == ENOENT || err == ENOTDIR)
            throw FileOpenError(Kind::NotFound, std::strerror(err));
        throw FileOpenError(Kind::Unreadable, std::strerror(err));
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) throw FileOpenError(Kind::Unreadable, std::strerror(errno));
    if (S_ISDIR(st.st_mode)) throw FileOpenError(Kind::NotRegular, "It is a folder");
    if (!S_ISREG(st.st_mode))
        throw FileOpenError(Kind::NotRegular, std::string("It is ") + kindOfFile(st.st_mode) +
                                                  ", not a regular file");
    // Regular files never block; reads go on in the ordinary mode.
    const int flags = ::fcntl(fd.get(), F_GETFL);
    if (flags >= 0) ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK);
    return fd;
}

}  // namespace onex::platform
