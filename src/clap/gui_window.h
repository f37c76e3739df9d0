// What the CLAP plug-in's GUI needs of the window system it runs on, one file per system
// (gui_window_x11.cpp on Linux, gui_window_win32.cpp on Windows): the window API it embeds
// into and the native parent a host's window record names. The rest (the module, the event
// descriptor, whether the display refreshes itself) the display and the kit know.
//
// Threads: main thread (every GUI call of the interface is).
#pragma once

#include "clap/clap_interface.h"
#include "platform/win32.h"

namespace cqscope::clap::gui_window {

// The one window API the plug-in embeds into ("x11" or "win32"), a static string.
extern const char* const kApi;

// The parent window `window` names, or null when it names another API or no window.
HWND parentOf(const clap_window& window);

}  // namespace cqscope::clap::gui_window
