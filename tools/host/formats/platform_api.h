// The window calls of a loaded plug-in's own window system, which render and validate need to
// give its editor a parent window, drive its clock and read back what it drew.
//
// A plug-in built on our platform library carries its own copy of it, hidden inside the
// module, and exports one entry that answers the table of these calls
// (src/platform/host_calls.h). Plug-ins of others have no such entry: probe, process and
// validate's audio checks work for them all the same, watch gives them a real X11 window, and
// render says clearly that it cannot draw them. Main thread only.
#pragma once

#include <string>

#include "platform/host_calls.h"

namespace cqhost {

using PlatformApi = CqpHostCalls;

// The table of the module behind a library handle (what dlopen answered), or null when the
// module has no entry or an older table than this host needs; then `problem`, when given,
// receives a one-line explanation naming `pluginPath`.
const PlatformApi* findPlatformApi(void* library, const std::string& pluginPath,
                                   std::string* problem = nullptr);

// After the effect was switched on and before its first block: waits until the module has
// built the kernels it asked for, so that every render starts from the same analysis. A module
// without the call builds on the switch-on thread (nothing to wait for). Throws HostError when
// the build takes longer than a minute.
void waitForPluginAnalysis(const PlatformApi& platform);

}  // namespace cqhost
