// Memory for arrays of a megabyte or more that are written soon after they are made: kernel
// rows, sample tapes, pictures. On Linux such an array is aligned to and advised for 2 MiB
// pages, so that filling it costs one page fault per 2 MiB instead of one per 4 KiB; on a
// virtual machine a fault can cost several microseconds, and a render would otherwise spend a
// tenth of its time faulting in buffers. Smaller arrays, and other systems, get ordinary
// (cache-line aligned) memory. Any thread.
#pragma once

#include <cstddef>
#include <vector>

namespace cqscope {

// At least `bytes` bytes aligned to 64; throws std::bad_alloc. Give them back to freeLarge
// with the same size.
void* allocateLarge(std::size_t bytes);
void freeLarge(void* memory, std::size_t bytes) noexcept;

template <class T>
struct LargePageAllocator {
    using value_type = T;
    LargePageAllocator() = default;
    template <class U>
    LargePageAllocator(const LargePageAllocator<U>&) noexcept {}
    T* allocate(std::size_t count) { return static_cast<T*>(allocateLarge(count * sizeof(T))); }
    void deallocate(T* memory, std::size_t count) noexcept { freeLarge(memory, count * sizeof(T)); }
    template <class U>
    bool operator==(const LargePageAllocator<U>&) const noexcept {
        return true;
    }
};

template <class T>
using LargeVector = std::vector<T, LargePageAllocator<T>>;

}  // namespace cqscope
