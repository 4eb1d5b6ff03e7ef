// Memory for the packer's file buffers and match finder tables. Where the system grants
// large pages on request (Linux, transparent huge pages), blocks of a quarter of a large
// page or more are placed on them: the finders' walks and a file's bytes then miss far
// fewer address translations (docs/benchmarks.md has what that saves).
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>
#include <vector>
#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace large_memory {

constexpr std::size_t kPage = std::size_t{2} << 20;
constexpr std::size_t kFrom = kPage / 4;  // smaller blocks would waste most of their page

inline void* allocate(std::size_t bytes) {
#if defined(__linux__)
    if (bytes >= kFrom) {
        if (bytes > static_cast<std::size_t>(-1) - kPage) throw std::bad_alloc();
        const std::size_t rounded = (bytes + kPage - 1) / kPage * kPage;
        if (void* p = std::aligned_alloc(kPage, rounded)) {
            madvise(p, rounded, MADV_HUGEPAGE);  // a hint: refused, the pages are small ones
            return p;
        }
        throw std::bad_alloc();
    }
#endif
    if (void* p = std::malloc(bytes ? bytes : 1)) return p;
    throw std::bad_alloc();
}

struct Free {
    void operator()(void* p) const { std::free(p); }
};

}  // namespace large_memory

template <class T>
struct LargeAllocator {
    using value_type = T;
    LargeAllocator() = default;
    template <class U>
    LargeAllocator(const LargeAllocator<U>&) {}
    T* allocate(std::size_t n) {
        if (n > static_cast<std::size_t>(-1) / sizeof(T)) throw std::bad_alloc();
        return static_cast<T*>(large_memory::allocate(n * sizeof(T)));
    }
    void deallocate(T* p, std::size_t) { std::free(p); }
    friend bool operator==(const LargeAllocator&, const LargeAllocator&) { return true; }
    friend bool operator!=(const LargeAllocator&, const LargeAllocator&) { return false; }
};

template <class T>
using LargeVector = std::vector<T, LargeAllocator<T>>;

// Bytes left uninitialised (a file's pages are touched once, by its read).
using LargeBytes = std::unique_ptr<std::uint8_t[], large_memory::Free>;
inline LargeBytes largeBytes(std::size_t n) {
    return LargeBytes(static_cast<std::uint8_t*>(large_memory::allocate(n)));
}
