// The wait for cqscope's analysis kernels through the plug-in formats' own calls: after the
// switch-on (VST 2 effMainsChanged, CLAP activate) cqscope builds its kernels beside, and a
// capture that has to start from the same bank every time waits for them before the first
// block. Main thread (the thread that switched the plug-in on).
#pragma once

#include "formats/clap/clap_host.h"
#include "formats/vst2/plugin_host.h"

namespace cqhost {

// The longest a build may take before the wait gives up, in milliseconds.
inline constexpr unsigned kLongestAnalysisBuildMs = 60000;

// Throws HostError saying that the kernels were not built in time.
[[noreturn]] void throwAnalysisTooSlow();

// cqscope's effect (known by its unique ID) is asked through its vendor-specific wait; any
// other effect has nothing of ours to wait for. Throws HostError on timeout.
void waitForAnalysis(PluginHost& plugin);
// A plug-in with cqscope's wait extension is asked through it; any other has nothing to wait
// for. Throws HostError on timeout.
void waitForAnalysis(const ClapPlugin& plugin);

}  // namespace cqhost
