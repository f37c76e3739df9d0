// Loads the built cqscope module with dlopen and resolves both entry names, as a host does.
#pragma once

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>

#include "frame/host_interface.h"

using EntryFunction = AEffect* (*)(audioMasterCallback);

class LoadedModule {
  public:
    LoadedModule() {
        handle = dlopen(CQSCOPE_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr) {
            ADD_FAILURE() << "dlopen " << CQSCOPE_MODULE_PATH << ": " << dlerror();
            return;
        }
        pluginMain = reinterpret_cast<EntryFunction>(dlsym(handle, "VSTPluginMain"));
        main = reinterpret_cast<EntryFunction>(dlsym(handle, "main"));
    }
    ~LoadedModule() {
        if (handle != nullptr) dlclose(handle);
    }
    LoadedModule(const LoadedModule&) = delete;
    LoadedModule& operator=(const LoadedModule&) = delete;

    void* handle = nullptr;
    EntryFunction pluginMain = nullptr;
    EntryFunction main = nullptr;
};

// Reads a field of the record at its byte offset, the way a host compiled elsewhere sees it.
template <typename T>
T fieldAt(const AEffect* record, std::size_t offset) {
    T value;
    std::memcpy(&value, reinterpret_cast<const unsigned char*>(record) + offset, sizeof(T));
    return value;
}
