// KERNEL32 and ole32: the tick clock (monotonic, or manual for deterministic runs), the module
// handle and the OLE counters. Moving the manual clock (Sleep, the cqp clock calls) wakes the
// message queues, so those calls stand above the queues, in clock.cpp; this file depends on
// nothing of the window system.
#include <dlfcn.h>
#include <time.h>

#include <atomic>

#include "platform/cqscope_platform.h"
#include "platform/internal.h"

namespace cqp {

namespace {
std::atomic<bool> manualClock{false};
std::atomic<DWORD> manualNow{0};
thread_local int oleInitCount = 0;

// The process's main module: a fixed pseudo handle, as its value means nothing to callers.
HMODULE const kMainModule = reinterpret_cast<HMODULE>(static_cast<std::uintptr_t>(0x00400000));
}  // namespace

DWORD tickNow() {
    if (manualClock.load(std::memory_order_acquire)) {
        return manualNow.load(std::memory_order_acquire);
    }
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const std::uint64_t ms = static_cast<std::uint64_t>(now.tv_sec) * 1000u +
                             static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<DWORD>(ms);
}

bool manualClockOn() {
    return manualClock.load(std::memory_order_acquire);
}

void switchClock(bool manual, DWORD startMs) {
    if (manual) {
        manualNow.store(startMs, std::memory_order_release);
        manualClock.store(true, std::memory_order_release);
    } else {
        manualClock.store(false, std::memory_order_release);
    }
}

void moveManualClock(DWORD milliseconds) {
    manualNow.fetch_add(milliseconds, std::memory_order_acq_rel);
}

}  // namespace cqp

WIN32API DWORD WINAPI GetTickCount(void) {
    return cqp::tickNow();
}

WIN32API HMODULE WINAPI GetModuleHandleA(LPCSTR moduleName) {
    if (moduleName == nullptr) return cqp::kMainModule;
    // A loaded shared object by its file name; the handle stays valid while it is loaded.
    void* handle = dlopen(moduleName, RTLD_LAZY | RTLD_NOLOAD);
    if (handle == nullptr) {
        cqp::setError(126);  // ERROR_MOD_NOT_FOUND
        return nullptr;
    }
    dlclose(handle);
    return reinterpret_cast<HMODULE>(handle);
}

WIN32API HRESULT WINAPI OleInitialize(LPVOID) {
    return cqp::oleInitCount++ == 0 ? S_OK : S_FALSE;
}

WIN32API void WINAPI OleUninitialize(void) {
    if (cqp::oleInitCount > 0) --cqp::oleInitCount;
}

WIN32API int cqpOleInitCount(void) {
    return cqp::oleInitCount;
}
