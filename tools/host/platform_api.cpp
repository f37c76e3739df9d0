#include "platform_api.h"

#include "host_error.h"

namespace cqhost {

const PlatformApi* findPlatformApi(void* library, const std::string& pluginPath,
                                   std::string* problem) {
    const PlatformApi* calls = hostCallsOf(library);
    if (calls == nullptr && problem != nullptr) {
        *problem = "plug-in " + pluginPath +
                   " does not draw through cqscope's window library (it has no usable " +
                   kHostCallsEntryName + " entry), so its editor cannot be drawn off screen";
    }
    return calls;
}

void waitForPluginAnalysis(const PlatformApi& platform) {
    constexpr DWORD kLongestBuildMs = 60000;
    if (hasAnalysisWait(platform) && !platform.waitForAnalysis(kLongestBuildMs)) {
        throw HostError("the plug-in's analysis kernels were not built within a minute");
    }
}

}  // namespace cqhost
