#include "analysis/large_pages.h"

#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace cqscope {
namespace {

constexpr std::size_t kLineAlignment = 64;
#if defined(__linux__)
constexpr std::size_t kLargeBytes = std::size_t{1} << 20;
constexpr std::size_t kPageBytes = std::size_t{2} << 20;

// Large blocks are whole 2 MiB pages, so that the last part page is not left to 4 KiB faults.
std::size_t roundedLarge(std::size_t bytes) {
    return (bytes + kPageBytes - 1) / kPageBytes * kPageBytes;
}
#endif

}  // namespace

void* allocateLarge(std::size_t bytes) {
#if defined(__linux__)
    if (bytes >= kLargeBytes) {
        const std::size_t rounded = roundedLarge(bytes);
        void* memory = ::operator new (rounded, std::align_val_t{kPageBytes});
        madvise(memory, rounded, MADV_HUGEPAGE);  // a hint: ignored where unsupported
        return memory;
    }
#endif
    return ::operator new (bytes, std::align_val_t{kLineAlignment});
}

void freeLarge(void* memory, [[maybe_unused]] std::size_t bytes) noexcept {
    if (memory == nullptr) return;
#if defined(__linux__)
    if (bytes >= kLargeBytes) {
        ::operator delete (memory, std::align_val_t{kPageBytes});
        return;
    }
#endif
    ::operator delete (memory, std::align_val_t{kLineAlignment});
}

}  // namespace cqscope
