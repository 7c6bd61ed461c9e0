#pragma once

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Array.h"
#include "platform/Error.h"

namespace onex::platform {

// MAT-file container versions. V4 is read only; V6 is Level 5 without
// compression, V7 Level 5 with zlib compression, V73 the HDF5-based format.
enum class MatFormat { V4, V6, V7, V73 };

struct MatVariable {
    std::string name;
    Array value;
    friend bool operator==(const MatVariable&, const MatVariable&) = default;
};
using MatVariables = std::vector<MatVariable>;

// Every failure of the MAT-file routines. kind() lets callers word their
// messages differently for "no such file", "not a MAT-file" and the rest.
class MatFileError : public Error {
  public:
    enum class Kind {
        FileNotFound,  // missing or not a regular file
        Unreadable,    // exists but cannot be opened (permissions, I/O error)
        NotMatFile,    // no MAT-file header of any known version
        Corrupt,       // a MAT-file whose content cannot be read
        Unsupported,   // a variable of a class this system does not handle
        TooLarge,      // beyond the reader's memory limits
        WriteFailed,   // writing the file failed; the old file is untouched
        TimedOut,      // reading took longer than the reader's time limit
    };
    MatFileError(Kind kind, const std::string& text) : Error(text), kind_(kind) {}
    Kind kind() const { return kind_; }

  private:
    Kind kind_;
};

// Limits that keep a hostile or damaged file from exhausting the process.
struct MatReadLimits {
    // Total bytes of all values read (element data of every array).
    std::size_t maxBytes = std::size_t{2} << 30;
    // Deepest nesting of structs and cells.
    std::size_t maxDepth = 64;
    // Wall-clock time one read may take.
    std::chrono::milliseconds timeout{std::chrono::seconds(120)};
};

// The container version from the file's first bytes, or nothing when it is
// not a MAT-file. Level 5 files report V7 (V6 and V7 share the header).
// Throws MatFileError (FileNotFound / Unreadable) when the file cannot be read.
std::optional<MatFormat> matFileFormat(const std::filesystem::path& path);

// All variables of a MAT-file, in file order. Only a regular file is read
// (a FIFO or device is refused at once), and it is read by the reader
// program onexrev-matreader, started for each read, so that a damaged file
// can neither crash nor hang the caller nor leak its memory. The program is
// ONEXREV_MATREADER, else the one beside the shared library (or in the bin
// folder beside the library's folder), else the one beside the running
// program; without it the read fails (MatFileError Unreadable). Throws
// MatFileError.
MatVariables readMatFile(const std::filesystem::path& path, const MatReadLimits& limits = {});

// One variable of a MAT-file, or nothing when the file has no such variable.
std::optional<Array> readMatVariable(const std::filesystem::path& path, std::string_view name,
                                     const MatReadLimits& limits = {});

// Writes the variables (valid, distinct names) to `path`, created or
// replaced. The file is written in this process (by the module
// libonexrev-mat.so, loaded at the first write) into an unnamed file in the
// same folder, checked, and only then named (see PendingFile), so a failure
// or a kill never destroys the previous file nor leaves a temporary one.
// Throws MatFileError (WriteFailed) whose text ends in the reason ("No
// space left on device", "Read-only file system", ...).
void writeMatFile(const std::filesystem::path& path, const MatVariables& variables,
                  MatFormat format = MatFormat::V7);

// A real double matrix whose elements (column by column) are produced piece
// by piece while the file is written, so that a large variable never exists
// whole in memory.
struct MatStreamedMatrix {
    std::string name;
    std::size_t rows = 0, cols = 0;
    // Fills `out` with the elements first, first + 1, ...
    std::function<void(std::size_t first, std::span<double> out)> fill;
};

// Writes the matrices as a version 6 MAT-file (Level 5 without compression:
// after the header, the bytes writeMatFile gives with MatFormat::V6), with
// its atomic replacement, check and errors. Needs no MAT-file module.
void writeMatFileStreamed(const std::filesystem::path& path,
                          std::span<const MatStreamedMatrix> variables);

// False for V4, which is read only.
bool isMatWriteSupported(MatFormat format);

namespace detail {
// Reads with the MAT-file library in this process, without the isolation of
// readMatFile. Defined beside the library (src/platform/matio), which only
// the reader program, the fuzz harnesses and the writer module link.
MatVariables readMatFileInProcess(const std::filesystem::path& path, const MatReadLimits& limits);
// The reader program's output format, with bounds-checked decoding.
void encodeVariable(std::string& out, const MatVariable& variable);
MatVariables decodeVariables(std::string_view bytes, const MatReadLimits& limits);
// The reader program's exit code for arguments it does not take (a reader
// of another version than the library that starts it).
inline constexpr int kReaderArgumentsRefused = 2;
}  // namespace detail

}  // namespace onex::platform
