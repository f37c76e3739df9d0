// VST 3 modules as cqscope-host hosts them (hosted_vst3.cpp, vst3_probe.cpp): a `.vst3` bundle
// folder, or a module file named `.vst3`. Portable.
#pragma once

#include <string>

#include "formats/hosted_plugin.h"

namespace cqhost {

const PluginFormat& vst3Format();

// `probe`'s text or JSON for every processor class of the VST 3 module at `path`.
std::string probeVst3(const std::string& path, bool json);

}  // namespace cqhost
