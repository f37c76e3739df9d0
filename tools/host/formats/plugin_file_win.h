// Loading a plug-in file on Windows, for both kinds the host takes (VST 2.x DLLs in
// plugin_host_win.cpp, CLAP files in clap_host_win.cpp). Main thread only.
#pragma once

#include <windows.h>

#include <string>

namespace cqhost {

// GetLastError's message without its trailing full stop and line break ("error N" when Windows
// has no text for it).
std::string lastErrorText();

// Loads `path` with LoadLibraryExA, its own folder searched for its dependencies as hosts do.
// Throws HostError ("cannot open plug-in ...", "... is not a regular file", "cannot load
// plug-in ...") with Windows' reason.
HMODULE loadPluginFile(const std::string& path);

}  // namespace cqhost
