// The module's entry to its own window system (see host_calls.h). Compiled into each module
// that exports it, beside that module's copy of the library; CQSCOPE_MODULE_VERSION is the
// module's version (cqscope_platform_entry in CMakeLists.txt).
#include "platform/host_calls.h"

#include <chrono>

#include "analysis/analyser.h"

namespace {

BOOL waitForAnalysis(DWORD timeoutMs) {
    return cqscope::waitForAnalysisBuilds(std::chrono::milliseconds(timeoutMs)) ? TRUE : FALSE;
}

}  // namespace

extern "C" const CqpHostCalls* cqscopeHostCalls1() {
    static constexpr CqpHostCalls calls{
        kHostCallsVersion,      sizeof(CqpHostCalls), &cqpCreateHostWindow,
        &DestroyWindow,         &cqpSetManualClock,   &cqpAdvanceClock,
        &cqpReadWindowPixels,   &cqpPumpMessages,     &cqpClick,
        &cqpLiveObjectCount,    &cqpFindForeignChild, &cqpPresentedXWindow,
        CQSCOPE_MODULE_VERSION, &cqpWindowDrawCount,  &cqpNextTimerWait,
        &waitForAnalysis,       &cqpMovePointer,      &cqpPointerLeave,
    };
    return &calls;
}
