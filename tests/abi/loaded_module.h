// Loads the built cqscope module with dlopen and resolves both entry names, as a host does.
#pragma once

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "frame/host_interface.h"
#include "platform/host_calls.h"

using EntryFunction = AEffect* (*)(audioMasterCallback);

class LoadedModule {
  public:
#if defined(CQSCOPE_MODULE_PATH)
    LoadedModule() : LoadedModule(CQSCOPE_MODULE_PATH) {}
#endif
    explicit LoadedModule(const char* path) {
        handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr) {
            ADD_FAILURE() << "dlopen " << path << ": " << dlerror();
            return;
        }
        pluginMain = reinterpret_cast<EntryFunction>(dlsym(handle, "VSTPluginMain"));
        main = reinterpret_cast<EntryFunction>(dlsym(handle, "main"));
        windows = hostCallsOf(handle);
    }
    ~LoadedModule() {
        if (handle != nullptr) dlclose(handle);
    }
    LoadedModule(const LoadedModule&) = delete;
    LoadedModule& operator=(const LoadedModule&) = delete;

    void* handle = nullptr;
    EntryFunction pluginMain = nullptr;
    EntryFunction main = nullptr;
    const CqpHostCalls* windows = nullptr;  // the module's own window system
};

// The window system inside the module at `path` (its own copy of the platform library),
// reached through the module's entry as cqscope-host reaches it: parent windows, clock and
// pixels of a test that opens the module's editor must be these. The module stays loaded for
// the rest of the program, so windows and clock settings outlive each effect.
inline const CqpHostCalls& moduleWindows(const char* path) {
    static const LoadedModule module(path);
    if (module.windows == nullptr) {
        std::fprintf(stderr, "%s: no window entry %s\n", path, kHostCallsEntryName);
        std::abort();
    }
    return *module.windows;
}

// Waits (a minute at most) until the module's analysers have built the kernels that a
// switch-on asked for, as cqscope-host does before the first block; answers whether they have.
inline bool analysisReady(const CqpHostCalls& windows) {
    return hasAnalysisWait(windows) && windows.waitForAnalysis(60000) != FALSE;
}

// Reads a field of the record at its byte offset, the way a host compiled elsewhere sees it.
template <typename T>
T fieldAt(const AEffect* record, std::size_t offset) {
    T value;
    std::memcpy(&value, reinterpret_cast<const unsigned char*>(record) + offset, sizeof(T));
    return value;
}
