// The module's entry to its own window system (see host_calls.h). Compiled into each module
// that exports it, beside that module's copy of the library; CQSCOPE_MODULE_VERSION is the
// module's version (cqscope_platform_entry in CMakeLists.txt).
#include "platform/host_calls.h"

#include <chrono>
#include <limits>

#include "analysis/analyser.h"
#include "analysis/planned_transforms.h"

namespace {

BOOL waitForAnalysis(DWORD timeoutMs) {
    return cqscope::waitForAnalysisBuilds(std::chrono::milliseconds(timeoutMs)) ? TRUE : FALSE;
}

void* openTransformAhead(double sampleRate, std::int64_t spacingFrames, int* batchSize) {
    try {
        auto* ahead = new cqscope::TransformAhead(sampleRate, spacingFrames);
        if (batchSize != nullptr) *batchSize = ahead->batchSize();
        return ahead;
    } catch (...) {
        return nullptr;
    }
}

float transformAheadAudio(void* ahead, const float* left, const float* right, std::int32_t frames) {
    try {
        return static_cast<cqscope::TransformAhead*>(ahead)->audio(left, right, frames);
    } catch (...) {
        // Without memory for the samples: a span that is not loud, so that no refresh is
        // planned (a later window missing these samples would not match the display's).
        return std::numeric_limits<float>::quiet_NaN();
    }
}

void transformAheadRefresh(void* ahead) {
    static_cast<cqscope::TransformAhead*>(ahead)->refresh();
}

BOOL transformAheadFlush(void* ahead) {
    try {
        static_cast<cqscope::TransformAhead*>(ahead)->flush();
        return TRUE;
    } catch (...) {
        return FALSE;
    }
}

void closeTransformAhead(void* ahead) {
    delete static_cast<cqscope::TransformAhead*>(ahead);
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
        &openTransformAhead,    &transformAheadAudio, &transformAheadRefresh,
        &transformAheadFlush,   &closeTransformAhead, &cqpSetScreenDpi,
    };
    return &calls;
}
