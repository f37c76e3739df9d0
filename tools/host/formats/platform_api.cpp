#include "formats/platform_api.h"

#include "formats/plugin_analysis_wait.h"

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
    if (hasAnalysisWait(platform) && !platform.waitForAnalysis(kLongestAnalysisBuildMs))
        throwAnalysisTooSlow();
}

}  // namespace cqhost
