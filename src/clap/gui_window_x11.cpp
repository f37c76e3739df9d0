// The CLAP GUI's window system on Linux: X11 parents, shown through the plug-in's own copy of
// the window library (src/platform), whose timers fire only inside the display's `run`.
#include <cstdint>
#include <cstring>

#include "clap/gui_window.h"
#include "platform/cqscope_platform.h"

namespace cqscope::clap::gui_window {

const char* const kApi = CLAP_WINDOW_API_X11;
const bool kDisplayRefreshesItself = false;

HWND parentOf(const clap_window& window) {
    if (window.api == nullptr || std::strcmp(window.api, CLAP_WINDOW_API_X11) != 0) return nullptr;
    // Our window library takes a foreign X11 window ID where a Win32 parent handle goes.
    return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(window.x11));
}

// The window library is linked into this module alone, so the main module's handle in it is
// this module's own.
HINSTANCE ownModule() {
    return GetModuleHandleA(nullptr);
}

int eventDescriptor(HWND window) {
    return cqpPresentedXConnection(window);
}

}  // namespace cqscope::clap::gui_window
