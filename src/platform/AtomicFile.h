#pragma once

// Replacing a file so that readers see the old file or the whole new one,
// never a torn one. The new content goes into a file without a name in the
// target's folder (Linux O_TMPFILE) that is given its name only when it is
// complete, so a writer that is killed leaves nothing behind; where the file
// system has no unnamed files, a hidden temporary name is used instead.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string>

namespace onex::platform {

// A file being written that replaces `target` on commit(). Destroying it
// without commit() discards it and leaves the target as it was. Every
// failure throws onex::Error whose text is the reason only (the system's
// text: "No space left on device", "Permission denied", "it is a folder").
class PendingFile {
  public:
    // `named`: a hidden temporary name from the start, for libraries that
    // cannot work on an unnamed file through openPath() (HDF5).
    explicit PendingFile(const std::filesystem::path& target, bool named = false);
    ~PendingFile();
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    // The open file, for writing.
    int fd() const { return fd_; }
    // A name by which code that opens files by name reaches this file.
    std::filesystem::path openPath() const;
    // Writes all bytes at the current position.
    void write(std::span<const std::uint8_t> bytes);
    // Flushes the content to disk, gives it the mode of the file it replaces
    // (a new file gets the umask's mode) and renames it over the target (over
    // a symbolic link's target rather than the link).
    void commit();
    const std::filesystem::path& target() const { return target_; }

  private:
    std::filesystem::path target_, dir_, named_;
    int fd_ = -1;
    bool done_ = false;
};

// Writes the file that replaces `path` through `write`, which gets the
// pending file (empty) and must fill it or throw. Throws onex::Error whose
// text is the reason only.
void replaceFile(const std::filesystem::path& path,
                 const std::function<void(PendingFile& file)>& write);

// replaceFile with the given bytes; throws onex::Error
// "Unable to write file '<path>': <reason>.".
void writeFileAtomically(const std::filesystem::path& path, std::span<const std::uint8_t> bytes);

}  // namespace onex::platform
