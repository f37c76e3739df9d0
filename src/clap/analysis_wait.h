// cqscope's own CLAP plug-in extension: our hosts' wait for the analysis kernels, which
// activate has built beside. A host that must not race that build (a capture that has to start
// from the same bank every time) asks get_extension for kAnalysisWaitExtension and calls `wait`
// on the main thread after activate. `wait` blocks at most `timeout_ms` milliseconds and answers
// true once no build is pending (the kernels of the last activate are in use, or the rate was
// refused), false when the timeout passed first.
#pragma once

#include <cstdint>

#include "clap/clap_interface.h"

namespace cqscope::clap {

inline constexpr const char kAnalysisWaitExtension[] = "cqscope.analysis-wait/1";

struct AnalysisWait {
    bool(CLAP_ABI* wait)(const clap_plugin* plugin, std::uint32_t timeout_ms);
};

}  // namespace cqscope::clap
