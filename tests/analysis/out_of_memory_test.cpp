// Kernel storage that cannot be allocated: the analysis reports it and keeps what it had.
// Its own program, since it replaces the global allocator.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <new>

#include "analysis/analyser.h"
#include "analysis/kernel_set.h"

namespace {

// Requests of at least this many bytes fail while refuseLarge is set: only kernel storage is
// that large.
std::atomic<bool> refuseLarge{false};
constexpr std::size_t kLarge = std::size_t{32} << 20;

void* allocate(std::size_t size, std::size_t alignment) {
    if (refuseLarge.load() && size >= kLarge) throw std::bad_alloc();
    void* p = nullptr;
    if (alignment <= alignof(std::max_align_t)) {
        p = std::malloc(size == 0 ? 1 : size);
    } else if (posix_memalign(&p, alignment, size == 0 ? 1 : size) != 0) {
        p = nullptr;
    }
    if (p == nullptr) throw std::bad_alloc();
    return p;
}

}  // namespace

void* operator new(std::size_t size) {
    return allocate(size, 0);
}
void* operator new[](std::size_t size) {
    return allocate(size, 0);
}
void* operator new(std::size_t size, std::align_val_t a) {
    return allocate(size, static_cast<std::size_t>(a));
}
void* operator new[](std::size_t size, std::align_val_t a) {
    return allocate(size, static_cast<std::size_t>(a));
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete(void* p, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept {
    std::free(p);
}

namespace cqscope {
namespace {

TEST(OutOfMemory, ConstructionFailsCleanlyAndASwitchKeepsTheOldBank) {
    refuseLarge = true;
    EXPECT_THROW(Analyser(44100.0), std::bad_alloc);
    EXPECT_EQ(KernelSet::liveCount(), 0);
    refuseLarge = false;

    Analyser analyser(8000.0);  // about 16 MiB of kernels: below the refusal size
    refuseLarge = true;
    EXPECT_EQ(analyser.setSampleRate(48000.0), Analyser::RateChange::outOfMemory);
    refuseLarge = false;
    EXPECT_EQ(analyser.analysisRate(), 8000.0);
    EXPECT_EQ(KernelSet::liveCount(), 1);
    analyser.transform();  // the old bank still works
    EXPECT_EQ(analyser.setSampleRate(48000.0), Analyser::RateChange::switched);
    EXPECT_EQ(KernelSet::liveCount(), 1);  // the 8 kHz set went with its last bank
}

// Built beside: the failure is known only on the builder thread. Kernels of another rate would
// draw every tone at the wrong place, so the old bank goes too and the analysis refuses until
// a build succeeds.
TEST(OutOfMemory, ABuildBesideThatFailsDropsTheOldBankUntilOneSucceeds) {
    Analyser analyser(8000.0);
    refuseLarge = true;
    EXPECT_EQ(analyser.requestSampleRate(48000.0, true), Analyser::RateChange::building);
    ASSERT_TRUE(analyser.waitForBuild(std::chrono::seconds(60)));
    refuseLarge = false;
    EXPECT_EQ(analyser.lastBuild(), Analyser::RateChange::outOfMemory);
    EXPECT_FALSE(analyser.servesRate());
    EXPECT_FALSE(analyser.hasBank());
    EXPECT_EQ(KernelSet::liveCount(), 0);
    EXPECT_EQ(analyser.requestSampleRate(48000.0, true), Analyser::RateChange::building)
        << "the same rate is tried again";
    ASSERT_TRUE(analyser.waitForBuild(std::chrono::seconds(60)));
    EXPECT_EQ(analyser.lastBuild(), Analyser::RateChange::switched);
    EXPECT_TRUE(analyser.servesRate());
    EXPECT_EQ(analyser.analysisRate(), 48000.0);
}

}  // namespace
}  // namespace cqscope
