// Structural checks of Level 5 and version 4 MAT-files before the MAT-file
// library reads them. The library trusts the byte counts inside a file: it
// reads short data without noticing (handing out memory it never filled) and
// allocates whatever a size field claims. Every element is therefore checked
// to fit inside its parent and every data part to hold the elements its
// dimensions promise; compressed variables are inflated here, within the
// reader's byte limit, and checked the same way.
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <limits>

#include <fmt/format.h>

#include "platform/MatFileInternal.h"

namespace onex::platform::detail {

namespace {

using Kind = MatFileError::Kind;

std::uint32_t readU32(const unsigned char* p, bool littleEndian) {
    if (littleEndian) return p[0] | (p[1] << 8) | (p[2] << 16) | (std::uint32_t{p[3]} << 24);
    return (std::uint32_t{p[0]} << 24) | (p[1] << 16) | (p[2] << 8) | p[3];
}

// Level 5 data types.
enum : std::uint32_t {
    miINT8 = 1,
    miUINT8 = 2,
    miINT16 = 3,
    miUINT16 = 4,
    miINT32 = 5,
    miUINT32 = 6,
    miSINGLE = 7,
    miDOUBLE = 9,
    miINT64 = 12,
    miUINT64 = 13,
    miMATRIX = 14,
    miCOMPRESSED = 15,
    miUTF8 = 16,
    miUTF16 = 17,
    miUTF32 = 18,
};

// Level 5 array classes.
enum : std::uint32_t {
    mxCELL = 1,
    mxSTRUCT = 2,
    mxOBJECT = 3,
    mxCHAR = 4,
    mxSPARSE = 5,
    mxDOUBLE = 6,
    mxUINT64 = 15,
    mxFUNCTION = 16,
    mxOPAQUE = 17,
};

std::size_t sizeOfType(std::uint32_t type) {
    switch (type) {
        case miINT8:
        case miUINT8:
        case miUTF8:
            return 1;
        case miINT16:
        case miUINT16:
        case miUTF16:
            return 2;
        case miINT32:
        case miUINT32:
        case miSINGLE:
        case miUTF32:
            return 4;
        case miDOUBLE:
        case miINT64:
        case miUINT64:
            return 8;
        default:
            return 0;
    }
}

class Checker {
  public:
    Checker(const std::filesystem::path& path, bool littleEndian, const MatReadLimits& limits)
        : path_(path), le_(littleEndian), limits_(limits) {}

    [[noreturn]] void bad(const std::string& detail) const {
        throw MatFileError(Kind::Corrupt, fmt::format("Unable to read MAT-file '{}': {}.",
                                                      path_.string(), detail));
    }

    std::uint32_t u32(const unsigned char* p) const { return readU32(p, le_); }

    struct Element {
        std::uint32_t type = 0;
        const unsigned char* data = nullptr;
        std::size_t size = 0;
    };

    // Reads one element (normal or small format) from [pos, end) and moves
    // pos past it and its padding.
    Element next(const unsigned char*& pos, const unsigned char* end) const {
        if (end - pos < 8) bad("an element runs past the end of its variable");
        Element e;
        const std::uint32_t first = u32(pos);
        // Small data element: the byte count sits in the upper half of the
        // first word and at most 4 bytes of data follow in the same 8 bytes.
        const std::uint32_t smallCount = first >> 16;
        if (smallCount != 0) {
            e.type = first & 0xFFFF;
            e.size = smallCount;
            if (e.size > 4) bad("a small data element longer than 4 bytes");
            e.data = pos + 4;
            pos += 8;
            return e;
        }
        e.type = first;
        e.size = u32(pos + 4);
        e.data = pos + 8;
        const std::size_t room = static_cast<std::size_t>(end - e.data);
        if (e.size > room) bad("an element runs past the end of its variable");
        const std::size_t padded = (e.size + 7) / 8 * 8;
        pos = e.data + std::min(padded, room);
        return e;
    }

    // Data part of a numeric or char array: a known type holding exactly
    // `numel` elements. Longer data would be read as elements of another
    // type (a double relabelled as eight int8 values reads as its first byte).
    void checkData(const Element& e, std::size_t numel, bool isChar) const {
        const std::size_t size = sizeOfType(e.type);
        if (size == 0) bad(fmt::format("data of unknown type {}", e.type));
        if (isChar && e.type == miUTF8) {
            // One to four bytes per character.
            if (e.size < numel || e.size / 4 > numel) bad("text of another length than its size");
            return;
        }
        if (e.size / size < numel) bad("data shorter than its size");
        if (e.size % size != 0 || e.size / size != numel) bad("data longer than its size");
    }

    std::size_t checkDims(const Element& e) const {
        if (e.type != miINT32 || e.size < 8 || e.size % 4 != 0) bad("bad dimensions");
        std::size_t numel = 1;
        bool zero = false;
        for (std::size_t i = 0; i < e.size / 4; ++i) {
            const auto d = static_cast<std::int32_t>(u32(e.data + 4 * i));
            if (d < 0) bad("negative dimension");
            if (d == 0) zero = true;
            if (!zero && d > 0) {
                if (numel > SIZE_MAX / static_cast<std::size_t>(d)) bad("size overflows");
                numel *= static_cast<std::size_t>(d);
            }
        }
        return zero ? 0 : numel;
    }

    // The content of a miMATRIX element (everything after its tag). It must
    // fill its declared size exactly (up to the padding of its last part):
    // bytes left over would be dropped unread, and a size enlarged over the
    // variables after it would hide them.
    void checkMatrix(const unsigned char* pos, const unsigned char* end, std::size_t depth) {
        if (depth > limits_.maxDepth) bad("values nested too deeply");
        // A zero-length matrix stands for an empty value inside cells and structs.
        if (pos == end) return;
        checkMatrixParts(pos, end, depth);
        if (pos != end)
            bad(fmt::format("a variable's size holds {} bytes more than its contents", end - pos));
    }

    void checkMatrixParts(const unsigned char*& pos, const unsigned char* end, std::size_t depth) {
        const Element flags = next(pos, end);
        if (flags.type != miUINT32 || flags.size != 8) bad("bad array flags");
        const std::uint32_t word = u32(flags.data);
        const std::uint32_t cls = word & 0xFF;
        const bool complex = (word & 0x0800) != 0;
        const std::size_t numel = checkDims(next(pos, end));
        const Element name = next(pos, end);
        if (name.type != miINT8 && name.type != miUTF8) bad("bad name");

        if (cls == mxCHAR || (cls >= mxDOUBLE && cls <= mxUINT64)) {
            checkData(next(pos, end), numel, cls == mxCHAR);
            if (complex) checkData(next(pos, end), numel, false);
        } else if (cls == mxSPARSE) {
            const Element ir = next(pos, end);
            const Element jc = next(pos, end);
            if (sizeOfType(ir.type) != 4 || sizeOfType(jc.type) != 4) bad("bad sparse indices");
            const Element pr = next(pos, end);
            if (sizeOfType(pr.type) == 0) bad("bad sparse data");
            if (complex && sizeOfType(next(pos, end).type) == 0) bad("bad sparse data");
        } else if (cls == mxCELL) {
            for (std::size_t i = 0; i < numel; ++i)
                checkChild(pos, end, depth);
        } else if (cls == mxSTRUCT || cls == mxOBJECT) {
            if (cls == mxOBJECT) {
                const Element className = next(pos, end);
                if (className.type != miINT8) bad("bad class name");
            }
            const Element lenElem = next(pos, end);
            if (lenElem.type != miINT32 || lenElem.size != 4) bad("bad field name length");
            const std::uint32_t len = u32(lenElem.data);
            const Element names = next(pos, end);
            if (names.type != miINT8) bad("bad field names");
            if ((len == 0 && names.size != 0) || (len != 0 && names.size % len != 0))
                bad("bad field names");
            const std::size_t nfields = len ? names.size / len : 0;
            // Each value needs at least its 8-byte tag: a count that cannot
            // fit is refused before anything is allocated for it.
            if (nfields != 0 && numel > static_cast<std::size_t>(end - pos) / 8 / nfields) {
                bad("more struct elements than the data can hold");
            }
            for (std::size_t i = 0; i < numel * nfields; ++i)
                checkChild(pos, end, depth);
        } else if (cls == mxFUNCTION || cls == mxOPAQUE) {
            throw MatFileError(
                Kind::Unsupported,
                fmt::format("Unable to read MAT-file '{}': it holds {} values, "
                            "which this program cannot read.",
                            path_.string(), cls == mxFUNCTION ? "function handle" : "opaque"));
        } else {
            bad(fmt::format("unknown array class {}", cls));
        }
    }

    void checkChild(const unsigned char*& pos, const unsigned char* end, std::size_t depth) {
        const Element child = next(pos, end);
        if (child.type != miMATRIX) bad("a cell or field value that is no matrix");
        checkMatrix(child.data, child.data + child.size, depth + 1);
    }

    // A compressed variable: inflate within the byte limit, then it must hold
    // exactly one miMATRIX element.
    void checkCompressed(const unsigned char* packed, std::size_t packedSize) {
        std::vector<unsigned char> out;
        const std::size_t cap = limits_.maxBytes + (std::size_t{1} << 20);
        z_stream zs{};
        if (inflateInit(&zs) != Z_OK) bad("cannot start decompression");
        if (packedSize > std::numeric_limits<uInt>::max())
            bad("a compressed variable is too large");
        zs.next_in = const_cast<unsigned char*>(packed);
        zs.avail_in = static_cast<uInt>(packedSize);
        int rc = Z_OK;
        while (rc == Z_OK) {
            if (out.size() >= cap) {
                inflateEnd(&zs);
                throw MatFileError(
                    Kind::TooLarge,
                    fmt::format("Unable to read MAT-file '{}': a compressed variable "
                                "is larger than the reader's limit.",
                                path_.string()));
            }
            const std::size_t old = out.size();
            out.resize(std::min(cap, std::max<std::size_t>(4096, old * 2)));
            zs.next_out = out.data() + old;
            zs.avail_out = static_cast<uInt>(out.size() - old);
            rc = inflate(&zs, Z_NO_FLUSH);
            out.resize(out.size() - zs.avail_out);
            if (rc == Z_BUF_ERROR && zs.avail_in == 0) break;  // stream ended early
            if (rc == Z_BUF_ERROR) rc = Z_OK;
        }
        const std::size_t unused = zs.avail_in;
        inflateEnd(&zs);
        if (rc != Z_STREAM_END) bad("a compressed variable is damaged");
        // Bytes after the compressed stream, or unpacked bytes after the
        // matrix, would be dropped unread: the variable's size is wrong.
        if (unused != 0)
            bad(fmt::format("a compressed variable's size holds {} bytes more than its stream",
                            unused));
        const unsigned char* pos = out.data();
        const unsigned char* end = pos + out.size();
        const Element m = next(pos, end);
        if (m.type != miMATRIX) bad("a compressed variable holds no matrix");
        if (pos != end)
            bad(fmt::format("a compressed variable unpacks to {} bytes more than its matrix",
                            end - pos));
        checkMatrix(m.data, m.data + m.size, 0);
    }

  private:
    const std::filesystem::path& path_;
    bool le_;
    const MatReadLimits& limits_;
};

}  // namespace

namespace {

// The file mapped read-only: the walk touches only the tags it reads, so a
// large variable costs no memory for its data.
class MappedFile {
  public:
    MappedFile(const std::filesystem::path& path, std::uint64_t size) : size_(size) {
        if (size == 0) return;
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) return;
        void* p = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
        ::close(fd);
        if (p != MAP_FAILED) data_ = static_cast<const unsigned char*>(p);
    }
    ~MappedFile() {
        if (data_) ::munmap(const_cast<unsigned char*>(data_), size_);
    }
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;
    const unsigned char* data() const { return data_; }

  private:
    const unsigned char* data_ = nullptr;
    std::uint64_t size_;
};

}  // namespace

std::size_t checkLevel5(const std::filesystem::path& path, const FileProbe& probe,
                        const MatReadLimits& limits) {
    Checker check(path, probe.littleEndian, limits);
    if (probe.size > SIZE_MAX) check.bad("the file is too large");
    const MappedFile file(path, probe.size);
    if (!file.data()) check.bad("read error");
    const unsigned char* const begin = file.data();
    std::uint64_t offset = 128;
    std::size_t count = 0;
    bool padded = false;
    while (offset + 8 <= probe.size) {
        const unsigned char* tag = begin + offset;
        const std::uint32_t type = check.u32(tag);
        const std::uint64_t nbytes = check.u32(tag + 4);
        if (type != miMATRIX && type != miCOMPRESSED) {
            // Some writers pad the end of the file with zeros; anything after
            // the padding would still be read by the library, so it must be
            // zero too.
            if (type == 0 && nbytes == 0) {
                if (std::any_of(tag + 8, begin + probe.size,
                                [](unsigned char c) { return c != 0; }))
                    check.bad("data after the zero padding at the end");
                padded = true;
                break;
            }
            check.bad(fmt::format("unknown element type {} at byte {}", type, offset));
        }
        if (offset + 8 + nbytes > probe.size) check.bad("the file is truncated");
        if (type == miMATRIX && nbytes > limits.maxBytes + (std::uint64_t{1} << 20)) {
            throw MatFileError(Kind::TooLarge,
                               fmt::format("Unable to read MAT-file '{}': a variable is larger "
                                           "than the reader's limit.",
                                           path.string()));
        }
        const unsigned char* body = tag + 8;
        if (type == miMATRIX) {
            check.checkMatrix(body, body + nbytes, 0);
        } else {
            check.checkCompressed(body, static_cast<std::size_t>(nbytes));
        }
        ++count;
        offset = (type == miMATRIX) ? (offset + 8 + nbytes + 7) / 8 * 8 : offset + 8 + nbytes;
    }
    // Fewer than 8 bytes left: the start of a tag whose variable was cut off.
    if (!padded && offset < probe.size) check.bad("the file is truncated");
    return count;
}

std::optional<MatFormat> detectFormat(const unsigned char* head, std::size_t size,
                                      std::uint64_t fileSize) {
    // Level 5 and 7.3: a 128-byte header ending in a version and an endian mark.
    if (size >= 128 &&
        ((head[126] == 'I' && head[127] == 'M') || (head[126] == 'M' && head[127] == 'I'))) {
        const bool le = head[126] == 'I';
        const unsigned version =
            le ? (head[124] | (head[125] << 8)) : ((head[124] << 8) | head[125]);
        if (version == 0x0100) return MatFormat::V7;
        if (version == 0x0200) return MatFormat::V73;
    }
    // Version 4: a 20-byte header per matrix with a type code MOPT, positive
    // name length and a name that fits in the file.
    if (size >= 20) {
        for (bool le : {true, false}) {
            const std::uint32_t type = readU32(head, le);
            const std::uint32_t mrows = readU32(head + 4, le);
            const std::uint32_t ncols = readU32(head + 8, le);
            const std::uint32_t imagf = readU32(head + 12, le);
            const std::uint32_t namlen = readU32(head + 16, le);
            const std::uint32_t m = type / 1000, o = (type / 100) % 10, p = (type / 10) % 10,
                                t = type % 10;
            // M: 0 little-endian, 1 big-endian machine; the rest are obsolete.
            if (type >= 2000 || m != (le ? 0u : 1u) || o != 0 || p > 5 || t > 2) continue;
            if (imagf > 1 || namlen == 0 || namlen > 4096 ||
                20 + std::uint64_t{namlen} > fileSize) {
                continue;
            }
            (void)mrows, (void)ncols;
            return MatFormat::V4;
        }
    }
    return std::nullopt;
}

void checkVersion4(const std::filesystem::path& path, const FileProbe& probe) {
    const auto bad = [&](const std::string& detail) {
        return MatFileError(
            Kind::Corrupt, fmt::format("Unable to read MAT-file '{}': {}.", path.string(), detail));
    };
    std::ifstream in(path, std::ios::binary);
    std::uint64_t offset = 0;
    unsigned char h[20];
    while (offset < probe.size) {
        in.seekg(static_cast<std::streamoff>(offset));
        if (probe.size - offset < 20 || !in.read(reinterpret_cast<char*>(h), 20)) {
            throw bad("the file is truncated");
        }
        std::uint32_t v[5];
        for (int i = 0; i < 5; ++i)
            std::memcpy(&v[i], h + 4 * i, 4);
        if (v[0] >= 1000) {  // big-endian writer
            for (auto& x : v)
                x = __builtin_bswap32(x);
        }
        const std::uint32_t type = v[0], mrows = v[1], ncols = v[2], imagf = v[3], namlen = v[4];
        const std::uint32_t p = (type / 10) % 10, t = type % 10;
        if (type >= 2000 || (type / 100) % 10 != 0 || p > 5 || t > 2 || imagf > 1 || namlen == 0 ||
            namlen > 4096) {
            throw bad("bad matrix header");
        }
        static constexpr std::uint64_t kSize[] = {8, 4, 4, 2, 2, 1};
        std::uint64_t numel = std::uint64_t{mrows} * ncols;  // both < 2^32: no overflow
        // A sparse matrix (t == 2) is stored as its own real triplet list.
        const std::uint64_t bytes = numel * kSize[p] * ((imagf && t != 2) ? 2 : 1);
        const std::uint64_t end = offset + 20 + namlen + bytes;
        if (end > probe.size) throw bad("the file is truncated");
        offset = end;
    }
}

}  // namespace onex::platform::detail
