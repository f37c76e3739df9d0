// VST 2.x effects as cqscope-host hosts them (hosted_vst2.cpp, probe.cpp). Portable.
#pragma once

#include <string>

#include "formats/hosted_plugin.h"

namespace cqhost {

// Takes any file: the loader says why one is not an effect.
const PluginFormat& vst2Format();

// `probe`'s text or JSON for the effect at `path`.
std::string probeVst2(const std::string& path, bool json);

}  // namespace cqhost
