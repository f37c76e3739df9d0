// The CLAP GUI's window system on Windows: Win32 parents (the host's HWND). The host's main
// thread runs a message loop, as every Windows GUI program does, and dispatches the display
// window's WM_TIMER there, so the display refreshes itself whether or not the host offers
// timer support.
#include <cstring>

#include "clap/gui_window.h"

namespace cqscope::clap::gui_window {

const char* const kApi = CLAP_WINDOW_API_WIN32;

HWND parentOf(const clap_window& window) {
    if (window.api == nullptr || std::strcmp(window.api, CLAP_WINDOW_API_WIN32) != 0)
        return nullptr;
    return static_cast<HWND>(window.win32);
}

}  // namespace cqscope::clap::gui_window
