#pragma once

// Opening a file that is to be read whole, without ever blocking: a FIFO, a
// terminal or another device at a path a user chose would otherwise hang the
// reader (or never end), so only regular files are opened.

#include <filesystem>
#include <string>

#include "platform/Error.h"

namespace onex::platform {

// An open file descriptor, closed on destruction.
class UniqueFd {
  public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd() { reset(); }
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) {
            reset();
            fd_ = other.release();
        }
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    void reset();

  private:
    int fd_ = -1;
};

class FileOpenError : public Error {
  public:
    enum class Kind {
        NotFound,    // nothing at the path
        NotRegular,  // a folder, FIFO, device or socket
        Unreadable,  // permissions, I/O error
    };
    FileOpenError(Kind kind, const std::string& reason) : Error(reason), kind_(kind) {}
    Kind kind() const { return kind_; }

  private:
    Kind kind_;
};

// Opens `path` (symbolic links followed) for reading when it is a regular
// file; anything else is refused before it could block. Throws FileOpenError
// whose text is the reason only: "No such file or directory", "It is a
// folder", "It is a FIFO, not a regular file", the system's text, ...
UniqueFd openRegularFile(const std::filesystem::path& path);

}  // namespace onex::platform
