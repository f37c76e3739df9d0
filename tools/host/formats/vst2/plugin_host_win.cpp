// Loading and unloading a plug-in in the Windows host (the rest of PluginHost is the shared
// plugin_host.cpp): the DLL is loaded with LoadLibraryExA and its entry found with
// GetProcAddress. Main thread only.
#include "formats/plugin_file_win.h"
#include "formats/vst2/plugin_host.h"

namespace cqhost {

PluginHost::PluginHost(const std::string& path, const BeforeEntry& beforeEntry) : path_(path) {
    HMODULE module = loadPluginFile(path);
    const auto slash = path.find_last_of("/\\");
    directory_ = slash == std::string::npos ? "." : path.substr(0, slash);
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
