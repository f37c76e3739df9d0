// Replaces the global allocation functions of a test program so that tests can make the
// n-th allocation fail on purpose and count the blocks still alive. Include it in exactly one
// source file of a test program. Shared libraries that the program loads use these functions
// too, since the program's definitions come first in symbol lookup.
#pragma once

#include <atomic>
#include <cstdlib>
#include <new>

namespace failing_allocator {

// Allocations still to succeed before one fails; negative: never fail.
inline std::atomic<long> allocationsBeforeFailure{-1};
inline std::atomic<long> liveBlocks{0};
inline std::atomic<long> failuresInjected{0};

struct FailAfter {
    explicit FailAfter(long n) { allocationsBeforeFailure = n; }
    ~FailAfter() { allocationsBeforeFailure = -1; }
};

inline void* allocate(std::size_t size) {
    long remaining = allocationsBeforeFailure.load();
    while (remaining >= 0) {
        if (remaining == 0) {
            ++failuresInjected;
            allocationsBeforeFailure = -1;
            throw std::bad_alloc();
        }
        if (allocationsBeforeFailure.compare_exchange_weak(remaining, remaining - 1)) break;
    }
    void* block = std::malloc(size == 0 ? 1 : size);
    if (block == nullptr) throw std::bad_alloc();
    ++liveBlocks;
    return block;
}

inline void release(void* block) noexcept {
    if (block == nullptr) return;
    --liveBlocks;
    std::free(block);
}

}  // namespace failing_allocator

void* operator new(std::size_t size) {
    return failing_allocator::allocate(size);
}
void* operator new[](std::size_t size) {
    return failing_allocator::allocate(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return failing_allocator::allocate(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return failing_allocator::allocate(size);
    } catch (...) {
        return nullptr;
    }
}
void operator delete(void* block) noexcept {
    failing_allocator::release(block);
}
void operator delete[](void* block) noexcept {
    failing_allocator::release(block);
}
void operator delete(void* block, std::size_t) noexcept {
    failing_allocator::release(block);
}
void operator delete[](void* block, std::size_t) noexcept {
    failing_allocator::release(block);
}
void operator delete(void* block, const std::nothrow_t&) noexcept {
    failing_allocator::release(block);
}
void operator delete[](void* block, const std::nothrow_t&) noexcept {
    failing_allocator::release(block);
}
