// Loading and unloading a plug-in on Linux (the rest of PluginHost is the shared
// plugin_host.cpp): the shared library is opened by the Linux plug-in loader
// (formats/plugin_file_posix.h). Main thread only.
#include "formats/plugin_file_posix.h"
#include "formats/vst2/plugin_host.h"

namespace cqhost {

PluginHost::PluginHost(const std::string& libraryPath, const BeforeEntry& beforeEntry)
    : path_(libraryPath) {
    void* library = loadPluginFile(libraryPath);
    const auto slash = libraryPath.rfind('/');
    directory_ = slash == std::string::npos ? "." : libraryPath.substr(0, slash);
    startFrom(library, {pluginFileSymbol, unloadPluginFile}, beforeEntry);
}

PluginHost::~PluginHost() {
    closeEffect();
    if (library_ != nullptr) unloadPluginFile(library_);
}

}  // namespace cqhost
