#pragma once

// Memory for whole oversampled frames (up to 30 x 32768 samples) and their
// large intermediates. A fresh buffer of that size costs thousands of page
// faults at 4 KiB a page, more than the arithmetic that fills it; so the
// blocks are aligned to 2 MiB and advised for transparent huge pages (where
// the system offers them; ordinary pages otherwise), handed out without
// zero-filling, and kept once nobody holds them, for the next calculation of
// the process to reuse.
//
// Ownership is shared: a block goes back to the pool when its last holder
// lets go, never earlier, so a frame that someone still holds stays as it
// is. The pool keeps at most kKeptLargeBlocks unused blocks (the largest), so
// a process holds on to about one calculation's worth of memory. The first
// block also lets the C library keep the few hundred kilobytes of ordinary
// heap a calculation uses, instead of giving them back at the end of each
// and faulting them in again at the next. Thread-safe.

#include <cstddef>
#include <memory>
#include <span>
#include <type_traits>

namespace onex::platform {

inline constexpr std::size_t kHugePageBytes = std::size_t{2} << 20;
inline constexpr std::size_t kKeptLargeBlocks = 3;

class LargeBlock {
  public:
    LargeBlock(const LargeBlock&) = delete;
    LargeBlock& operator=(const LargeBlock&) = delete;

    void* data() const { return data_; }
    std::size_t capacity() const { return capacity_; }

  private:
    friend struct LargeBlockPool;
    LargeBlock(void* data, std::size_t capacity) : data_(data), capacity_(capacity) {}
    void* data_;
    std::size_t capacity_;
};

// A block of at least `bytes` that nobody else holds: a kept one when one is
// large enough (the smallest such), else a new one. Its contents are
// unspecified. Throws std::bad_alloc when the memory cannot be had.
std::shared_ptr<LargeBlock> acquireLargeBlock(std::size_t bytes);

// Unused blocks the pool keeps now, and the bytes they hold.
struct LargeBlockPoolStats {
    std::size_t blocks = 0;
    std::size_t bytes = 0;
};
LargeBlockPoolStats largeBlockPoolStats();

// n uninitialised elements of a trivial type in a block of their own.
template <class T>
struct LargeArray {
    static_assert(std::is_trivially_copyable_v<T>);
    std::shared_ptr<LargeBlock> block;
    std::span<T> items;
};

template <class T>
LargeArray<T> acquireLargeArray(std::size_t n) {
    LargeArray<T> a;
    a.block = acquireLargeBlock(n * sizeof(T));
    a.items = std::span<T>(static_cast<T*>(a.block->data()), n);
    return a;
}

}  // namespace onex::platform
