// cqscope's own VST 3 interface: our hosts' wait for the analysis kernels that setActive(true)
// has built beside. A host that must not race that build (a capture that has to start from the
// same bank every time) asks the component's queryInterface for IAnalysisWait::iid and calls
// waitForAnalysis on its UI thread after switching the component on. The answer is kResultTrue
// once no build is pending (the kernels of the last switch-on are in use, or the rate was
// refused), kResultFalse when `timeoutMs` milliseconds passed first.
//
// An interface rather than a further module export: it reaches the one plug-in object the host
// holds on every system, and the module's exports stay the three every host knows. Other hosts
// never ask for it; other plug-ins answer kNoInterface.
#pragma once

#include "vst3/vst3_interface.h"

namespace cqscope::vst3plugin {

struct IAnalysisWait : vst3::FUnknown {
    // 'cqsc' 'Anal' 'Wait' and the interface's version.
    static constexpr vst3::Uid iid = vst3::makeUid(0x63717363, 0x416E616C, 0x57616974, 0x00000001);
    virtual vst3::tresult PLUGIN_API waitForAnalysis(vst3::uint32 timeoutMs) = 0;  // 3
};

}  // namespace cqscope::vst3plugin
