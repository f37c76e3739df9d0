#include "formats/plugin_analysis_wait.h"

#include "clap/analysis_wait.h"
#include "common/host_error.h"
#include "plugin/unique_id.h"
#include "plugin/vendor_calls.h"

namespace cqhost {

void throwAnalysisTooSlow() {
    throw HostError("the plug-in's analysis kernels were not built within a minute");
}

void waitForAnalysis(PluginHost& plugin) {
    if (plugin.effect().uniqueID != kCqscopeUniqueId) return;
    if (plugin.dispatch(effVendorSpecific, kVendorCallCode, kVendorCallWait, nullptr,
                        static_cast<float>(kLongestAnalysisBuildMs)) != 1)
        throwAnalysisTooSlow();
}

void waitForAnalysis(const ClapPlugin& plugin) {
    const auto* wait = static_cast<const cqscope::clap::AnalysisWait*>(
        plugin.extension(cqscope::clap::kAnalysisWaitExtension));
    if (wait == nullptr || wait->wait == nullptr) return;
    if (!wait->wait(&plugin.plugin(), kLongestAnalysisBuildMs)) throwAnalysisTooSlow();
}

}  // namespace cqhost
