#include "platform/LargeBuffer.h"

#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <new>
#include <vector>

#if defined(__linux__)
#include <sys/mman.h>
#else
#include <cstdlib>
#endif

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#define ONEX_POISON(p, n) ASAN_POISON_MEMORY_REGION((p), (n))
#define ONEX_UNPOISON(p, n) ASAN_UNPOISON_MEMORY_REGION((p), (n))
#else
#define ONEX_POISON(p, n) ((void)(p), (void)(n))
#define ONEX_UNPOISON(p, n) ((void)(p), (void)(n))
#endif

namespace onex::platform {

namespace {

std::size_t roundUp(std::size_t bytes) {
    const std::size_t pages =
        (std::max<std::size_t>(bytes, 1) + kHugePageBytes - 1) / kHugePageBytes;
    if (pages > (~std::size_t{0}) / kHugePageBytes - 1) throw std::bad_alloc();
    return pages * kHugePageBytes;
}

#if defined(__linux__)
// Mapped with 2 MiB to spare and trimmed to a 2 MiB boundary, so that every
// page of the block can be a huge page.
void* mapAligned(std::size_t capacity) {
    const std::size_t span = capacity + kHugePageBytes;
    void* raw = mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED) throw std::bad_alloc();
    const auto begin = reinterpret_cast<std::uintptr_t>(raw);
    const std::uintptr_t aligned = (begin + kHugePageBytes - 1) & ~(kHugePageBytes - 1);
    if (aligned > begin) munmap(raw, aligned - begin);
    const std::uintptr_t end = begin + span, used = aligned + capacity;
    if (end > used) munmap(reinterpret_cast<void*>(used), end - used);
    void* data = reinterpret_cast<void*>(aligned);
#if defined(MADV_HUGEPAGE)
    madvise(data, capacity, MADV_HUGEPAGE);  // a hint: ordinary pages where it is refused
#endif
    return data;
}
void unmap(void* data, std::size_t capacity) {
    munmap(data, capacity);
}
#else
void* mapAligned(std::size_t capacity) {
    void* data = std::aligned_alloc(kHugePageBytes, capacity);
    if (!data) throw std::bad_alloc();
    return data;
}
void unmap(void* data, std::size_t) {
    std::free(data);
}
#endif

// Once per process (see LargeBuffer.h).
void keepWorkingHeap() {
#if defined(__GLIBC__)
    // glibc trims the top of its heap when more than its trim threshold
    // (128 KiB at start) is free there. Freeing one block that it mapped on
    // its own raises the threshold to twice that block's size for the rest
    // of the process, as freeing any large array does in a program that
    // runs for a while.
    static const bool kept = [] {
        void* volatile block = std::malloc(std::size_t{1} << 20);
        std::free(block);
        return true;
    }();
    (void)kept;
#endif
}

}  // namespace

struct LargeBlockPool {
    std::mutex mutex;
    std::vector<LargeBlock*> unused;

    static LargeBlockPool& instance() {
        // Never destroyed: blocks may come back while statics are torn down.
        static LargeBlockPool* pool = new LargeBlockPool;
        return *pool;
    }

    static void destroy(LargeBlock* b) {
        unmap(b->data_, b->capacity_);
        delete b;
    }

    std::shared_ptr<LargeBlock> acquire(std::size_t bytes) {
        keepWorkingHeap();
        LargeBlock* block = nullptr;
        {
            const std::lock_guard lock(mutex);
            auto best = unused.end();
            for (auto it = unused.begin(); it != unused.end(); ++it)
                if ((*it)->capacity_ >= bytes &&
                    (best == unused.end() || (*it)->capacity_ < (*best)->capacity_))
                    best = it;
            if (best != unused.end()) {
                block = *best;
                unused.erase(best);
            }
        }
        if (!block) {
            const std::size_t capacity = roundUp(bytes);
            block = new LargeBlock(mapAligned(capacity), capacity);
        }
        // The sanitizer sees only the bytes asked for.
        ONEX_UNPOISON(block->data_, bytes);
        ONEX_POISON(static_cast<char*>(block->data_) + bytes, block->capacity_ - bytes);
        return std::shared_ptr<LargeBlock>(block, [](LargeBlock* b) { instance().release(b); });
    }

    void release(LargeBlock* b) {
        ONEX_UNPOISON(b->data_, b->capacity_);
        LargeBlock* dropped = nullptr;
        {
            const std::lock_guard lock(mutex);
            unused.push_back(b);
            if (unused.size() > kKeptLargeBlocks) {
                auto smallest = std::min_element(unused.begin(), unused.end(),
                                                 [](const LargeBlock* x, const LargeBlock* y) {
                                                     return x->capacity_ < y->capacity_;
                                                 });
                dropped = *smallest;
                unused.erase(smallest);
            }
        }
        if (dropped) destroy(dropped);
    }
};

std::shared_ptr<LargeBlock> acquireLargeBlock(std::size_t bytes) {
    return LargeBlockPool::instance().acquire(bytes);
}

LargeBlockPoolStats largeBlockPoolStats() {
    LargeBlockPool& pool = LargeBlockPool::instance();
    const std::lock_guard lock(pool.mutex);
    LargeBlockPoolStats s;
    for (const LargeBlock* b : pool.unused) {
        ++s.blocks;
        s.bytes += b->capacity();
    }
    return s;
}

}  // namespace onex::platform
