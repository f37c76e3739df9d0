// CLAP plug-ins as cqscope-host hosts them (hosted_clap.cpp, clap_probe.cpp): files
// isClapPlugin recognises. Portable.
#pragma once

#include <string>

#include "formats/hosted_plugin.h"

namespace cqhost {

const PluginFormat& clapFormat();

// `probe`'s text or JSON for every plug-in of the CLAP file at `path`.
std::string probeClap(const std::string& path, bool json);

}  // namespace cqhost
