#pragma once

// Vectors for whole oversampled frames (up to 30 x 32768 samples). A fresh
// buffer of that size costs thousands of page faults at 4 KiB a page, which
// at the largest oversampling took longer than the filtering itself; asking
// for transparent huge pages first cuts that to a few dozen. The hint has no
// effect on the contents.

#include <cstddef>
#include <vector>

namespace onex::detail {

// Asks the system to back the whole 2 MiB pages inside [data, data + bytes)
// with huge pages, where it can. Harmless elsewhere.
void adviseHugePages(const void* data, std::size_t bytes);

// An empty vector with room for n elements, advised as above before it is
// first touched; fill it in order (push_back, insert) so every element is
// written once.
template <class T>
std::vector<T> reserveLarge(std::size_t n) {
    std::vector<T> v;
    v.reserve(n);
    adviseHugePages(v.data(), n * sizeof(T));
    return v;
}

}  // namespace onex::detail
