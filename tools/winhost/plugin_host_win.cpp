// Loading and unloading a plug-in in the Windows host (the rest of PluginHost is the shared
// tools/host/plugin_host.cpp): the DLL is loaded with LoadLibraryExA and its entry found with
// GetProcAddress. Main thread only.
#include <windows.h>

#include "host/host_error.h"
#include "host/plugin_host.h"

namespace cqhost {
namespace {

std::string lastErrorText() {
    const DWORD code = GetLastError();
    char text[256] = {};
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, code, 0, text, sizeof text - 1, nullptr);
    std::string message(text, length);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                                message.back() == ' ' || message.back() == '.')) {
        message.pop_back();
    }
    if (message.empty()) message = "error " + std::to_string(code);
    return message;
}

}  // namespace

PluginHost::PluginHost(const std::string& path, const BeforeEntry& beforeEntry) : path_(path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        throw HostError("cannot open plug-in " + path + ": " + lastErrorText());
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        throw HostError("plug-in " + path + " is not a regular file");
    }
    const auto slash = path.find_last_of("/\\");
    directory_ = slash == std::string::npos ? "." : path.substr(0, slash);

    // The plug-in's own folder is searched for its dependencies, as hosts do.
    HMODULE module = LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (module == nullptr) {
        throw HostError("cannot load plug-in " + path + ": " + lastErrorText());
    }
    startFrom(
        module,
        {[](void* library, const char* name) {
             return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
         },
         [](void* library) { FreeLibrary(static_cast<HMODULE>(library)); }},
        beforeEntry);
}

PluginHost::~PluginHost() {
    closeEffect();
    if (library_ != nullptr) FreeLibrary(static_cast<HMODULE>(library_));
}

}  // namespace cqhost
