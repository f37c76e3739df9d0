// The wait for cqscope's analysis kernels: after the switch-on cqscope builds its kernels
// beside, and a capture that has to start from the same bank every time waits for them before
// the first block, through the format's own call (HostedPlugin::waitForAnalysis) or the
// module's window system (waitForPluginAnalysis, platform_api.h). Main thread (the thread that
// switched the plug-in on).
#pragma once

namespace cqhost {

// The longest a build may take before the wait gives up, in milliseconds.
inline constexpr unsigned kLongestAnalysisBuildMs = 60000;

// Throws HostError saying that the kernels were not built in time.
[[noreturn]] void throwAnalysisTooSlow();

}  // namespace cqhost
