// Loading a plug-in file on Linux, for every format the host takes (VST 2.x effects in
// vst2/plugin_host_posix.cpp, CLAP files in clap/clap_host_posix.cpp). Main thread only.
#pragma once

#include <string>

namespace cqhost {

// Loads `path` with dlopen (every symbol bound now, none shared with later libraries); a name
// without a slash means the file in the current folder, not one on the library path. Throws
// HostError ("cannot open plug-in ...", "... is not a regular file", "cannot load plug-in
// ...") with the system's reason.
void* loadPluginFile(const std::string& path);

// The address of `name` in a loaded library, or null.
void* pluginFileSymbol(void* library, const char* name);

// Unloads a library loadPluginFile loaded.
void unloadPluginFile(void* library);

}  // namespace cqhost
