#pragma once

// Replacing a file so that readers see the old file or the whole new one,
// never a torn one: write under a temporary name in the same folder, then
// rename it into place.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>

namespace onex::platform {

// Writes the file that replaces `path` through `write`, which gets the
// temporary file's path (an empty file, already created) and must fill it or
// throw. The replacement keeps the mode of the file it replaces (a new file
// gets the umask's mode), is flushed to disk and renamed over the target of
// a symbolic link rather than the link. On any failure the temporary file
// is removed and the old file stays; throws onex::Error whose text is the
// reason only (strerror text, or the text `write` threw).
void replaceFile(const std::filesystem::path& path,
                 const std::function<void(const std::filesystem::path& temp)>& write);

// replaceFile with the given bytes; throws onex::Error
// "Unable to write file '<path>': <reason>.".
void writeFileAtomically(const std::filesystem::path& path, std::span<const std::uint8_t> bytes);

}  // namespace onex::platform
