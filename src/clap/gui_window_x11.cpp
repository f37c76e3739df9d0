// The CLAP GUI's window system on Linux: X11 parents, shown through the plug-in's own copy of
// the window library (src/platform), whose timers fire only inside the display's `run`.
#include <cstdint>
#include <cstring>

#include "clap/gui_window.h"

namespace cqscope::clap::gui_window {

const char* const kApi = CLAP_WINDOW_API_X11;

HWND parentOf(const clap_window& window) {
    if (window.api == nullptr || std::strcmp(window.api, CLAP_WINDOW_API_X11) != 0) return nullptr;
    // Our window library takes a foreign X11 window ID where a Win32 parent handle goes.
    return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(window.x11));
}

}  // namespace cqscope::clap::gui_window
