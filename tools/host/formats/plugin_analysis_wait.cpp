#include "formats/plugin_analysis_wait.h"

#include "common/host_error.h"

namespace cqhost {

void throwAnalysisTooSlow() {
    throw HostError("the plug-in's analysis kernels were not built within a minute");
}

}  // namespace cqhost
