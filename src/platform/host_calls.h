// How a host program of ours (cqscope-host, the tests) reaches the window system inside a
// plug-in module built on this library.
//
// Each module carries its own copy of the library with every symbol hidden, so a host cannot
// call cqpCreateHostWindow and the rest by name: it asks the module it loaded for this table
// through the module's one extra export, kHostCallsEntryName, and passes the module's own
// windows to its editor. Plug-ins of others have no such entry; a host gives them a native
// parent (an X11 window) or does without their editor.
//
// The layout only grows: calls are appended, `size` tells a host how much of it the module
// has, and an incompatible change takes a new entry name (the number in it). All calls are
// those of cqscope_platform.h and win32.h, with the same threads and rules.
#pragma once

#include "platform/cqscope_platform.h"

#if !defined(_WIN32)

#include <dlfcn.h>

#include <cstddef>
#include <cstdint>

struct CqpHostCalls {
    std::uint32_t version;  // kHostCallsVersion of the module
    std::uint32_t size;     // sizeof(CqpHostCalls) as the module was built
    decltype(&cqpCreateHostWindow) createHostWindow;
    decltype(&DestroyWindow) destroyWindow;
    decltype(&cqpSetManualClock) setManualClock;
    decltype(&cqpAdvanceClock) advanceClock;
    decltype(&cqpReadWindowPixels) readWindowPixels;
    decltype(&cqpPumpMessages) pumpMessages;
    decltype(&cqpClick) click;
    decltype(&cqpLiveObjectCount) liveObjectCount;
    decltype(&cqpFindForeignChild) findForeignChild;
    decltype(&cqpPresentedXWindow) presentedXWindow;
    const char* moduleVersion;  // the project version the module was built from
    // Appended later: absent from the tables of older modules (see hasRenderCalls).
    decltype(&cqpWindowDrawCount) windowDrawCount;
    decltype(&cqpNextTimerWait) nextTimerWait;
    // Appended later (see hasAnalysisWait): waits until no analyser of the module is building
    // kernels, at most `timeoutMs`; TRUE when none is. A host that must start from the same
    // kernels every time calls it after switching the effect on, before its first block.
    BOOL (*waitForAnalysis)(DWORD timeoutMs);
    // Appended later (see hasPointerCalls): the pointer rests over a point of a window, or
    // leaves it.
    decltype(&cqpMovePointer) movePointer;
    decltype(&cqpPointerLeave) pointerLeave;
};

// The size of the first table: a module's table is at least this big.
inline constexpr std::uint32_t kHostCallsFirstSize = offsetof(CqpHostCalls, windowDrawCount);

inline constexpr std::uint32_t kHostCallsVersion = 1;
inline constexpr const char* kHostCallsEntryName = "cqscopeHostCalls1";

// The exported entry (host_calls.cpp): the module's table, valid while the module is loaded.
using HostCallsEntry = const CqpHostCalls* (*)();
extern "C" __attribute__((visibility("default"))) const CqpHostCalls* cqscopeHostCalls1();

// The table of the module behind a dlopen handle, or null when the module has no entry or a
// table older than this header's.
inline const CqpHostCalls* hostCallsOf(void* library) {
    if (library == nullptr) return nullptr;
    auto entry = reinterpret_cast<HostCallsEntry>(::dlsym(library, kHostCallsEntryName));
    const CqpHostCalls* calls = entry != nullptr ? entry() : nullptr;
    if (calls == nullptr || calls->version != kHostCallsVersion ||
        calls->size < kHostCallsFirstSize) {
        return nullptr;
    }
    return calls;
}

// Whether the module's table reaches windowDrawCount and nextTimerWait.
inline bool hasRenderCalls(const CqpHostCalls& calls) {
    return calls.size >= offsetof(CqpHostCalls, nextTimerWait) + sizeof calls.nextTimerWait &&
           calls.windowDrawCount != nullptr && calls.nextTimerWait != nullptr;
}

// Whether the module's table reaches waitForAnalysis.
inline bool hasAnalysisWait(const CqpHostCalls& calls) {
    return calls.size >= offsetof(CqpHostCalls, waitForAnalysis) + sizeof calls.waitForAnalysis &&
           calls.waitForAnalysis != nullptr;
}

// Whether the module's table reaches movePointer and pointerLeave.
inline bool hasPointerCalls(const CqpHostCalls& calls) {
    return calls.size >= offsetof(CqpHostCalls, pointerLeave) + sizeof calls.pointerLeave &&
           calls.movePointer != nullptr && calls.pointerLeave != nullptr;
}

#endif
