// The platform library's calls that the renderer uses, looked up at run time.
//
// cqscope-host is linked with libcqscope-win32.so, so that it and a plug-in built on the same
// library share one window system in the process; the calls are still found by name, so that
// probe and process work, and render fails with a clear message, when the library lacks one.
// Main thread only.
#pragma once

#include <string>

#include "platform/cqscope_platform.h"

namespace cqhost {

struct PlatformApi {
    decltype(&cqpCreateHostWindow) createHostWindow;
    decltype(&cqpSetManualClock) setManualClock;
    decltype(&cqpAdvanceClock) advanceClock;
    decltype(&cqpReadWindowPixels) readWindowPixels;
    decltype(&cqpPumpMessages) pumpMessages;
    decltype(&cqpClick) click;
    decltype(&DestroyWindow) destroyWindow;
};

// The calls, or null when the library or one of its calls is missing; then `problem`, when
// given, receives a one-line explanation.
const PlatformApi* findPlatformApi(std::string* problem = nullptr);

}  // namespace cqhost
