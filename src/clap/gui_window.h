// What the CLAP plug-in's GUI needs of the window system it runs on, one file per system
// (gui_window_x11.cpp on Linux, gui_window_win32.cpp on Windows): the window API it embeds
// into, the native parent a host's window record names, the module its display's windows
// belong to, and whether the display's own window timer refreshes it without the host's help.
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

// The module the display's window class and windows are registered under: this library's own,
// so that another module's class of the same name never takes our windows' procedure.
HINSTANCE ownModule();

// Whether the display's window timer refreshes it with no call from the host: true where the
// host's own message loop dispatches the timer's messages to our window (Windows); false where
// only our `run` delivers them (Linux, where the display lives in our own window library).
extern const bool kDisplayRefreshesItself;

// The file descriptor the display `window`'s events arrive on (its X connection), for a host's
// fd support; -1 where there is none (Windows, or no display on screen).
int eventDescriptor(HWND window);

}  // namespace cqscope::clap::gui_window
