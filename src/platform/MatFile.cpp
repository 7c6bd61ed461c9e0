#include "platform/MatFile.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <limits>
#include <mutex>
#include <optional>
#include <set>
#include <thread>

#include <fmt/format.h>

#include "platform/AtomicFile.h"
#include "platform/MatFileInternal.h"
#include "platform/MatFileModule.h"
#include "platform/Module.h"
#include "platform/RegularFile.h"

namespace onex::platform {

namespace {

using Kind = MatFileError::Kind;
namespace fs = std::filesystem;

std::string quoted(const fs::path& p) {
    return fmt::format("'{}'", p.string());
}

[[noreturn]] void readFailure(Kind kind, const fs::path& path, const std::string& detail) {
    throw MatFileError(kind, fmt::format("Unable to read MAT-file {}: {}.", quoted(path), detail));
}

// The reader program: ONEXREV_MATREADER when set, else onexrev-matreader
// next to the code that reads (the shared library's folder or the bin
// folder beside it, for a host program that only loads the library; the
// prefix's bin folder for the installed Python module) or next to the
// running program. Empty when there is none.
fs::path findReader(std::string& looked) {
    if (const char* env = std::getenv("ONEXREV_MATREADER"); env && *env) {
        looked = fmt::format("ONEXREV_MATREADER={}", env);
        return ::access(env, X_OK) == 0 ? fs::path(env) : fs::path();
    }
    std::vector<fs::path> folders;
    if (const fs::path own = objectFolder(reinterpret_cast<const void*>(&findReader));
        !own.empty()) {
        folders.push_back(own);
        folders.push_back((own / ONEX_BINDIR_FROM_LIBDIR).lexically_normal());
        // The Python module, <prefix>/lib/python3/dist-packages: <prefix>/bin.
        if (own.filename() == "dist-packages")
            folders.push_back((own / ONEX_BINDIR_FROM_PYTHONDIR).lexically_normal());
    }
    if (const fs::path exe = programFolder(); !exe.empty()) folders.push_back(exe);
    for (const auto& folder : folders) {
        const fs::path candidate = folder / "onexrev-matreader";
        if (!looked.empty()) looked += ", ";
        looked += folder.string();
        if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return {};
}

// Found once; a search that failed is repeated at the next read, so that a
// program installed later is picked up.
fs::path readerProgram(std::string& looked) {
    static std::mutex mutex;
    static fs::path found;
    std::lock_guard lock(mutex);
    if (found.empty()) found = findReader(looked);
    return found;
}

// The reader program, started by spawnReader; killed and reaped however
// the read ends (an exception included), so that no reader outlives it.
class ReaderProcess {
  public:
    explicit ReaderProcess(pid_t pid) : pid_(pid) {}
    ~ReaderProcess() {
        if (pid_ > 0) kill();
    }
    ReaderProcess(const ReaderProcess&) = delete;
    ReaderProcess& operator=(const ReaderProcess&) = delete;

    // Kills the reader and reaps it; returns its wait status.
    int kill() {
        ::kill(pid_, SIGKILL);
        return reap();
    }
    // Waits for the reader to end until `deadline`, then kills it. The wait
    // status, and in `killed` whether the deadline ended it.
    int finish(std::chrono::steady_clock::time_point deadline, bool& killed) {
        killed = false;
        auto pause = std::chrono::microseconds(200);
        while (true) {
            int status = 0;
            const pid_t r = ::waitpid(pid_, &status, WNOHANG);
            if (r == pid_ || (r < 0 && errno != EINTR)) {
                pid_ = -1;
                return status;
            }
            if (std::chrono::steady_clock::now() >= deadline) {
                killed = true;
                return kill();
            }
            std::this_thread::sleep_for(pause);
            pause = std::min<std::chrono::microseconds>(pause * 2, std::chrono::milliseconds(20));
        }
    }

  private:
    int reap() {
        int status = 0;
        while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        pid_ = -1;
        return status;
    }
    pid_t pid_;
};

// Starts the reader program on `path` with its standard output on `out` and
// its diagnostics (the library's and HDF5's) discarded. posix_spawn, not
// fork: the caller may run threads (the windows), and a fork of it could
// hold a copy of a lock some other thread had taken. The reader gets this
// process's id so that it can end itself when this process dies.
pid_t spawnReader(const fs::path& program, const fs::path& path, const MatReadLimits& limits,
                  int out) {
    const std::string maxBytes = std::to_string(limits.maxBytes);
    const std::string maxDepth = std::to_string(limits.maxDepth);
    const std::string timeout = std::to_string(limits.timeout.count());
    const std::string parent = std::to_string(::getpid());
    std::string programText = program.string(), pathText = path.string();
    char* argv[] = {programText.data(),
                    pathText.data(),
                    const_cast<char*>(maxBytes.c_str()),
                    const_cast<char*>(maxDepth.c_str()),
                    const_cast<char*>(timeout.c_str()),
                    const_cast<char*>(parent.c_str()),
                    nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attr;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attr);
    posix_spawn_file_actions_adddup2(&actions, out, STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    // Default signal handling and no blocked signals, whatever the caller set.
    sigset_t all, none;
    sigfillset(&all);
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attr, &all);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    pid_t pid = -1;
    const int err = ::posix_spawn(&pid, programText.c_str(), &actions, &attr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (err != 0) {
        readFailure(Kind::Unreadable, path,
                    fmt::format("cannot start the reader {}: {}", programText, std::strerror(err)));
    }
    return pid;
}

[[noreturn]] void timeoutFailure(const fs::path& path, const MatReadLimits& limits) {
    readFailure(Kind::TimedOut, path,
                fmt::format("reading took longer than {:g} s",
                            std::chrono::duration<double>(limits.timeout).count()));
}

// Reads the file in the reader program so that a damaged file which crashes,
// hangs or leaks inside the MAT-file library (or HDF5, whose reader cannot be
// guarded from outside) costs the caller nothing but an error. There is no
// fallback to reading in this process.
MatVariables readIsolated(const fs::path& path, const MatReadLimits& limits) {
    std::string looked;
    const fs::path program = readerProgram(looked);
    if (program.empty()) {
        readFailure(Kind::Unreadable, path,
                    fmt::format("the reader program onexrev-matreader is missing (looked in {}; "
                                "ONEXREV_MATREADER names it)",
                                looked));
    }
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        readFailure(Kind::Unreadable, path,
                    std::string("cannot start the reader: ") + std::strerror(errno));
    }
    UniqueFd output(fds[0]);
    std::optional<ReaderProcess> reader;
    {
        UniqueFd input(fds[1]);
        reader.emplace(spawnReader(program, path, limits, input.get()));
    }

    // Collect the output within the time limit and a size cap.
    const std::size_t cap = limits.maxBytes + limits.maxBytes / 2 + (std::size_t{1} << 20);
    const auto deadline = std::chrono::steady_clock::now() + limits.timeout;
    std::string bytes;
    char chunk[65536];
    while (true) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) timeoutFailure(path, limits);  // ~ReaderProcess kills it
        pollfd p{output.get(), POLLIN, 0};
        const int r = ::poll(&p, 1, static_cast<int>(std::min<long long>(left.count(), 1000)));
        if (r == 0 || (r < 0 && errno == EINTR)) continue;
        ssize_t n = r < 0 ? -1 : ::read(output.get(), chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            readFailure(Kind::Unreadable, path,
                        std::string("cannot take the reader's answer: ") + std::strerror(errno));
        }
        if (n == 0) break;
        if (bytes.size() + static_cast<std::size_t>(n) > cap)
            readFailure(Kind::TooLarge, path, "the content exceeds the reader's size limit");
        bytes.append(chunk, static_cast<std::size_t>(n));
    }
    output.reset();
    // The reader has closed its output and is ending; one that lingers is
    // ended with the rest of the time limit.
    bool killed = false;
    const int status = reader->finish(deadline, killed);
    if (killed) timeoutFailure(path, limits);
    if (WIFSIGNALED(status)) {
        const int sig = WTERMSIG(status);
        // The reader's CPU time limit is the caller's time limit; a kill
        // from outside is most likely the system short of memory.
        if (sig == SIGXCPU) timeoutFailure(path, limits);
        if (sig == SIGKILL) readFailure(Kind::TooLarge, path, "the reader process was killed");
        readFailure(Kind::Corrupt, path,
                    fmt::format("the file is corrupt (the reader stopped on signal {})", sig));
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == detail::kReaderArgumentsRefused &&
        bytes.empty()) {
        readFailure(Kind::Unreadable, path,
                    fmt::format("the reader program {} is of another version than this program",
                                program.string()));
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || bytes.empty()) {
        readFailure(Kind::Corrupt, path, "the file is corrupt (the reader failed)");
    }
    if (bytes[0] == 'X' && bytes.size() >= 2) {
        const int kind = static_cast<unsigned char>(bytes[1]);
        if (kind > static_cast<int>(Kind::TimedOut))
            readFailure(Kind::Corrupt, path, "bad reader output");
        throw MatFileError(static_cast<Kind>(kind), bytes.substr(2));
    }
    if (bytes[0] != 'O') readFailure(Kind::Corrupt, path, "bad reader output");
    try {
        return detail::decodeVariables(std::string_view(bytes).substr(1), limits);
    } catch (const Error& e) {
        readFailure(Kind::Corrupt, path, e.what());
    }
}

// The MAT-file module (MatFileModule.h), from ONEXREV_MAT_MODULE or the
// layout (moduleCandidates). Loaded at the first write; a failed load is
// tried again at the next one.
struct MatModule {
    decltype(&onexrev_mat_write) write;
    decltype(&onexrev_mat_read) read;
};

const MatModule& matModule() {
    static std::mutex mutex;
    static std::optional<MatModule> loaded;
    std::lock_guard lock(mutex);
    if (loaded) return *loaded;
    const char* file = matmodule::kFileName;
    void* lib =
        loadTaggedModule("MAT-file module", file, moduleCandidates("ONEXREV_MAT_MODULE", file),
                         matmodule::kTagSymbol, matmodule::kTag);
    loaded = MatModule{
        reinterpret_cast<decltype(&onexrev_mat_write)>(
            moduleSymbol(lib, file, matmodule::kWriteSymbol)),
        reinterpret_cast<decltype(&onexrev_mat_read)>(
            moduleSymbol(lib, file, matmodule::kReadSymbol)),
    };
    return *loaded;
}

// An in-process read through the module; its errors as MatFileError or Error.
MatVariables readInModule(const fs::path& path, const MatReadLimits& limits) {
    MatVariables out;
    matmodule::Failure failure{};
    std::array<char, 2048> error{};
    if (matModule().read(path.c_str(), &limits, &out, &failure, error.data(), error.size()) != 0) {
        if (failure.matErrorKind >= 0)
            throw MatFileError(static_cast<Kind>(failure.matErrorKind), error.data());
        throw Error(error.data());
    }
    return out;
}

// Bytes the reader accounts for an array (see the reader's budget).
std::size_t accountedBytes(const Array& a) {
    std::size_t total = 0;
    if (a.isStruct()) {
        total += a.numel() * a.numFields() * sizeof(Array);
        for (std::size_t e = 0; e < a.numel(); ++e) {
            for (const auto& name : a.fieldNames())
                total += accountedBytes(a.field(name, e));
        }
    } else if (a.isCell()) {
        total += a.numel() * sizeof(Array);
        for (std::size_t i = 0; i < a.numel(); ++i)
            total += accountedBytes(a.cell(i));
    } else {
        total += a.numel() * a.elementSize() * (a.isComplex() ? 2 : 1);
    }
    return total;
}

MatReadLimits limitsFor(const MatVariables& variables) {
    MatReadLimits limits;
    std::size_t need = 0;
    for (const auto& v : variables)
        need += accountedBytes(v.value);
    limits.maxBytes = std::max(limits.maxBytes, need + need / 8 + 4096);
    limits.maxDepth = std::numeric_limits<std::size_t>::max() / 2;
    return limits;
}

// The library reports neither a full disk nor a short write, so the written
// file is checked before it may replace a good one. A Level 5 file is
// walked element by element: every tag must fit, every data part must hold
// exactly what its dimensions promise and the file must end with the last
// variable, which a write that stopped part-way cannot fake. The data
// itself is not read back (the walk steps over it). HDF5 files (7.3) have
// no such walk and are read back whole and compared.
void verifyLevel5(const fs::path& file, std::size_t variables, const MatReadLimits& limits) {
    const detail::FileProbe probe = detail::probeFile(file);
    if (probe.format != MatFormat::V7) throw Error("the written file has no MAT-file header");
    const std::size_t count = detail::checkLevel5(file, probe, limits);
    if (count != variables)
        throw Error(fmt::format("the written file holds {} of {} variables", count, variables));
}

void verifyWritten(const fs::path& file, const MatVariables& variables, MatFormat format) {
    const MatReadLimits limits = limitsFor(variables);
    if (format != MatFormat::V73) return verifyLevel5(file, variables.size(), limits);
    MatVariables back = readInModule(file, limits);
    bool same = back.size() == variables.size();
    for (std::size_t i = 0; same && i < variables.size(); ++i) {
        // A 7.3 file lists its variables by name, so match by name.
        auto it = std::find_if(back.begin(), back.end(),
                               [&](const MatVariable& b) { return b.name == variables[i].name; });
        same = it != back.end() && it->value == variables[i].value;
    }
    if (!same) throw Error("the written file does not read back as written");
}

// Errors of a write that the library may have swallowed; their text is the
// reason a damaged file gives.
bool isWriteErrno(int err) {
    return err == ENOSPC || err == EDQUOT || err == EFBIG || err == EIO || err == EROFS;
}

void writeAndVerify(PendingFile& file, const MatVariables& variables, MatFormat format) {
    const fs::path name = file.openPath();
    matmodule::Failure failure{};
    std::array<char, 2048> error{};
    if (matModule().write(name.c_str(), &variables, static_cast<int>(format), &failure,
                          error.data(), error.size()) != 0) {
        if (isWriteErrno(failure.writeErrno)) throw Error(std::strerror(failure.writeErrno));
        throw Error(error.data());
    }
    const int writeErrno = failure.writeErrno;
    try {
        verifyWritten(name, variables, format);
    } catch (const std::exception&) {
        if (isWriteErrno(writeErrno)) throw Error(std::strerror(writeErrno));
        throw Error("the written file is incomplete or damaged (is the disk full?)");
    }
}

}  // namespace

detail::FileProbe detail::probeFile(const fs::path& path) {
    UniqueFd fd;
    try {
        fd = openRegularFile(path);
    } catch (const FileOpenError& e) {
        // A folder, a FIFO or a device is no file to read, as a missing one.
        throw MatFileError(
            e.kind() == FileOpenError::Kind::Unreadable ? Kind::Unreadable : Kind::FileNotFound,
            fmt::format("Unable to read file {}. {}.", quoted(path), e.what()));
    }
    FileProbe probe;
    struct stat st {};
    if (::fstat(fd.get(), &st) == 0) probe.size = static_cast<std::uint64_t>(st.st_size);
    unsigned char head[128] = {};
    std::size_t got = 0;
    while (got < sizeof head) {
        const ssize_t n = ::read(fd.get(), head + got, sizeof head - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            throw MatFileError(Kind::Unreadable, fmt::format("Unable to read file {}. {}.",
                                                             quoted(path), std::strerror(errno)));
        }
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    probe.format = detectFormat(head, got, probe.size);
    probe.littleEndian = got >= 128 && head[126] == 'I';
    return probe;
}

std::optional<MatFormat> matFileFormat(const fs::path& path) {
    return detail::probeFile(path).format;
}

MatVariables readMatFile(const fs::path& path, const MatReadLimits& limits) {
    const auto probe = detail::probeFile(path);
    if (!probe.format) readFailure(Kind::NotMatFile, path, "not a MAT-file");
    return readIsolated(path, limits);
}

std::optional<Array> readMatVariable(const fs::path& path, std::string_view name,
                                     const MatReadLimits& limits) {
    MatVariables vars = readMatFile(path, limits);
    // Like the platform's load: a later variable of the same name wins.
    for (auto it = vars.rbegin(); it != vars.rend(); ++it) {
        if (it->name == name) return std::move(it->value);
    }
    return std::nullopt;
}

bool isMatWriteSupported(MatFormat format) {
    return format != MatFormat::V4;
}

namespace {

MatFileError writeFailure(const fs::path& path, const std::string& detail) {
    return MatFileError(Kind::WriteFailed,
                        fmt::format("Unable to write file {}: {}.", quoted(path), detail));
}

template <class Variables>
void checkNames(const fs::path& path, const Variables& variables) {
    std::set<std::string_view> names;
    for (const auto& v : variables) {
        if (!Array::isValidName(v.name))
            throw writeFailure(path, fmt::format("invalid variable name '{}'", v.name));
        if (!names.insert(v.name).second)
            throw writeFailure(path, fmt::format("variable '{}' given twice", v.name));
    }
}

// Level 5 data types and the double class, as the format defines them.
constexpr std::uint32_t miINT8 = 1, miINT32 = 5, miUINT32 = 6, miDOUBLE = 9, miMATRIX = 14;
constexpr std::uint32_t mxDOUBLE_CLASS = 6;

std::size_t padded8(std::size_t n) {
    return (n + 7) / 8 * 8;
}

// The bytes of a matrix element up to its real part's data (the name has
// at most 63 characters, checked before).
class MatrixHead {
  public:
    void put32(std::uint32_t v) {
        std::memcpy(bytes_.data() + size_, &v, 4);  // the header declares the machine's order
        size_ += 4;
    }
    // Text padded with zeros to `width` bytes.
    void putPadded(std::string_view text, std::size_t width) {
        std::memset(bytes_.data() + size_, 0, width);
        std::memcpy(bytes_.data() + size_, text.data(), text.size());
        size_ += width;
    }
    std::span<const std::uint8_t> bytes() const { return {bytes_.data(), size_}; }

  private:
    std::array<std::uint8_t, 128> bytes_{};
    std::size_t size_ = 0;
};

// The 128-byte file header.
std::array<std::uint8_t, 128> level5Header() {
    char when[64] = "";
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (localtime_r(&now, &local)) std::strftime(when, sizeof when, "%a %b %e %H:%M:%S %Y", &local);
    const std::string text =
        fmt::format("MATLAB 5.0 MAT-file, Platform: linux, Created by: onexrev on {}", when);
    std::array<std::uint8_t, 128> header;
    header.fill(' ');
    std::memcpy(header.data(), text.data(), std::min<std::size_t>(text.size(), 116));
    const std::uint16_t version = 0x0100, endian = ('M' << 8) | 'I';  // reads "IM" little-endian
    std::memcpy(header.data() + 124, &version, 2);
    std::memcpy(header.data() + 126, &endian, 2);
    return header;
}

MatrixHead matrixHead(const fs::path& path, const MatStreamedMatrix& m) {
    const std::size_t limit = std::numeric_limits<std::uint32_t>::max() - 128;
    if (m.rows > std::numeric_limits<std::int32_t>::max() ||
        m.cols > std::numeric_limits<std::int32_t>::max() ||
        (m.cols != 0 && m.rows > limit / 8 / m.cols))
        throw writeFailure(path,
                           fmt::format("variable '{}' is too large for this file version", m.name));
    const std::size_t n = m.name.size(), dataBytes = m.rows * m.cols * 8;
    const std::size_t nameBytes = n <= 4 ? 8 : 8 + padded8(n);
    MatrixHead h;
    h.put32(miMATRIX);
    h.put32(static_cast<std::uint32_t>(16 + 16 + nameBytes + 8 + dataBytes));
    h.put32(miUINT32);  // array flags: the class, no flags
    h.put32(8);
    h.put32(mxDOUBLE_CLASS);
    h.put32(0);
    h.put32(miINT32);  // dimensions
    h.put32(8);
    h.put32(static_cast<std::uint32_t>(m.rows));
    h.put32(static_cast<std::uint32_t>(m.cols));
    if (n <= 4) {  // the small element form: size and type in one word
        h.put32(static_cast<std::uint32_t>(n << 16 | miINT8));
        h.putPadded(m.name, 4);
    } else {
        h.put32(miINT8);
        h.put32(static_cast<std::uint32_t>(n));
        h.putPadded(m.name, padded8(n));
    }
    h.put32(miDOUBLE);
    h.put32(static_cast<std::uint32_t>(dataBytes));
    return h;
}

}  // namespace

void writeMatFileStreamed(const fs::path& path, std::span<const MatStreamedMatrix> variables) {
    static_assert(std::endian::native == std::endian::little, "the header declares little-endian");
    checkNames(path, variables);
    std::vector<MatrixHead> heads;
    std::size_t total = 0;
    for (const auto& m : variables) {
        heads.push_back(matrixHead(path, m));
        total += m.rows * m.cols * 8;
    }
    try {
        PendingFile file(path);
        file.write(level5Header());
        // A quarter of a megabyte at a time: the file system sees large
        // writes, the memory holds no copy of a variable.
        std::vector<double> piece(std::size_t{1} << 15);
        for (std::size_t v = 0; v < variables.size(); ++v) {
            file.write(heads[v].bytes());
            const std::size_t count = variables[v].rows * variables[v].cols;
            for (std::size_t first = 0; first < count; first += piece.size()) {
                const std::span<double> out(piece.data(), std::min(piece.size(), count - first));
                variables[v].fill(first, out);
                file.write({reinterpret_cast<const std::uint8_t*>(out.data()), out.size_bytes()});
            }
        }
        MatReadLimits limits;
        limits.maxBytes = std::max(limits.maxBytes, total + total / 8 + 4096);
        verifyLevel5(file.openPath(), variables.size(), limits);
        file.commit();
    } catch (const Error& e) {
        throw writeFailure(path, e.what());
    }
}

void writeMatFile(const fs::path& path, const MatVariables& variables, MatFormat format) {
    if (!isMatWriteSupported(format))
        throw writeFailure(path, "version 4 MAT-files cannot be written");
    checkNames(path, variables);
    try {
        // HDF5 cannot write a 7.3 file through the unnamed file's /proc name.
        PendingFile file(path, format == MatFormat::V73);
        writeAndVerify(file, variables, format);
        file.commit();
    } catch (const Error& e) {
        throw writeFailure(path, e.what());
    }
}

}  // namespace onex::platform
